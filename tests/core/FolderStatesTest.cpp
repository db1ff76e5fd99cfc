// A folder's listing looked up by name: a file is found under any letter case Windows takes for its
// name, and never when the listing cannot say which entry it is, so such files are read instead.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "FolderStates.h"

namespace {

RecordedFileState stateWithSize(uint64_t size) {
  RecordedFileState state{};
  state.size = size;
  return state;
}

struct Listing {
  std::unique_ptr<FolderStates> folder{new FolderStates};
  Listing() { clearFolderStates(*folder); }
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

}  // namespace
