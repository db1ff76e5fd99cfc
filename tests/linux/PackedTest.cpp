// A Linux launcher as onefile-pack writes it from an application folder: the launcher unpacks the
// folder's files with the execute bits they had there, into the default cache folder, runs the
// program, and under the packer's default `--verify changed` a warm start reads and writes nothing.
#include <sys/stat.h>

#include "LauncherFixture.h"
#include "PackerTestSupport.h"

namespace {

class PackedTest : public LinuxLauncherTest {
 protected:
  // Packs root()/app into launcherPath() with the Linux stub.
  void pack() {
    const std::string folder = root() + "/app";
    put(folder + "/app", bytesOf(recordingProgram()));
    put(folder + "/lib/data.txt", bytesOf("some data\n"));
    put(folder + "/bin/tool.sh", bytesOf("#!/bin/sh\necho tool\n"));
    chmod((folder + "/app").c_str(), 0755);
    chmod((folder + "/lib/data.txt").c_str(), 0644);
    chmod((folder + "/bin/tool.sh").c_str(), 0755);
    const char* packer = getenv("ONEFILE_PACK");
    const char* stub = getenv("ONEFILE_LINUX_STUB");
    ASSERT_TRUE(packer != nullptr && stub != nullptr) << "ONEFILE_PACK and ONEFILE_LINUX_STUB name the packer and stub";
    const std::vector<std::string> command = {packer, "pack",   folder, "--main",    "app", "--target", "linux-x86_64",
                                              "--stub", stub,   "--name", "Prod", "--version", "1.0",  "--quiet",
                                              "-o",     launcherPath()};
    const Finished packed = waitFor(startProgram(packer, command, environment(), root(), root() + "/pack-errors"),
                                    root() + "/pack-errors");
    ASSERT_TRUE(exitedWith(packed, 0)) << packed.error;
  }
  static std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }
};

TEST_F(PackedTest, RunsWhatThePackerPackedWithItsModesAndReusesIt) {
  pack();
  const Finished first = run({}, {"called-as", "an argument"});
  ASSERT_TRUE(exitedWith(first, 0)) << first.error;
  const auto fields = readRecord(recordPath());
  EXPECT_EQ((std::vector<std::string>{launcherPath(), "an argument"}), recordedArguments(fields));
  const std::string exe = recordMap(fields).at("exe");
  const std::string prefix = home() + "/.cache/Prod/1.0-";
  ASSERT_EQ(prefix, exe.substr(0, prefix.size())) << exe;
  const std::string folder = exe.substr(0, exe.rfind('/'));

  const std::map<std::string, mode_t> expected = {{"app", 0755}, {"lib/data.txt", 0644}, {"bin/tool.sh", 0755}};
  auto states = treeState(folder);
  for (const auto& file : expected) EXPECT_EQ(file.second, states[file.first].mode & 07777) << file.first;
  EXPECT_EQ("some data\n", readFile(folder + "/lib/data.txt"));

  const auto before = treeState(home() + "/.cache/Prod");
  EXPECT_TRUE(std::filesystem::exists(folder + ".onefile-build")) << "the build record of --verify changed";
  ASSERT_TRUE(exitedWith(run(), 0));
  EXPECT_EQ(before, treeState(home() + "/.cache/Prod")) << "a warm start wrote nothing";
  EXPECT_LT(std::stoull(recordMap(readRecord(recordPath())).at("rchar")), readFile(folder + "/app").size())
      << "a warm start read no file it found as recorded";
}

}  // namespace
