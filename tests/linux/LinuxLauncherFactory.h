// Makes Linux launchers inside the tests, as the packer will: the launcher stub, then the settings
// bytes, the payload, one executable bit per entry and the trailer (AppendedTrailer.h). Also runs
// them as a caller would, with exactly the arguments and environment given.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "PayloadWriter.h"

struct PackedFile {
  std::u16string name;
  std::string data;
  bool executable = false;
};

// The program the tests pack (RecordingProgram.cpp) and the stub, named by CTest's environment.
std::string recordingProgram();
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

// Layout 3 settings for the product "Prod", version "1.0", the build id 0123456789abcdef, every
// build kept, with the given extraction template and verify mode (0 all, 1 changed).
std::string settingsFor(const std::u16string& extraction_template, uint16_t verify = 0);

std::string payloadOf(const std::vector<PackedFile>& files, PayloadLayout layout = PayloadLayout::grouped);
std::vector<bool> modesOf(const std::vector<PackedFile>& files);

// Writes an executable launcher (mode 0755) at `path`.
void writeLauncher(const std::string& path, const std::string& settings, const std::string& payload,
                   const std::vector<bool>& executable);

// Starts `program` with `arguments` (argument zero first, as given) and exactly `environment`,
// in `directory`, standard error into `error_file`; returns the process id.
pid_t startProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::vector<std::string>& environment, const std::string& directory,
                   const std::string& error_file);

struct Finished {
  int status = 0;  // as waitpid gives it
  std::string error;
};
Finished waitFor(pid_t process, const std::string& error_file);

// The fields of a record the recording program wrote, in order ("arg" comes once per argument).
std::vector<std::pair<std::string, std::string>> readRecord(const std::string& path);
std::map<std::string, std::string> recordMap(const std::vector<std::pair<std::string, std::string>>& fields);
std::vector<std::string> recordedArguments(const std::vector<std::pair<std::string, std::string>>& fields);

// What the recording program writes for a file of these bytes: its size and FNV-1a hash.
std::string fileSignature(const std::string& bytes);
