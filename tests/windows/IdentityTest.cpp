// Every packed application its own launcher, as Windows sees it: the version resource read through
// GetFileVersionInfoW and VerQueryValueW, the icon group through the resource functions and the
// shell, two applications with the same program name running side by side, and every damaged
// settings resource ending the launcher before it writes anything.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <stdio.h>

#include <string>
#include <thread>
#include <vector>

#include "Crc32.h"
#include "ExitCodes.h"
#include "LauncherFactory.h"
#include "LauncherSettings.h"
#include "ProcessRunner.h"
#include "SettingsBytes.h"

namespace {

std::wstring localAppData() {
  wchar_t folder[MAX_PATH];
  SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
  return folder;
}

ProcessResult run(const std::wstring& program, const std::vector<std::wstring>& arguments,
                  const std::vector<std::pair<std::wstring, std::wstring>>& variables = {}) {
  return runProgram(program, arguments, variables);
}

bool fileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void writeTree(const std::wstring& root, const std::vector<std::pair<std::wstring, std::string>>& files) {
  for (const auto& [name, bytes] : files) {
    const std::wstring path = root + L"\\" + name;
    for (size_t at = path.find(L'\\', root.size()); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
      CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    }
    ASSERT_TRUE(writeFileBytes(path, bytes)) << narrow(path);
  }
}

// A resource of a module loaded as an image resource, or an empty text.
std::string resourceBytes(HMODULE module, const wchar_t* type, WORD name) {
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(name), type);
  if (resource == nullptr) return "";
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, resource)));
  return bytes != nullptr ? std::string(bytes, SizeofResource(module, resource)) : "";
}

// The folder of a packed executable's build below "{PRODUCT}\{VERSION}-", as its settings give it:
// the first 8 digits of the build id. Empty when the settings cannot be read.
std::wstring buildFolder(const std::wstring& packed) {
  HMODULE module = LoadLibraryExW(packed.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return L"";
  const std::string bytes = resourceBytes(module, RT_RCDATA, kSettingsResourceId);
  FreeLibrary(module);
  static LauncherSettings settings;
  if (readLauncherSettings(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), settings).status !=
      SettingsStatus::ok) {
    return L"";
  }
  return std::wstring(settings.build_id, settings.build_id + kBuildVariableLength);
}

class Identity : public testing::Test {
 protected:
  void SetUp() override { work_ = makeTemporaryDirectory(L"identity"); }
  void TearDown() override {
    removeTree(work_);
    for (const std::wstring& directory : cleanup_) removeTree(directory);
  }

  // A directory below local application data that the test removes before and after.
  std::wstring cacheDirectory(const std::wstring& relative) {
    const std::wstring path = localAppData() + L"\\" + relative;
    removeTree(path);
    cleanup_.push_back(path);
    return path;
  }

  ProcessResult pack(const std::wstring& folder, const std::wstring& output, const std::vector<std::wstring>& options) {
    std::vector<std::wstring> arguments = {L"pack", folder, L"--main", L"app.exe", L"-o", output};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return run(fullPath(L"onefile-pack.exe"), arguments);
  }

  std::wstring work_;
  std::vector<std::wstring> cleanup_;
};

