// Which folders a start may count as other builds of its application, and which of those it keeps.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SupersededBuilds.h"

namespace {

std::string narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

TEST(SupersededBuilds, OnlyATemplateWhoseLastFolderNamesTheBuildSeparatesBuilds) {
  const struct {
    const char16_t* extraction_template;
    bool separates;
  } cases[] = {
      {u"{CACHE_DIR}\\{PRODUCT}\\{VERSION}-{BUILD}", true},
      {u"{CACHE_DIR}\\{PRODUCT}\\{VERSION}", true},
      {u"{CACHE_DIR}\\{PRODUCT}\\{build}", true},
      {u"{CACHE_DIR}/{PRODUCT}/v{VERSION}/", true},  // trailing separators are no folder
      {u"{CACHE_DIR}\\{PRODUCT}\\{VERSION}\\\\", true},
      {u"{CACHE_DIR}\\{PRODUCT}", false},
      {u"{CACHE_DIR}\\{VERSION}\\app", false},  // the build is not the last folder
      {u"{PROGRAM_DIR}", false},
      {u"{PROGRAM_DIR}\\{PRODUCT}", false},
      {u"C:\\Tools\\fixed", false},
      {u"{CACHE_DIR}\\{PRODUCT}\\{VERSION}\\{PID}", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(narrow(c.extraction_template));
    EXPECT_EQ(templateSeparatesBuilds(c.extraction_template), c.separates);
  }
}

TEST(SupersededBuilds, TheFolderIsTheLastNameAndItsParentWhatComesBefore) {
  const struct {
    const char16_t* directory;
    bool split;
    size_t parent_length;
    size_t name_start;
  } cases[] = {
      {u"C:\\Users\\u\\AppData\\Local\\Tool\\1.0-0123abcd", true, 29, 30},
      {u"C:\\1.0", true, 2, 3},
      {u"\\\\server\\share\\Tool\\1.0", true, 19, 20},
      {u"C:", false, 0, 0},
      {u"1.0", false, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(narrow(c.directory));
    size_t parent_length = 0;
    size_t name_start = 0;
    ASSERT_EQ(splitExtractionDirectory(c.directory, parent_length, name_start), c.split);
    if (!c.split) continue;
    EXPECT_EQ(parent_length, c.parent_length);
    EXPECT_EQ(name_start, c.name_start);
  }
}

TEST(SupersededBuilds, TheMostRecentlyUsedAreKept) {
  const struct {
    const char* what;
    std::vector<uint64_t> last_used;
    uint32_t keep;
    std::vector<bool> kept;
  } cases[] = {
      {"none kept", {5, 9, 1}, 0, {false, false, false}},
      {"the newest one", {5, 9, 1}, 1, {false, true, false}},
      {"the newest two", {5, 9, 1}, 2, {true, true, false}},
      {"more kept than there are", {5, 9}, 3, {true, true}},
      {"equal times: exactly as many as asked", {7, 7, 7}, 2, {true, true, false}},
      {"nothing found", {}, 2, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<BuildCandidate> candidates;
    for (uint64_t time : c.last_used) candidates.push_back({time, false});
    chooseBuildsToKeep(candidates.data(), candidates.size(), c.keep);
    for (size_t i = 0; i < candidates.size(); ++i) EXPECT_EQ(candidates[i].keep, c.kept[i]) << "candidate " << i;
  }
}

}  // namespace
