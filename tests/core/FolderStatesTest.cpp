// Folders' listings looked up by name: a file is found under any letter case Windows takes for its
// name, and never when the listing cannot say which entry it is, so such files are read instead;
// the listings of outer folders outlive those of the folders below them.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "FolderStates.h"

namespace {

RecordedFileState stateWithSize(uint64_t size) {
  RecordedFileState state{};
  state.size = size;
  return state;
}

struct Listing {
  std::unique_ptr<FolderStates> folder{new FolderStates};
  Listing() {
    clearFolderStates(*folder);
    beginFolderListing(*folder);
  }
  void add(const std::u16string& name, uint64_t size) {
    addFolderState(*folder, name.data(), name.size(), stateWithSize(size));
  }
  // The size found under `name`, or -1 for none.
  long long find(const std::u16string& name) const {
    const RecordedFileState* state = findFolderState(*folder, name.c_str());
    return state != nullptr ? static_cast<long long>(state->size) : -1;
  }
};

TEST(FolderStates, FilesAreFoundAsWindowsFindsTheirNames) {
  Listing listing;
  listing.add(u"app.exe", 1);
  listing.add(u"\u00c9T\u00c9.txt", 2);  // ÉTÉ.txt
  listing.add(u"readme", 3);
  listing.add(u"README", 4);  // a folder that tells letter case apart
  const struct {
    const char16_t* name;
    long long size;
  } cases[] = {
      {u"app.exe", 1},       {u"APP.EXE", 1},        {u"\u00e9t\u00e9.txt", 2}, {u"app.ex", -1},
      {u"app.exe.", -1},     {u"readme", -1},        {u"Readme", -1},           {u"missing.txt", -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(listing.find(c.name), c.size) << std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name));
  }
}

TEST(FolderStates, AFullListingKeepsWhatFitAndFindsNothingElse) {
  Listing listing;
  for (size_t i = 0; i < kFolderEntriesCapacity + 10; ++i) listing.add(u"f" + std::u16string(1, char16_t(0x4e00 + i)), i);
  EXPECT_EQ(listing.find(u"f\u4e00"), 0);
  EXPECT_EQ(listing.find(u"f" + std::u16string(1, char16_t(0x4e00 + kFolderEntriesCapacity - 1))),
            static_cast<long long>(kFolderEntriesCapacity - 1));
  EXPECT_EQ(listing.find(u"f" + std::u16string(1, char16_t(0x4e00 + kFolderEntriesCapacity))), -1);

  Listing long_names;
  const std::u16string long_name(1022, u'n');
  const size_t fitting = kFolderNameUnitsCapacity / 1023;
  for (size_t i = 0; i < fitting + 2; ++i) long_names.add(long_name + char16_t(0x4e00 + i), i);
  EXPECT_EQ(long_names.find(long_name + char16_t(0x4e00 + fitting - 1)), static_cast<long long>(fitting - 1));
  EXPECT_EQ(long_names.find(long_name + char16_t(0x4e00 + fitting)), -1) << "past the room for names";
  long_names.add(u"short", 9);
  EXPECT_EQ(long_names.find(u"short"), 9) << "a shorter name still fits";
  long_names.add(std::u16string(1024, u'x'), 1);
  EXPECT_EQ(long_names.find(std::u16string(1024, u'x')), -1) << "over 1023 units: never a payload name";
}

