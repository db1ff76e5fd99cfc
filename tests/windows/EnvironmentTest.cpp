// The launcher's access to its own environment, against the real Windows environment block.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdlib.h>

#include <string>

#include "Environment.h"
#include "ExitCodes.h"

namespace {

std::wstring lookup(const char* name) {
  WideUnit* value = getEnvironmentValue(name);
  std::wstring text = value != nullptr ? value : L"<nothing>";
  free(value);
  return text;
}

TEST(Environment, SetThenGetByAsciiName) {
  setEnvironmentValue("ONEFILE_TEST_VALUE", L"C:\\some where\\\x00e9t\x00e9");
  EXPECT_EQ(lookup("ONEFILE_TEST_VALUE"), L"C:\\some where\\\x00e9t\x00e9");
  wchar_t raw[64];
  ASSERT_GT(GetEnvironmentVariableW(L"ONEFILE_TEST_VALUE", raw, 64), 0u);
}

TEST(Environment, NamesOf39CharactersWorkAnd40Stop) {
  const std::string name39(39, 'N');
  setEnvironmentValue(name39.c_str(), L"ok");
  EXPECT_EQ(lookup(name39.c_str()), L"ok");
  const std::string name40(40, 'N');
  EXPECT_EXIT(setEnvironmentValue(name40.c_str(), L"x"), testing::ExitedWithCode(kStopExitCode), "");
  EXPECT_EXIT(getEnvironmentValue(name40.c_str()), testing::ExitedWithCode(kStopExitCode), "");
}

TEST(Environment, EmptyAndUnsetBothGiveNothing) {
  SetEnvironmentVariableW(L"ONEFILE_TEST_EMPTY", L"");
  EXPECT_EQ(lookup("ONEFILE_TEST_EMPTY"), L"<nothing>");
  SetEnvironmentVariableW(L"ONEFILE_TEST_UNSET", nullptr);
  EXPECT_EQ(lookup("ONEFILE_TEST_UNSET"), L"<nothing>");
}

bool runningUnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

TEST(Environment, LongValuesComeBackWhole) {
  const std::wstring value(32766, L'v');
  ASSERT_TRUE(SetEnvironmentVariableW(L"ONEFILE_TEST_LONG", value.c_str()));
  EXPECT_EQ(lookup("ONEFILE_TEST_LONG"), value);
}

TEST(Environment, ValueOf32767UnitsComesBackWhole) {
  // Wine 8 differs from Windows here: its GetEnvironmentVariableW, given 32768 units of room, stores
  // only the first 32766 units of a 32767-unit value and returns 32766, where Windows stores the
  // whole value as documented.
  if (runningUnderWine()) GTEST_SKIP() << "Wine cuts a 32767-unit value to 32766 units";
  const std::wstring value(32767, L'v');
  ASSERT_TRUE(SetEnvironmentVariableW(L"ONEFILE_TEST_LONG", value.c_str()));
  EXPECT_EQ(lookup("ONEFILE_TEST_LONG"), value);
}

}  // namespace
