// onefile-pack built for Windows, run under Wine: it packs a folder, and Windows itself takes the
// result: the resource functions find the stub's icon and manifest, and a version resource of the
// application's own, next to resources 27, 28 and 29, and the packed launcher passes its header
// test and unpacks every file where its identity and build say.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "LauncherFactory.h"
#include "ProcessRunner.h"
#include "Sha256.h"

namespace {

const std::wstring kSubfolder = L"packer-test";

// Packed without identity options from a program without a version resource, packed.exe takes
// the output's name and the fallback version.
std::wstring productDirectory() {
  wchar_t folder[MAX_PATH];
  SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
  return std::wstring(folder) + L"\\packed";
}

// The default template gives each build a folder of its own: the version, "-", and the first 8
// hex digits of the SHA-256 of the payload resource.
std::wstring extractionDirectory(const std::string& payload) {
  const std::string id = hexDigits(sha256(payload.data(), payload.size()), 4);
  return productDirectory() + L"\\1.0-" + std::wstring(id.begin(), id.end());
}

ProcessResult run(const std::wstring& program, const std::vector<std::wstring>& arguments) {
  return runProgram(program, arguments);
}

ProcessResult runPacker(const std::vector<std::wstring>& arguments) {
  return run(fullPath(L"onefile-pack.exe"), arguments);
}

// The bytes of a resource as the loader finds it, or nothing.
struct FoundResource {
  bool found = false;
  std::string bytes;
};

FoundResource findResource(HMODULE module, const wchar_t* type, WORD name) {
  FoundResource result;
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(name), type);
  if (resource == nullptr) return result;
  HGLOBAL loaded = LoadResource(module, resource);
  const char* bytes = static_cast<const char*>(LockResource(loaded));
  result.found = bytes != nullptr;
  if (bytes != nullptr) result.bytes.assign(bytes, SizeofResource(module, resource));
  return result;
}

class WindowsPacker : public testing::Test {
 protected:
  void SetUp() override {
    work_ = makeTemporaryDirectory(L"packer");
    removeTree(productDirectory());
    app_ = work_ + L"\\app";
    files_ = {{kSubfolder + L"\\app.exe", readFileBytes(fullPath(L"fixtures\\quiet-child.exe"))},
              {kSubfolder + L"\\data\\Gr\u00fc\u00dfe.txt", "non-ASCII name"},
              {kSubfolder + L"\\empty.txt", ""}};
    ASSERT_FALSE(files_[0].second.empty());
    CreateDirectoryW(app_.c_str(), nullptr);
    for (const auto& [name, bytes] : files_) {
      const std::wstring path = app_ + L"\\" + name;
      for (size_t at = path.find(L'\\', app_.size() + 1); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
      }
      ASSERT_TRUE(writeFileBytes(path, bytes)) << narrow(path);
    }
  }
  void TearDown() override {
    removeTree(work_);
    removeTree(productDirectory());
  }

  std::wstring work_;
  std::wstring app_;
  std::vector<std::pair<std::wstring, std::string>> files_;
};

