#include "FatalErrors.h"

#include <windows.h>

#include <stdlib.h>

#include "ExtractionLock.h"
#include "ReportBox.h"
#include "ReportStream.h"
#include "ReportText.h"
#include "WideString.h"

namespace {

WideBuffer<kReportLineCapacity> ReportLine;
size_t report_length = 0;

void startLine() {
  report_length = 0;
  ReportLine[0] = 0;
}

// A text too long for the line is cut, as the C runtime's formatting cut it before: a report
// that does not fit is still better than none. The longest real report fits with room to spare.
void appendUnit(WideUnit unit) {
  if (report_length + 1 >= kReportLineCapacity) return;
  ReportLine[report_length++] = unit;
  ReportLine[report_length] = 0;
}

// Messages are ASCII; a byte above that stays the unit of the same value, as in the "C" locale.
void appendNarrow(const char* text) {
  for (; *text != 0; ++text) appendUnit(static_cast<WideUnit>(static_cast<unsigned char>(*text)));
}

// Paths and templates go in unit for unit, whatever their script.
void appendWide(const WideUnit* text) {
  for (; *text != 0; ++text) appendUnit(*text);
}

void report(DWORD standard_stream) {
  // Another start of the same application must not wait for this one's box, and this start
  // extracts nothing more: every report comes after the last file handed to the writer is done.
  unlockExtractionDirectory();
  writeReportLine(standard_stream, ReportLine);
  showReportIfUnseen(standard_stream, ReportLine);
}

}  // namespace

void fatalError(const char* message) {
  startLine();
  appendNarrow(message);
  report(STD_OUTPUT_HANDLE);
  exit(kFatalExitCode);
}

void reportOsError(const char* message, uint32_t code) {
  WideUnit* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
                 nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<WideUnit*>(&text), 0,
                 nullptr);
  // The buffer is never freed: the process ends right after the report.
  if (text != nullptr) makeOneLine(text);
  DecimalText number;
  formatDecimal(number, static_cast<int32_t>(code));
  startLine();
  appendNarrow(message);
  appendNarrow(" ([Error ");
  appendNarrow(number);
  appendNarrow("] ");
  if (text != nullptr) {
    appendWide(text);
  } else {
    appendNarrow(kNoSystemText);
  }
  appendNarrow(")");
  report(STD_ERROR_HANDLE);
}

void failTemplate(const WideUnit* template_text) {
  startLine();
  appendNarrow("Error, couldn't runtime expand spec '");
  appendWide(template_text);
  appendNarrow("'.");
  report(STD_ERROR_HANDLE);
  exit(kFatalExitCode);
}

void failOpenForWriting(const WideUnit* path) {
  startLine();
  appendNarrow("Error, failed to open '");
  appendWide(path);
  appendNarrow("' for writing.");
  report(STD_ERROR_HANDLE);
  exit(kFatalExitCode);
}

void stopWithoutReport() { exit(kStopExitCode); }
