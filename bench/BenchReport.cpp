// bench-report: turns the bench's "key<TAB>value" results into the Markdown table of docs/benchmarks.md.
//
//   bench-report RESULTS...
//
// Every figure stands next to its limit and the two peers', with the ratios: the limit says how
// far a start is from the least work the job needs, the NSIS peer how it compares with what users
// get from a common portable-app builder, caxa how it compares with a launcher that also keeps its
// files between starts (but never checks them).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Results = std::map<std::string, std::string>;

bool readResults(const char* path, Results& results) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    const size_t tab = line.find('\t');
    if (tab != std::string::npos) results[line.substr(0, tab)] = line.substr(tab + 1);
  }
  return true;
}

// NaN when absent.
double number(const Results& results, const std::string& key) {
  auto found = results.find(key);
  return found == results.end() || found->second.empty() ? std::nan("") : std::stod(found->second);
}

std::string text(const Results& results, const std::string& key) {
  auto found = results.find(key);
  return found == results.end() ? "?" : found->second;
}

std::string format(const char* pattern, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, pattern, value);
  return buffer;
}

std::string milliseconds(double value) {
  if (std::isnan(value)) return "—";
  return format(value >= 100 ? "%.0f ms" : "%.1f ms", value);
}
std::string seconds(double value) { return std::isnan(value) ? "—" : format("%.2f s", value); }
std::string mebibytes(double value) { return std::isnan(value) ? "—" : format("%.1f MiB", value / 1048576.0); }
std::string ratio(double ours, double other) {
  return std::isnan(ours) || std::isnan(other) || other <= 0 ? "—" : format("%.2f", ours / other);
}

struct Row {
  std::string scenario;
  double ours, limit, peer, caxa;
  std::string (*unit)(double);
};

// caxa's columns come last, so that the columns of earlier tables keep their places.
std::string row(const Row& r) {
  return "| " + r.scenario + " | " + r.unit(r.ours) + " | " + r.unit(r.limit) + " | " + r.unit(r.peer) + " | " +
         ratio(r.ours, r.limit) + " | " + ratio(r.ours, r.peer) + " | " + r.unit(r.caxa) + " | " +
         ratio(r.ours, r.caxa) + " |\n";
}

