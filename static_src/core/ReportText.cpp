#include "ReportText.h"

namespace {

template <typename Unit>
bool isBlank(Unit c) {
  return c == ' ' || c == '\t';
}
template <typename Unit>
bool isBreak(Unit c) {
  return c == '\r' || c == '\n';
}

template <typename Unit>
void joinLines(Unit* text) {
  size_t written = 0;
  // A break seen since the last word: it becomes one space before the next word, if one comes.
  bool pending_break = false;
  for (size_t read = 0; text[read] != 0; ++read) {
    const Unit c = text[read];
    if (isBreak(c)) {
      // Blanks right before a break belong to the break.
      while (written > 0 && isBlank(text[written - 1])) --written;
      pending_break = written > 0;
      continue;
    }
    if (pending_break) {
      if (isBlank(c)) continue;  // blanks right after a break belong to it too
      text[written++] = ' ';
      pending_break = false;
    }
    text[written++] = c;
  }
  while (written > 0 && isBlank(text[written - 1])) --written;
  text[written] = 0;
}

}  // namespace

void makeOneLine(char* text) { joinLines(text); }
void makeOneLine(WideUnit* text) { joinLines(text); }
