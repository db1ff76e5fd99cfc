#!/usr/bin/env python3
"""Static checks over our own sources: clang-tidy and cppcheck (run through scripts/check).

Both tools read the compile commands that CMake exports in the host tree and in the Windows tree,
so every unit is analysed with the definitions and include paths it is built with. Our sources are
the C++ files below static_src/, packer/ and tests/. Every finding is printed as
"path:line:column: severity: message [check]" with the path relative to the repository, once even
when several units include the header it is in. Exit status: 0 without findings, 1 with findings,
2 when a tool could not do its work.

clang-tidy analyses each unit once: with the host tree's command where the unit builds there, with
the Windows tree's otherwise (the units that include windows.h), for the mingw-w64 target and its
headers. cppcheck is quick enough to take every unit of both trees, so the portable units are
checked as Windows code too.

Suppressions must say what they suppress and why: a NOLINT comment names its checks and gives a
reason after a colon, an inline cppcheck-suppress gives a reason after the id, and every line of
.cppcheck-suppressions and .clang-tidy-suppressions ends with a "#" comment. clang-tidy itself has
no suppression file: this script reads .clang-tidy-suppressions, in cppcheck's format
("check:file pattern[:line]"), for findings in files that are better not edited for a comment; a
line there that no longer matches any finding is a finding itself.
"""

import argparse
import concurrent.futures
import fnmatch
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SCOPE = ("static_src", "packer", "tests")
UNIT_SUFFIXES = (".c", ".cc", ".cpp")
SOURCE_SUFFIXES = UNIT_SUFFIXES + (".h", ".hpp")
CPPCHECK_SUPPRESSIONS = ROOT / ".cppcheck-suppressions"
CLANG_TIDY_SUPPRESSIONS = ROOT / ".clang-tidy-suppressions"

FINDING = re.compile(
    r"^(?P<file>[^\s:][^:]*|nofile):(?P<line>\d+):(?P<column>\d+): (?P<severity>[a-z]+): (?P<message>.*) "
    r"\[(?P<check>[^\]]+)\]$")
UNPLACED_FINDING = re.compile(r"^(?P<severity>warning|error): (?P<message>.*) \[(?P<check>[^\]]+)\]$")


class ToolFailure(Exception):
    pass


def relative(text):
    return text.replace(str(ROOT) + os.sep, "")


class Findings:
    """Findings keyed by place and check, each with the lines the tool printed under it."""

    def __init__(self):
        self.entries = {}

    def add(self, file, line, column, severity, message, check, detail=None):
        """`detail` may still grow after the call: the tool's notes come after the finding."""
        key = (relative(file), int(line), int(column), check)
        if key not in self.entries:
            self.entries[key] = (severity, relative(message), detail if detail is not None else [])

    def remove(self, matches):
        """Drops the findings for which matches(file, line, check) holds; returns how many."""
        keys = [key for key in self.entries if matches(key[0], key[1], key[3])]
        for key in keys:
            del self.entries[key]
        return len(keys)

    def print(self, out):
        for (file, line, column, check), (severity, message, detail) in sorted(self.entries.items()):
            print(f"{file}:{line}:{column}: {severity}: {message} [{check}]", file=out)
            for text in detail:
                print(f"    {relative(text)}", file=out)

    def __len__(self):
        return len(self.entries)


# Compile commands ------------------------------------------------------------------------------

class Unit:
    def __init__(self, path, entry):
        self.path = path
        self.entry = entry

    def arguments(self):
        if "arguments" in self.entry:
            return list(self.entry["arguments"])
        return shlex.split(self.entry["command"])


def isOurs(path):
    try:
        parts = path.relative_to(ROOT).parts
    except ValueError:
        return False
    return len(parts) > 1 and parts[0] in SCOPE and path.suffix in UNIT_SUFFIXES


