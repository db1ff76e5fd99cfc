// onefile-pack gives every application its own identity: the options, else the main program's
// version resource and icon, else the fallbacks, reach the settings resource (read back by the
// launcher's own reader), the version resource (decompiled by windres) and the icons (dumped by
// llvm-readobj), and list shows them with the build id of the payload.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "IconFile.h"
#include "LauncherSettings.h"
#include "PackerTestSupport.h"
#include "PeImage.h"
#include "ResourceTree.h"
#include "Sha256.h"

namespace fs = std::filesystem;

namespace {

typedef std::vector<uint8_t> Bytes;

const std::string kTool = getenv("ONEFILE_PACK") != nullptr ? getenv("ONEFILE_PACK") : "onefile-pack";

std::string environment(const char* name) {
  const char* value = getenv(name);
  return value != nullptr ? value : "";
}

std::u16string textOf(const WideUnit* text) {
  std::u16string units;
  for (; *text != 0; ++text) units += static_cast<char16_t>(*text);
  return units;
}

// The id of a packed image's build: the first 8 bytes of the SHA-256 of its payload resource.
std::string buildIdOf(const Bytes& image) {
  const Bytes payload = payloadResource(image);
  if (payload.empty()) return "(no payload)";
  return hexDigits(sha256(payload.data(), payload.size()), 8);
}

// list's lines of the build, and its folder as the default template gives it.
std::string buildLines(const Bytes& image, const std::string& keep_builds = "0", const std::string& verify = "changed") {
  return "build id    " + buildIdOf(image) + "\nkeep builds " + keep_builds + "\nverify      " + verify + "\n";
}
std::string folderOf(const Bytes& image) { return buildIdOf(image).substr(0, 8); }

// The lines of list before its file table.
std::string identityLines(const std::string& listing) { return listing.substr(0, listing.find("        size  checksum")); }

class PackIdentity : public testing::Test {
 protected:
  void SetUp() override {
    if (readStubOrSkip().empty()) GTEST_SKIP() << "the Windows build's launcher stub is not there";
    stub = environment("ONEFILE_STUB");
    app = scratch.path() / "app";
    fs::create_directories(app);
    writeBytes(app / "data.txt", Bytes{'d'});
  }

  // Packs app/ with the main program and options into OUT; returns the packed bytes.
  Bytes pack(const std::string& main, const std::string& output, const std::vector<std::string>& options = {}) {
    std::vector<std::string> command{kTool, "pack", app.string(), "--main", main, "--stub", stub, "-o", out(output)};
    command.insert(command.end(), options.begin(), options.end());
    const CommandResult result = runCommand(command);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    return readBytes(out(output));
  }
  std::string list(const std::string& output) {
    const CommandResult result = runCommand({kTool, "list", out(output)});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    return identityLines(result.out);
  }
  std::string out(const std::string& name) const { return (scratch.path() / name).string(); }

