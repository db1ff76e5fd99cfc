#include "FileNameRules.h"

namespace {

WideUnit foldedAscii(WideUnit unit) {
  return unit >= 'A' && unit <= 'Z' ? static_cast<WideUnit>(unit - 'A' + 'a') : unit;
}

bool equalsFolded(const WideUnit* units, size_t length, const char* lower) {
  for (size_t i = 0; i < length; ++i) {
    if (lower[i] == 0 || foldedAscii(units[i]) != static_cast<WideUnit>(lower[i])) return false;
  }
  return lower[length] == 0;
}

bool isDeviceDigit(WideUnit unit) {
  // The superscript digits one to three count as digits to the device name check.
  return (unit >= '0' && unit <= '9') || unit == 0x00B9 || unit == 0x00B2 || unit == 0x00B3;
}

// Windows takes the name before the first dot, without trailing spaces, as the device name:
// "nul.txt", "NUL .tar.gz" and "com1" all open a device.
bool isDeviceName(const WideUnit* name, size_t length) {
  size_t stem = 0;
  while (stem < length && name[stem] != '.') ++stem;
  while (stem > 0 && name[stem - 1] == ' ') --stem;
  static const char* const kDevices[] = {"con", "prn", "aux", "nul"};
  for (const char* device : kDevices) {
    if (equalsFolded(name, stem, device)) return true;
  }
  return stem == 4 && (equalsFolded(name, 3, "com") || equalsFolded(name, 3, "lpt")) && isDeviceDigit(name[3]);
}

}  // namespace

bool isReservedNameUnit(WideUnit unit) {
  switch (unit) {
    case '<': case '>': case ':': case '"': case '/': case '\\': case '|': case '?': case '*':
      return true;
    default:
      return false;
  }
}

FileNameProblem fileNameProblem(const WideUnit* name, size_t length, size_t* at) {
  if (length == 0) return FileNameProblem::empty;
  for (size_t i = 0; i < length; ++i) {
    if (name[i] < 0x20 || isReservedNameUnit(name[i])) {
      if (at != nullptr) *at = i;
      return name[i] < 0x20 ? FileNameProblem::controlCharacter : FileNameProblem::reservedCharacter;
    }
  }
  const WideUnit last = name[length - 1];
  if (last == '.' || last == ' ') return FileNameProblem::trailingDotOrSpace;
  if (isDeviceName(name, length)) return FileNameProblem::deviceName;
  return FileNameProblem::none;
}
