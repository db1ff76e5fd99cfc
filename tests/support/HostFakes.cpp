#include "HostFakes.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Environment.h"
#include "FatalErrors.h"
#include "SystemDirectory.h"
#include "TemplateSystemValues.h"

namespace {

FakeSystem fake;

std::u16string foldAsciiCase(const std::u16string& path) {
  std::u16string folded = path;
  for (char16_t& unit : folded) {
    if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - (u'a' - u'A'));
  }
  return folded;
}

WideUnit* duplicate(const std::u16string& text) {
  WideUnit* copy = static_cast<WideUnit*>(malloc((text.size() + 1) * sizeof(WideUnit)));
  memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(WideUnit));
  return copy;
}

}  // namespace

void FakeSystem::addStanding(const std::u16string& path) { standing.insert(foldAsciiCase(path)); }

bool FakeSystem::isStanding(const std::u16string& path) const { return standing.count(foldAsciiCase(path)) != 0; }

FakeSystem& fakeSystem() { return fake; }

void resetFakeSystem() { fake = FakeSystem(); }

// As the system does: an empty value is no value.
WideUnit* getEnvironmentValue(const char* name) {
  const auto found = fake.environment.find(name);
  if (found == fake.environment.end() || found->second.empty()) return nullptr;
  return duplicate(found->second);
}

void setEnvironmentValue(const char* name, const WideUnit* value) { fake.environment[name] = value; }

// Like GetTempPathW: nothing written when the text does not fit, and the size it would need.
uint32_t writeTemporaryDirectory(WideUnit* destination, size_t room) {
  if (fake.temporary_directory_fails) return 0;
  const std::u16string& path = fake.temporary_directory;
  if (path.size() + 1 > room) return static_cast<uint32_t>(path.size() + 1);
  memcpy(destination, path.c_str(), (path.size() + 1) * sizeof(WideUnit));
  return static_cast<uint32_t>(path.size());
}

// Like GetModuleFileNameW: a path that does not fit is cut to room - 1 units, and room returned.
uint32_t writeProgramPath(WideUnit* destination, size_t room) {
  if (fake.program_path_fails) return 0;
  const std::u16string& path = fake.program_path;
  if (path.size() + 1 > room) {
    memcpy(destination, path.c_str(), (room - 1) * sizeof(WideUnit));
    destination[room - 1] = 0;
    return static_cast<uint32_t>(room);
  }
  memcpy(destination, path.c_str(), (path.size() + 1) * sizeof(WideUnit));
  return static_cast<uint32_t>(path.size());
}

static bool readFolder(const std::u16string& path, bool fails, FolderPath& folder) {
  if (fails || path.size() + 1 > kFolderPathCapacity) return false;
  memcpy(folder, path.c_str(), (path.size() + 1) * sizeof(WideUnit));
  return true;
}

bool readProfileDirectory(FolderPath& folder) {
  return readFolder(fake.profile_directory, fake.profile_directory_fails, folder);
}

bool readLocalAppDataDirectory(FolderPath& folder) {
  return readFolder(fake.local_app_data_directory, fake.local_app_data_directory_fails, folder);
}

uint32_t currentProcessId() { return fake.process_id; }

uint64_t currentFileTime() { return fake.file_time; }

DirectoryOutcome createSystemDirectory(const WideUnit* path) {
  const std::u16string directory(path);
  fake.directory_calls.push_back(directory);
  if (fake.isStanding(directory)) return DirectoryOutcome::alreadyExists;
  const size_t separator = directory.rfind(u'\\');
  if (separator == std::u16string::npos || !fake.isStanding(directory.substr(0, separator))) {
    return DirectoryOutcome::failed;
  }
  fake.addStanding(directory);
  return DirectoryOutcome::created;
}

// The launcher's report, with the template narrowed unit by unit (the tests use ASCII).
void failTemplate(const WideUnit* template_text) {
  std::string narrow;
  for (; *template_text != 0; ++template_text) narrow += static_cast<char>(*template_text);
  fprintf(stderr, "Error, couldn't runtime expand spec '%s'.\n", narrow.c_str());
  exit(kFatalExitCode);
}
