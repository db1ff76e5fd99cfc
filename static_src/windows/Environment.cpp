#include "Environment.h"

#include <windows.h>

#include <wchar.h>

#include "WideString.h"

namespace {
constexpr DWORD kValueCapacity = 32768;
}

WideUnit* getEnvironmentValue(const char* name) {
  WideBuffer<40> wide_name = {0};
  appendAsciiString(wide_name, name);
  static WideUnit value[kValueCapacity];
  const DWORD result = GetEnvironmentVariableW(wide_name, value, kValueCapacity);
  // 0 covers both an unset and an empty variable; a result of the capacity or more is the size
  // the value would need.
  if (result == 0 || result >= kValueCapacity) return nullptr;
  return _wcsdup(value);
}

void setEnvironmentValue(const char* name, const WideUnit* value) {
  WideBuffer<40> wide_name = {0};
  appendAsciiString(wide_name, name);
  SetEnvironmentVariableW(wide_name, value);
}
