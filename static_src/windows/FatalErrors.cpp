#include "FatalErrors.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "ReportBox.h"
#include "ReportText.h"

namespace {

// Room for the longest report: a message, a path of 4096 units and a system text.
char ReportLine[16384];

// The line on its stream, then, where that stream leads nowhere, in a message box.
void report(FILE* stream, DWORD standard_stream) {
  fprintf(stream, "%s\n", ReportLine);
  showReportIfUnseen(standard_stream, ReportLine);
}

}  // namespace

void fatalError(const char* message) {
  snprintf(ReportLine, sizeof ReportLine, "%s", message);
  report(stdout, STD_OUTPUT_HANDLE);
  exit(kFatalExitCode);
}

void reportOsError(const char* message, uint32_t code) {
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
                 nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<char*>(&text), 0,
                 nullptr);
  // The buffer is never freed: the process ends right after the report.
  if (text != nullptr) makeOneLine(text);
  snprintf(ReportLine, sizeof ReportLine, "%s ([Error %ld] %s)", message, static_cast<long>(static_cast<int32_t>(code)),
           text != nullptr ? text : kNoSystemText);
  report(stderr, STD_ERROR_HANDLE);
}

void failTemplate(const WideUnit* template_text) {
  snprintf(ReportLine, sizeof ReportLine, "Error, couldn't runtime expand spec '%ls'.", template_text);
  report(stderr, STD_ERROR_HANDLE);
  exit(kFatalExitCode);
}

void failOpenForWriting(const WideUnit* path) {
  snprintf(ReportLine, sizeof ReportLine, "Error, failed to open '%ls' for writing.", path);
  report(stderr, STD_ERROR_HANDLE);
  exit(kFatalExitCode);
}

void stopWithoutReport() { exit(kStopExitCode); }
