// bench-pack: the bench's stand-in for the packer's command line while the packer is not built.
//
//   bench-pack pack APPDIR --main REL [--level N] [--layout single-frame|per-file] -o OUT.exe
//
// The program first, then the other top-level files, then each subfolder's files, in name order;
// the payload from PayloadWriter, put into a copy of onefile-launcher.exe (from this program's own
// folder) with the system's resource updater. bench/run prefers build/host/bin/onefile-pack.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "Crc32.h"
#include "LauncherFactory.h"
#include "PayloadWriter.h"
#include "ProcessRunner.h"

namespace {

// Relative names below `root`: files of a folder before its subfolders, each group in name order.
void listFiles(const std::wstring& root, const std::wstring& relative, std::vector<std::wstring>& names) {
  std::vector<std::wstring> files;
  std::vector<std::wstring> folders;
  WIN32_FIND_DATAW found;
  const std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = relative.empty() ? name : relative + L"\\" + name;
    (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? folders : files).push_back(path);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(files.begin(), files.end());
  std::sort(folders.begin(), folders.end());
  names.insert(names.end(), files.begin(), files.end());
  for (const std::wstring& sub : folders) listFiles(root, sub, names);
}

std::wstring ownFolder() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text = path;
  return text.substr(0, text.rfind(L'\\'));
}

int pack(const std::wstring& root, const std::wstring& main_name, int level, PayloadLayout layout,
         const std::wstring& output) {
  std::vector<std::wstring> names;
  listFiles(root, L"", names);
  auto main_at = std::find(names.begin(), names.end(), main_name);
  if (main_at == names.end()) {
    std::fprintf(stderr, "bench-pack: %s is not in the folder\n", narrow(main_name).c_str());
    return 1;
  }
  std::rotate(names.begin(), main_at, main_at + 1);
  PayloadWriter writer(level, 0, layout);
  for (const std::wstring& name : names) {
    const std::string data = readFileBytes(root + L"\\" + name);
    writer.beginEntry(std::u16string(name.begin(), name.end()), data.size(),
                      storedChecksum(crc32Update(0, data.data(), data.size())));
    writer.addData(data.data(), data.size());
  }
  std::wstring why;
  if (!makeLauncher(output, writer.finish(), "", &why, ownFolder() + L"\\onefile-launcher.exe")) {
    std::fprintf(stderr, "bench-pack: %s\n", narrow(why).c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring root, main_name, output;
  int level = 3;
  std::wstring layout = L"single-frame";
  for (int i = 2; i < argc; ++i) {
    const std::wstring argument = argv[i];
    if (argument == L"--main" && i + 1 < argc) {
      main_name = argv[++i];
    } else if (argument == L"--level" && i + 1 < argc) {
      level = _wtoi(argv[++i]);
    } else if (argument == L"--layout" && i + 1 < argc) {
      layout = argv[++i];
    } else if (argument == L"-o" && i + 1 < argc) {
      output = argv[++i];
    } else if (root.empty()) {
      root = argument;
    }
  }
  if (argc < 2 || std::wstring(argv[1]) != L"pack" || root.empty() || main_name.empty() || output.empty() ||
      (layout != L"single-frame" && layout != L"per-file")) {
    std::fputs("usage: bench-pack pack APPDIR --main REL [--level N] [--layout single-frame|per-file] -o OUT.exe\n",
               stderr);
    return 64;
  }
  std::replace(main_name.begin(), main_name.end(), L'/', L'\\');
  try {
    return pack(root, main_name, level, layout == L"per-file" ? PayloadLayout::perFile : PayloadLayout::singleFrame,
                output);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench-pack: %s\n", error.what());
    return 1;
  }
}