TEST_F(Identity, WindowsReadsThePackedVersionResourceAndTheLauncherUnpacksWhereItSays) {
  const std::wstring app = work_ + L"\\app";
  writeTree(app, {{L"app.exe", readFileBytes(fullPath(L"fixtures\\quiet-child.exe"))}});
  const std::wstring packed = work_ + L"\\Identity App.exe";
  const std::wstring target = cacheDirectory(L"onefile-identity-test");
  const ProcessResult packing = pack(app, packed,
                                     {L"--name", L"Gr\u00fc\u00dfe App", L"--version", L"3.1.4-rc1", L"--company", L"Acme Tools",
                                      L"--description", L"Packed by the identity test", L"--copyright", L"(c) 2026 Acme",
                                      L"--extract-to", L"{CACHE_DIR}\\onefile-identity-test\\{COMPANY}\\{PRODUCT}\\{VERSION}"});
  ASSERT_EQ(packing.exit_code, 0u) << packing.err;

  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(packed.c_str(), &ignored);
  ASSERT_GT(size, 0u) << GetLastError();
  std::string block(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoW(packed.c_str(), 0, size, block.data()));
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &value, &length));
  const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(1, 3));
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, 4));
  EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(1, 3));
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(static_cast<const WORD*>(value)[0], 0x0409);
  EXPECT_EQ(static_cast<const WORD*>(value)[1], 1200);
  const struct {
    const wchar_t* key;
    std::wstring text;
  } strings[] = {{L"ProductName", L"Gr\u00fc\u00dfe App"},     {L"ProductVersion", L"3.1.4-rc1"},
                 {L"CompanyName", L"Acme Tools"},              {L"FileDescription", L"Packed by the identity test"},
                 {L"LegalCopyright", L"(c) 2026 Acme"},         {L"FileVersion", L"3.1.4-rc1"},
                 {L"OriginalFilename", L"Identity App.exe"},    {L"InternalName", L"Identity App"}};
  for (const auto& s : strings) {
    SCOPED_TRACE(narrow(s.key));
    ASSERT_TRUE(VerQueryValueW(block.data(), (std::wstring(L"\\StringFileInfo\\040904b0\\") + s.key).c_str(), &value, &length));
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(value)), s.text);
  }

  const ProcessResult started = run(packed, {});
  ASSERT_TRUE(started.started) << started.start_error;
  EXPECT_EQ(started.exit_code, 0u) << started.out << started.err;
  EXPECT_TRUE(fileExists(target + L"\\Acme Tools\\Gr\u00fc\u00dfe App\\3.1.4-rc1\\app.exe"));
}

// Templates come from shells and build scripts that write "/" by habit: the folders are made all
// the same, and every start finds its files again.
TEST_F(Identity, TemplateWrittenWithSlashesUnpacksIntoTheSameFolders) {
  const std::wstring app = work_ + L"\\app";
  writeTree(app, {{L"app.exe", readFileBytes(fullPath(L"fixtures\\quiet-child.exe"))}, {L"lib\\data.txt", "data"}});
  const std::wstring packed = work_ + L"\\Slashy.exe";
  const std::wstring target = cacheDirectory(L"onefile-slash-test");
  const ProcessResult packing =
      pack(app, packed, {L"--name", L"Slashy", L"--version", L"1.0", L"--extract-to", L"{CACHE_DIR}/onefile-slash-test//{PRODUCT}/{VERSION}/"});
  ASSERT_EQ(packing.exit_code, 0u) << packing.err;
  for (int start = 1; start <= 2; ++start) {
    SCOPED_TRACE(start);
    const ProcessResult started = run(packed, {});
    ASSERT_TRUE(started.started) << started.start_error;
    EXPECT_EQ(started.exit_code, 0u) << started.out << started.err;
    EXPECT_TRUE(fileExists(target + L"\\Slashy\\1.0\\app.exe"));
    EXPECT_EQ(readFileBytes(target + L"\\Slashy\\1.0\\lib\\data.txt"), "data");
  }
}

// The entries of an icon group: each 14-byte entry without its identifier, and the image it names.
std::vector<std::pair<std::string, std::string>> iconGroupImages(HMODULE module) {
  std::vector<std::pair<std::string, std::string>> images;
  const std::string group = resourceBytes(module, RT_GROUP_ICON, 1);
  if (group.size() < 6) return images;
  const size_t count = static_cast<unsigned char>(group[4]) | static_cast<unsigned char>(group[5]) << 8;
  for (size_t i = 0; i < count && 6 + 14 * (i + 1) <= group.size(); ++i) {
    const std::string entry = group.substr(6 + 14 * i, 14);
    const WORD id = static_cast<WORD>(static_cast<unsigned char>(entry[12]) | static_cast<unsigned char>(entry[13]) << 8);
    images.emplace_back(entry.substr(0, 12), resourceBytes(module, RT_ICON, id));
  }
  return images;
}

