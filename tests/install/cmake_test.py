#!/usr/bin/env python3
"""onefile_add_executable from the installed CMake package: the example application
(examples/hello) and the fixture projects built with the mingw-w64 toolchain against the Debian
package unpacked into a scratch root, their packed executables run under Wine, the build packing
again exactly when an input changes, and the refusals of bad calls.

Run by CTest after scripts/package (see tests/install/CMakeLists.txt), inside scripts/with-wine.
"""
import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from install_support import (MINGW_TOOLCHAIN, SOURCE, ScratchTest, mtime, run, run_windows, touch,  # noqa: E402
                             unpack_deb)

CONFIGURE_PROJECT = os.path.join(SOURCE, "tests", "install", "configure-project")


class Project:
    """A copy of a project's sources, configured and built against the unpacked package."""

    def __init__(self, test_class, source):
        test_class.scratch = tempfile.mkdtemp(prefix="onefile-cmake-")
        test_class.addClassCleanup(shutil.rmtree, test_class.scratch, ignore_errors=True)
        self.usr = unpack_deb(os.path.join(test_class.scratch, "root"))
        self.source = os.path.join(test_class.scratch, "source")
        self.build = os.path.join(test_class.scratch, "build")
        shutil.copytree(source, self.source)
        self.must(run(["cmake", "-S", self.source, "-B", self.build, "-G", "Ninja",
                       f"-DCMAKE_TOOLCHAIN_FILE={os.path.join(self.usr, '..', MINGW_TOOLCHAIN)}",
                       f"-DCMAKE_PREFIX_PATH={self.usr}"]))
        self.must(self.make())

    @staticmethod
    def must(result):
        if result.returncode != 0:
            raise AssertionError(f"{result.args} failed:\n{result.stdout}\n{result.stderr}")

    def make(self):
        return run(["cmake", "--build", self.build])

    def listing(self, packed):
        """The packer's list in two parts: the identity lines, and the file lines with the totals
        after them; the column heading stands between the two."""
        listing = run([os.path.join(self.usr, "bin", "onefile-pack"), "list", packed])
        self.must(listing)
        lines = listing.stdout.splitlines()
        heading = next(i for i, line in enumerate(lines) if line.split() == ["size", "checksum", "name"])
        return lines[:heading], lines[heading + 1:]

    def identity(self, packed):
        """The identity lines of the packer's list, as a dictionary: a label of up to 12
        characters ("keep builds", "extract to"), then its value."""
        return dict((line[:12].strip(), line[12:].strip()) for line in self.listing(packed)[0])

    def payload(self, packed):
        """The payload's names in order, and the totals line, from the packer's list."""
        files = self.listing(packed)[1]
        return [line.split(None, 2)[2] for line in files[:-1]], files[-1]


def touching(path):
    return lambda: touch(path)


def adding(path, text):
    def add():
        with open(path, "w") as file:
            file.write(text)
    return add


def editing(path, old, new):
    def edit():
        with open(path) as file:
            text = file.read()
        assert old in text, f"no '{old}' in {path}"
        with open(path, "w") as file:
            file.write(text.replace(old, new))
        touch(path)
    return edit


class RepackCases:
    """A build with nothing changed packs nothing; after each change of a table row, the next build
    packs exactly the outputs that depend on what changed, and the build after that nothing."""

    def check_repacks(self, project, outputs, cases):
        def stamps():
            return {output: mtime(output) for output in outputs}

        before = stamps()
        project.must(project.make())
        self.assertEqual(stamps(), before, "a build with nothing changed packed")
        for what, change, repacked in cases:
            with self.subTest(change=what):
                change()
                project.must(project.make())
                after = stamps()
                self.assertEqual({output for output in outputs if after[output] != before[output]}, set(repacked))
                before = after
                project.must(project.make())
                self.assertEqual(stamps(), before, "packed twice")


