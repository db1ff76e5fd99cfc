// The folders two paths share, whole components only: what a start need not look at again.
#include <gtest/gtest.h>

#include <string>

#include "FolderPrefix.h"

namespace {

TEST(FolderPrefix, OnlyWholeComponentsAreShared) {
  const struct {
    const char16_t* path;
    const char16_t* seen;
    size_t shared;
  } cases[] = {
      {u"C:\\x\\a", u"C:\\x\\a", 6},
      {u"C:\\x\\a", u"C:\\x\\a\\b", 6},     // the folder above one already seen
      {u"C:\\x\\a\\b", u"C:\\x\\a", 6},     // one level below
      {u"C:\\x\\ab", u"C:\\x\\a", 4},       // "a" is not "ab"
      {u"C:\\x\\a", u"C:\\x\\ab", 4},
      {u"C:\\x\\b\\c", u"C:\\x\\a\\c", 4},  // the same name under another folder
      {u"C:\\x\\A", u"C:\\x\\a", 4},        // exact units: another spelling is looked at again
      {u"C:\\x", u"", 0},
      {u"D:\\x", u"C:\\x", 0},
  };
  for (const auto& c : cases) {
    const std::u16string path = c.path;
    const std::u16string seen = c.seen;
    SCOPED_TRACE(std::string(path.begin(), path.end()) + " after " + std::string(seen.begin(), seen.end()));
    EXPECT_EQ(sharedFolderPrefix(path.c_str(), path.size(), seen.c_str(), seen.size()), c.shared);
  }
}

}  // namespace
