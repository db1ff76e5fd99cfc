#include "CommandLine.h"

#include <optional>

#include "PackerPlatform.h"
#include "TextEncoding.h"

namespace fs = std::filesystem;

const char kUsageText[] =
    "Usage:\n"
    "  onefile-pack pack APPDIR --main REL [--splash PNG] [--stub EXE] [--level N]\n"
    "                    [--layout grouped|single|per-file] -o OUT.exe\n"
    "  onefile-pack list EXE\n"
    "  onefile-pack verify EXE\n"
    "  onefile-pack extract EXE DIR\n"
    "  onefile-pack --help | --version\n"
    "\n"
    "pack     Makes one executable that carries every file below APPDIR: a copy of the launcher\n"
    "         stub with the files as resource 27 and the splash image as resource 28.\n"
    "  --main REL        the program the launcher starts, relative to APPDIR (\"/\" between folders)\n"
    "  --splash PNG      a PNG image shown while the application unpacks and starts\n"
    "  --stub EXE        the launcher stub to copy; by default onefile-launcher.exe beside this\n"
    "                    tool, else ../../windows/bin/onefile-launcher.exe from this tool's folder\n"
    "  --level N         Zstandard level, 1 to 22 (default 12)\n"
    "  --layout L        grouped (default): small files share frames of a few MiB, larger ones\n"
    "                    have their own, and a start steps over every frame whose files are all\n"
    "                    intact; single: the files in one Zstandard frame, which every start\n"
    "                    decodes whole; per-file: a frame per file (larger where files are small)\n"
    "  -o, --output OUT  the executable to write; it appears whole or not at all\n"
    "list     Shows each file in EXE's payload: size, checksum, name; then the totals.\n"
    "verify   Decodes EXE's whole payload and checks every file against its checksum.\n"
    "extract  Writes EXE's files below DIR as the launcher would (files whose checksum already\n"
    "         matches are left alone), without running anything.\n"
    "\n"
    "Exit status: 0 on success, 1 when the command fails (the reason is on standard error),\n"
    "2 when the command line is wrong.\n";

namespace {

std::string textOf(const fs::path& argument) { return argumentUtf8(argument).value_or(printableUtf8(std::u16string(u"\uFFFD"))); }

class ArgumentList {
 public:
  explicit ArgumentList(const std::vector<fs::path>& arguments) : arguments_(arguments) {}

  bool done() const { return next_ == arguments_.size(); }
  const fs::path& take() { return arguments_[next_++]; }
  // The value of an option: "--name value" or "--name=value".
  fs::path valueOf(const std::string& option, const fs::path& argument, bool attached) {
    if (attached) {
      const fs::path::string_type& text = argument.native();
      return fs::path(text.substr(text.find('=') + 1));
    }
    if (done()) throw UsageError("option " + option + " needs a value");
    return take();
  }

 private:
  const std::vector<fs::path>& arguments_;
  size_t next_ = 0;
};

void setOnce(std::optional<fs::path>& slot, const std::string& option, fs::path value) {
  if (slot) throw UsageError("option " + option + " is given twice");
  slot = std::move(value);
}

int levelOf(const fs::path& value) {
  const std::string text = textOf(value);
  int level = 0;
  bool digits = !text.empty() && text.size() <= 2;
  for (char c : text) {
    digits = digits && c >= '0' && c <= '9';
    level = level * 10 + (c - '0');
  }
  if (!digits || level < kMinimumLevel || level > kMaximumLevel) {
    throw UsageError("--level takes a whole number from 1 to 22, not '" + text + "'");
  }
  return level;
}

PayloadLayout layoutOf(const fs::path& value) {
  const std::string text = textOf(value);
  if (text == "single") return PayloadLayout::singleFrame;
  if (text == "per-file") return PayloadLayout::perFile;
  if (text == "grouped") return PayloadLayout::grouped;
  throw UsageError("--layout takes grouped, single or per-file, not '" + text + "'");
}

Command parsePack(ArgumentList& list) {
  std::optional<fs::path> folder, main, splash, stub, level, layout, output;
  bool options_ended = false;
  while (!list.done()) {
    const fs::path& argument = list.take();
    const std::string text = textOf(argument);
    if (options_ended || text.empty() || text[0] != '-' || text == "-") {
      if (folder) throw UsageError("pack takes one application folder; '" + text + "' is one too many");
      folder = argument;
      continue;
    }
    if (text == "--") {
      options_ended = true;
      continue;
    }
    const size_t equals = text.find('=');
    const std::string option = text.substr(0, equals);
    const bool attached = equals != std::string::npos;
    if (option == "--main") {
      setOnce(main, option, list.valueOf(option, argument, attached));
    } else if (option == "--splash") {
      setOnce(splash, option, list.valueOf(option, argument, attached));
    } else if (option == "--stub") {
      setOnce(stub, option, list.valueOf(option, argument, attached));
    } else if (option == "--level") {
      setOnce(level, option, list.valueOf(option, argument, attached));
    } else if (option == "--layout") {
      setOnce(layout, option, list.valueOf(option, argument, attached));
    } else if (option == "-o" || option == "--output") {
      setOnce(output, "-o", list.valueOf(option, argument, attached));
    } else {
      throw UsageError("unknown option '" + text + "' for pack");
    }
  }
  if (!folder) throw UsageError("pack needs the application folder");
  if (!main) throw UsageError("pack needs --main, the program to start");
  if (!output) throw UsageError("pack needs -o, the executable to write");
  Command command;
  command.kind = CommandKind::pack;
  command.pack.folder = *folder;
  const std::optional<std::string> main_text = argumentUtf8(*main);
  if (!main_text) throw UsageError("--main is not valid UTF-8");
  command.pack.main = *main_text;
  command.pack.splash = splash;
  command.pack.stub = stub;
  if (level) command.pack.level = levelOf(*level);
  if (layout) command.pack.layout = layoutOf(*layout);
  command.pack.output = *output;
  return command;
}

std::vector<fs::path> operands(ArgumentList& list, const std::string& name, size_t count) {
  std::vector<fs::path> found;
  while (!list.done()) {
    const fs::path& argument = list.take();
    const std::string text = textOf(argument);
    if (found.size() == count || (text.size() > 1 && text[0] == '-')) {
      throw UsageError(name + " takes " + (count == 1 ? "one operand" : "two operands") + "; '" + text + "' is not expected");
    }
    found.push_back(argument);
  }
  if (found.size() != count) throw UsageError(name + (count == 1 ? " needs EXE" : " needs EXE and DIR"));
  return found;
}

}  // namespace

Command parseCommandLine(const std::vector<fs::path>& arguments) {
  ArgumentList list(arguments);
  if (list.done()) throw UsageError("no command given");
  const std::string name = textOf(list.take());
  Command command;
  if (name == "--help" || name == "-h" || name == "help") {
    command.kind = CommandKind::help;
  } else if (name == "--version") {
    command.kind = CommandKind::version;
  } else if (name == "pack") {
    return parsePack(list);
  } else if (name == "list" || name == "verify") {
    command.kind = name == "list" ? CommandKind::list : CommandKind::verify;
    command.executable = operands(list, name, 1)[0];
    return command;
  } else if (name == "extract") {
    command.kind = CommandKind::extract;
    const std::vector<fs::path> found = operands(list, name, 2);
    command.executable = found[0];
    command.directory = found[1];
    return command;
  } else {
    throw UsageError("unknown command '" + name + "'");
  }
  if (!list.done()) throw UsageError(name + " takes no operands");
  return command;
}
