"""What the tests of the packages and of the CMake integration share: where things are, running
programs (Windows ones under Wine), and the Debian package unpacked into a scratch root.

CTest (tests/install/CMakeLists.txt) sets ONEFILE_SOURCE_DIR, ONEFILE_BUILD_DIR (the folder that
holds the host and the Windows tree) and ONEFILE_INSTALL_PREFIX, the Wine prefix of these tests,
whose server runs for as long as they do.
"""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

SOURCE = os.environ["ONEFILE_SOURCE_DIR"]
BUILD = os.environ["ONEFILE_BUILD_DIR"]
WINE_PREFIX = os.environ["ONEFILE_INSTALL_PREFIX"]
PACKAGES = os.path.join(BUILD, "packages")
HOST_PACKER = os.path.join(BUILD, "host", "bin", "onefile-pack")
DEMO_APP = os.path.join(BUILD, "windows", "demo", "app")
DEMO_SPLASH = os.path.join(SOURCE, "demo", "splash.png")
WINE_RUN = os.path.join(SOURCE, "cmake", "wine-run")
MINGW_TOOLCHAIN = os.path.join("usr", "share", "onefile-pack", "mingw-w64-x86_64.cmake")

# A guard against a hang, not a timing requirement.
HANG_GUARD = 600


def run(arguments, cwd=None, env=None):
    """Runs a program without a shell; its exit status, standard output and error as text."""
    return subprocess.run(arguments, cwd=cwd, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                          text=True, errors="replace", timeout=HANG_GUARD)


def run_windows(program, *arguments):
    """A Windows program under Wine, in this suite's prefix. Wine keeps only the low 8 bits of the
    exit code, which is enough for the codes used here."""
    return run([WINE_RUN, WINE_PREFIX, program, *arguments])


def windows_path(path):
    """A path as a Windows program under Wine sees it: the Z: drive is the Unix root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def packer_version():
    return run([HOST_PACKER, "--version"]).stdout.split()[1]


def deb_path():
    return os.path.join(PACKAGES, f"onefile-pack_{packer_version()}_amd64.deb")


def zip_name():
    return f"onefile-pack-{packer_version()}-windows-x86_64"


def mtime(path):
    return os.stat(path).st_mtime_ns


def touch(path):
    """Marks a file as changed, as an editor's save would: a time later than any output's. The
    system's clock for file times is coarser than time_ns(), hence the added 10 ms."""
    stamp = time.time_ns() + 10_000_000
    os.utime(path, ns=(stamp, stamp))


class ScratchTest(unittest.TestCase):
    """A test case with a fresh scratch folder, removed afterwards."""

    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="onefile-install-")
        self.addCleanup(shutil.rmtree, self.scratch, ignore_errors=True)

    def check(self, result, status=0):
        self.assertEqual(result.returncode, status, f"\n--- stdout\n{result.stdout}\n--- stderr\n{result.stderr}")
        return result


def unpack_deb(root):
    """The Debian package unpacked into root, as dpkg would lay it out below /."""
    subprocess.run(["dpkg-deb", "-x", deb_path(), root], check=True)
    return os.path.join(root, "usr")


def demo_output_problems(result, exit_code):
    """What is wrong with a run of the packed demo (see demo/Quorvell.cpp), as a list of texts."""
    problems = []
    if result.returncode != exit_code:
        problems.append(f"exit code {result.returncode}, expected {exit_code}")
    for expected in ("Quorvell demo: started by the onefile launcher", "QuorvellCore.dll says",
                     "data\\greeting.txt: \"", "data\\levels\\level-1.txt: \"", f"exiting with code {exit_code}"):
        if expected not in result.stdout:
            problems.append(f"no '{expected}' in its output")
    if "(missing)" in result.stdout:
        problems.append("a data file is missing")
    if problems:
        problems.append(f"\n--- stdout\n{result.stdout}\n--- stderr\n{result.stderr}")
    return problems
