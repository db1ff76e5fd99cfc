// Template expansion with the real answers of the system: each variable against the query it
// stands for, asked directly here.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "LauncherBuildConfig.h"
#include "LocationTemplate.h"
#include "WideString.h"

namespace {

struct Expanded {
  bool result;
  std::wstring text;
};

Expanded expand(const wchar_t* template_text) {
  static WideBuffer<4096> output;
  const bool result = expandLocationTemplate(output, template_text, 4096);
  return {result, output};
}

std::wstring withoutTrailingBackslashes(std::wstring path) {
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

std::wstring folder(int csidl) {
  wchar_t path[MAX_PATH];
  EXPECT_EQ(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
  return withoutTrailingBackslashes(path);
}

std::wstring modulePath() {
  wchar_t path[4096];
  const DWORD length = GetModuleFileNameW(nullptr, path, 4096);
  EXPECT_GT(length, 0u);
  EXPECT_LT(length, 4096u);
  return path;
}

uint64_t fileTimeNow() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

TEST(SystemTemplates, TempIsTheTemporaryDirectoryWithoutTrailingBackslash) {
  wchar_t temp[MAX_PATH + 1];
  ASSERT_GT(GetTempPathW(MAX_PATH + 1, temp), 0u);
  ASSERT_EQ(std::wstring(temp).back(), L'\\') << "the system is documented to end it with a backslash";
  const Expanded expanded = expand(L"{TEMP}");
  EXPECT_TRUE(expanded.result);
  EXPECT_EQ(expanded.text, withoutTrailingBackslashes(temp));
}

TEST(SystemTemplates, SplashFeedbackPathHasOneBackslashAndTheOwnProcessId) {
  SetEnvironmentVariableW(L"TOLVAR_ONEFILE_PARENT", nullptr);
  const Expanded expanded = expand(WIDE_TEXT(ONEFILE_SPLASH_FEEDBACK_TEMPLATE));
  EXPECT_TRUE(expanded.result);
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  EXPECT_EQ(expanded.text, withoutTrailingBackslashes(temp) + L"\\onefile_" + std::to_wstring(GetCurrentProcessId()) +
                               L"_splash_feedback.tmp");
  SetEnvironmentVariableW(L"TOLVAR_ONEFILE_PARENT", L"748");
  EXPECT_EQ(expand(L"{PID}").text, L"748");
  SetEnvironmentVariableW(L"TOLVAR_ONEFILE_PARENT", nullptr);
}

TEST(SystemTemplates, ExtractionDirectoryIsBelowLocalApplicationData) {
  const Expanded expanded = expand(WIDE_TEXT(ONEFILE_EXTRACTION_TEMPLATE));
  EXPECT_TRUE(expanded.result);
  EXPECT_EQ(expanded.text, folder(CSIDL_LOCAL_APPDATA) + L"\\Quorvell\\1.3");
}

TEST(SystemTemplates, HomeIsTheProfileDirectory) {
  const Expanded expanded = expand(L"{HOME}");
  EXPECT_TRUE(expanded.result);
  EXPECT_EQ(expanded.text, folder(CSIDL_PROFILE));
}

TEST(SystemTemplates, ProgramAndItsDirectoryAndBase) {
  const std::wstring path = modulePath();
  EXPECT_EQ(expand(L"{PROGRAM}").text, path);
  EXPECT_EQ(expand(L"{PROGRAM_DIR}").text, path.substr(0, path.rfind(L'\\')));
  ASSERT_EQ(_wcsicmp(path.substr(path.size() - 4).c_str(), L".exe"), 0);
  EXPECT_EQ(expand(L"{PROGRAM_BASE}").text, path.substr(0, path.size() - 4));
}

TEST(SystemTemplates, FirstTimeIsTheSystemTimeAndIsStoredForLaterTimes) {
  SetEnvironmentVariableW(L"TOLVAR_ONEFILE_START", nullptr);
  const uint64_t before = fileTimeNow();
  const Expanded expanded = expand(L"{TIME}-{TIME}");
  const uint64_t after = fileTimeNow();
  EXPECT_TRUE(expanded.result);
  const size_t dash = expanded.text.find(L'-');
  ASSERT_NE(dash, std::wstring::npos);
  const std::wstring first = expanded.text.substr(0, dash);
  EXPECT_EQ(expanded.text.substr(dash + 1), first);
  ASSERT_EQ(first.find_first_not_of(L"0123456789"), std::wstring::npos) << "not a decimal number: " << first;
  const uint64_t time = std::stoull(first);
  EXPECT_LE(before, time);
  EXPECT_LE(time, after);
  wchar_t stored[64];
  ASSERT_GT(GetEnvironmentVariableW(L"TOLVAR_ONEFILE_START", stored, 64), 0u);
  EXPECT_EQ(first, stored);
  SetEnvironmentVariableW(L"TOLVAR_ONEFILE_START", nullptr);
}

}  // namespace
