// Extraction into the cache directory by real launchers under Wine: what lands on disk, what a
// second start leaves alone, what it rewrites, and every failure's exact report.
//
// All launchers of the product share one extraction directory, so each test keeps its files in a
// subfolder of its own there.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "Crc32.h"
#include "TestFrames.h"
#include "ExitCodes.h"
#include "LauncherFactory.h"
#include "ProcessRunner.h"

namespace {

std::wstring extractionDirectory() {
  wchar_t folder[MAX_PATH];
  SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
  return std::wstring(folder) + L"\\Quorvell\\1.3";
}

std::u16string u16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

class Extraction : public testing::Test {
 protected:
  void SetUp() override {
    const std::wstring name = widen(testing::UnitTest::GetInstance()->current_test_info()->name());
    subfolder_ = L"extraction-" + name;
    work_ = makeTemporaryDirectory(name);
    removeTree(target(L""));
    child_ = readFileBytes(fullPath(L"fixtures\\quiet-child.exe"));
    ASSERT_FALSE(child_.empty());
  }
  void TearDown() override {
    removeTree(work_);
    removeTree(target(L""));
  }

  // The full path of a payload name below this test's subfolder of the extraction directory.
  std::wstring target(const std::wstring& name) const {
    return extractionDirectory() + L"\\" + subfolder_ + (name.empty() ? L"" : L"\\" + name);
  }
  // A payload file below this test's subfolder.
  PayloadFile file(const std::wstring& name, const std::string& data) const {
    return {u16(subfolder_ + L"\\" + name), data};
  }
  std::vector<PayloadFile> application(std::vector<PayloadFile> others) const {
    others.insert(others.begin(), file(L"app.exe", child_));
    return others;
  }

  ProcessResult start(const std::string& resource) {
    const std::wstring launcher = work_ + L"\\launcher.exe";
    std::wstring why;
    EXPECT_TRUE(makeLauncher(launcher, resource, "", &why)) << narrow(why);
    ProcessOptions options;
    options.application = launcher;
    options.command_line = quoteArgument(launcher);
    return runProcess(options);
  }
  ProcessResult start(const std::vector<PayloadFile>& files, PayloadLayout layout = PayloadLayout::singleFrame) {
    return start(buildPayloadResource(files.data(), files.size(), 3, 0, layout));
  }

  std::wstring subfolder_;
  std::wstring work_;
  std::string child_;
};

std::string pattern(size_t size, char seed) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(seed + i * 7 + (i >> 9));
  return data;
}

void expectSuccess(const ProcessResult& result) {
  EXPECT_TRUE(result.started);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exit_code, 0u);
}

TEST_F(Extraction, FirstStartWritesEveryFileIntoAnAbsentDirectory) {
  const auto files = application({file(L"readme.txt", "hello"), file(L"empty.dat", ""),
                                  file(L"lib\\codecs\\big.bin", pattern(700000, 'a')),
                                  file(L"donn\u00e9es\\\u65e5\u672c.txt", "unicode")});
  expectSuccess(start(files));
  for (const PayloadFile& f : files) {
    const std::wstring path = extractionDirectory() + L"\\" + std::wstring(f.name.begin(), f.name.end());
    EXPECT_TRUE(readFileBytes(path) == f.data) << narrow(path);
    EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << narrow(path);
  }
}

