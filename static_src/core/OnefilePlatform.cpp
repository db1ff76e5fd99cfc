#include "OnefilePlatform.h"

#include <stdlib.h>

bool widenNarrowByte(char byte, WideUnit* unit) {
  const char text[2] = {byte, '\0'};
  wchar_t converted[2] = {0, 0};
  if (mbstowcs(converted, text, 2) != 1) return false;
  *unit = static_cast<WideUnit>(converted[0]);
  return true;
}
