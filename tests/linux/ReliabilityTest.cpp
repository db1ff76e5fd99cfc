// Starts that end badly or come together: a start killed at any moment of its first extraction
// leaves no file that looks complete but is not, and the next start runs complete files; eight
// first starts at once all run complete files.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "LauncherFixture.h"
#include "PackerTestSupport.h"

namespace {

std::vector<PackedFile> largeFiles() {
  std::vector<PackedFile> files = {{u"app", recordingProgram(), true}};
  for (uint64_t i = 0; i < 3; ++i) {
    const std::vector<uint8_t> bytes = randomBytes(3 << 20, 0x1234 + i);
    files.push_back({u"big" + std::u16string(1, char16_t(u'0' + i)), std::string(bytes.begin(), bytes.end())});
  }
  for (char letter = 'a'; letter < 'u'; ++letter) {
    files.push_back({u"small\\f" + std::u16string(1, char16_t(letter)), std::string(500, letter)});
  }
  return files;
}

std::string checkList(const std::vector<PackedFile>& files) {
  std::string list;
  for (const PackedFile& file : files) {
    std::string name(file.name.begin(), file.name.end());
    for (char& unit : name) unit = unit == '\\' ? '/' : unit;
    list += (list.empty() ? "" : ":") + name;
  }
  return list;
}

void expectCompleteFilesRan(const std::vector<PackedFile>& files, const std::string& record_path) {
  const auto record = recordMap(readRecord(record_path));
  for (const PackedFile& file : files) {
    std::string name(file.name.begin(), file.name.end());
    for (char& unit : name) unit = unit == '\\' ? '/' : unit;
    EXPECT_EQ(fileSignature(file.data), record.at("file:" + name)) << name;
  }
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

TEST_F(LinuxLauncherTest, AStartKilledDuringItsFirstExtractionHealsOnTheNext) {
  const std::vector<PackedFile> files = largeFiles();
  makeLauncher(files);
  const std::string folder = cacheFolder();
  // Moments told by what the file system shows, then moments after fixed pauses, which land
  // inside the writing of one file or another however fast the machine is.
  const struct {
    const char* what;
    std::function<bool()> reached;
    int pause_microseconds;
  } moments[] = {
      {"at once", [] { return true; }, 0},
      {"once the folder exists", [&] { return exists(folder); }, 0},
      {"once the program is in place", [&] { return exists(folder + "/app"); }, 0},
      {"once the first large file is in place", [&] { return exists(folder + "/big0"); }, 0},
      {"once the last large file is in place", [&] { return exists(folder + "/big2"); }, 0},
      {"after 2 ms", [] { return true; }, 2000},
      {"after 10 ms", [] { return true; }, 10000},
      {"after 30 ms", [] { return true; }, 30000},
      {"after 80 ms", [] { return true; }, 80000},
  };
  for (const auto& moment : moments) {
    SCOPED_TRACE(moment.what);
    std::error_code ignored;
    std::filesystem::remove_all(home() + "/.cache", ignored);
    const pid_t process = start();
    while (!moment.reached()) {
      // A start that has ended stays unreaped, so that its process id cannot be another's when it
      // is killed below.
      siginfo_t ended = {};
      if (waitid(P_PID, static_cast<id_t>(process), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid == process) {
        break;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (moment.pause_microseconds > 0) std::this_thread::sleep_for(std::chrono::microseconds(moment.pause_microseconds));
    kill(process, SIGKILL);
    waitFor(process, root() + "/stderr");
    // Whatever the start left under a payload file's name is that whole file or visibly shorter
    // (on a file system without unnamed files): never the entry's size without its content.
    const auto left = treeFiles(folder);
    for (const PackedFile& file : files) {
      std::string name(file.name.begin(), file.name.end());
      for (char& unit : name) unit = unit == '\\' ? '/' : unit;
      const auto found = left.find(name);
      if (found == left.end()) continue;
      EXPECT_LE(found->second.size(), file.data.size()) << name;
      if (found->second.size() == file.data.size()) {
        EXPECT_TRUE(file.data == found->second) << name << " looks complete but is not";
      }
    }
    const Finished healed = run({"ONEFILE_TEST_CHECK=" + checkList(files)});
    ASSERT_TRUE(exitedWith(healed, 0)) << healed.error;
    expectCompleteFilesRan(files, recordPath());
    EXPECT_EQ(files.size(), treeFiles(folder).size()) << "nothing but the payload's files in the folder";
  }
}

TEST_F(LinuxLauncherTest, EightFirstStartsAtOnceAllRunCompleteFiles) {
  const std::vector<PackedFile> files = largeFiles();
  makeLauncher(files);
  std::vector<pid_t> processes;
  for (int i = 0; i < 8; ++i) {
    const std::string suffix = std::to_string(i);
    processes.push_back(start({"ONEFILE_TEST_CHECK=" + checkList(files), "ONEFILE_TEST_RECORD=" + recordPath() + suffix},
                              {}, root() + "/stderr" + suffix));
  }
  for (int i = 0; i < 8; ++i) {
    const std::string suffix = std::to_string(i);
    const Finished finished = waitFor(processes[i], root() + "/stderr" + suffix);
    ASSERT_TRUE(exitedWith(finished, 0)) << i << ": " << finished.error;
    expectCompleteFilesRan(files, recordPath() + suffix);
  }
}

}  // namespace
