// onefile-pack: makes onefile launchers from application folders, and reads them back.
#include <stdio.h>

#include <iostream>
#include <vector>

#include "CommandLine.h"
#include "InspectCommands.h"
#include "LauncherBuildConfig.h"
#include "PackCommand.h"
#include "PackError.h"
#include "PackerPlatform.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFailureExitCode = 1;
constexpr int kUsageExitCode = 2;

int run(const std::vector<fs::path>& arguments) {
  prepareConsoleOutput();
  try {
    Command command = parseCommandLine(arguments);
    switch (command.kind) {
      case CommandKind::help: std::cout << kUsageText; break;
      case CommandKind::version:
        std::cout << "onefile-pack " ONEFILE_PACKER_VERSION " (launcher for " ONEFILE_PRODUCT_NAME " " ONEFILE_PRODUCT_VERSION ")\n";
        break;
      case CommandKind::pack:
        command.pack.progress = progressModeFor(command.progress, standardErrorIsTerminal());
        installInterruptCleanup();
        packApplication(command.pack);
        break;
      case CommandKind::list: listPayload(command.executable, std::cout); break;
      case CommandKind::verify: verifyPayload(command.executable, std::cout); break;
      case CommandKind::extract: extractPayloadTo(command.executable, command.directory, std::cout); break;
    }
    std::cout.flush();
    if (!std::cout) throw PackError("cannot write to standard output");
    return 0;
  } catch (const UsageError& error) {
    std::cerr << "onefile-pack: " << error.what() << "\nTry 'onefile-pack --help'.\n";
    return kUsageExitCode;
  } catch (const PackError& error) {
    std::cerr << "onefile-pack: " << error.what() << "\n";
  } catch (const std::bad_alloc&) {
    std::cerr << "onefile-pack: out of memory\n";
  } catch (const std::exception& error) {
    std::cerr << "onefile-pack: " << error.what() << "\n";
  }
  return kFailureExitCode;
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
  std::vector<fs::path> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  return run(arguments);
}