  ScratchDirectory scratch;
  std::string stub;
  fs::path app;
};

TEST_F(PackIdentity, OptionsBecomeTheSettingsAndTheVersionResource) {
  writeBytes(app / "main.exe", Bytes{'M', 'Z'});
  const Bytes image = pack("main.exe", "MyApp.exe",
                           {"--windowed", "--name", "My App", "--version=2.1.0-beta", "--company", "Acme Inc.", "--description",
                            "The app, packed", "--copyright", "(c) 2026 Acme"});
  EXPECT_EQ(list("MyApp.exe"),
            "product     My App\n"
            "version     2.1.0-beta\n"
            "company     Acme Inc.\n" +
                buildLines(image) +
                "subsystem   windowed\n"
                "extract to  {CACHE_DIR}\\My App\\2.1.0-beta-" +
                folderOf(image) + "  (template {CACHE_DIR}\\{PRODUCT}\\{VERSION}-{BUILD})\n");

  const std::map<std::string, Bytes> resources = resourcesDumpedByReadobj(image);
  const std::map<std::string, Bytes> stub_resources = resourcesDumpedByReadobj(readBytes(stub));
  // One version resource, the new one; the stub's icon and manifest stay.
  size_t versions = 0;
  for (const auto& [key, bytes] : resources) versions += key.rfind("16/", 0) == 0 ? 1 : 0;
  EXPECT_EQ(versions, 1u);
  for (const char* kept : {"3/1/1033", "14/1/1033", "24/1/1033"}) EXPECT_EQ(resources.at(kept), stub_resources.at(kept)) << kept;

  // The settings, as llvm-readobj finds them, read by the launcher's own reader.
  ASSERT_EQ(resources.count("10/29/0"), 1u);
  const Bytes& settings_bytes = resources.at("10/29/0");
  LauncherSettings settings{};
  ASSERT_EQ(readLauncherSettings(settings_bytes.data(), settings_bytes.size(), settings).status, SettingsStatus::ok);
  EXPECT_EQ(textOf(settings.product), u"My App");
  EXPECT_EQ(textOf(settings.version), u"2.1.0-beta");
  EXPECT_EQ(textOf(settings.company), u"Acme Inc.");
  EXPECT_EQ(textOf(settings.extraction_template), u"{CACHE_DIR}\\{PRODUCT}\\{VERSION}-{BUILD}");
  const std::string id = buildIdOf(image);
  EXPECT_EQ(textOf(settings.build_id), std::u16string(id.begin(), id.end()));
  EXPECT_EQ(settings.keep_builds, 0);

  const std::map<std::string, std::string> expected = {
      {"FILEVERSION", "2, 1, 0, 0"},          {"PRODUCTVERSION", "2, 1, 0, 0"},
      {"CompanyName", "Acme Inc."},           {"FileDescription", "The app, packed"},
      {"FileVersion", "2.1.0-beta"},          {"InternalName", "MyApp"},
      {"LegalCopyright", "(c) 2026 Acme"},    {"OriginalFilename", "MyApp.exe"},
      {"ProductName", "My App"},              {"ProductVersion", "2.1.0-beta"}};
  EXPECT_EQ(versionSeenByWindres(image), expected);
}

TEST_F(PackIdentity, TheTemplateAndCompanyReachTheExtractionDirectory) {
  writeBytes(app / "main.exe", Bytes{'M', 'Z'});
  const Bytes a = pack("main.exe", "a.exe",
                       {"--windowed", "--name", "Tool", "--company", "Acme", "--extract-to", "{HOME}\\apps\\{COMPANY}\\{PRODUCT}",
                        "--keep-builds", "3", "--verify", "all"});
  EXPECT_EQ(list("a.exe"), "product     Tool\nversion     1.0\ncompany     Acme\n" + buildLines(a, "3", "all") +
                               "subsystem   windowed\n"
                               "extract to  {HOME}\\apps\\Acme\\Tool  (template {HOME}\\apps\\{COMPANY}\\{PRODUCT})\n");
  // An empty --company leaves it out; {COMPANY} then gives the product name.
  const Bytes b = pack("main.exe", "b.exe",
                       {"--windowed", "--name", "Tool", "--company=", "--extract-to", "{CACHE_DIR}\\{COMPANY}\\{PRODUCT}",
                        "--keep-builds=all"});
  EXPECT_EQ(list("b.exe"), "product     Tool\nversion     1.0\ncompany     (none)\n" + buildLines(b, "all") +
                               "subsystem   windowed\n"
                               "extract to  {CACHE_DIR}\\Tool\\Tool  (template {CACHE_DIR}\\{COMPANY}\\{PRODUCT})\n");
  // A template written with "/" is shown as given and as the folder a start makes of it.
  const Bytes c = pack("main.exe", "c.exe", {"--windowed", "--name", "Tool", "--extract-to", "{CACHE_DIR}/apps//{PRODUCT}/{build}"});
  EXPECT_EQ(list("c.exe"), "product     Tool\nversion     1.0\ncompany     (none)\n" + buildLines(c) +
                               "subsystem   windowed\n"
                               "extract to  {CACHE_DIR}\\apps\\Tool\\" +
                               folderOf(c) + "  (template {CACHE_DIR}/apps//{PRODUCT}/{build})\n");
}

TEST_F(PackIdentity, DefaultsComeFromTheMainProgramElseFromTheFallbacks) {
  const std::string demo = environment("ONEFILE_DEMO_PROGRAM");
  if (demo.empty() || !fs::is_regular_file(demo)) GTEST_SKIP() << "the Windows build's demo program is not there";
  writeBytes(app / "Quorvell.exe", readBytes(demo));
  const Bytes image = pack("Quorvell.exe", "Demo.exe");
  EXPECT_EQ(list("Demo.exe"), "product     Quorvell Demo\nversion     2.4.1\ncompany     Quorvell Demo Works\n" +
                                  buildLines(image) +
                                  "subsystem   windowed\n"
                                  "extract to  {CACHE_DIR}\\Quorvell Demo\\2.4.1-" +
                                  folderOf(image) + "  (template {CACHE_DIR}\\{PRODUCT}\\{VERSION}-{BUILD})\n");
  const std::map<std::string, std::string> version = versionSeenByWindres(image);
  EXPECT_EQ(version.at("FileDescription"), "Quorvell demo application");
  EXPECT_EQ(version.at("LegalCopyright"), "Copyright 2026 the onefile developers");
  EXPECT_EQ(version.at("OriginalFilename"), "Demo.exe");
  EXPECT_EQ(version.at("FILEVERSION"), "2, 4, 1, 0");

  // The program's icon group, made by windres from demo.ico: its images, and none of the stub's.
  const std::vector<IconImage> icon = readIconFile(readBytes(environment("ONEFILE_DEMO_ICON")));
  const std::map<std::string, Bytes> resources = resourcesDumpedByReadobj(image);
  std::vector<Bytes> images;
  for (const auto& [key, bytes] : resources) {
    if (key.rfind("3/", 0) == 0) images.push_back(bytes);
  }
  ASSERT_EQ(images.size(), icon.size());
  for (size_t i = 0; i < icon.size(); ++i) EXPECT_EQ(resources.at("3/" + std::to_string(i + 1) + "/1033"), icon[i].data) << i;
  EXPECT_EQ(resources.at("14/1/1033"), iconGroupResource(icon, 1));

  // A main program without a version resource or icon: the output's name, version 1.0, no
  // company, and the stub's icon.
  writeBytes(app / "plain.exe", Bytes{'M', 'Z'});
  const Bytes plain = pack("plain.exe", "Plain Tool.exe", {"--console"});
  EXPECT_EQ(list("Plain Tool.exe"), "product     Plain Tool\nversion     1.0\ncompany     (none)\n" + buildLines(plain) +
                                        "subsystem   console\n"
                                        "extract to  {CACHE_DIR}\\Plain Tool\\1.0-" +
                                        folderOf(plain) + "  (template {CACHE_DIR}\\{PRODUCT}\\{VERSION}-{BUILD})\n");
  EXPECT_EQ(versionSeenByWindres(plain).at("FileDescription"), "Plain Tool");
  const std::map<std::string, Bytes> stub_resources = resourcesDumpedByReadobj(readBytes(stub));
  EXPECT_EQ(resourcesDumpedByReadobj(plain).at("14/1/1033"), stub_resources.at("14/1/1033"));
}

TEST_F(PackIdentity, IconAndManifestOptionsReplaceEveryIconAndTheManifest) {
  const std::string demo = environment("ONEFILE_DEMO_PROGRAM");
  if (!demo.empty() && fs::is_regular_file(demo)) {
    writeBytes(app / "main.exe", readBytes(demo));  // --icon wins over the program's own icon too
  } else {
    writeBytes(app / "main.exe", Bytes{'M', 'Z'});
  }
  const std::string icon_path = environment("ONEFILE_IDENTITY_FIXTURES") + "/png-and-bitmap.ico";
  const std::string manifest =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- ours -->\n"
      "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\"></assembly>\n";
  writeBytes(out("app.manifest"), Bytes(manifest.begin(), manifest.end()));
  const Bytes image = pack("main.exe", "a.exe", {"--windowed", "--icon", icon_path, "--manifest", out("app.manifest")});

  const std::vector<IconImage> icon = readIconFile(readBytes(icon_path));
  std::map<std::string, Bytes> expected = resourcesDumpedByReadobj(readBytes(stub));
  for (auto it = expected.begin(); it != expected.end();) {
    const bool replaced = it->first.rfind("3/", 0) == 0 || it->first.rfind("14/", 0) == 0 || it->first.rfind("24/", 0) == 0 ||
                          it->first.rfind("16/", 0) == 0;
    it = replaced ? expected.erase(it) : std::next(it);
  }
  std::map<std::string, Bytes> seen = resourcesDumpedByReadobj(image);
  EXPECT_EQ(seen.at("3/1/1033"), icon[0].data);
  EXPECT_EQ(seen.at("3/2/1033"), icon[1].data);
  EXPECT_EQ(seen.at("14/1/1033"), iconGroupResource(icon, 1));
  EXPECT_EQ(seen.at("24/1/1033"), Bytes(manifest.begin(), manifest.end()));
  for (const char* replaced : {"3/1/1033", "3/2/1033", "14/1/1033", "24/1/1033", "16/1/1033", "10/27/0", "10/29/0"}) {
    seen.erase(replaced);
  }
  EXPECT_EQ(seen, expected) << "every other resource of the stub stays, and no other is added";
}

}  // namespace
