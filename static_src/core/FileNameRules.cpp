#include "FileNameRules.h"

namespace {

bool isReserved(WideUnit unit) {
  static const char kReserved[] = "<>:\"/\\|?*";
  for (const char* reserved = kReserved; *reserved != 0; ++reserved) {
    if (unit == static_cast<WideUnit>(*reserved)) return true;
  }
  return false;
}

WideUnit lowerAscii(WideUnit unit) { return unit >= 'A' && unit <= 'Z' ? static_cast<WideUnit>(unit + ('a' - 'A')) : unit; }

bool stemIs(const WideUnit* stem, size_t length, const char* device) {
  size_t i = 0;
  for (; i < length && device[i] != 0; ++i) {
    if (lowerAscii(stem[i]) != static_cast<WideUnit>(device[i])) return false;
  }
  return i == length && device[i] == 0;
}

// The part before the first dot, less trailing spaces, names a device whatever the extension:
// Windows opens the device for "nul.txt" and "COM1 .log" alike.
bool isDeviceName(const WideUnit* name, size_t length) {
  size_t stem = 0;
  while (stem < length && name[stem] != '.') ++stem;
  while (stem > 0 && name[stem - 1] == ' ') --stem;
  static const char* const kDevices[] = {"con", "prn", "aux", "nul"};
  for (const char* device : kDevices) {
    if (stemIs(name, stem, device)) return true;
  }
  if (stem != 4 || name[3] < '1' || name[3] > '9') return false;
  return stemIs(name, 3, "com") || stemIs(name, 3, "lpt");
}

}  // namespace

FileNameProblem fileNameProblem(const WideUnit* name, size_t length, size_t* at) {
  if (length == 0) return FileNameProblem::empty;
  for (size_t i = 0; i < length; ++i) {
    if (name[i] < 0x20 || isReserved(name[i])) {
      if (at != nullptr) *at = i;
      return name[i] < 0x20 ? FileNameProblem::controlCharacter : FileNameProblem::reservedCharacter;
    }
  }
  if (name[length - 1] == '.' || name[length - 1] == ' ') return FileNameProblem::trailingDotOrSpace;
  if (isDeviceName(name, length)) return FileNameProblem::deviceName;
  return FileNameProblem::none;
}
