// onefile-pack's command line: which command, with which operands and options.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "PackCommand.h"

// A command line that does not say what to do; reported with a pointer to --help.
class UsageError : public std::runtime_error {
 public:
  explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

enum class CommandKind { help, version, pack, list, verify, extract };

constexpr int kMaximumThreads = 256;

struct Command {
  CommandKind kind = CommandKind::help;
  PackRequest pack;
  ProgressChoice progress = ProgressChoice::automatic;  // pack
  std::filesystem::path executable;  // list, verify, extract
  std::filesystem::path directory;   // extract
};

// The arguments after the program name. Throws UsageError.
Command parseCommandLine(const std::vector<std::filesystem::path>& arguments);

extern const char kUsageText[];