TEST_F(Identity, TheIconGroupIsTheGivenIconsElseTheMainPrograms) {
  const std::wstring app = work_ + L"\\app";
  const std::wstring demo = fullPath(L"..\\demo\\app\\Quorvell.exe");
  writeTree(app, {{L"app.exe", readFileBytes(demo)}});

  // --icon: the file's images in its order, each entry the file's but for the offset.
  const std::wstring icon_file = fullPath(L"fixtures\\identity-icon.ico");
  const std::string ico = readFileBytes(icon_file);
  ASSERT_GE(ico.size(), 6u);
  const std::wstring given = work_ + L"\\given.exe";
  ASSERT_EQ(pack(app, given, {L"--icon", icon_file}).exit_code, 0u);
  HMODULE module = LoadLibraryExW(given.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr) << GetLastError();
  const auto images = iconGroupImages(module);
  FreeLibrary(module);
  ASSERT_EQ(images.size(), static_cast<size_t>(ico[4]));
  for (size_t i = 0; i < images.size(); ++i) {
    const std::string entry = ico.substr(6 + 16 * i, 16);
    const uint32_t offset = *reinterpret_cast<const uint32_t*>(entry.data() + 12);
    const uint32_t bytes = *reinterpret_cast<const uint32_t*>(entry.data() + 8);
    EXPECT_EQ(images[i].first, entry.substr(0, 12)) << i;
    EXPECT_TRUE(images[i].second == ico.substr(offset, bytes)) << i;
  }
  // The shell finds one icon there and can make it.
  EXPECT_EQ(ExtractIconExW(given.c_str(), -1, nullptr, nullptr, 0), 1u);
  HICON large = nullptr;
  EXPECT_EQ(ExtractIconExW(given.c_str(), 0, &large, nullptr, 1), 1u);
  EXPECT_NE(large, nullptr);
  if (large != nullptr) DestroyIcon(large);

  // No --icon: the main program's own group, byte for byte, with its images.
  const std::wstring defaulted = work_ + L"\\defaulted.exe";
  ASSERT_EQ(pack(app, defaulted, {}).exit_code, 0u);
  HMODULE program = LoadLibraryExW(demo.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  module = LoadLibraryExW(defaulted.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_TRUE(program != nullptr && module != nullptr) << GetLastError();
  EXPECT_FALSE(resourceBytes(program, RT_GROUP_ICON, 1).empty());
  EXPECT_TRUE(resourceBytes(module, RT_GROUP_ICON, 1) == resourceBytes(program, RT_GROUP_ICON, 1));
  EXPECT_TRUE(iconGroupImages(module) == iconGroupImages(program));
  FreeLibrary(module);
  FreeLibrary(program);
}

// An application whose program is app.exe and checks its files: a data file of its own content
// under a name both applications share. The program carries the content's first bytes after its
// image too, so that the two applications' app.exe differ as two real programs would.
std::vector<std::pair<std::wstring, std::string>> checkingApplication(const std::string& content) {
  char line[128];
  snprintf(line, sizeof line, "%08x %zu data\\shared.bin\n", crc32Update(0, content.data(), content.size()), content.size());
  return {{L"app.exe", readFileBytes(fullPath(L"fixtures\\verifying-child.exe")) + content.substr(0, 16)},
          {L"data\\shared.bin", content},
          {L"manifest.txt", line}};
}

TEST_F(Identity, TwoApplicationsWithTheSameProgramNameRunSideBySide) {
  const std::wstring alpha_dir = cacheDirectory(L"Identity Alpha");
  const std::wstring beta_dir = cacheDirectory(L"Identity Beta");
  writeTree(work_ + L"\\alpha", checkingApplication(std::string(100000, 'a')));
  writeTree(work_ + L"\\beta", checkingApplication(std::string(70000, 'b')));
  const std::wstring alpha = work_ + L"\\alpha.exe";
  const std::wstring beta = work_ + L"\\beta.exe";
  ASSERT_EQ(pack(work_ + L"\\alpha", alpha, {L"--name", L"Identity Alpha", L"--version", L"1"}).exit_code, 0u);
  ASSERT_EQ(pack(work_ + L"\\beta", beta, {L"--name", L"Identity Beta", L"--version", L"1"}).exit_code, 0u);

  // The default template: "{PRODUCT}\{VERSION}-{BUILD}".
  const std::wstring alpha_build = alpha_dir + L"\\1-" + buildFolder(alpha);
  const std::wstring beta_build = beta_dir + L"\\1-" + buildFolder(beta);

  // One after the other, each finds its own files and leaves the other's alone.
  EXPECT_EQ(run(alpha, {}).exit_code, 0u);
  const std::string alpha_program = readFileBytes(alpha_build + L"\\app.exe");
  EXPECT_EQ(run(beta, {}).exit_code, 0u);
  EXPECT_EQ(run(alpha, {}).exit_code, 0u);
  EXPECT_EQ(readFileBytes(alpha_build + L"\\data\\shared.bin"), std::string(100000, 'a'));
  EXPECT_EQ(readFileBytes(beta_build + L"\\data\\shared.bin"), std::string(70000, 'b'));

  // At the same time: alpha's program runs (and holds its app.exe) while beta starts and ends.
  const std::wstring release = work_ + L"\\release";
  ProcessResult first;
  std::thread holder([&] { first = run(alpha, {}, {{L"ONEFILE_TEST_CHILD_HOLD", release}}); });
  for (int waited = 0; waited < 120000 && !fileExists(release + L".running"); waited += 10) Sleep(10);
  const bool alpha_running = fileExists(release + L".running");
  const ProcessResult second = run(beta, {});
  writeFileBytes(release, "");
  holder.join();
  ASSERT_TRUE(alpha_running) << "alpha's program never ran";
  EXPECT_EQ(second.exit_code, 0u) << second.out << second.err;
  EXPECT_EQ(second.out + second.err, "");
  EXPECT_EQ(first.exit_code, 0u) << first.out << first.err;
  EXPECT_TRUE(readFileBytes(alpha_build + L"\\app.exe") == alpha_program);

  // Another build with the same name and version, as a rebuild of alpha would be: it unpacks into
  // a folder of its own and starts while alpha runs. With one folder per version it could not
  // replace alpha's program, which the running alpha holds open.
  const std::wstring same = work_ + L"\\same.exe";
  ASSERT_EQ(pack(work_ + L"\\beta", same, {L"--name", L"Identity Alpha", L"--version", L"1"}).exit_code, 0u);
  const std::wstring same_build = alpha_dir + L"\\1-" + buildFolder(same);
  ASSERT_NE(same_build, alpha_build);
  DeleteFileW(release.c_str());
  DeleteFileW((release + L".running").c_str());
  ProcessResult held;
  std::thread holder_again([&] { held = run(alpha, {}, {{L"ONEFILE_TEST_CHILD_HOLD", release}}); });
  for (int waited = 0; waited < 120000 && !fileExists(release + L".running"); waited += 10) Sleep(10);
  const ProcessResult rebuilt = run(same, {});
  writeFileBytes(release, "");
  holder_again.join();
  EXPECT_EQ(held.exit_code, 0u);
  EXPECT_EQ(rebuilt.exit_code, 0u) << rebuilt.out << rebuilt.err;
  EXPECT_EQ(rebuilt.out + rebuilt.err, "");
  EXPECT_TRUE(readFileBytes(alpha_build + L"\\app.exe") == alpha_program);
  EXPECT_EQ(readFileBytes(same_build + L"\\data\\shared.bin"), std::string(70000, 'b'));
}

struct SettingsCase {
  const char* label;
  bool present;
  std::string bytes;
  const char* report;  // "" when the launcher starts its child
  const wchar_t* unpacked_to;  // then: where the program lands, below local application data
};

const std::u16string kTemplate = u"{CACHE_DIR}\\onefile-identity-settings\\{PRODUCT}";
const std::u16string kBuildId = u"3fa2c9e1d2b4a5c6";

// Layout 2: the texts of layout 1, the build id and keep builds.
std::string layout2(const std::u16string& product, const std::u16string& extraction, const std::u16string& build_id,
                    uint16_t keep_builds) {
  return withKeepBuilds(settingsResourceBytes(2, {product, u"1", u"", extraction, build_id}), keep_builds);
}

const SettingsCase kSettingsCases[] = {
    {"no settings: the compiled values", false, "", "", L"Quorvell\\1.3\\onefile-identity-settings\\app.exe"},
    {"valid settings", true, settingsResourceBytes(1, {u"Valid", u"1", u"", kTemplate}), "",
     L"onefile-identity-settings\\Valid\\onefile-identity-settings\\app.exe"},
    {"cut short", true, "QOVS\x01", "the resource is cut short", nullptr},
    {"another signature", true, settingsResourceBytes(1, {u"a", u"1", u"", kTemplate}).replace(0, 4, "QOV!"),
     "the resource does not begin with QOVS", nullptr},
    {"layout 2 with a build folder", true, layout2(u"Valid", kTemplate + u"\\{BUILD}", kBuildId, kKeepAllBuilds), "",
     L"onefile-identity-settings\\Valid\\3fa2c9e1\\onefile-identity-settings\\app.exe"},
    {"layout 4", true, settingsResourceBytes(4, {u"a", u"1", u"", kTemplate, kBuildId}) + std::string(2, '\0'),
     "its layout version is unknown", nullptr},
    {"layout 2 without a build id", true, settingsResourceBytes(2, {u"a", u"1", u"", kTemplate}),
     "the build id is not terminated", nullptr},
    {"build id in upper case", true, layout2(u"a", kTemplate, u"3FA2C9E1D2B4A5C6", 0),
     "the build id is not 16 lower-case hex digits", nullptr},
    {"keep builds past the limit", true, layout2(u"a", kTemplate, kBuildId, 101),
     "the number of builds to keep is neither 0 to 100 nor all", nullptr},
    {"layout 1 naming {BUILD}", true, settingsResourceBytes(1, {u"a", u"1", u"", kTemplate + u"\\{BUILD}"}),
     "the extraction template names {BUILD}, but there is no build id", nullptr},
    {"product unterminated", true, settingsResourceBytes(1, {u"Valid"}, false), "the product name is not terminated", nullptr},
    {"template too long", true, settingsResourceBytes(1, {u"a", u"1", u"", u"{TEMP}" + std::u16string(1100, u'x')}),
     "the extraction template is too long", nullptr},
    {"relative template", true, settingsResourceBytes(1, {u"a", u"1", u"", u"{PRODUCT}"}),
     "the extraction template is not a value the packer writes", nullptr},
    {"product that cannot be a folder", true, settingsResourceBytes(1, {u"a|b", u"1", u"", kTemplate}),
     "the product name is not a value the packer writes", nullptr},
    {"bytes after the last text", true, settingsResourceBytes(1, {u"a", u"1", u"", kTemplate}) + "x",
     "bytes follow its last text", nullptr},
};

TEST_F(Identity, DamagedSettingsEndTheLauncherBeforeItWritesAnything) {
  const std::wstring compiled = cacheDirectory(L"Quorvell\\1.3\\onefile-identity-settings");
  const std::wstring packed = cacheDirectory(L"onefile-identity-settings");
  const std::vector<PayloadFile> files = {
      {u"onefile-identity-settings\\app.exe", readFileBytes(fullPath(L"fixtures\\quiet-child.exe"))},
      {u"onefile-identity-settings\\data.txt", "data"}};
  const std::string payload = buildPayloadResource(files.data(), files.size());
  const std::string splash = readFileBytes(fullPath(L"fixtures\\packer-splash.png"));
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  for (const SettingsCase& c : kSettingsCases) {
    SCOPED_TRACE(c.label);
    removeTree(compiled);
    removeTree(packed);
    const std::wstring launcher = work_ + L"\\launcher.exe";
    std::wstring why;
    ASSERT_TRUE(makeLauncher(launcher, payload, splash, &why)) << narrow(why);
    if (c.present) ASSERT_TRUE(addDataResource(launcher, 29, c.bytes, &why)) << narrow(why);

    const ProcessResult result = run(launcher, {});
    ASSERT_TRUE(result.started) << result.start_error;
    const std::wstring feedback = std::wstring(temp) + L"onefile_" + std::to_wstring(result.process_id) + L"_splash_feedback.tmp";
    const bool feedback_written = fileExists(feedback);
    DeleteFileW(feedback.c_str());
    if (*c.report == 0) {
      EXPECT_EQ(result.exit_code, 0u) << result.out << result.err;
      EXPECT_TRUE(fileExists(localAppData() + L"\\" + c.unpacked_to));
      // The child leaves the feedback file, so the check below would see a splash that came up.
      EXPECT_TRUE(feedback_written);
      continue;
    }
    EXPECT_EQ(result.out, "Error, couldn't read launcher settings: " + std::string(c.report) + ".\r\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_code, static_cast<DWORD>(kFatalExitCode));
    EXPECT_FALSE(fileExists(compiled)) << "fell back to the compiled values";
    EXPECT_FALSE(fileExists(packed));
    EXPECT_FALSE(feedback_written) << "the splash came up";
  }
}

}  // namespace