def loadUnits(tree):
    database = tree / "compile_commands.json"
    if not database.is_file():
        raise ToolFailure(f"{database} is missing: run scripts/build first")
    units = {}
    for entry in json.loads(database.read_text()):
        path = Path(os.path.normpath(os.path.join(entry["directory"], entry["file"])))
        if isOurs(path) and path not in units:
            units[path] = Unit(path, entry)
    # A tree built from a differently spelt source path would otherwise pass with nothing checked.
    if not units:
        raise ToolFailure(f"{database} names none of our sources below {ROOT}")
    return units


class Tree:
    """A build tree and our units in it; `cross` for the Windows tree."""

    def __init__(self, directory, units, cross):
        self.directory = directory
        self.units = units
        self.cross = cross

    def only(self, paths):
        return Tree(self.directory, {path: unit for path, unit in self.units.items() if path in paths}, self.cross)


def restrictTo(trees, files):
    if not files:
        return trees
    wanted = {Path(os.path.normpath(os.path.join(os.getcwd(), name))) for name in files}
    unknown = [str(path) for path in wanted if not any(path in tree.units for tree in trees)]
    if unknown:
        raise ToolFailure("not a unit of either tree (or not one of ours): " + ", ".join(map(relative, unknown)))
    return [tree.only(wanted) for tree in trees]


# clang-tidy ------------------------------------------------------------------------------------

def regexLiteral(text):
    return re.sub(r"([.^$|()\[\]{}*+?\\])", r"\\\1", text)


def crossCompilerArguments(compiler):
    """What clang needs to analyse a unit as the mingw-w64 g++ compiles it: the target, and that
    compiler's C++ library and system headers in place of the host's (clang's own driver cannot find
    the headers of Debian's "-posix" compiler)."""
    target = subprocess.run([compiler, "-dumpmachine"], capture_output=True, text=True, check=True).stdout.strip()
    listing = subprocess.run([compiler, "-E", "-x", "c++", "-", "-v"], stdin=subprocess.DEVNULL,
                             capture_output=True, text=True, check=True).stderr.splitlines()
    start = listing.index("#include <...> search starts here:") + 1
    end = listing.index("End of search list.")
    arguments = [f"--target={target}", "-nostdlibinc"]
    for directory in (os.path.realpath(line.strip()) for line in listing[start:end]):
        # The compiler's private headers (intrinsics and fixed-up headers) are GCC's own; clang
        # brings its own versions.
        if "/lib/gcc/" in directory and "/c++" not in directory:
            continue
        arguments.append(f"-isystem{directory}")
    return arguments


def runClangTidy(trees, jobs, out, complete):
    tool = shutil.which("clang-tidy")
    if tool is None:
        raise ToolFailure("clang-tidy is not installed: run scripts/setup")
    header_filter = "^" + regexLiteral(str(ROOT)) + "/(" + "|".join(SCOPE) + ")/"
    # Flags that only GCC knows must not become findings of their own.
    common = ["--extra-arg=-Wno-unknown-warning-option", "--extra-arg=-Wno-unused-command-line-argument"]
    findings = Findings()
    failures = []
    with tempfile.TemporaryDirectory(prefix="onefile-clang-tidy-") as work:
        commands = []
        for index, tree in enumerate(trees):
            # One command per unit: clang-tidy analyses a file once for every command the database
            # has for it, and the launcher's entry unit is built into several test launchers.
            database = Path(work) / f"tree-{index}"
            database.mkdir()
            (database / "compile_commands.json").write_text(json.dumps([unit.entry for unit in tree.units.values()]))
            extra = []
            for unit in tree.units.values():
                if tree.cross and not extra:
                    extra = [f"--extra-arg={argument}" for argument in crossCompilerArguments(unit.arguments()[0])]
                commands.append([tool, "-p", str(database), "--quiet", f"--header-filter={header_filter}", *common,
                                 *extra, str(unit.path)])

        def run(command):
            return command, subprocess.run(command, capture_output=True, text=True)

        with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
            for command, result in pool.map(run, commands):
                found = parseClangTidy(result.stdout, findings)
                if result.returncode != 0 and found == 0:
                    failures.append(f"{' '.join(map(relative, command))}\n{relative(result.stdout + result.stderr)}")
    applySuppressionList(findings, complete)
    checkNolintComments(findings)
    for failure in failures:
        print(f"clang-tidy failed: {failure}", file=out)
    return findings, len(commands), bool(failures)


