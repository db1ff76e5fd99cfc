#include "Environment.h"

#include <stdlib.h>

#include "SystemPathText.h"
#include "WideString.h"

namespace {
constexpr size_t kValueCapacity = 32768;
WideUnit Value[kValueCapacity];
char ValueBytes[kValueCapacity * 3];
}  // namespace

// Values are bytes; one that is not UTF-8 comes back whole when it is set again (SystemPathText.h).
WideUnit* getEnvironmentValue(const char* name) {
  const char* const bytes = getenv(name);
  if (bytes == nullptr || bytes[0] == 0) return nullptr;
  if (!decodeSystemText(bytes, Value, kValueCapacity, false)) return nullptr;
  const size_t size = (wideLength(Value) + 1) * sizeof(WideUnit);
  auto* const copy = static_cast<WideUnit*>(malloc(size));
  if (copy != nullptr) memcpy(copy, Value, size);
  return copy;
}

void setEnvironmentValue(const char* name, const WideUnit* value) {
  if (!encodeSystemText(value, kAllEscaped, ValueBytes, sizeof ValueBytes, false)) return;
  setenv(name, ValueBytes, 1);
}
