#include "LinuxLauncherFactory.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "AppendedTrailer.h"
#include "SettingsBytes.h"

std::string recordingProgram() {
  const char* path = getenv("ONEFILE_RECORDING_PROGRAM");
  if (path == nullptr) throw std::runtime_error("ONEFILE_RECORDING_PROGRAM is not set");
  return readFile(path);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string settingsFor(const std::u16string& extraction_template, uint16_t verify) {
  return withVerify(
      withKeepBuilds(settingsResourceBytes(3, {u"Prod", u"1.0", u"", extraction_template, u"0123456789abcdef"}),
                     0xFFFF),
      verify);
}

std::string payloadOf(const std::vector<PackedFile>& files, PayloadLayout layout) {
  std::vector<PayloadFile> payload;
  for (const PackedFile& file : files) payload.push_back({file.name, file.data});
  return buildPayloadResource(payload.data(), payload.size(), 3, 0, layout);
}

std::vector<bool> modesOf(const std::vector<PackedFile>& files) {
  std::vector<bool> modes;
  for (const PackedFile& file : files) modes.push_back(file.executable);
  return modes;
}

void writeLauncher(const std::string& path, const std::string& settings, const std::string& payload,
                   const std::vector<bool>& executable) {
  const char* stub_path = getenv("ONEFILE_LINUX_STUB");
  if (stub_path == nullptr) throw std::runtime_error("ONEFILE_LINUX_STUB is not set");
  std::string bytes = readFile(stub_path);
  AppendedTrailer trailer{};
  trailer.settings = {bytes.size(), settings.size()};
  bytes += settings;
  trailer.payload = {bytes.size(), payload.size()};
  bytes += payload;
  std::string modes((executable.size() + 7) / 8, '\0');
  for (size_t i = 0; i < executable.size(); ++i) {
    if (executable[i]) modes[i / 8] = static_cast<char>(modes[i / 8] | (1 << (i % 8)));
  }
  trailer.modes = {bytes.size(), modes.size()};
  bytes += modes;
  uint8_t trailer_bytes[kAppendedTrailerLength];
  writeAppendedTrailer(trailer, trailer_bytes);
  bytes.append(reinterpret_cast<const char*>(trailer_bytes), sizeof trailer_bytes);
  writeFile(path, bytes);
  chmod(path.c_str(), 0755);
}

pid_t startProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::vector<std::string>& environment, const std::string& directory,
                   const std::string& error_file) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  const pid_t process = fork();
  if (process == 0) {
    const int error = open(error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (error < 0 || dup2(error, STDERR_FILENO) < 0 || chdir(directory.c_str()) != 0) _exit(126);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  return process;
}

Finished waitFor(pid_t process, const std::string& error_file) {
  Finished finished;
  waitpid(process, &finished.status, 0);
  // A start killed before it could open the file has none.
  if (access(error_file.c_str(), F_OK) == 0) finished.error = readFile(error_file);
  return finished;
}

std::vector<std::pair<std::string, std::string>> readRecord(const std::string& path) {
  const std::string bytes = readFile(path);
  std::vector<std::pair<std::string, std::string>> fields;
  for (size_t at = 0; at < bytes.size();) {
    const size_t key_end = bytes.find('\0', at);
    const size_t value_end = bytes.find('\0', key_end + 1);
    fields.emplace_back(bytes.substr(at, key_end - at), bytes.substr(key_end + 1, value_end - key_end - 1));
    at = value_end + 1;
  }
  return fields;
}

std::map<std::string, std::string> recordMap(const std::vector<std::pair<std::string, std::string>>& fields) {
  std::map<std::string, std::string> map;
  for (const auto& field : fields) map[field.first] = field.second;
  return map;
}

std::vector<std::string> recordedArguments(const std::vector<std::pair<std::string, std::string>>& fields) {
  std::vector<std::string> arguments;
  for (const auto& field : fields) {
    if (field.first == "arg") arguments.push_back(field.second);
  }
  return arguments;
}

std::string fileSignature(const std::string& bytes) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char byte : bytes) hash = (hash ^ byte) * 0x100000001b3ull;
  return std::to_string(bytes.size()) + " " + std::to_string(hash);
}