def parseClangTidy(output, findings):
    found = 0
    current = None
    for line in output.splitlines():
        match = FINDING.match(line)
        if match and match["severity"] in ("warning", "error"):
            current = []
            findings.add(match["file"], match["line"], match["column"], match["severity"], match["message"],
                         match["check"], current)
            found += 1
            continue
        match = UNPLACED_FINDING.match(line)
        if match:
            current = []
            findings.add("(no place)", 0, 0, match["severity"], match["message"], match["check"], current)
            found += 1
            continue
        if current is not None:
            current.append(line)
    return found


def readSuppressionList(path, findings):
    """The entries of a suppressions file as (line number, id, file pattern, line or None); a line
    without a reason is a finding."""
    entries = []
    for number, text in enumerate(path.read_text().splitlines(), 1):
        line = text.strip()
        if line == "" or line.startswith("#"):
            continue
        rule, _, reason = line.partition("#")
        if reason.strip() == "":
            findings.add(str(path), number, 1, "warning",
                         "a suppression gives its reason: id[:file pattern[:line]]  # why", "static-check-suppression")
        parts = rule.strip().split(":")
        entries.append((number, parts[0], parts[1] if len(parts) > 1 else "*",
                        int(parts[2]) if len(parts) > 2 else None))
    return entries


def applySuppressionList(findings, complete):
    for number, check, pattern, line in readSuppressionList(CLANG_TIDY_SUPPRESSIONS, findings):
        def matches(file, finding_line, finding_check):
            # The pattern may be written for the path in the repository or for the full path.
            placed = fnmatch.fnmatchcase(file, pattern) or fnmatch.fnmatchcase(str(ROOT / file), pattern)
            return fnmatch.fnmatchcase(finding_check, check) and placed and line in (None, finding_line)

        # Only a run over every unit can tell that an entry has become useless.
        if findings.remove(matches) == 0 and complete:
            findings.add(str(CLANG_TIDY_SUPPRESSIONS), number, 1, "warning",
                         "this suppression matches no finding any more; remove it", "static-check-suppression")


NOLINT = re.compile(r"NOLINT(?P<kind>NEXTLINE|BEGIN|END)?(?:\((?P<checks>[^)]*)\))?(?P<rest>.*)")


def ourSources():
    for directory in SCOPE:
        for path in sorted((ROOT / directory).rglob("*")):
            if path.suffix in SOURCE_SUFFIXES and path.is_file():
                yield path


def checkNolintComments(findings):
    for path in ourSources():
        for number, text in enumerate(path.read_text(errors="replace").splitlines(), 1):
            for match in NOLINT.finditer(text):
                checks = (match["checks"] or "").strip()
                reason = match["rest"].strip()
                named = checks != "" and "*" not in checks
                explained = match["kind"] == "END" or (reason.startswith(":") and len(reason) > 2)
                if not (named and explained):
                    findings.add(str(path), number, match.start() + 1, "warning",
                                 "a suppression names its checks and gives its reason: NOLINT(check): why",
                                 "static-check-suppression")


# cppcheck --------------------------------------------------------------------------------------

def cppcheckArguments(jobs):
    return ["--enable=warning,performance,portability,style", "--inline-suppr", "--std=c++17",
            "--library=googletest", "--library=zlib", "--suppress=missingIncludeSystem",
            f"--suppressions-list={CPPCHECK_SUPPRESSIONS}", "--quiet", f"-j{jobs}",
            "--template={file}:{line}:{column}: {severity}: {message} [{id}]"]