class Example(ScratchTest, RepackCases):
    @classmethod
    def setUpClass(cls):
        cls.project = Project(cls, os.path.join(SOURCE, "examples", "hello"))
        cls.packed = os.path.join(cls.project.build, "hello-onefile.exe")

    def test_packed_example_runs_and_reads_its_data_file(self):
        self.assertEqual(self.project.payload(self.packed)[0], ["hello.exe", "greeting.txt"])
        result = run_windows(self.packed, "two words", "--exit-code=3")
        self.assertEqual(result.returncode, 3, result.stderr)
        self.assertIn("hello: Greetings from a file packed beside the program.; arguments: [two words] [--exit-code=3]",
                      result.stdout)

    def test_build_packs_again_exactly_when_an_input_changes(self):
        source, usr = self.project.source, self.project.usr
        self.check_repacks(self.project, [self.packed], [
            ("FILES entry touched", touching(os.path.join(source, "greeting.txt")), [self.packed]),
            ("SPLASH touched", touching(os.path.join(source, "splash.png")), [self.packed]),
            ("MAIN's source touched", touching(os.path.join(source, "Hello.cpp")), [self.packed]),
            ("installed stub touched", touching(os.path.join(usr, "lib", "onefile", "onefile-launcher.exe")),
             [self.packed]),
            ("installed packer touched", touching(os.path.join(usr, "bin", "onefile-pack")), [self.packed]),
            ("CMakeLists.txt touched", touching(os.path.join(source, "CMakeLists.txt")), []),
        ])


class PackedFolder(ScratchTest, RepackCases):
    @classmethod
    def setUpClass(cls):
        cls.project = Project(cls, os.path.join(SOURCE, "tests", "install", "folder-project"))
        cls.folder_app = os.path.join(cls.project.build, "out", "folder-app.exe")
        cls.assets_app = os.path.join(cls.project.build, "assets-app.exe")

    def test_payloads_hold_the_folders_with_main_first(self):
        names, totals = self.project.payload(self.folder_app)
        self.assertEqual(names, ["bin\\probe.exe", "data\\notes.txt"])
        self.assertIn("in 5 frames", totals)  # LAYOUT per-file: a frame per record and per file
        names, totals = self.project.payload(self.assets_app)
        self.assertEqual(names, ["library-probe.exe", "libprobe_library.dll", "readme.txt", "sub\\deep.txt"])
        # No LAYOUT: the packer's default, grouped; four small files make one group (its index
        # frame and its data frame) after the layout's marker (plain bytes, no frame) and before
        # the end of the list.
        self.assertIn("in 3 frames", totals)

    def test_identity_options_reach_the_packed_executable(self):
        identity = self.project.identity(self.assets_app)
        self.assertRegex(identity.pop("build id"), "^[0-9a-f]{16}$")
        self.assertEqual(identity, {
            "product": "Assets App", "version": "2.5", "company": "Probe Works", "keep builds": "2",
            "verify": "all", "subsystem": "windowed",
            "extract to": "{CACHE_DIR}\\Probe Works\\Assets App-2.5  (template {CACHE_DIR}\\{COMPANY}\\{PRODUCT}-{VERSION})"})
        # Without options: the output's name and the packer's fallbacks, the main program's subsystem.
        identity = self.project.identity(self.folder_app)
        self.assertEqual((identity["product"], identity["subsystem"]), ("folder-app", "console"))

    def test_packed_folders_run(self):
        result = run_windows(self.folder_app, "..\\data\\notes.txt")
        self.assertEqual((result.returncode, result.stdout.replace("\r\n", "\n")),
                         (0, "..\\data\\notes.txt: notes copied into the folder by the build\n"), result.stderr)
        result = run_windows(self.assets_app, "readme.txt", "sub\\deep.txt")
        self.assertEqual((result.returncode, result.stdout.replace("\r\n", "\n")),
                         (0, "readme.txt: a readme from the source tree\nsub\\deep.txt: a file one folder down\n"
                             "library: linked from probe_library.dll\n"), result.stderr)

    def test_build_packs_again_exactly_when_an_input_changes(self):
        source = self.project.source
        added = os.path.join(source, "assets", "sub", "zz-added.txt")
        # The other tests of the class see the folder as it was.
        self.addCleanup(self.project.make)
        self.addCleanup(os.remove, added)
        self.check_repacks(self.project, [self.folder_app, self.assets_app], [
            ("file added below DIRECTORY", adding(added, "added after the first build\n"), [self.assets_app]),
            ("file below DIRECTORY touched", touching(os.path.join(source, "assets", "readme.txt")), [self.assets_app]),
            ("source of a file the build writes into DIRECTORY touched", touching(os.path.join(source, "notes.txt")),
             [self.folder_app]),
            ("MAIN's source touched", touching(os.path.join(source, "Probe.cpp")), [self.folder_app, self.assets_app]),
            ("source of MAIN's DLL touched", touching(os.path.join(source, "ProbeLibrary.cpp")), [self.assets_app]),
            ("LEVEL changed", editing(os.path.join(source, "CMakeLists.txt"), "LEVEL 3", "LEVEL 4"), [self.folder_app]),
            ("DESCRIPTION changed", editing(os.path.join(source, "CMakeLists.txt"), '"The assets probe"',
                                            '"The assets probe, changed"'), [self.assets_app]),
            ("ICON touched", touching(os.path.join(source, "app.ico")), [self.assets_app]),
        ])
        self.assertIn("sub\\zz-added.txt", self.project.payload(self.assets_app)[0])


