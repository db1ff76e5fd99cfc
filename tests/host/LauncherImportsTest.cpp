// What the loader maps into every start of the launcher stub before any of its code runs. Every
// library imported here costs each start its loading (user32 and ole32 cost about as much as a
// small application's whole start under Wine), and a library that is not one of the system's
// known ones would be looked for in the launcher's own directory first, where anyone who can
// write there could leave one of that name. The desktop libraries are loaded from the system
// directory when a splash or a message box needs them.
#include <gtest/gtest.h>

#include <ctype.h>

#include <set>
#include <sstream>
#include <string>

#include "PackerTestSupport.h"

namespace {

TEST(LauncherImports, OnlyKernel32TheCRuntimeAndShell32) {
  const std::vector<uint8_t> stub = readStubOrSkip();
  if (stub.empty()) GTEST_SKIP() << "the Windows build's launcher stub is not there";
  std::set<std::string> imported;
  std::istringstream lines(runReadobj("--coff-imports", stub));
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find("Name: ");
    if (at == std::string::npos || line.find(".dll") == std::string::npos) continue;
    std::string name = line.substr(at + 6);
    for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    imported.insert(name);
  }
  EXPECT_EQ(imported, (std::set<std::string>{"kernel32.dll", "msvcrt.dll", "shell32.dll"}));
}

}  // namespace
