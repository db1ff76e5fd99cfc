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
bool isDeviceName(const WideUnit* component, size_t length) {
  size_t stem = 0;
  while (stem < length && component[stem] != '.') ++stem;
  while (stem > 0 && component[stem - 1] == ' ') --stem;
  static const char* const kDevices[] = {"con", "prn", "aux", "nul"};
  for (const char* device : kDevices) {
    if (equalsFolded(component, stem, device)) return true;
  }
  return stem == 4 && (equalsFolded(component, 3, "com") || equalsFolded(component, 3, "lpt")) &&
         isDeviceDigit(component[3]);
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

NameComponentProblem nameComponentProblem(const WideUnit* component, size_t length) {
  if (length == 0) return NameComponentProblem::empty;
  for (size_t i = 0; i < length; ++i) {
    if (component[i] < 0x20) return NameComponentProblem::controlCharacter;
    if (isReservedNameUnit(component[i])) return NameComponentProblem::reservedCharacter;
  }
  const WideUnit last = component[length - 1];
  if (last == '.' || last == ' ') return NameComponentProblem::trailingDotOrSpace;
  if (isDeviceName(component, length)) return NameComponentProblem::deviceName;
  return NameComponentProblem::none;
}