TEST(FolderStates, EachListingOfTheStackFindsItsOwnEntriesUntilDropped) {
  std::unique_ptr<FolderStates> folder{new FolderStates};
  clearFolderStates(*folder);
  // The walk down "app" and back: app, app\lib, app\lib\x, out of x, into app\lib\y.
  ASSERT_TRUE(beginFolderListing(*folder));
  addFolderEntry(*folder, u"lib", 3, ListedKind::folder, {});
  addFolderEntry(*folder, u"cache", 5, ListedKind::link, {});
  addFolderState(*folder, u"app.exe", 7, stateWithSize(1));
  ASSERT_TRUE(beginFolderListing(*folder));
  addFolderEntry(*folder, u"x", 1, ListedKind::folder, {});
  addFolderState(*folder, u"app.exe", 7, stateWithSize(2));  // the same name one level down
  ASSERT_TRUE(beginFolderListing(*folder));
  addFolderState(*folder, u"inner.js", 8, stateWithSize(3));
  dropFolderListing(*folder);
  ASSERT_TRUE(beginFolderListing(*folder));
  addFolderState(*folder, u"other.js", 8, stateWithSize(4));

  const struct {
    uint32_t level;
    const char16_t* name;
    int kind;  // -1: not found
    long long size;
  } cases[] = {
      {0, u"LIB", int(ListedKind::folder), 0}, {0, u"cache", int(ListedKind::link), 0},
      {0, u"app.exe", int(ListedKind::file), 1}, {1, u"app.exe", int(ListedKind::file), 2},
      {1, u"X", int(ListedKind::folder), 0},    {2, u"other.js", int(ListedKind::file), 4},
      {2, u"inner.js", -1, 0},                  {1, u"inner.js", -1, 0},
      {0, u"x", -1, 0},                         {3, u"other.js", -1, 0},
  };
  for (const auto& c : cases) {
    const FolderEntry* entry = findListedEntry(*folder, c.level, c.name);
    const std::string shown(c.name, c.name + std::char_traits<char16_t>::length(c.name));
    EXPECT_EQ(entry == nullptr ? -1 : int(entry->kind), c.kind) << c.level << " " << shown;
    if (entry != nullptr && c.kind == int(ListedKind::file)) EXPECT_EQ(entry->state.size, c.size) << shown;
  }
  EXPECT_EQ(findFolderState(*folder, u"other.js")->size, 4u) << "the top listing";
  EXPECT_EQ(findFolderState(*folder, u"app.exe"), nullptr) << "not in the top listing";

  dropFolderListing(*folder);
  dropFolderListing(*folder);
  EXPECT_EQ(findFolderState(*folder, u"app.exe")->size, 1u) << "the outermost listing, as it was";
  dropFolderListing(*folder);
  dropFolderListing(*folder);  // nothing left to drop
  EXPECT_EQ(findFolderState(*folder, u"app.exe"), nullptr);
  addFolderState(*folder, u"loose", 5, stateWithSize(1));
  EXPECT_EQ(folder->entry_count, 0u) << "no listing open, nothing added";
}

TEST(FolderStates, DroppingListingsNeverLosesAnOuterEntry) {
  // Many colliding probe chains: every name of the outer listing must still be found after inner
  // listings are filled and dropped over and over.
  std::unique_ptr<FolderStates> folder{new FolderStates};
  clearFolderStates(*folder);
  beginFolderListing(*folder);
  std::vector<std::u16string> outer;
  for (int i = 0; i < 3000; ++i) outer.push_back(u"o" + std::u16string(1, char16_t(0x4e00 + i)));
  for (size_t i = 0; i < outer.size(); ++i) addFolderState(*folder, outer[i].data(), outer[i].size(), stateWithSize(i));
  std::mt19937 random(7);
  for (int round = 0; round < 40; ++round) {
    const int depth = 1 + static_cast<int>(random() % 4);
    for (int level = 0; level < depth; ++level) {
      beginFolderListing(*folder);
      for (int i = 0; i < 500; ++i) {
        const std::u16string name = u"i" + std::u16string(1, char16_t(0x4e00 + random() % 4000));
        addFolderState(*folder, name.data(), name.size(), stateWithSize(99));
      }
    }
    for (int level = 0; level < depth; ++level) dropFolderListing(*folder);
    ASSERT_EQ(folder->level_count, 1u);
    for (size_t i = 0; i < outer.size(); ++i) {
      const RecordedFileState* state = findFolderState(*folder, outer[i].c_str());
      ASSERT_NE(state, nullptr) << "round " << round << ", entry " << i;
      ASSERT_EQ(state->size, i);
    }
  }
}

TEST(FolderStates, AStackDeeperThanItsRoomOpensNoMoreListings) {
  std::unique_ptr<FolderStates> folder{new FolderStates};
  clearFolderStates(*folder);
  for (size_t i = 0; i < kFolderLevelsCapacity; ++i) ASSERT_TRUE(beginFolderListing(*folder));
  EXPECT_FALSE(beginFolderListing(*folder));
  addFolderState(*folder, u"deep", 4, stateWithSize(5));
  EXPECT_EQ(findListedEntry(*folder, kFolderLevelsCapacity - 1, u"deep")->state.size, 5u);
}

}  // namespace