# One call per row, and the message that refuses it. In "build" rows the call configures and the
# build refuses it.
REFUSALS = [
    ("configure", "onefile_add_executable(packed FILES files/a.txt)", "MAIN is missing"),
    ("configure", "onefile_add_executable(packed MAIN)", "MAIN needs a value"),
    ("configure", "onefile_add_executable(packed MAIN app SPLAHS files/a.txt)", "unknown option 'SPLAHS'"),
    ("configure", "onefile_add_executable(packed MAIN app FILES files/a.txt SPLAHS x.png)", "unknown option 'SPLAHS'"),
    ("configure", "onefile_add_executable(packed MAIN a.txt)", "MAIN 'a.txt' is not in the packed folder"),
    ("configure", "onefile_add_executable(packed MAIN files/a.txt FILES files/a.txt)",
     "MAIN 'files/a.txt' is not in the packed folder"),
    ("configure", "onefile_add_executable(packed MAIN ../a.txt DIRECTORY files/sub)",
     "MAIN '../a.txt' is not in the packed folder"),
    ("configure", "onefile_add_executable(packed MAIN ${CMAKE_CURRENT_SOURCE_DIR}/files/a.txt DIRECTORY files/sub)",
     "/files/a.txt' is not in the packed folder"),
    ("configure", "onefile_add_executable(packed MAIN library)", "MAIN 'library' is a SHARED_LIBRARY target, not an executable"),
    ("configure", "onefile_add_executable(packed MAIN app FILES files/gone.txt)", "FILES 'files/gone.txt' does not exist"),
    ("configure", "onefile_add_executable(packed MAIN app FILES files/sub)", "FILES 'files/sub' is a folder"),
    ("configure", "onefile_add_executable(packed MAIN app FILES files/a.txt files/b/a.txt)",
     "two FILES entries are named 'a.txt'"),
    ("configure", "onefile_add_executable(packed MAIN app SPLASH files/gone.png)", "SPLASH 'files/gone.png' does not exist"),
    ("configure", "onefile_add_executable(packed MAIN app CONSOLE WINDOWED)", "CONSOLE and WINDOWED exclude each other"),
    ("configure", "onefile_add_executable(app MAIN app)", "a target named 'app' exists already"),
    ("configure", "onefile_add_executable(packed MAIN app DIRECTORY files OUTPUT ${CMAKE_CURRENT_SOURCE_DIR}/files/out.exe)",
     "/files/out.exe', which packing writes"),
    ("configure", "onefile_add_executable(packed MAIN app DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} OUTPUT ../elsewhere.exe)",
     "/packed.onefile', which packing writes"),
    ("configure", "onefile_add_executable(packed MAIN app TARGET macos-arm64)",
     "TARGET takes windows-x86_64 or linux-x86_64, not 'macos-arm64'"),
    ("configure", "onefile_add_executable(packed MAIN app TARGET linux-x86_64 STUB files/app.exe WINDOWED)",
     "WINDOWED has no meaning for TARGET linux-x86_64"),
    ("configure", "onefile_add_executable(packed MAIN app TARGET linux-x86_64 STUB files/app.exe ICON files/a.txt)",
     "ICON has no meaning for TARGET linux-x86_64"),
    ("build", "onefile_add_executable(packed MAIN app.exe DIRECTORY files TARGET linux-x86_64 STUB files/app.exe)",
     "--target linux-x86_64 does not fit the stub"),
    ("build", "onefile_add_executable(packed MAIN nothing.exe DIRECTORY files)",
     "MAIN 'nothing.exe' is not in the packed folder"),
    ("build", "onefile_add_executable(packed MAIN app FILES files/a.txt DIRECTORY files/b)",
     "'a.txt' would be in the packed folder twice with different content"),
]


