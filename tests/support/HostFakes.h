// A stand-in for the launcher's Windows edge on the host: the environment, the system values that
// templates stand for, the directory call and the template report. Tests arrange it, run the
// portable code and read back what reached the "system".
#pragma once

#include <stdint.h>

#include <map>
#include <set>
#include <string>
#include <vector>

struct FakeSystem {
  std::map<std::string, std::u16string> environment;

  // Each query fails when its `..._fails` flag is set.
  std::u16string temporary_directory = u"C:\\Temp\\";
  bool temporary_directory_fails = false;
  std::u16string program_path = u"C:\\a\\b.exe";
  bool program_path_fails = false;
  std::u16string profile_directory = u"C:\\Users\\u";
  bool profile_directory_fails = false;
  std::u16string local_app_data_directory = u"C:\\Users\\u\\AppData\\Local";
  bool local_app_data_directory_fails = false;
  uint32_t process_id = 4242;
  uint64_t file_time = 133500000000000000ULL;

  // Whatever stands at a path, directory or file, matched without regard to ASCII case as the
  // Windows file system does. A directory can be made only where its parent stands.
  std::set<std::u16string> standing;
  // Every path passed to the directory call, in order.
  std::vector<std::u16string> directory_calls;

  void addStanding(const std::u16string& path);
  bool isStanding(const std::u16string& path) const;
};

// Fresh for every test: the defaults above, an empty environment, nothing standing.
FakeSystem& fakeSystem();
void resetFakeSystem();
