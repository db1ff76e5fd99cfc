// The example application that examples/hello/CMakeLists.txt packs into one executable: a console
// program that reads a data file packed beside it and prints one line with it and its arguments.
// With --exit-code=N it ends with N, so a caller can see the launcher hand the code on.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

// The data file sits beside the program in the launcher's cache folder, which is not the
// current directory.
std::string greeting() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return "(program path unknown)";
  std::wstring file(path, length);
  file = file.substr(0, file.find_last_of(L'\\') + 1) + L"greeting.txt";
  FILE* stream = _wfopen(file.c_str(), L"rb");
  if (stream == nullptr) return "(greeting.txt is missing)";
  char line[256] = {0};
  if (fgets(line, sizeof line, stream) == nullptr) line[0] = 0;
  fclose(stream);
  std::string text(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// The launcher keeps its splash image up until the application deletes this file, which the
// launcher names after its process id: %TEMP%\onefile_<TOLVAR_ONEFILE_PARENT>_splash_feedback.tmp.
void dismissSplash() {
  wchar_t temp[MAX_PATH + 1];
  wchar_t parent[32];
  const DWORD temp_length = GetTempPathW(MAX_PATH + 1, temp);
  const DWORD parent_length = GetEnvironmentVariableW(L"TOLVAR_ONEFILE_PARENT", parent, 32);
  if (temp_length == 0 || temp_length > MAX_PATH || parent_length == 0 || parent_length >= 32) return;
  std::wstring feedback(temp, temp_length);
  if (feedback.back() != L'\\') feedback += L'\\';
  DeleteFileW((feedback + L"onefile_" + parent + L"_splash_feedback.tmp").c_str());
}

}  // namespace

int main(int argc, char** argv) {
  dismissSplash();
  int exit_code = 0;
  std::string arguments;
  for (int i = 1; i < argc; ++i) {
    if (strncmp(argv[i], "--exit-code=", 12) == 0) exit_code = atoi(argv[i] + 12);
    arguments += std::string(" [") + argv[i] + "]";
  }
  printf("hello: %s; arguments:%s\n", greeting().c_str(), arguments.empty() ? " none" : arguments.c_str());
  fflush(stdout);
  return exit_code;
}