def runCppcheck(trees, jobs, out):
    tool = shutil.which("cppcheck")
    if tool is None:
        raise ToolFailure("cppcheck is not installed: run scripts/setup")
    findings = Findings()
    checkSuppressionList(findings)
    checkInlineSuppressions(findings)
    failed = False
    count = 0
    with tempfile.TemporaryDirectory(prefix="onefile-cppcheck-") as work:
        for index, tree in enumerate(trees):
            if not tree.units:
                continue
            count += len(tree.units)
            database = Path(work) / f"tree-{index}.json"
            database.write_text(json.dumps([unit.entry for unit in tree.units.values()]))
            if tree.cross:
                platform = ["--platform=win64", "-D_WIN32", "-D_WIN64", "--library=windows"]
            else:
                platform = ["--platform=unix64", "--library=posix"]
            result = subprocess.run([tool, f"--project={database}", *platform, *cppcheckArguments(jobs)],
                                    capture_output=True, text=True)
            found = 0
            for line in result.stderr.splitlines():
                match = FINDING.match(line)
                if match:
                    findings.add(match["file"], match["line"], match["column"], match["severity"],
                                 match["message"], match["check"])
                    found += 1
            if result.returncode != 0 or (found == 0 and result.stderr.strip()):
                failed = True
                print(f"cppcheck failed on {tree.directory}:\n{relative(result.stdout + result.stderr)}", file=out)
    return findings, count, failed


def checkSuppressionList(findings):
    readSuppressionList(CPPCHECK_SUPPRESSIONS, findings)


INLINE_CPPCHECK = re.compile(r"cppcheck-suppress(?:-file|-begin|-end)?\s+(?P<id>[\w\[\],]+)(?P<rest>.*)")


def checkInlineSuppressions(findings):
    for path in ourSources():
        for number, text in enumerate(path.read_text(errors="replace").splitlines(), 1):
            match = INLINE_CPPCHECK.search(text)
            if match and not re.match(r"^\s*(;|//)\s*\S", match["rest"]):
                findings.add(str(path), number, match.start() + 1, "warning",
                             "a suppression gives its reason: cppcheck-suppress id ; why", "static-check-suppression")


# Entry -----------------------------------------------------------------------------------------

def main():
    build = Path(os.environ.get("ONEFILE_BUILD_DIR", ROOT / "build"))
    parser = argparse.ArgumentParser(prog="scripts/check", description=__doc__.split("\n\n")[0])
    parser.add_argument("tool", nargs="?", default="all", choices=["all", "clang-tidy", "cppcheck"])
    parser.add_argument("files", nargs="*", help="check only these units (default: all of ours)")
    parser.add_argument("--host", type=Path, default=build / "host", help="the host build tree")
    parser.add_argument("--windows", type=Path, default=build / "windows", help="the Windows build tree")
    parser.add_argument("--jobs", type=int, default=int(os.environ.get("ONEFILE_CHECK_JOBS", os.cpu_count() or 1)))
    options = parser.parse_args()

    out = sys.stdout
    status = 0
    try:
        host_units = loadUnits(options.host.resolve())
        host = Tree(options.host.resolve(), host_units, cross=False)
        windows = Tree(options.windows.resolve(), loadUnits(options.windows.resolve()), cross=True)
        host, windows = restrictTo([host, windows], options.files)
        # clang-tidy takes a unit that builds in both trees from the host tree only.
        once = [host, windows.only(set(windows.units) - set(host_units))]

        runs = []
        if options.tool in ("all", "clang-tidy"):
            runs.append(("clang-tidy", lambda: runClangTidy(once, options.jobs, out, complete=not options.files)))
        if options.tool in ("all", "cppcheck"):
            runs.append(("cppcheck", lambda: runCppcheck([host, windows], options.jobs, out)))
        for name, run in runs:
            started = time.monotonic()
            findings, count, failed = run()
            findings.print(out)
            seconds = time.monotonic() - started
            print(f"{name}: {count} units, {len(findings)} finding(s), {seconds:.0f} s", file=out)
            if failed:
                status = 2
            elif findings and status == 0:
                status = 1
    except ToolFailure as failure:
        print(f"scripts/check: {failure}", file=sys.stderr)
        return 2
    return status


if __name__ == "__main__":
    sys.exit(main())
