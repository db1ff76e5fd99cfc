#include "CommandLine.h"

#include <algorithm>
#include <iterator>
#include <optional>

#include "PackerPlatform.h"
#include "TextEncoding.h"

namespace fs = std::filesystem;

const char kUsageText[] =
    "Usage:\n"
    "  onefile-pack pack APPDIR --main REL [--target T] [--splash PNG] [--stub EXE] [--level N]\n"
    "                    [--layout grouped|single|per-file] [--console | --windowed]\n"
    "                    [--threads N] [--progress | --quiet]\n"
    "                    [--name NAME] [--version VERSION] [--company COMPANY]\n"
    "                    [--description TEXT] [--copyright TEXT] [--extract-to TEMPLATE]\n"
    "                    [--keep-builds N|all] [--verify changed|all] [--icon ICO]\n"
    "                    [--manifest FILE] -o OUT.exe\n"
    "  onefile-pack list EXE\n"
    "  onefile-pack verify EXE\n"
    "  onefile-pack extract EXE DIR\n"
    "  onefile-pack --help | --version\n"
    "\n"
    "pack     Makes one executable that carries every file below APPDIR: a copy of the launcher\n"
    "         stub with the files as resource 27, the splash image as resource 28, and the\n"
    "         application's identity as resource 29, version resource, icon and manifest.\n"
    "  --main REL        the program the launcher starts, relative to APPDIR (\"/\" between folders)\n"
    "  --target T        windows-x86_64 (default, unless --stub is a Linux launcher) or\n"
    "                    linux-x86_64: the stub followed by the settings, the payload, one\n"
    "                    executable bit per file and a trailer; mode 0755. A file is marked\n"
    "                    executable when its owner-execute bit is set in APPDIR (on Windows no\n"
    "                    file has one, so only the program to start, which always is); symbolic\n"
    "                    links are refused; --splash, --console, --windowed, --icon, --manifest,\n"
    "                    --description and --copyright have no meaning there and are refused;\n"
    "                    no size limit (64-bit offsets); default template\n"
    "                    {CACHE_DIR}/{PRODUCT}/{VERSION}-{BUILD}\n"
    "  --splash PNG      a PNG image shown while the application unpacks and starts\n"
    "  --stub EXE        the launcher stub to copy; by default onefile-launcher.exe (for linux:\n"
    "                    onefile-launcher) beside this tool, else in ../lib/onefile, else in\n"
    "                    ../../windows/bin (../../host/bin) from its folder; a stub of the other\n"
    "                    target than --target is refused\n"
    "  --level N         Zstandard level, 1 to 22 (default 12)\n"
    "  --layout L        grouped (default): small files share frames of a few MiB, larger ones\n"
    "                    have their own, and a start steps over every frame whose files are all\n"
    "                    intact; single: the files in one Zstandard frame, which every start\n"
    "                    decodes whole; per-file: a frame per file (larger where files are small)\n"
    "  --console         make a console program of the launcher: a command prompt waits for it\n"
    "                    and the application shares its console\n"
    "  --windowed        make a windowed program of the launcher: it opens no console\n"
    "                    (without either, the launcher is what the main program is)\n"
    "  --threads N       compression threads, 1 to 256 (default: one per processor); the\n"
    "                    executable's bytes are the same for any number\n"
    "  --progress        show progress (bytes done, total, rate, time left) also when standard\n"
    "                    error is no terminal, a line every few seconds\n"
    "  --quiet           show no progress, even on a terminal\n"
    "  -o, --output OUT  the executable to write; it appears whole or not at all. An application\n"
    "                    whose payload could pass the 2 GiB Windows loads as one image is refused\n"
    "                    before anything is compressed\n"
    "  The identity; the defaults in parentheses come from the main program's version\n"
    "  resource, else from the fallback named after \"else\":\n"
    "  --name NAME       product name (ProductName; else OUT's name without .exe)\n"
    "  --version V       version text (ProductVersion; else its fixed version; else 1.0)\n"
    "  --company C       company (CompanyName; else none); empty: none\n"
    "  --description T   file description (FileDescription; else the name)\n"
    "  --copyright T     copyright (LegalCopyright; else none); empty: none\n"
    "  --extract-to T    where a start unpacks the files (default\n"
    "                    {CACHE_DIR}\\{PRODUCT}\\{VERSION}-{BUILD}); variables TEMP HOME CACHE_DIR\n"
    "                    PROGRAM PROGRAM_BASE PROGRAM_DIR PRODUCT VERSION COMPANY BUILD PID TIME;\n"
    "                    it must give an absolute path. BUILD is the start of the build id, a\n"
    "                    hash of the packed files: each build unpacks into a folder of its own\n"
    "  --keep-builds N   how many other builds a start leaves in place beside its own, most\n"
    "                    recently used first: 0 to 100 (default 0), or all to remove none\n"
    "  --verify V        how a start makes sure of the unpacked files: changed (default) reads\n"
    "                    only files the file system shows changed since the last start that\n"
    "                    checked them; all reads and checks every file on every start\n"
    "  --icon ICO        the icon, in place of the main program's (else the launcher's)\n"
    "  --manifest FILE   the application manifest, in place of the launcher's\n"
    "list     Shows EXE's identity, its build id, how many other builds a start keeps, how it\n"
    "         verifies the files, the launcher's subsystem (console or windowed) and where a start unpacks it, then each\n"
    "         file in its payload: size, checksum, name; then the totals.\n"
    "verify   Reads EXE's settings as the launcher does, decodes its whole payload and checks\n"
    "         every file against its checksum.\n"
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

