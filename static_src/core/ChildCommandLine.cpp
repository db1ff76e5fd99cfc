#include "ChildCommandLine.h"

namespace {

constexpr WideUnit kBackslash = 0x5C;
constexpr WideUnit kQuote = 0x22;
constexpr WideUnit kSpace = 0x20;
constexpr WideUnit kTab = 0x09;
constexpr WideUnit kLineFeed = 0x0A;
constexpr WideUnit kVerticalTab = 0x0B;

// Carriage return, form feed and other white space do not split an argument, so they need no
// quotes.
bool needsQuotes(const WideUnit* argument) {
  if (argument[0] == 0) return true;
  for (; *argument != 0; ++argument) {
    switch (*argument) {
      case kSpace:
      case kTab:
      case kLineFeed:
      case kVerticalTab:
      case kQuote:
        return true;
      default:
        break;
    }
  }
  return false;
}

void appendBackslashes(WideUnit* line, size_t capacity, size_t count) {
  for (size_t i = 0; i < count; ++i) appendWideChar(line, capacity, kBackslash);
}

}  // namespace

void appendQuotedArgument(WideUnit* line, size_t capacity, const WideUnit* argument) {
  // Unquoted, the parsers take backslashes literally, a final one included.
  if (!needsQuotes(argument)) {
    appendWideString(line, capacity, argument);
    return;
  }
  appendWideChar(line, capacity, kQuote);
  const WideUnit* position = argument;
  for (;;) {
    size_t backslashes = 0;
    while (position[backslashes] == kBackslash) ++backslashes;
    const WideUnit following = position[backslashes];
    if (following == 0) {
      // Doubled, so that the closing quote stays a closing quote.
      appendBackslashes(line, capacity, 2 * backslashes);
      break;
    }
    if (following == kQuote) {
      appendBackslashes(line, capacity, 2 * backslashes + 1);
    } else {
      appendBackslashes(line, capacity, backslashes);
    }
    appendWideChar(line, capacity, following);
    position += backslashes + 1;
  }
  appendWideChar(line, capacity, kQuote);
}

void joinQuotedArguments(WideUnit* line, size_t capacity, const WideUnit* const* arguments, size_t count) {
  copyWideString(line, capacity, WIDE_TEXT(""));
  for (size_t i = 0; i < count; ++i) {
    if (i != 0) appendWideChar(line, capacity, kSpace);
    appendQuotedArgument(line, capacity, arguments[i]);
  }
}

void cutAtLastBackslash(WideUnit* path) {
  WideUnit* last = nullptr;
  for (WideUnit* unit = path; *unit != 0; ++unit) {
    if (*unit == kBackslash) last = unit;
  }
  if (last != nullptr) *last = 0;
}
