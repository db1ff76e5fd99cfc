// Payloads and appended data that are damaged or made to harm: each is refused with its report
// before anything is written outside the extraction directory, and mostly before anything at all.
#include <unistd.h>

#include "AppendedTrailer.h"
#include "LauncherFixture.h"

namespace {

std::u16string units(std::initializer_list<uint16_t> values) {
  std::u16string text;
  for (uint16_t value : values) text += static_cast<char16_t>(value);
  return text;
}

TEST_F(LinuxLauncherTest, RefusesHostileNamesWithTheDecodeReport) {
  const std::string program = recordingProgram();
  const struct {
    const char* what;
    std::u16string name;
  } cases[] = {
      {"parent folder", u"..\\evil"},
      {"parent folder through a slash", u"../evil"},
      {"parent folder deeper", u"sub\\..\\..\\evil"},
      {"rooted", u"\\evil"},
      {"rooted with a slash", u"/tmp/evil"},
      {"a drive", u"C:evil"},
      {"a lone surrogate: no bytes on Linux", units({'e', 'v', 'i', 'l', 0xDCC3, 0xDCA9})},
      {"the program's name again in another case", u"APP"},
      {"a control character", u"evil\n"},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.what);
    std::error_code ignored;
    std::filesystem::remove_all(home() + "/.cache", ignored);
    makeLauncher({{u"app", program, true}, {u"data.txt", "data"}, {row.name, "evil"}});
    const Finished finished = run();
    EXPECT_TRUE(exitedWith(finished, 2));
    EXPECT_EQ("Error, couldn't decode attached data.\n", finished.error);
    EXPECT_TRUE(treeFiles(cacheFolder()).empty()) << "the group is refused before any of its files is written";
    for (const auto& file : treeFiles(root())) {
      EXPECT_EQ(std::string::npos, file.second.find("evil")) << file.first;
    }
    EXPECT_FALSE(std::filesystem::exists("/tmp/evil"));
  }
}

TEST_F(LinuxLauncherTest, RefusesDamagedAppendedDataBeforeWritingAnything) {
  const std::vector<PackedFile> files = standardFiles();
  makeLauncher(files);
  const std::string good = readFile(launcherPath());
  const size_t stub_length = good.size() - settingsFor(kDefaultTemplate).size() - payloadOf(files).size() -
                             (files.size() + 7) / 8 - kAppendedTrailerLength;
  const std::string payload_message = "Error, couldn't find attached data header.\n";
  const struct {
    const char* what;
    std::function<std::string()> launcher;
    std::string error;
  } cases[] = {
      {"no trailer: the stub alone", [&] { return good.substr(0, stub_length); }, payload_message},
      {"cut inside the trailer", [&] { return good.substr(0, good.size() - 1); }, payload_message},
      {"a newer trailer layout", [&] {
         std::string bytes = good;
         bytes[bytes.size() - 8] = 2;
         return bytes;
       }, payload_message},
      {"a payload length past the file", [&] {
         std::string bytes = good;
         bytes[bytes.size() - 56 + 24 + 6] = 1;
         return bytes;
       }, payload_message},
      {"damaged payload data", [&] {
         std::string bytes = good;
         const size_t payload_at = stub_length + settingsFor(kDefaultTemplate).size();
         for (size_t i = payload_at + 40; i < payload_at + 200; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
         return bytes;
       }, "Error, couldn't decode attached data.\n"},
      {"damaged settings", [&] {
         std::string bytes = good;
         bytes[stub_length] = 'X';
         return bytes;
       }, "Error, couldn't read launcher settings: the resource does not begin with QOVS.\n"},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.what);
    std::error_code ignored;
    std::filesystem::remove_all(home() + "/.cache", ignored);
    writeFile(launcherPath(), row.launcher());
    const Finished finished = run();
    EXPECT_TRUE(exitedWith(finished, 2)) << finished.status;
    EXPECT_EQ(row.error, finished.error);
    EXPECT_TRUE(treeFiles(home()).empty());
  }
}

}  // namespace