class Refusals(ScratchTest):
    def test_bad_calls_are_refused_with_an_error_that_names_them(self):
        usr = unpack_deb(os.path.join(self.scratch, "root"))
        for phase, call, message in REFUSALS:
            with self.subTest(call=call):
                build = tempfile.mkdtemp(dir=self.scratch)
                configured = run(["cmake", "-S", CONFIGURE_PROJECT, "-B", build, "-G", "Ninja",
                                  f"-DCMAKE_PREFIX_PATH={usr}", f"-DCALL={call}"])
                result = run(["cmake", "--build", build]) if phase == "build" and configured.returncode == 0 else configured
                self.assertEqual(phase == "build", configured.returncode == 0, configured.stderr)
                self.assertNotEqual(result.returncode, 0, result.stdout)
                output = " ".join((result.stdout + result.stderr).split())
                self.assertIn("onefile_add_executable(", output)
                self.assertIn(message, output)
                self.assertFalse(os.path.exists(os.path.join(build, "packed.exe")))
                self.assertFalse(os.path.exists(os.path.join(build, "packed.run")))


class LinuxTarget(ScratchTest):
    def test_target_linux_packs_a_linux_launcher_named_after_the_target(self):
        usr = unpack_deb(os.path.join(self.scratch, "root"))
        # The package's Linux stub where it has one; else any ELF executable serves, as the
        # packer copies the stub unchanged.
        shipped = os.path.join(usr, "lib", "onefile", "onefile-launcher")
        stub = "" if os.path.exists(shipped) else f" STUB {os.path.join(usr, 'bin', 'onefile-pack')}"
        build = os.path.join(self.scratch, "build")
        call = f"onefile_add_executable(packed MAIN app.exe DIRECTORY files TARGET linux-x86_64{stub} NAME Packed)"
        self.check(run(["cmake", "-S", CONFIGURE_PROJECT, "-B", build, "-G", "Ninja", f"-DCMAKE_PREFIX_PATH={usr}",
                        f"-DCALL={call}"]))
        self.check(run(["cmake", "--build", build]))
        packed = os.path.join(build, "packed.run")
        self.assertTrue(os.access(packed, os.X_OK))
        listing = self.check(run([os.path.join(usr, "bin", "onefile-pack"), "list", packed])).stdout
        self.assertIn("\ntarget      linux-x86_64\n", listing)
        self.assertIn("\nextract to  {CACHE_DIR}/Packed/1.0-", listing)
        self.assertIn("  app.exe*\n", listing)


if __name__ == "__main__":
    unittest.main()