int threadsOf(const fs::path& value) {
  const std::string text = textOf(value);
  int threads = 0;
  bool digits = !text.empty() && text.size() <= 3;
  for (char c : text) {
    digits = digits && c >= '0' && c <= '9';
    threads = threads * 10 + (c - '0');
  }
  if (!digits || threads < 1 || threads > kMaximumThreads) {
    throw UsageError("--threads takes a whole number from 1 to " + std::to_string(kMaximumThreads) + ", not '" + text + "'");
  }
  return threads;
}

uint16_t keepBuildsOf(const fs::path& value) {
  const std::string text = textOf(value);
  if (text == "all") return kKeepAllBuilds;
  unsigned count = 0;
  bool digits = !text.empty();
  for (char c : text) {
    digits = digits && c >= '0' && c <= '9';
    // Past the limit the count stays there: it is refused all the same and cannot overflow.
    if (digits && count <= kKeepBuildsLimit) count = count * 10 + static_cast<unsigned>(c - '0');
  }
  if (!digits || count > kKeepBuildsLimit) throw UsageError(keepBuildsRefusal(text));
  return static_cast<uint16_t>(count);
}

VerifyMode verifyOf(const fs::path& value) {
  const std::string text = textOf(value);
  if (text == "changed") return VerifyMode::changed;
  if (text == "all") return VerifyMode::all;
  throw UsageError("--verify takes changed or all, not '" + text + "'");
}

PackTarget targetOf(const fs::path& value) {
  const std::string text = textOf(value);
  const std::optional<PackTarget> target = targetNamed(text);
  if (!target) throw UsageError("--target takes windows-x86_64 or linux-x86_64, not '" + text + "'");
  return *target;
}

PayloadLayout layoutOf(const fs::path& value) {
  const std::string text = textOf(value);
  if (text == "single") return PayloadLayout::singleFrame;
  if (text == "per-file") return PayloadLayout::perFile;
  if (text == "grouped") return PayloadLayout::grouped;
  throw UsageError("--layout takes grouped, single or per-file, not '" + text + "'");
}

std::optional<std::string> utf8Of(const std::optional<fs::path>& value, const std::string& option) {
  if (!value) return std::nullopt;
  std::optional<std::string> text = argumentUtf8(*value);
  if (!text) throw UsageError(option + " is not valid UTF-8");
  return text;
}

Command parsePack(ArgumentList& list) {
  std::optional<fs::path> folder, main, splash, stub, level, layout, output, threads, target;
  std::optional<Subsystem> subsystem;
  std::optional<fs::path> name, version, company, description, copyright, extract_to, keep_builds, verify, icon, manifest;
  // Each option that takes a value, and where the value goes.
  const std::pair<const char*, std::optional<fs::path>*> kOptions[] = {
      {"--main", &main},           {"--splash", &splash},   {"--stub", &stub},
      {"--level", &level},         {"--layout", &layout},   {"--name", &name},
      {"--version", &version},     {"--company", &company}, {"--description", &description},
      {"--copyright", &copyright}, {"--extract-to", &extract_to}, {"--keep-builds", &keep_builds},
      {"--verify", &verify},       {"--icon", &icon},       {"--manifest", &manifest},
      {"--threads", &threads},     {"--target", &target}};
  bool progress = false, quiet = false;
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
    if (option == "--console" || option == "--windowed") {
      if (attached) throw UsageError("option " + option + " takes no value");
      if (subsystem) throw UsageError("--console and --windowed are given together or twice; give one of them once");
      subsystem = option == "--console" ? Subsystem::console : Subsystem::windowed;
      continue;
    }
    if (option == "--progress" || option == "--quiet") {
      if (attached) throw UsageError("option " + option + " takes no value");
      bool& flag = option == "--progress" ? progress : quiet;
      if (flag) throw UsageError("option " + option + " is given twice");
      flag = true;
      if (progress && quiet) throw UsageError("--progress and --quiet are given together; give one of them");
      continue;
    }
    if (option == "-o" || option == "--output") {
      setOnce(output, "-o", list.valueOf(option, argument, attached));
      continue;
    }
    const auto known = std::find_if(std::begin(kOptions), std::end(kOptions), [&](const auto& o) { return option == o.first; });
    if (known == std::end(kOptions)) throw UsageError("unknown option '" + text + "' for pack");
    setOnce(*known->second, option, list.valueOf(option, argument, attached));
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
  if (target) command.pack.target = targetOf(*target);
  if (level) command.pack.level = levelOf(*level);
  if (layout) command.pack.layout = layoutOf(*layout);
  if (threads) command.pack.threads = threadsOf(*threads);
  command.progress = progress ? ProgressChoice::always : quiet ? ProgressChoice::never : ProgressChoice::automatic;
  command.pack.subsystem = subsystem;
  command.pack.output = *output;
  IdentityOptions& identity = command.pack.identity;
  identity.name = utf8Of(name, "--name");
  identity.version = utf8Of(version, "--version");
  identity.company = utf8Of(company, "--company");
  identity.description = utf8Of(description, "--description");
  identity.copyright = utf8Of(copyright, "--copyright");
  identity.extract_to = utf8Of(extract_to, "--extract-to");
  if (keep_builds) identity.keep_builds = keepBuildsOf(*keep_builds);
  if (verify) identity.verify = verifyOf(*verify);
  identity.icon = icon;
  identity.manifest = manifest;
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
