// `--verify changed` on Linux: a warm start reads none of the files whose state is the one its
// build record holds, and checks by content (repairing it, and putting its mode right) every file
// that changed since, however its times were set back.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "LauncherFixture.h"
#include "PackerTestSupport.h"

namespace {

constexpr uint16_t kVerifyChanged = 1;

class VerifyChangedTest : public LinuxLauncherTest {
 protected:
  void SetUp() override {
    LinuxLauncherTest::SetUp();
    const std::vector<uint8_t> bytes = randomBytes(4 << 20, 77);
    files_ = standardFiles();
    files_.push_back({u"sub\\big.bin", std::string(bytes.begin(), bytes.end())});
  }
  // What the launcher read before the program started.
  uint64_t bytesReadByTheLauncher() {
    const Finished finished = run();
    EXPECT_TRUE(exitedWith(finished, 0)) << finished.error;
    return std::stoull(recordMap(readRecord(recordPath())).at("rchar"));
  }
  std::string recordFile() const { return cacheFolder() + ".onefile-build"; }
  std::vector<PackedFile> files_;
};

TEST_F(VerifyChangedTest, AWarmStartReadsNoFileItFindsAsRecorded) {
  const struct {
    const char* what;
    uint16_t verify;
    bool reads_every_file;
  } cases[] = {{"verify all", 0, true}, {"verify changed", kVerifyChanged, false}};
  for (const auto& row : cases) {
    SCOPED_TRACE(row.what);
    std::error_code ignored;
    std::filesystem::remove_all(home() + "/.cache", ignored);
    makeLauncher(files_, kDefaultTemplate, row.verify);
    bytesReadByTheLauncher();
    EXPECT_EQ(row.verify == kVerifyChanged, std::filesystem::exists(recordFile())) << "a record only where it serves";
    const auto before = treeState(home() + "/.cache/Prod");
    EXPECT_EQ(row.reads_every_file, bytesReadByTheLauncher() > (4u << 20));
    EXPECT_EQ(before, treeState(home() + "/.cache/Prod")) << "the warm start wrote nothing, its record included";
  }
}

TEST_F(VerifyChangedTest, AFileChangedSinceIsCheckedAndRepaired) {
  makeLauncher(files_, kDefaultTemplate, kVerifyChanged);
  bytesReadByTheLauncher();
  const std::string big = cacheFolder() + "/sub/big.bin";
  const struct {
    const char* what;
    std::function<void()> change;
    bool reads_the_large_file;
  } cases[] = {
      {"changed in place with its times set back", [&] {
         struct stat before = {};
         stat(big.c_str(), &before);
         const int file = open(big.c_str(), O_WRONLY);
         ASSERT_EQ(1, pwrite(file, "!", 1, 1000));
         const timespec times[2] = {before.st_atim, before.st_mtim};
         futimens(file, times);
         close(file);
       }, true},
      {"another file's executable bit dropped", [&] { chmod((cacheFolder() + "/tool.sh").c_str(), 0644); }, false},
      {"the record damaged", [&] {
         std::string record = readFile(recordFile());
         record[record.size() - 10] = static_cast<char>(record[record.size() - 10] ^ 1);
         writeFile(recordFile(), record);
       }, true},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.what);
    row.change();
    EXPECT_EQ(row.reads_the_large_file, bytesReadByTheLauncher() > (4u << 20));
    EXPECT_TRUE(files_.back().data == readFile(big)) << "the large file repaired";
    EXPECT_EQ(0755u, treeState(cacheFolder())["tool.sh"].mode & 07777);
    EXPECT_LT(bytesReadByTheLauncher(), 4u << 20) << "the record written again with the states of now";
  }
}

}  // namespace
