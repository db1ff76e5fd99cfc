// bench-runner: the Windows side of the bench. Times every start scenario with the system's
// high-resolution counter, from before CreateProcessW to the end of the wait, and reads the peak
// memory of the started process; writes "key<TAB>value" lines for bench-report.
//
//   bench-runner --launcher EXE --child EXE --manifest FILE --limit EXE --work DIR --runs N --out FILE
//                --cache FOLDER [--arguments TEXT] [--peer EXE] [--caxa EXE --caxa-identifier ID]
//                [--per-file EXE --per-file-cache FOLDER] [--unpinned 1]
// FOLDER is the launcher's extraction directory below the local application data folder.
//
// --per-file is the same tree packed with the per-file layout (its own build, so its own folder):
// its cold and warm starts are timed right after ours, so that the default layout is compared with
// it under the same load.
//
// caxa's launcher carries the application's fixed arguments in its own command, so it is started
// with none. Its stub unpacks into %TEMP%\caxa\applications\ID\0 when that folder is missing and
// otherwise starts the application from it untested; its cold starts remove that folder (and a
// lock a failed extraction may have left), and its first start of each kind is checked against the
// manifest like ours.
//
// TEXT goes as it stands after the program's name on the command line of the application started
// alone, of the launcher (which hands it on to the application) and of the peer, so that all three
// start the application to do the same work.
//
// With --unpinned the runner times only the cold and warm starts and their limits, with keys that
// end in ".unpinned", for a session that bench/run starts without pinning it to one processor.
//
// The launcher's extraction directory is shared by every launcher of the product, so the runner
// clears it for cold starts; it checks the files there against the manifest after the first start
// of each kind, so that a broken extraction cannot pass for a fast one.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "BenchFiles.h"
#include "LauncherFactory.h"
#include "PayloadHeader.h"
#include "ProcessRunner.h"

namespace {

// The application's own exit code (BenchChild.cpp; app/run.js in the app tree), and the
// launcher's while it still stops before starting the child.
constexpr DWORD kChildExitCode = 42;
constexpr DWORD kChildLaunchMissingExitCode = 4;

struct Options {
  std::map<std::wstring, std::wstring> values;
  std::wstring get(const wchar_t* key) const {
    auto found = values.find(key);
    return found == values.end() ? L"" : found->second;
  }
};

struct Sample {
  double milliseconds = 0;
  DWORD exit_code = 0;
  uint64_t peak_working_set = 0;
  uint64_t peak_pagefile = 0;
};

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "bench-runner: %s\n", message.c_str());
  std::exit(1);
}

double counterMilliseconds(LONGLONG ticks) {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return value;
  }();
  return static_cast<double>(ticks) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Peak working set and peak pagefile use of a process, 0 and 0 when unreadable.
PROCESS_MEMORY_COUNTERS memoryCounters(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) counters = {};
  return counters;
}

