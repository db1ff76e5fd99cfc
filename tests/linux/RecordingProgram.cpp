// The program the Linux launcher starts in the tests: it writes down what it received and ends as
// it is told. Controlled through the environment, since its arguments are what is under test:
//   ONEFILE_TEST_RECORD   file to write the record to (written whole, then renamed into place)
//   ONEFILE_TEST_CHECK    names, separated by ":", of files beside it whose size and FNV-1a hash
//                         it records as it finds them when it starts
//   ONEFILE_TEST_EXIT     exit code
//   ONEFILE_TEST_SIGNAL   a signal it raises against itself at the end
//   ONEFILE_TEST_HOLD     a path: once its record is written it makes "<path>.running" and waits
//                         until the path exists, so a test knows it runs and says when it ends
// It also records how many bytes its process has read so far ("rchar" of /proc/self/io), which
// counts what the launcher read before it became this program.
// The record is a list of fields, each "key", a zero byte, "value", a zero byte (RecordedRun.h).
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace {

std::string Record;

void field(const std::string& key, const std::string& value) {
  Record += key;
  Record += '\0';
  Record += value;
  Record += '\0';
}

std::string variable(const char* name, const char* unset = "<unset>") {
  const char* value = getenv(name);
  return value != nullptr ? value : unset;
}

std::string folderOfSelf() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "";
  path[length] = 0;
  field("exe", path);
  std::string folder(path);
  return folder.substr(0, folder.rfind('/'));
}

void recordFile(const std::string& folder, const std::string& name) {
  std::ifstream in(folder + "/" + name, std::ios::binary);
  if (!in) {
    field("file:" + name, "missing");
    return;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char byte : bytes) hash = (hash ^ byte) * 0x100000001b3ull;
  field("file:" + name, std::to_string(bytes.size()) + " " + std::to_string(hash));
}

}  // namespace

// Read before anything else of this program's own.
std::string bytesReadSoFar() {
  std::ifstream in("/proc/self/io");
  std::string key;
  std::string value;
  while (in >> key >> value) {
    if (key == "rchar:") return value;
  }
  return "unknown";
}

int main(int argc, char** argv) {
  const std::string read_before = bytesReadSoFar();
  field("rchar", read_before);
  for (int i = 0; i < argc; ++i) field("arg", argv[i]);
  field("pid", std::to_string(getpid()));
  char cwd[4096];
  field("cwd", getcwd(cwd, sizeof cwd) != nullptr ? cwd : "");
  for (const char* name : {"TOLVAR_ONEFILE_PARENT", "TOLVAR_ONEFILE_DIRECTORY", "TOLVAR_ORIGINAL_ARGV0", "HOME"}) {
    field(std::string("env:") + name, variable(name));
  }
  const std::string folder = folderOfSelf();
  const std::string check = variable("ONEFILE_TEST_CHECK", "");
  for (size_t start = 0; start < check.size();) {
    size_t end = check.find(':', start);
    if (end == std::string::npos) end = check.size();
    recordFile(folder, check.substr(start, end - start));
    start = end + 1;
  }
  const char* record_path = getenv("ONEFILE_TEST_RECORD");
  if (record_path != nullptr) {
    const std::string partial = std::string(record_path) + ".part";
    std::ofstream(partial, std::ios::binary) << Record;
    rename(partial.c_str(), record_path);
  }
  const std::string hold = variable("ONEFILE_TEST_HOLD", "");
  if (!hold.empty()) {
    std::ofstream running(hold + ".running");
    running.close();
    while (access(hold.c_str(), F_OK) != 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const std::string signal_number = variable("ONEFILE_TEST_SIGNAL", "");
  if (!signal_number.empty()) raise(atoi(signal_number.c_str()));
  return atoi(variable("ONEFILE_TEST_EXIT", "0").c_str());
}
