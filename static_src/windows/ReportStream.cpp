#include "ReportStream.h"

#include <stdio.h>

#include "Utf8Encoding.h"
#include "WideString.h"

namespace {

// The longest line in UTF-8 and its line end.
char LineBytes[(kReportLineCapacity - 1) * kUtf8BytesPerUnit + 2];

// A pipe may take a write in parts.
void writeAll(HANDLE handle, const char* bytes, size_t length) {
  while (length > 0) {
    DWORD written = 0;
    if (!WriteFile(handle, bytes, static_cast<DWORD>(length), &written, nullptr) || written == 0) return;
    bytes += written;
    length -= written;
  }
}

}  // namespace

void writeReportLine(DWORD standard_stream, const WideUnit* line) {
  // The line goes past the C runtime's buffers: whatever they still hold was printed first.
  fflush(stdout);
  fflush(stderr);
  HANDLE handle = GetStdHandle(standard_stream);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD console_mode = 0;
  if (GetConsoleMode(handle, &console_mode)) {
    DWORD written = 0;
    WriteConsoleW(handle, line, static_cast<DWORD>(wideLength(line)), &written, nullptr);
    WriteConsoleW(handle, L"\r\n", 2, &written, nullptr);
    return;
  }
  size_t length = 0;
  // Sized for the longest line, so the encoding always fits.
  encodeUtf8(line, LineBytes, sizeof LineBytes - 2, &length);
  LineBytes[length++] = '\r';
  LineBytes[length++] = '\n';
  writeAll(handle, LineBytes, length);
}