std::vector<std::string> words(const std::string& list) {
  std::istringstream in(list);
  std::vector<std::string> out;
  for (std::string word; in >> word;) out.push_back(word);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  Results r;
  for (int i = 1; i < argc; ++i) {
    if (!readResults(argv[i], r)) {
      std::fprintf(stderr, "bench-report: cannot read %s\n", argv[i]);
      return 1;
    }
  }
  if (argc < 2 || r.count("time.ours.cold") == 0) {
    std::fprintf(stderr, "usage: bench-report RESULTS... (with the runner's results among them)\n");
    return 64;
  }
  const bool child_missing = text(r, "child_launch") == "missing";
  // The child's own start is part of every start of ours; a limit carries it too, unless the
  // launcher does not start the child yet.
  const double child = child_missing ? 0 : number(r, "time.direct");
  const double peer = number(r, "time.peer");

  std::string out;
  out += "Tree \"" + text(r, "tree.profile") + "\": " + text(r, "tree.files") + " files, " +
         mebibytes(number(r, "tree.bytes")) + ". Median of " + text(r, "runs") + " runs. " + text(r, "fact.date") +
         ".\n\n";
  out += "Machine: " + text(r, "fact.cpu") + ", " + text(r, "fact.cores") + " cores, " + text(r, "fact.memory") +
         " memory; load average " + text(r, "fact.load_before") + " before the starts, " +
         text(r, "fact.load_after") + " after; " + text(r, "fact.os") + ", Linux " + text(r, "fact.kernel") + ", " + text(r, "fact.wine") +
         "; Wine processes pinned to CPU " + text(r, "fact.pinned_cpu") + ". Packed by " + text(r, "packer") +
         "; payload layout: " + text(r, "layout") + "; cache check (--verify): " + text(r, "verify") + "; the starts use the launcher packed at level " +
         text(r, "start_level") + ".\n\n";
  out += "| scenario | ours | limit | peer | ours/limit | ours/peer | caxa | ours/caxa |\n";
  out += "|---|---:|---:|---:|---:|---:|---:|---:|\n";
  const double none = std::nan("");
  // The warm limit is the faster of two ways to check every file: mapping each one or reading it
  // through one reused buffer.
  auto faster = [](double a, double b) { return std::isnan(a) ? b : std::isnan(b) ? a : std::min(a, b); };
  const double warm_limit = faster(number(r, "time.limit.warm"), number(r, "time.limit.warm_read"));
  const double child_unpinned = child_missing ? 0 : number(r, "time.direct.unpinned");
  const double warm_limit_unpinned =
      faster(number(r, "time.limit.warm.unpinned"), number(r, "time.limit.warm_read.unpinned"));
  out += row({"cold start", number(r, "time.ours.cold"), child + number(r, "time.limit.cold"), peer,
              number(r, "time.caxa.cold"), milliseconds});
  out += row({"cold start, unpinned", number(r, "time.ours.cold.unpinned"),
              child_unpinned + number(r, "time.limit.cold.unpinned"), peer, number(r, "time.caxa.cold.unpinned"),
              milliseconds});
  out += row({"warm start", number(r, "time.ours.warm"), child + warm_limit, peer, number(r, "time.caxa.warm"),
              milliseconds});
  out += row({"warm start, unpinned", number(r, "time.ours.warm.unpinned"), child_unpinned + warm_limit_unpinned, peer,
              number(r, "time.caxa.warm.unpinned"), milliseconds});
  // The same tree in the per-file layout, timed right after ours, for what the default layout's
  // grouping costs or saves at a start.
  const bool per_file = r.count("time.per_file.warm") != 0;
  if (per_file) {
    out += row({"cold start, per-file layout", number(r, "time.per_file.cold"), child + number(r, "time.limit.cold"),
                peer, number(r, "time.caxa.cold"), milliseconds});
    out += row({"cold start, per-file layout, unpinned", number(r, "time.per_file.cold.unpinned"),
                child_unpinned + number(r, "time.limit.cold.unpinned"), peer, number(r, "time.caxa.cold.unpinned"),
                milliseconds});
    out += row({"warm start, per-file layout", number(r, "time.per_file.warm"), child + warm_limit, peer,
                number(r, "time.caxa.warm"), milliseconds});
    out += row({"warm start, per-file layout, unpinned", number(r, "time.per_file.warm.unpinned"),
                child_unpinned + warm_limit_unpinned, peer, number(r, "time.caxa.warm.unpinned"), milliseconds});
  }
  // caxa never looks at its files again, so it has nothing to repair.
  out += row({"repair start", number(r, "time.ours.repair"), child + number(r, "time.limit.repair"), peer, none,
              milliseconds});
  for (const char* kind : {"cold", "warm", "repair"}) {
    const std::string ours = std::string("memory.ours.") + kind;
    const std::string caxa = std::string("memory.caxa.") + kind;
    out += row({std::string("peak working set, ") + kind + " start", number(r, ours + ".peak_working_set"),
                number(r, "memory.direct.peak_working_set"), number(r, "memory.peer.peak_working_set"),
                number(r, caxa + ".peak_working_set"), mebibytes});
    out += row({std::string("peak private memory, ") + kind + " start", number(r, ours + ".peak_pagefile"),
                number(r, "memory.direct.peak_pagefile"), number(r, "memory.peer.peak_pagefile"),
                number(r, caxa + ".peak_pagefile"), mebibytes});
  }
  if (per_file) {
    out += row({"peak working set, warm start, per-file layout", number(r, "memory.per_file.warm.peak_working_set"),
                number(r, "memory.direct.peak_working_set"), number(r, "memory.peer.peak_working_set"),
                number(r, "memory.caxa.warm.peak_working_set"), mebibytes});
  }
  const double caxa_seconds = number(r, "caxa.pack.seconds");
  const double caxa_bytes = number(r, "caxa.pack.bytes");
  for (const std::string& level : words(text(r, "pack.levels"))) {
    out += row({"pack time, level " + level, number(r, "pack." + level + ".seconds"), none,
                number(r, "peer.pack.seconds"), caxa_seconds, seconds});
    out += row({"packed size, level " + level, number(r, "pack." + level + ".bytes"), none,
                number(r, "peer.pack.bytes"), caxa_bytes, mebibytes});
  }
  std::string layout_sizes;
  for (const std::string& layout : words(text(r, "pack.layouts"))) {
    const double bytes = number(r, "pack.layout." + layout + ".bytes");
    out += row({"packed size, level " + text(r, "start_level") + ", " + layout + " layout", bytes, none,
                number(r, "peer.pack.bytes"), caxa_bytes, mebibytes});
    layout_sizes += (layout_sizes.empty() ? "" : ", ") + layout + " " + format("%.0f", bytes) + " bytes";
  }
  out += "\nLimits: cold = the application started alone + a program that decompresses the payload into memory "
         "at once and writes the files; warm = the application alone + the faster of two programs that CRC every "
         "file, one mapping each file, one reading it through a reused 1 MiB buffer; repair = the application "
         "alone + the mapping check followed by decompressing and writing the damaged file; memory = the "
         "application started alone (private memory is the pagefile use, the memory a process commits for "
         "itself). Unpinned rows: the same starts in a Wine session free to use every processor. Measured "
         "alone: application " +
         milliseconds(number(r, "time.direct")) + ", check by mapping " + milliseconds(number(r, "time.limit.warm")) +
         ", check by reading " + milliseconds(number(r, "time.limit.warm_read")) + ", unpack " +
         milliseconds(number(r, "time.limit.cold")) + ", check and repair " +
         milliseconds(number(r, "time.limit.repair")) + "; unpinned: application " +
         milliseconds(number(r, "time.direct.unpinned")) + ", check by mapping " +
         milliseconds(number(r, "time.limit.warm.unpinned")) + ", check by reading " +
         milliseconds(number(r, "time.limit.warm_read.unpinned")) + ", unpack " +
         milliseconds(number(r, "time.limit.cold.unpinned")) + ".\n";
  out += "Warm start / application started alone: " + ratio(number(r, "time.ours.warm"), number(r, "time.direct")) +
         "; unpinned: " + ratio(number(r, "time.ours.warm.unpinned"), number(r, "time.direct.unpinned")) + ".\n";
  if (per_file)
    out += "Layout " + text(r, "layout") + " / per-file layout: warm start " +
           ratio(number(r, "time.ours.warm"), number(r, "time.per_file.warm")) + ", unpinned " +
           ratio(number(r, "time.ours.warm.unpinned"), number(r, "time.per_file.warm.unpinned")) +
           "; cold start " + ratio(number(r, "time.ours.cold"), number(r, "time.per_file.cold")) + ", unpinned " +
           ratio(number(r, "time.ours.cold.unpinned"), number(r, "time.per_file.cold.unpinned")) + ".\n";
  if (!layout_sizes.empty())
    out += "Packed at level " + text(r, "start_level") + " in each layout: " + layout_sizes + ".\n";
  out += "Peer: the same tree as an NSIS launcher (solid LZMA, extracts to a temporary folder on every start, "
         "runs the application, waits, returns its exit code, removes the folder), so its three starts are one "
         "figure; its memory is that of the NSIS process.\n";
  if (r.count("time.caxa.cold") != 0) {
    out += "caxa: the same tree as a " + text(r, "caxa.version") +
           " launcher (its Go stub for Windows x64, a gzip tarball of the tree, the command in a JSON footer). "
           "A cold start unpacks the tarball into %TEMP%\\caxa\\applications\\<identifier>\\0; a warm start "
           "finds that folder and starts the application from it without looking at a file, so it has no repair "
           "start; its memory is that of the stub process. Pack time: the stub, tar and gzip -6. caxa's warm start "
           "/ application started alone: " +
           ratio(number(r, "time.caxa.warm"), number(r, "time.direct")) + "; unpinned: " +
           ratio(number(r, "time.caxa.warm.unpinned"), number(r, "time.direct.unpinned")) + ".\n";
  } else {
    out += "No caxa peer: " + (r.count("caxa.skipped") != 0 ? text(r, "caxa.skipped") : std::string("not made")) +
           ".\n";
  }
  if (child_missing)
    out += "The launcher does not start the application yet (it ends with exit code 4 after extracting): its "
           "start figures lack the application's start, and so do the limits; the peer's include it.\n";
  std::fputs(out.c_str(), stdout);
  return 0;
}
