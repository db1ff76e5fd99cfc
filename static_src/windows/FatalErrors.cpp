#include "FatalErrors.h"

#include <windows.h>

#include <assert.h>
#include <stdio.h>
#include <stdlib.h>

void fatalError(const char* message) {
  puts(message);
  exit(kFatalExitCode);
}

void reportOsError(const char* message, uint32_t code) {
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
                 nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<char*>(&text), 0,
                 nullptr);
  // The buffer is never freed: the process ends right after the report.
  fprintf(stderr, "%s ([Error %ld] %s)\n", message, static_cast<long>(static_cast<int32_t>(code)),
          text != nullptr ? text : kNoSystemText);
}

void failTemplate(const WideUnit* template_text) {
  fprintf(stderr, "Error, couldn't runtime expand spec '%ls'.\n", template_text);
  exit(kFatalExitCode);
}

void failAssertion(const char* expression, const char* source, unsigned line) {
  _set_error_mode(_OUT_TO_STDERR);
  _assert(expression, source, line);
  abort();  // _assert does not return; this keeps the promise for the compiler
}

void stopWithoutReport() { exit(kStopExitCode); }
