// The walk to a file's folder: every folder past the base looked at once, outermost first; a link
// or junction on the way found before anything below it is read, written or deleted.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "FolderWalk.h"

namespace {

// The folders of a made-up disk, and every path the walk asked about.
std::map<std::u16string, FolderKind> disk;
std::vector<std::u16string> asked;

FolderKind kindOnTable(const WideUnit* path) {
  asked.push_back(path);
  auto found = disk.find(path);
  return found == disk.end() ? FolderKind::missing : found->second;
}

const std::u16string kBase = u"C:\\cache\\App\\1.0";

TEST(FolderWalk, FindsTheFirstLinkAndAsksAboutEachFolderOnce) {
  disk = {{kBase + u"\\a", FolderKind::real},
          {kBase + u"\\a\\b", FolderKind::real},
          {kBase + u"\\a\\junction", FolderKind::link},
          {kBase + u"\\a\\junction\\inner", FolderKind::real},
          {kBase + u"\\link", FolderKind::link}};
  const struct {
    const char16_t* file;  // below the base
    FolderOnWay way;
    const char16_t* link;  // below the base, when `way` is link
    std::vector<std::u16string> asked;
  } cases[] = {
      // In order, as payload names come: each row continues the walk of the rows before.
      {u"app.exe", FolderOnWay::real, u"", {}},
      {u"a\\b\\one.dll", FolderOnWay::real, u"", {u"a", u"a\\b"}},
      {u"a\\b\\two.dll", FolderOnWay::real, u"", {}},
      {u"a\\three.txt", FolderOnWay::real, u"", {}},
      // Found before the real folder below it is looked at.
      {u"a\\junction\\inner\\data.bin", FolderOnWay::link, u"a\\junction", {u"a\\junction"}},
      {u"link\\data.bin", FolderOnWay::link, u"link", {u"link"}},
      {u"gone\\deeper\\data.bin", FolderOnWay::missing, u"", {u"gone"}},
      // The folders found real before are still known after a link and a missing folder.
      {u"a\\b\\four.dll", FolderOnWay::real, u"", {}},
  };
  FolderWalk walk;
  WideBuffer<kFolderWalkCapacity> link_path;
  for (const auto& c : cases) {
    const std::u16string path = kBase + u"\\" + c.file;
    SCOPED_TRACE(std::string(path.begin(), path.end()));
    asked.clear();
    EXPECT_EQ(firstFolderLink(path.c_str(), kBase.size(), walk, link_path, kindOnTable), c.way);
    if (c.way == FolderOnWay::link) EXPECT_EQ(std::u16string(link_path), kBase + u"\\" + c.link);
    std::vector<std::u16string> expected;
    for (const std::u16string& folder : c.asked) expected.push_back(kBase + u"\\" + folder);
    EXPECT_EQ(asked, expected);
  }
}

TEST(FolderWalk, FoldersAboutToBeMadeAreNotAskedAboutAgain) {
  disk.clear();
  FolderWalk walk;
  WideBuffer<kFolderWalkCapacity> link_path;
  const std::u16string first = kBase + u"\\new\\sub\\one.txt";
  asked.clear();
  EXPECT_EQ(firstFolderLink(first.c_str(), kBase.size(), walk, link_path, kindOnTable), FolderOnWay::missing);
  rememberFoldersOf(first.c_str(), kBase.size(), walk);
  const std::u16string second = kBase + u"\\new\\sub\\two.txt";
  asked.clear();
  EXPECT_EQ(firstFolderLink(second.c_str(), kBase.size(), walk, link_path, kindOnTable), FolderOnWay::real);
  EXPECT_TRUE(asked.empty());
}

}  // namespace