// One start, standard output and error into the log. With watch_memory the wait polls the
// process's counters every millisecond: Windows keeps them readable after the process has ended
// (and they are read then), but Wine reports zeros once the process is gone, so the last value
// seen while it ran stands in. Polling costs the measured process time on a single processor,
// so timed runs never watch memory.
Sample runOnce(const std::wstring& program, const std::wstring& arguments, HANDLE log, bool watch_memory) {
  std::wstring command_line = quoteArgument(program) + (arguments.empty() ? L"" : L" " + arguments);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = log;
  startup.hStdError = log;
  PROCESS_INFORMATION process = {};
  LARGE_INTEGER begin;
  LARGE_INTEGER end;
  QueryPerformanceCounter(&begin);
  if (!CreateProcessW(program.c_str(), &command_line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process))
    fail("cannot start " + narrow(program) + ": error " + std::to_string(GetLastError()));
  PROCESS_MEMORY_COUNTERS seen = {};
  if (watch_memory) {
    while (WaitForSingleObject(process.hProcess, 1) == WAIT_TIMEOUT) {
      const PROCESS_MEMORY_COUNTERS now = memoryCounters(process.hProcess);
      if (now.PeakWorkingSetSize != 0) seen = now;
    }
  } else {
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  QueryPerformanceCounter(&end);

  Sample sample;
  sample.milliseconds = counterMilliseconds(end.QuadPart - begin.QuadPart);
  GetExitCodeProcess(process.hProcess, &sample.exit_code);
  const PROCESS_MEMORY_COUNTERS after = memoryCounters(process.hProcess);
  const PROCESS_MEMORY_COUNTERS& counters = after.PeakWorkingSetSize != 0 ? after : seen;
  sample.peak_working_set = counters.PeakWorkingSetSize;
  sample.peak_pagefile = counters.PeakPagefileUsage;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return sample;
}

template <typename T>
T median(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Scenario {
  std::string key;
  std::wstring program;
  std::wstring arguments;
  std::function<void()> prepare;         // before every start, untimed
  std::function<void(bool first)> check;  // after every start, untimed
};

class Runner {
 public:
  explicit Runner(const Options& options);
  void run();

 private:
  std::vector<Sample> repeat(const Scenario& scenario, bool watch_memory);
  void checkExitCode(const Scenario& scenario, DWORD code);
  void checkTree(const std::wstring& folder, const std::string& after);
  void clearCaxa();
  void checkDamagedFile(const std::string& after);
  void damageLargestFile();
  void savePayload();
  void record(const std::string& key, const std::string& value);

  Options options_;
  std::vector<ManifestEntry> manifest_;
  const ManifestEntry* largest_ = nullptr;
  std::wstring cache_;
  std::wstring per_file_cache_;
  std::wstring caxa_application_;  // %TEMP%\caxa\applications\ID
  std::wstring caxa_lock_;         // %TEMP%\caxa\locks\ID
  std::wstring payload_;
  HANDLE log_ = INVALID_HANDLE_VALUE;
  int runs_ = 0;
  bool unpinned_ = false;
  bool child_launch_missing_ = false;
  std::string results_;
};

Runner::Runner(const Options& options) : options_(options) {
  runs_ = std::max(1, _wtoi(options.get(L"--runs").c_str()));
  unpinned_ = options.get(L"--unpinned") == L"1";
  manifest_ = readManifest(options.get(L"--manifest"));
  if (manifest_.empty()) fail("cannot read the manifest");
  for (const ManifestEntry& entry : manifest_)
    if (largest_ == nullptr || entry.size > largest_->size) largest_ = &entry;
  cache_ = extractionDirectory(options.get(L"--cache"));
  if (cache_.empty()) fail("no local application data folder, or no --cache");
  if (!options.get(L"--per-file").empty()) {
    per_file_cache_ = extractionDirectory(options.get(L"--per-file-cache"));
    if (per_file_cache_.empty()) fail("--per-file needs --per-file-cache");
  }
  if (!options.get(L"--caxa").empty()) {
    // The stub joins the identifier with "/"; both separators reach the same folder.
    std::wstring identifier = options.get(L"--caxa-identifier");
    if (identifier.empty()) fail("--caxa needs --caxa-identifier");
    std::replace(identifier.begin(), identifier.end(), L'/', L'\\');
    wchar_t temporary[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temporary);
    if (length == 0 || length > MAX_PATH) fail("no temporary folder for caxa");
    std::wstring base(temporary, length);
    if (base.back() != L'\\') base += L'\\';
    caxa_application_ = base + L"caxa\\applications\\" + identifier;
    caxa_lock_ = base + L"caxa\\locks\\" + identifier;
  }
  const std::wstring work = options.get(L"--work");
  createDirectories(work);
  payload_ = work + L"\\payload.bin";
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  log_ = CreateFileW((work + L"\\starts.log").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0,
                     nullptr);
  if (log_ == INVALID_HANDLE_VALUE) fail("cannot create the log");
}

void Runner::record(const std::string& key, const std::string& value) { results_ += key + "\t" + value + "\n"; }

// The launcher's resource 27 as a file, for the limits to decompress the very same data.
void Runner::savePayload() {
  HMODULE module = LoadLibraryExW(options_.get(L"--launcher").c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  HRSRC resource = module ? FindResourceW(module, MAKEINTRESOURCEW(kPayloadResourceId), RT_RCDATA) : nullptr;
  HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
  const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (bytes == nullptr) fail("the launcher has no payload resource");
  const bool saved = writeFileBytes(payload_, std::string(bytes, SizeofResource(module, resource)));
  FreeLibrary(module);
  if (!saved) fail("cannot save the payload");
}

void Runner::checkExitCode(const Scenario& scenario, DWORD code) {
  const bool ours = scenario.key.rfind("ours.", 0) == 0 || scenario.key.rfind("per_file.", 0) == 0;
  const bool limit = scenario.key.rfind("limit.", 0) == 0;
  if (ours && code == kChildLaunchMissingExitCode) {
    child_launch_missing_ = true;
    return;
  }
  const DWORD expected = limit ? 0 : kChildExitCode;
  if (code != expected)
    fail(scenario.key + " ended with exit code " + std::to_string(code) + " instead of " + std::to_string(expected) +
         " (its output is in starts.log)");
}

void Runner::checkTree(const std::wstring& folder, const std::string& after) {
  for (const ManifestEntry& entry : manifest_)
    if (mappedChecksum(folder + L"\\" + entry.name) != entry.checksum)
      fail("after " + after + ", " + narrow(entry.name) + " in the extraction directory differs from the tree");
}

void Runner::clearCaxa() {
  removeTree(caxa_application_);
  removeTree(caxa_lock_);
}

void Runner::checkDamagedFile(const std::string& after) {
  if (mappedChecksum(cache_ + L"\\" + largest_->name) != largest_->checksum)
    fail("after " + after + ", " + narrow(largest_->name) + " was not repaired");
}

// One byte in the middle of the largest file, inverted.
void Runner::damageLargestFile() {
  const std::wstring path = cache_ + L"\\" + largest_->name;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) fail("cannot open " + narrow(path) + " to damage it");
  LARGE_INTEGER middle;
  middle.QuadPart = static_cast<LONGLONG>(largest_->size / 2);
  unsigned char byte = 0;
  DWORD moved = 0;
  bool ok = SetFilePointerEx(file, middle, nullptr, FILE_BEGIN) && ReadFile(file, &byte, 1, &moved, nullptr) &&
            moved == 1;
  byte = static_cast<unsigned char>(~byte);
  ok = ok && SetFilePointerEx(file, middle, nullptr, FILE_BEGIN) && WriteFile(file, &byte, 1, &moved, nullptr);
  CloseHandle(file);
  if (!ok) fail("cannot damage " + narrow(path));
}

// One untimed start first (it loads the programs into the system's file cache and runs the
// first check), then the measured ones.
std::vector<Sample> Runner::repeat(const Scenario& scenario, bool watch_memory) {
  std::fprintf(stderr, "bench-runner: %s%s\n", scenario.key.c_str(), watch_memory ? " (memory)" : "");
  std::vector<Sample> samples;
  for (int i = 0; i <= runs_; ++i) {
    if (scenario.prepare) scenario.prepare();
    const Sample sample = runOnce(scenario.program, scenario.arguments, log_, watch_memory);
    checkExitCode(scenario, sample.exit_code);
    if (scenario.check) scenario.check(i == 0);
    if (i > 0) samples.push_back(sample);
  }
  return samples;
}

void Runner::run() {
  savePayload();
  const std::wstring launcher = options_.get(L"--launcher");
  const std::wstring arguments = options_.get(L"--arguments");
  const std::wstring limit = options_.get(L"--limit");
  const std::wstring manifest = quoteArgument(options_.get(L"--manifest"));
  const std::wstring payload = quoteArgument(payload_);
  const std::wstring cache = quoteArgument(cache_);
  auto clear = [this] { removeTree(cache_); };
  auto damage = [this] { damageLargestFile(); };
  auto whole = [this](const char* after) {
    return [this, after](bool first) { if (first) checkTree(cache_, after); };
  };
  // A lock left behind would make the next start unpack into a new folder, "1", instead of reusing
  // "0": a warm start that is secretly cold.
  auto caxa_whole = [this](const char* after) {
    return [this, after](bool first) {
      if (!first) return;
      checkTree(caxa_application_ + L"\\0", after);
      if (GetFileAttributesW((caxa_lock_ + L"\\0").c_str()) != INVALID_FILE_ATTRIBUTES)
        fail("after " + std::string(after) + ", caxa's lock folder is still there");
    };
  };
  auto repaired = [this](const char* after) { return [this, after](bool) { checkDamagedFile(after); }; };

  std::vector<Scenario> timed = {
      {"direct", options_.get(L"--child"), arguments, nullptr, nullptr},
      {"ours.cold", launcher, arguments, clear, whole("a cold start")},
      {"ours.warm", launcher, arguments, nullptr, whole("a warm start")},
      {"ours.repair", launcher, arguments, damage, repaired("a repair start")},
      {"limit.cold", limit, L"unpack " + payload + L" " + manifest + L" " + cache, clear, whole("the cold limit")},
      {"limit.warm", limit, L"check " + manifest + L" " + cache, nullptr, nullptr},
      {"limit.warm_read", limit, L"read-check " + manifest + L" " + cache, nullptr, nullptr},
      {"limit.repair", limit, L"repair " + payload + L" " + manifest + L" " + cache, damage,
       repaired("the repair limit")},
  };
  const std::wstring per_file = options_.get(L"--per-file");
  if (!per_file.empty()) {
    auto per_file_whole = [this](const char* after) {
      return [this, after](bool first) { if (first) checkTree(per_file_cache_, after); };
    };
    const std::vector<Scenario> per_file_starts = {
        {"per_file.cold", per_file, arguments, [this] { removeTree(per_file_cache_); },
         per_file_whole("a cold start of the per-file layout")},
        {"per_file.warm", per_file, arguments, nullptr, per_file_whole("a warm start of the per-file layout")},
    };
    timed.insert(timed.begin() + 3, per_file_starts.begin(), per_file_starts.end());
  }
  const std::wstring caxa = options_.get(L"--caxa");
  if (!caxa.empty()) {
    const std::vector<Scenario> caxa_starts = {
        {"caxa.cold", caxa, L"", [this] { clearCaxa(); }, caxa_whole("caxa's cold start")},
        {"caxa.warm", caxa, L"", nullptr, caxa_whole("caxa's warm start")},
    };
    timed.insert(timed.begin() + (per_file.empty() ? 4 : 6), caxa_starts.begin(), caxa_starts.end());
  }
  const std::wstring peer = options_.get(L"--peer");
  if (!peer.empty() && !unpinned_) timed.push_back({"peer", peer, arguments, nullptr, nullptr});

  for (const Scenario& scenario : timed) {
    if (unpinned_ && scenario.key.find("repair") != std::string::npos) continue;
    std::vector<double> times;
    std::string list;
    for (const Sample& sample : repeat(scenario, false)) {
      times.push_back(sample.milliseconds);
      list += (list.empty() ? "" : " ") + std::to_string(sample.milliseconds);
    }
    const std::string key = "time." + scenario.key + (unpinned_ ? ".unpinned" : "");
    record(key, std::to_string(median(times)));
    record(key + ".samples", list);
  }
  if (unpinned_) {
    removeTree(cache_);
    if (!per_file_cache_.empty()) removeTree(per_file_cache_);
    if (!caxa.empty()) clearCaxa();
    if (!writeFileBytes(options_.get(L"--out"), results_)) fail("cannot write the results");
    return;
  }

  // Memory of the launcher itself (a child is a process of its own), next to the same figures
  // of the application started alone and of the peers.
  std::vector<Scenario> watched;
  for (const Scenario& scenario : timed)
    if (scenario.key.rfind("limit.", 0) != 0) watched.push_back(scenario);
  for (const Scenario& scenario : watched) {
    std::vector<uint64_t> working_set;
    std::vector<uint64_t> pagefile;
    for (const Sample& sample : repeat(scenario, true)) {
      working_set.push_back(sample.peak_working_set);
      pagefile.push_back(sample.peak_pagefile);
    }
    record("memory." + scenario.key + ".peak_working_set", std::to_string(median(working_set)));
    record("memory." + scenario.key + ".peak_pagefile", std::to_string(median(pagefile)));
  }

  record("runs", std::to_string(runs_));
  record("child_launch", child_launch_missing_ ? "missing" : "built");
  removeTree(cache_);
  if (!per_file_cache_.empty()) removeTree(per_file_cache_);
  if (!caxa.empty()) clearCaxa();
  if (!writeFileBytes(options_.get(L"--out"), results_)) fail("cannot write the results");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) options.values[argv[i]] = argv[i + 1];
  for (const wchar_t* required : {L"--launcher", L"--child", L"--manifest", L"--limit", L"--work", L"--out", L"--cache"}) {
    if (options.get(required).empty()) {
      std::fputs("usage: bench-runner --launcher EXE --child EXE --manifest FILE --limit EXE --work DIR --runs N "
                 "--out FILE --cache FOLDER [--arguments TEXT] [--peer EXE] [--caxa EXE --caxa-identifier ID] "
                 "[--per-file EXE --per-file-cache FOLDER] [--unpinned 1]\n",
                 stderr);
      return 64;
    }
  }
  Runner(options).run();
  return 0;
}
