// Prints the first line of each file named on the command line, relative to the program's own
// folder, and with PROBE_LIBRARY the word of a DLL it links.
#include <windows.h>

#include <stdio.h>

#include <string>

#ifdef PROBE_LIBRARY
extern "C" __declspec(dllimport) const char* probeLibraryWord();
#endif

int main(int argc, char** argv) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  folder.resize(folder.find_last_of('\\') + 1);
  for (int i = 1; i < argc; ++i) {
    char line[256] = "(missing)";
    FILE* file = fopen((folder + argv[i]).c_str(), "rb");
    if (file != nullptr) {
      if (fgets(line, sizeof line, file) == nullptr) line[0] = 0;
      fclose(file);
    }
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    printf("%s: %s\n", argv[i], text.c_str());
  }
#ifdef PROBE_LIBRARY
  printf("library: %s\n", probeLibraryWord());
#endif
  return 0;
}
