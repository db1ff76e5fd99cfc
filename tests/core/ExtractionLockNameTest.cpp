// Launchers of one extraction directory must agree on one mutex name, whatever the letter case of
// the path; other directories must get other names.
#include <gtest/gtest.h>

#include <string>

#include "ExtractionLock.h"

namespace {

std::u16string lockName(const char16_t* directory) {
  const std::basic_string<WideUnit> wide(directory, directory + std::char_traits<char16_t>::length(directory));
  WideBuffer<64> name;
  extractionLockName(wide.c_str(), name);
  return std::u16string(name, name + wideLength(name));
}

TEST(ExtractionLockName, OneNamePerDirectoryIgnoringCase) {
  const std::u16string name = lockName(u"C:\\Users\\u\\AppData\\Local\\Quorvell\\1.3");
  EXPECT_EQ(name.substr(0, 22), u"Local\\onefile-extract-");
  EXPECT_EQ(name.size(), 22u + 16u);
  EXPECT_EQ(name, lockName(u"c:\\users\\U\\APPDATA\\local\\quorvell\\1.3"));
  EXPECT_NE(name, lockName(u"C:\\Users\\u\\AppData\\Local\\Quorvell\\1.4"));
  EXPECT_NE(name, lockName(u"C:\\Users\\v\\AppData\\Local\\Quorvell\\1.3"));
  EXPECT_NE(lockName(u""), lockName(u"\\"));
}

}  // namespace