TEST_F(WindowsPacker, PackedLauncherIsReadByWindowsAndUnpacksItsFiles) {
  const std::wstring packed = work_ + L"\\packed.exe";
  const std::wstring splash = fullPath(L"fixtures\\packer-splash.png");
  const ProcessResult packing =
      runPacker({L"pack", app_, L"--main", kSubfolder + L"\\app.exe", L"--splash", splash, L"-o", packed});
  ASSERT_EQ(packing.exit_code, 0u) << packing.err;
  EXPECT_EQ(packing.out + packing.err, "");

  // The resource functions read the stub's resources and the new ones from the packed file.
  HMODULE stub = LoadLibraryExW(fullPath(L"onefile-launcher.exe").c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  HMODULE module = LoadLibraryExW(packed.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_TRUE(stub != nullptr && module != nullptr) << GetLastError();
  const struct {
    const wchar_t* type;
    WORD name;
  } stub_resources[] = {{RT_ICON, 1}, {RT_ICON, 2}, {RT_ICON, 3}, {RT_GROUP_ICON, 1}, {RT_MANIFEST, 1}};
  for (const auto& r : stub_resources) {
    const FoundResource before = findResource(stub, r.type, r.name);
    ASSERT_TRUE(before.found) << "stub resource " << reinterpret_cast<uintptr_t>(r.type) << "/" << r.name;
    EXPECT_EQ(findResource(module, r.type, r.name).bytes, before.bytes) << reinterpret_cast<uintptr_t>(r.type);
  }
  EXPECT_TRUE(findResource(module, RT_VERSION, 1).found);
  EXPECT_FALSE(findResource(module, RT_VERSION, 1).bytes == findResource(stub, RT_VERSION, 1).bytes);
  EXPECT_TRUE(findResource(module, RT_RCDATA, 29).found);
  const FoundResource payload = findResource(module, RT_RCDATA, 27);
  EXPECT_EQ(payload.bytes.substr(0, 3), "QOV");
  EXPECT_EQ(findResource(module, RT_RCDATA, 28).bytes, readFileBytes(splash));
  FreeLibrary(module);
  FreeLibrary(stub);

  // Started for real: past the header test and through extraction to the child, which ends at
  // once with exit code 0 and prints nothing.
  const ProcessResult started = run(packed, {});
  ASSERT_TRUE(started.started) << started.start_error;
  EXPECT_EQ(started.out, "");
  EXPECT_EQ(started.err, "");
  EXPECT_EQ(started.exit_code, 0u);
  for (const auto& [name, bytes] : files_) {
    EXPECT_TRUE(readFileBytes(extractionDirectory(payload.bytes) + L"\\" + name) == bytes) << narrow(name);
  }

  const ProcessResult verifying = runPacker({L"verify", packed});
  EXPECT_EQ(verifying.exit_code, 0u) << verifying.err;

  // Packing again over an existing output replaces it whole.
  const ProcessResult repacking = runPacker({L"pack", app_, L"--main", kSubfolder + L"/app.exe", L"-o", packed});
  EXPECT_EQ(repacking.exit_code, 0u) << repacking.err;
  HMODULE repacked = LoadLibraryExW(packed.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(repacked, nullptr);
  EXPECT_FALSE(findResource(repacked, RT_RCDATA, 28).found);
  EXPECT_EQ(findResource(repacked, RT_RCDATA, 27).bytes, payload.bytes);
  FreeLibrary(repacked);
}

// The subsystem field of an executable file's optional header, or 0.
WORD subsystemOf(const std::wstring& path) {
  const std::string image = readFileBytes(path);
  if (image.size() < 0x40) return 0;
  const DWORD at = *reinterpret_cast<const DWORD*>(&image[0x3C]);
  if (at + sizeof(IMAGE_NT_HEADERS64) > image.size()) return 0;
  return reinterpret_cast<const IMAGE_NT_HEADERS64*>(&image[at])->OptionalHeader.Subsystem;
}

// A console shell waits for a console program, hands on its exit code, and lets it write into its
// own console; a windowed program is not waited for, and a console program that it starts gets a
// console window of its own. So the launcher is what its application is: packed from a console
// program it is one, and the application shares its console. The launcher is started here with a
// console of its own, as a command prompt's window would be.
TEST_F(WindowsPacker, AConsoleApplicationGetsAConsoleLauncherWhoseConsoleItShares) {
  const std::wstring console_app = work_ + L"\\console-app";
  CreateDirectoryW(console_app.c_str(), nullptr);
  CreateDirectoryW((console_app + L"\\" + kSubfolder).c_str(), nullptr);
  ASSERT_TRUE(writeFileBytes(console_app + L"\\" + kSubfolder + L"\\tool.exe",
                             readFileBytes(fullPath(L"fixtures\\console-child.exe"))));
  const std::wstring packed = work_ + L"\\tool.exe";
  const ProcessResult packing = runPacker({L"pack", console_app, L"--main", kSubfolder + L"\\tool.exe", L"-o", packed});
  ASSERT_EQ(packing.exit_code, 0u) << packing.err;
  EXPECT_EQ(subsystemOf(packed), IMAGE_SUBSYSTEM_WINDOWS_CUI);

  const std::wstring report_path = work_ + L"\\console-report.txt";
  ProcessOptions options;
  options.application = packed;
  options.command_line = quoteArgument(packed) + L" " + quoteArgument(report_path) + L" 0x2A";
  options.creation_flags = CREATE_NEW_CONSOLE;
  const ProcessResult started = runProcess(options);
  ASSERT_TRUE(started.started) << started.start_error;
  EXPECT_EQ(started.exit_code, 0x2Au);
  auto report = readReportFile(report_path);
  EXPECT_EQ(report["has_console"], "1");
  EXPECT_EQ(report["shares_launcher_console"], "1");

  // Told otherwise, the packer makes the same application's launcher a windowed one, which has
  // no console to share: the application gets a console of its own (so does it under Wine).
  const std::wstring windowed = work_ + L"\\tool-windowed.exe";
  const ProcessResult overriding =
      runPacker({L"pack", console_app, L"--main", kSubfolder + L"\\tool.exe", L"--windowed", L"-o", windowed});
  ASSERT_EQ(overriding.exit_code, 0u) << overriding.err;
  EXPECT_EQ(subsystemOf(windowed), IMAGE_SUBSYSTEM_WINDOWS_GUI);
  DeleteFileW(report_path.c_str());
  options.application = windowed;
  options.command_line = quoteArgument(windowed) + L" " + quoteArgument(report_path) + L" 0x2A";
  const ProcessResult started_windowed = runProcess(options);
  EXPECT_EQ(started_windowed.exit_code, 0x2Au);
  EXPECT_EQ(readReportFile(report_path)["shares_launcher_console"], "0");
}

TEST_F(WindowsPacker, OutputThatIsAnInputIsRefusedAndLeftAlone) {
  const std::wstring stub = work_ + L"\\stub.exe";
  ASSERT_TRUE(CopyFileW(fullPath(L"onefile-launcher.exe").c_str(), stub.c_str(), FALSE));
  const std::string before = readFileBytes(stub);
  const ProcessResult result = runPacker({L"pack", app_, L"--main", kSubfolder + L"\\app.exe", L"--stub", stub, L"-o", stub});
  EXPECT_EQ(result.exit_code, 1u);
  EXPECT_NE(result.err.find("is the stub itself"), std::string::npos) << result.err;
  EXPECT_TRUE(readFileBytes(stub) == before);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((work_ + L"\\*").c_str(), &found);
  std::vector<std::wstring> names;
  do {
    names.push_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  EXPECT_EQ(names.size(), 4u) << "., .., app, stub.exe and nothing else";
}

}  // namespace
