// Reports on Linux: one line on standard error, whatever the report. On Windows a report without a
// system error code goes to standard output, where a windowed launcher's parent may look; here
// standard output is the program's, and a script that reads it must not find the launcher there.
#include "FatalErrors.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "ExtractionLock.h"
#include "LinuxReports.h"
#include "SystemPathText.h"
#include "TemplateShortfall.h"
#include "WideString.h"

namespace {

// A message, a path of 4096 units and a system text.
constexpr size_t kReportLineCapacity = 16384;
WideBuffer<kReportLineCapacity> ReportLine;
size_t report_length = 0;
char LineBytes[kReportLineCapacity * 3 + 1];

void startLine() {
  report_length = 0;
  ReportLine[0] = 0;
}

// A text too long for the line is cut: a report that does not fit is still better than none.
void appendUnit(WideUnit unit) {
  if (report_length + 1 >= kReportLineCapacity) return;
  ReportLine[report_length++] = unit;
  ReportLine[report_length] = 0;
}

// Messages are ASCII; a path from the system comes as bytes, which go out unchanged.
void appendNarrow(const char* text) {
  for (; *text != 0; ++text) {
    const auto byte = static_cast<unsigned char>(*text);
    appendUnit(static_cast<WideUnit>(byte < 0x80 ? byte : 0xDC00 + byte));
  }
}

// A template goes in as written, unit for unit.
void appendWide(const WideUnit* text) {
  for (; *text != 0; ++text) appendUnit(*text);
}

// A path as the system takes it, with "/".
void appendPath(const WideUnit* path) {
  for (; *path != 0; ++path) appendUnit(*path == '\\' ? static_cast<WideUnit>('/') : *path);
}

void writeAll(const char* bytes, size_t length) {
  while (length > 0) {
    const ssize_t written = write(STDERR_FILENO, bytes, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes += written;
    length -= static_cast<size_t>(written);
  }
}

// Escaped bytes go out as the bytes they were.
void report() {
  // Another start of the same application must not wait while this one ends.
  unlockExtractionDirectory();
  if (!encodeSystemText(ReportLine, kAllEscaped, LineBytes, sizeof LineBytes - 1, false)) return;
  size_t length = strlen(LineBytes);
  LineBytes[length++] = '\n';
  writeAll(LineBytes, length);
}

}  // namespace

void fatalError(const char* message) {
  startLine();
  appendNarrow(message);
  report();
  exit(kFatalExitCode);
}

void reportOsError(const char* message, uint32_t code) {
  DecimalText number;
  formatDecimal(number, static_cast<int32_t>(code));
  startLine();
  appendNarrow(message);
  appendNarrow(" ([Error ");
  appendNarrow(number);
  appendNarrow("] ");
  const char* const text = strerror(static_cast<int>(code));
  appendNarrow(text != nullptr ? text : kNoSystemText);
  appendNarrow(")");
  report();
}

// The Windows words, then what was missing when the environment lacked a folder.
void failTemplate(const WideUnit* template_text) {
  startLine();
  appendNarrow("Error, couldn't runtime expand spec '");
  appendWide(template_text);
  appendNarrow("'.");
  if (templateShortfall() != nullptr) {
    appendNarrow(" (");
    appendNarrow(templateShortfall());
    appendNarrow(")");
  }
  report();
  exit(kFatalExitCode);
}

void failOpenForWriting(const WideUnit* path) {
  startLine();
  appendNarrow("Error, failed to open '");
  appendPath(path);
  appendNarrow("' for writing.");
  report();
  exit(kFatalExitCode);
}

void failUnsafeFolder(const char* folder, const char* reason) {
  startLine();
  appendNarrow("Error, refusing to unpack into '");
  appendNarrow(folder);
  appendNarrow("': ");
  appendNarrow(reason);
  appendNarrow(".");
  report();
  exit(kFatalExitCode);
}

void stopWithoutReport() { exit(kStopExitCode); }
