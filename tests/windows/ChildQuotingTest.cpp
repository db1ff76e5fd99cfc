// The quoting rule against the system's own parser, in this process: CommandLineToArgvW of a
// joined line gives back every argument. (ChildLaunchTest adds the C runtime's parser, in a real
// child.)
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <random>
#include <string>
#include <vector>

#include "ChildCommandLine.h"

namespace {

TEST(QuotingRule, SystemParserGivesBackRandomArgumentVectors) {
  const std::vector<std::wstring> alphabet = {L"a", L" ", L"\t", L"\n", L"\v", L"\r", L"\"", L"\\", L"\\",
                                              L"\u00e9", L"\U0001F600"};
  std::mt19937 random(7);
  static WideBuffer<32768> line;
  for (int run = 0; run < 5000; ++run) {
    std::vector<std::wstring> arguments = {L"C:\\Program Files\\My Tool\\tool.exe"};
    for (size_t count = random() % 6; count > 0; --count) {
      std::wstring argument;
      for (size_t n = random() % 10; n > 0; --n) argument += alphabet[random() % alphabet.size()];
      arguments.push_back(argument);
    }
    std::vector<const WideUnit*> pointers;
    for (const std::wstring& argument : arguments) pointers.push_back(argument.c_str());
    joinQuotedArguments(line, pointers.data(), pointers.size());
    int count = 0;
    wchar_t** parsed = CommandLineToArgvW(line, &count);
    ASSERT_NE(parsed, nullptr);
    const std::vector<std::wstring> result(parsed, parsed + count);
    LocalFree(parsed);
    ASSERT_EQ(result, arguments) << "run " << run;
  }
}

}  // namespace