TEST_F(Extraction, SecondStartOpensNoIntactFileForWriting) {
  const auto files = application({file(L"a.txt", "alpha"), file(L"sub\\b.bin", pattern(200000, 'b')),
                                  file(L"empty.dat", "")});
  const std::string resource = buildPayloadResource(files.data(), files.size());
  expectSuccess(start(resource));
  // Held open with read sharing only, any open for writing fails and the launcher would report it.
  std::vector<HANDLE> held;
  // The empty file too: an application may hold its empty lock file open while another copy starts.
  for (const wchar_t* name : {L"app.exe", L"a.txt", L"sub\\b.bin", L"empty.dat"}) {
    held.push_back(CreateFileW(target(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(held.back(), INVALID_HANDLE_VALUE);
  }
  expectSuccess(start(resource));
  for (HANDLE handle : held) CloseHandle(handle);
  EXPECT_EQ(readFileBytes(target(L"empty.dat")), "");
  // A missing empty file is made again.
  ASSERT_TRUE(DeleteFileW(target(L"empty.dat").c_str()));
  expectSuccess(start(resource));
  EXPECT_NE(GetFileAttributesW(target(L"empty.dat").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Extraction, ChangedFilesAreRewrittenWholeAndOthersLeftAlone) {
  const std::string original = pattern(100000, 'c');
  // A real folder of the payload is never taken for a link: what the application wrote into it
  // stays, as beside the payload's files.
  const auto files = application({file(L"data.bin", original), file(L"sub\\page.txt", "page")});
  const std::string resource = buildPayloadResource(files.data(), files.size());
  expectSuccess(start(resource));
  std::string one_byte_changed = original;
  one_byte_changed[54321] ^= 1;
  const std::string cases[] = {one_byte_changed, original + "grown", original.substr(0, 99999), ""};
  for (const std::string& on_disk : cases) {
    ASSERT_TRUE(writeFileBytes(target(L"data.bin"), on_disk));
    ASSERT_TRUE(writeFileBytes(target(L"extra.txt"), "not in the payload"));
    ASSERT_TRUE(writeFileBytes(target(L"sub\\own.log"), "written by the application"));
    expectSuccess(start(resource));
    EXPECT_TRUE(readFileBytes(target(L"data.bin")) == original) << on_disk.size();
    EXPECT_EQ(readFileBytes(target(L"extra.txt")), "not in the payload");
    EXPECT_EQ(readFileBytes(target(L"sub\\own.log")), "written by the application");
  }
}

TEST_F(Extraction, ADirectoryWhereAFileShouldBeCannotBeOpenedForWriting) {
  const auto files = application({file(L"blocked.txt", "x")});
  ASSERT_TRUE(CreateDirectoryW(extractionDirectory().c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  ASSERT_TRUE(CreateDirectoryW(target(L"").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(target(L"blocked.txt").c_str(), nullptr));
  const ProcessResult result = start(files);
  EXPECT_EQ(result.err, "Error, failed to open '" + narrow(target(L"blocked.txt")) + "' for writing.\r\n");
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.exit_code, static_cast<DWORD>(kFatalExitCode));
  EXPECT_TRUE(readFileBytes(target(L"app.exe")) == child_);  // earlier files stay complete
}

TEST_F(Extraction, PayloadsThatCannotBeDecodedWriteNothingPastTheFault) {
  const std::string decode_error = "Error, couldn't decode attached data.\r\n";
  const auto good = application({file(L"ok.txt", "fine")});
  std::string cut = buildPayloadResource(good.data(), good.size());
  cut.resize(cut.size() / 2);

  // A stored checksum that the data does not have: the data is written, then refused.
  PayloadWriter wrong_checksum(3, 0);
  wrong_checksum.beginEntry(u16(subfolder_ + L"\\app.exe"), child_.size(), 0x12345678);
  wrong_checksum.addData(child_.data(), child_.size());

  // Names Windows folds into another name or a device: the second entry would overwrite the first.
  auto aliasing = [&](const std::wstring& name) {
    const auto files = application({file(name, "not the program")});
    return buildPayloadResource(files.data(), files.size());
  };

  const struct {
    const char* what;
    std::string resource;
    std::wstring must_not_exist;
    bool program_stays = false;  // the first entry, written before the fault, keeps its data
  } cases[] = {
      {"frame cut short", cut, L""},
      {"parent component", buildPayloadResource(std::vector<PayloadFile>{{u"..\\evil.exe", child_}}.data(), 1),
       extractionDirectory() + L"\\..\\evil.exe"},
      {"rooted name", buildPayloadResource(std::vector<PayloadFile>{{u"\\evil.exe", child_}}.data(), 1), L"\\evil.exe"},
      {"drive", buildPayloadResource(std::vector<PayloadFile>{{u"C:evil.exe", child_}}.data(), 1), L"C:evil.exe"},
      {"data not matching its checksum", wrong_checksum.finish(), L""},
      {"trailing dot", aliasing(L"app.exe."), L"", true},
      {"trailing space", aliasing(L"app.exe "), L"", true},
      {"device name", aliasing(L"lib\\nul.txt"), target(L"lib"), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ProcessResult result = start(c.resource);
    EXPECT_EQ(result.out, decode_error);
    EXPECT_EQ(result.exit_code, static_cast<DWORD>(kFatalExitCode));
    if (!c.must_not_exist.empty()) EXPECT_EQ(GetFileAttributesW(c.must_not_exist.c_str()), INVALID_FILE_ATTRIBUTES);
    if (c.program_stays) EXPECT_TRUE(readFileBytes(target(L"app.exe")) == child_);
  }
}

TEST_F(Extraction, ANameOf1024UnitsIsRefused) {
  // The entry list is written by hand, since the writer refuses such a name.
  std::string list;
  for (int i = 0; i < 1024; ++i) list += std::string("n\0", 2);
  list += std::string(2 + 12 + 2, '\0');
  ZSTD_CCtx* context = ZSTD_createCCtx();
  std::string frame(ZSTD_compressBound(list.size()), '\0');
  frame.resize(ZSTD_compress2(context, frame.data(), frame.size(), list.data(), list.size()));
  ZSTD_freeCCtx(context);
  const ProcessResult result = start("QOV" + frame);
  EXPECT_EQ(result.out, "Error, couldn't decode attached data.\r\n");
  EXPECT_EQ(result.exit_code, static_cast<DWORD>(kFatalExitCode));
}

// A changed file the user marked read-only, hidden or system is still repaired: CREATE_ALWAYS
// without those attributes fails with access denied on such a file, so without clearing them first
// the start would fail on every try.
TEST_F(Extraction, ChangedFilesWithProtectiveAttributesAreRepaired) {
  const std::string original = pattern(5000, 'p');
  const auto files = application({file(L"marked.bin", original)});
  const std::string resource = buildPayloadResource(files.data(), files.size());
  expectSuccess(start(resource));
  ASSERT_TRUE(writeFileBytes(target(L"marked.bin"), "changed"));
  const DWORD protective = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  ASSERT_TRUE(SetFileAttributesW(target(L"marked.bin").c_str(), protective));
  const bool kept = (GetFileAttributesW(target(L"marked.bin").c_str()) & protective) != 0;
  expectSuccess(start(resource));
  EXPECT_TRUE(readFileBytes(target(L"marked.bin")) == original);
  if (kept) EXPECT_EQ(GetFileAttributesW(target(L"marked.bin").c_str()) & protective, 0u);
  // An intact file keeps whatever attributes it has.
  ASSERT_TRUE(SetFileAttributesW(target(L"marked.bin").c_str(), FILE_ATTRIBUTE_HIDDEN));
  expectSuccess(start(resource));
  if (kept) EXPECT_NE(GetFileAttributesW(target(L"marked.bin").c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
  SetFileAttributesW(target(L"marked.bin").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A link where a payload file or folder belongs is never read or written through: the link goes
// (never its target) and a real file or folder takes its place.
TEST_F(Extraction, LinksInTheCacheAreReplacedNeverFollowed) {
  const auto files = application({file(L"data.txt", "payload data"), file(L"lib\\page.txt", "payload page")});
  const std::string resource = buildPayloadResource(files.data(), files.size());
  expectSuccess(start(resource));
  const std::wstring outside_file = work_ + L"\\outside.txt";
  const std::wstring outside_folder = work_ + L"\\elsewhere";
  ASSERT_TRUE(writeFileBytes(outside_file, "payload data"));  // what the link points to looks intact
  ASSERT_TRUE(CreateDirectoryW(outside_folder.c_str(), nullptr));
  ASSERT_TRUE(writeFileBytes(outside_folder + L"\\page.txt", "someone else's page"));
  ASSERT_TRUE(DeleteFileW(target(L"data.txt").c_str()));
  removeTree(target(L"lib"));
  // Wine 8 answers CreateSymbolicLinkW with success and makes nothing (and shows the host's own
  // links as the files they point to): there the start would only write two missing files, so
  // the case runs where the system makes real links, as Windows does for an administrator or in
  // developer mode.
  CreateSymbolicLinkW(target(L"data.txt").c_str(), outside_file.c_str(), 0);
  CreateSymbolicLinkW(target(L"lib").c_str(), outside_folder.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
  for (const wchar_t* name : {L"data.txt", L"lib"}) {
    const DWORD attributes = GetFileAttributesW(target(name).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
      GTEST_SKIP() << "no symbolic link could be made here";
  }
  expectSuccess(start(resource));
  for (const wchar_t* name : {L"data.txt", L"lib"}) {
    const DWORD attributes = GetFileAttributesW(target(name).c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES) << narrow(name);
    EXPECT_EQ(attributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u) << narrow(name);
  }
  EXPECT_EQ(readFileBytes(target(L"data.txt")), "payload data");
  EXPECT_EQ(readFileBytes(target(L"lib\\page.txt")), "payload page");
  EXPECT_EQ(readFileBytes(outside_file), "payload data");
  EXPECT_EQ(readFileBytes(outside_folder + L"\\page.txt"), "someone else's page");
}

// Every file below a directory, by its path relative to it.
std::vector<std::wstring> filesBelow(const std::wstring& directory, const std::wstring& prefix = L"") {
  std::vector<std::wstring> files;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return files;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      files.push_back(prefix + name);
      continue;
    }
    for (const std::wstring& below : filesBelow(directory + L"\\" + name, prefix + name + L"\\")) files.push_back(below);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return files;
}

// Two names that Windows takes for one file: the later would overwrite the earlier, which a start
// may just have found intact, so the payload is refused as undecodable. Within one group neither
// file is written; a file of an earlier group is on disk by then and keeps its own data, on every
// start. (Wine's own matching of non-ASCII names in letter case follows Windows' here.)
TEST_F(Extraction, NamesWindowsTakesForOneFileAreRefused) {
  const std::string decode_error = "Error, couldn't decode attached data.\r\n";
  const std::string big = pattern((1 << 20) + 1, 'b');  // a group of its own in the grouped layout
  const struct {
    const char* what;
    std::vector<PayloadFile> files;
    PayloadLayout layout;
    std::vector<std::wstring> written;  // what is on disk after each start
  } cases[] = {
      {"a Latin-1 pair within one group",
       application({file(L"\u00e9.txt", "lower"), file(L"\u00c9.txt", "UPPER")}), PayloadLayout::grouped, {}},
      {"a pair in other folders within one group",
       application({file(L"A\\\u00e9.txt", "lower"), file(L"a\\\u00c9.TXT", "UPPER")}), PayloadLayout::grouped, {}},
      {"the same name twice within one group", application({file(L"x.txt", "1"), file(L"x.txt", "2")}),
       PayloadLayout::grouped, {}},
      {"a pair in two groups",
       application({file(L"\u00e9.txt", "lower"), file(L"big.bin", big), file(L"\u00c9.txt", "UPPER")}),
       PayloadLayout::grouped, {L"app.exe", L"big.bin", L"\u00e9.txt"}},
      {"a pair in one frame", application({file(L"\u01c5.txt", "title"), file(L"\u01c6.txt", "lower")}),
       PayloadLayout::singleFrame, {L"app.exe", L"\u01c5.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    removeTree(target(L""));
    const std::string resource = buildPayloadResource(c.files.data(), c.files.size(), 3, 0, c.layout);
    for (int run = 1; run <= 2; ++run) {
      SCOPED_TRACE(run);
      const ProcessResult result = start(resource);
      EXPECT_EQ(result.out, decode_error);
      EXPECT_EQ(result.exit_code, static_cast<DWORD>(kFatalExitCode));
      std::vector<std::wstring> on_disk = filesBelow(target(L""));
      std::sort(on_disk.begin(), on_disk.end());
      std::vector<std::wstring> expected = c.written;
      std::sort(expected.begin(), expected.end());
      EXPECT_TRUE(on_disk == expected) << on_disk.size();
      // The earlier file keeps its own data.
      for (const std::wstring& name : c.written) {
        const std::u16string payload_name = u16(subfolder_ + L"\\" + name);
        for (const PayloadFile& f : c.files) {
          if (f.name == payload_name) EXPECT_TRUE(readFileBytes(target(name)) == f.data) << narrow(name);
        }
      }
    }
  }
}

// Every layout the launcher reads, through the whole cache cycle: a first start writes every file,
// a second opens none for writing (empty files included, so a group holding one is stepped over),
// and a changed file is rewritten while its neighbours (in the grouped layout, the files of its
// group) are left alone.
TEST_F(Extraction, EveryLayoutWritesThenKeepsThenRepairsTheCache) {
  std::vector<PayloadFile> others = {file(L"empty.dat", ""), file(L"lib\\large.bin", pattern(3 << 20, 'l'))};
  for (int i = 0; i < 40; ++i)
    others.push_back(file(L"docs\\page" + std::to_wstring(i) + L".txt", pattern(1000 + 37 * i, static_cast<char>(i))));
  const auto files = application(others);
  const wchar_t* changed = L"docs\\page7.txt";
  for (const PayloadLayout layout : {PayloadLayout::grouped, PayloadLayout::groupedWithoutLengths, PayloadLayout::perFile,
                                     PayloadLayout::singleFrame}) {
    SCOPED_TRACE(static_cast<int>(layout));
    removeTree(target(L""));
    const std::string resource = buildPayloadResource(files.data(), files.size(), 3, 0, layout);
    expectSuccess(start(resource));
    for (const PayloadFile& f : files)
      EXPECT_TRUE(readFileBytes(extractionDirectory() + L"\\" + std::wstring(f.name.begin(), f.name.end())) == f.data);

    // Held open with read sharing only, any open for writing fails and the launcher would report it.
    std::vector<HANDLE> held;
    const auto holdAllBut = [&](const wchar_t* free) {
      for (const PayloadFile& f : files) {
        const std::wstring path = extractionDirectory() + L"\\" + std::wstring(f.name.begin(), f.name.end());
        if (free != nullptr && path == target(free)) continue;
        held.push_back(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_NE(held.back(), INVALID_HANDLE_VALUE);
      }
    };
    holdAllBut(nullptr);
    expectSuccess(start(resource));
    for (HANDLE handle : held) CloseHandle(handle);
    held.clear();

    ASSERT_TRUE(writeFileBytes(target(changed), "changed"));
    holdAllBut(changed);
    expectSuccess(start(resource));
    for (HANDLE handle : held) CloseHandle(handle);
    held.clear();
    EXPECT_TRUE(readFileBytes(target(changed)) == pattern(1000 + 37 * 7, 7));
  }
}

// The frames of a payload in the default layout, after its 8-byte marker: [offset, length) each.
std::vector<std::pair<size_t, size_t>> framesOf(const std::string& resource) {
  std::vector<std::pair<size_t, size_t>> frames;
  for (size_t at = 3 + 8; resource.size() - at > 14;) {
    const size_t length = ZSTD_findFrameCompressedSize(resource.data() + at, resource.size() - at);
    if (ZSTD_isError(length)) break;
    frames.push_back({at, length});
    at += length;
  }
  return frames;
}


// A warm start steps over an intact group's data by the length its index frame records and reads
// none of it: a data frame turned to garbage of the same length is passed all the same. A recorded
// length that does not land on the start of a frame ends the start with the decode report before
// anything is stepped over.
TEST_F(Extraction, AWarmStartStepsOverAnIntactGroupByItsRecordedLengthOnly) {
  const auto files = application({file(L"a.txt", "alpha"), file(L"large.bin", pattern(3 << 20, 'g'))});
  const std::string resource = buildPayloadResource(files.data(), files.size(), 3, 0, PayloadLayout::grouped);
  // The program and a.txt, then large.bin in a group of its own, then the end.
  const auto frames = framesOf(resource);
  ASSERT_EQ(frames.size(), 5u);
  std::string garbage = resource;
  garbage.replace(frames[3].first, frames[3].second, std::string(frames[3].second, '\xAB'));
  const std::string decode_error = "Error, couldn't decode attached data.\r\n";
  const struct {
    const char* what;
    std::string resource;
    std::string out;
  } cases[] = {
      {"the large file's data frame garbage", garbage, ""},
      {"a recorded length one byte short", withRecordedLengthOff(resource, frames[2].first, frames[2].second, -1), decode_error},
      {"a recorded length one byte long", withRecordedLengthOff(resource, frames[2].first, frames[2].second, 1), decode_error},
      {"a recorded length past the end", withRecordedLengthOff(resource, frames[2].first, frames[2].second, 1 << 30), decode_error},
  };
  expectSuccess(start(resource));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ProcessResult result = start(c.resource);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_code, c.out.empty() ? 0u : static_cast<DWORD>(kFatalExitCode));
    for (const PayloadFile& f : files)
      EXPECT_TRUE(readFileBytes(extractionDirectory() + L"\\" + std::wstring(f.name.begin(), f.name.end())) == f.data);
  }
}

// The launcher, like every child, inherits the affinity of this process while one of these lives.
class OneProcessor {
 public:
  OneProcessor() {
    DWORD_PTR system = 0;
    GetProcessAffinityMask(GetCurrentProcess(), &saved_, &system);
    SetProcessAffinityMask(GetCurrentProcess(), saved_ & (~saved_ + 1));
  }
  ~OneProcessor() { SetProcessAffinityMask(GetCurrentProcess(), saved_); }
  OneProcessor(const OneProcessor&) = delete;
  OneProcessor& operator=(const OneProcessor&) = delete;

 private:
  DWORD_PTR saved_ = 0;
};

// With more than one processor, files are written on a thread of their own while the next are
// decoded; with one, on the launcher's only thread. Either way a fault in a later file is reported
// only after every earlier file is complete, with the report it always had.
TEST_F(Extraction, AFaultAfterALargeFileLeavesThatFileComplete) {
  const std::string large = pattern(5 << 20, 'L');
  const std::string decode_error = "Error, couldn't decode attached data.\r\n";
  const struct {
    bool one_processor;
    PayloadLayout layout;
  } runs[] = {{false, PayloadLayout::grouped}, {false, PayloadLayout::singleFrame},
              {true, PayloadLayout::grouped}, {true, PayloadLayout::singleFrame}};
  for (const auto& run : runs) {
    const PayloadLayout layout = run.layout;
    SCOPED_TRACE(run.one_processor ? "one processor" : "every processor");
    SCOPED_TRACE(static_cast<int>(layout));
    const std::unique_ptr<OneProcessor> pinned(run.one_processor ? new OneProcessor : nullptr);
    // A stored checksum that the next file's data does not have.
    PayloadWriter wrong_checksum(3, 0, layout);
    for (const PayloadFile& f : application({file(L"large.bin", large)})) {
      wrong_checksum.beginEntry(f.name, f.data.size(), storedChecksum(crc32Update(0, f.data.data(), f.data.size())));
      wrong_checksum.addData(f.data.data(), f.data.size());
    }
    const PayloadFile bad = file(L"bad.txt", "data");
    wrong_checksum.beginEntry(bad.name, bad.data.size(), 0x12345678);
    wrong_checksum.addData(bad.data.data(), bad.data.size());
    const auto blocked = application({file(L"large.bin", large), file(L"blocked.txt", "x")});

    const struct {
      const char* what;
      std::string resource;
      bool block;
      std::string out, err;
    } cases[] = {
        {"a file that cannot be opened", buildPayloadResource(blocked.data(), blocked.size(), 3, 0, layout), true, "",
         "Error, failed to open '" + narrow(target(L"blocked.txt")) + "' for writing.\r\n"},
        {"data not matching its checksum", wrong_checksum.finish(), false, decode_error, ""},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.what);
      removeTree(target(L""));
      if (c.block) {
        CreateDirectoryW(extractionDirectory().c_str(), nullptr);
        ASSERT_TRUE(CreateDirectoryW(target(L"").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(target(L"blocked.txt").c_str(), nullptr));
      }
      const ProcessResult result = start(c.resource);
      EXPECT_EQ(result.out, c.out);
      EXPECT_EQ(result.err, c.err);
      EXPECT_EQ(result.exit_code, static_cast<DWORD>(kFatalExitCode));
      EXPECT_TRUE(readFileBytes(target(L"app.exe")) == child_);
      EXPECT_TRUE(readFileBytes(target(L"large.bin")) == large);
    }
  }
}

}  // namespace
