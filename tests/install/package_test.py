#!/usr/bin/env python3
"""The two packages that scripts/package makes, taken apart and used: the Debian package's control
fields, content and lintian's verdict, its packer run from an unpacked root with no option naming
a stub; the Windows zip's content, its packer run under Wine, and its CMake package.

Run by CTest after scripts/package (see tests/install/CMakeLists.txt), inside scripts/with-wine.
"""
import filecmp
import gzip
import os
import re
import sys
import unittest
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from install_support import (BUILD, DEMO_APP, DEMO_SPLASH, SOURCE, ScratchTest, demo_output_problems,  # noqa: E402
                             deb_path, packer_version, run, run_windows, unpack_deb, windows_path, zip_name)

STUB = os.path.join(BUILD, "windows", "bin", "onefile-launcher.exe")
# The Linux launcher, which the package ships where the host tree builds it.
LINUX_STUB = os.path.join(BUILD, "host", "bin", "onefile-launcher")
CMAKE_PACKAGE = ["OnefilePackConfig.cmake", "OnefilePackConfigVersion.cmake", "OnefilePackFunctions.cmake",
                 "OnefilePackStep.cmake"]
# The README links into docs/, so every document there ships beside it.
DOCS = sorted(name for name in os.listdir(os.path.join(SOURCE, "docs")) if name.endswith(".md"))


def control_fields(deb):
    text = run(["dpkg-deb", "-f", deb]).stdout
    fields, name = {}, None
    for line in text.splitlines():
        if line.startswith(" ") and name:
            fields[name] += "\n" + line
        else:
            name, _, value = line.partition(": ")
            fields[name] = value
    return fields


def needed_library_packages(program):
    """The Debian packages that hold the shared libraries the program needs, found apart from
    dpkg-shlibdeps: each NEEDED name from the dynamic section, looked up with dpkg -S."""
    dynamic = run(["readelf", "-d", program]).stdout
    packages = set()
    for soname in re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", dynamic):
        owners = run(["dpkg", "-S", soname]).stdout
        found = {line.split(":")[0] for line in owners.splitlines()
                 if re.search(r":amd64: /(usr/)?lib/x86_64-linux-gnu/" + re.escape(soname) + "$", line)}
        assert len(found) == 1, f"{soname}: {owners}"
        packages |= found
    return packages


def pack_demo(packer_command, output):
    """The demo folder packed (with its splash image) by the given packer command, no --stub."""
    return run([*packer_command, "pack", DEMO_APP, "--main", "Quorvell.exe", "--splash", DEMO_SPLASH,
                "-o", output])


class DebianPackage(ScratchTest):
    def test_control_fields_name_the_version_and_the_libraries_the_packer_links(self):
        fields = control_fields(deb_path())
        self.assertEqual(fields["Package"], "onefile-pack")
        self.assertEqual(fields["Version"], packer_version())
        self.assertEqual(fields["Architecture"], "amd64")
        self.assertEqual(fields["Section"], "devel")
        self.assertTrue(fields["Description"].startswith("make one Windows or Linux executable from an application folder\n"))
        depends = {entry.split()[0] for entry in fields["Depends"].split(", ")}
        usr = unpack_deb(self.scratch)
        self.assertEqual(depends, needed_library_packages(os.path.join(usr, "bin", "onefile-pack")))

    def test_content_modes_and_owners(self):
        listing = run(["dpkg-deb", "-c", deb_path()]).stdout.splitlines()
        files = {}
        for line in listing:
            mode, owner, _size, _date, _time, path = line.split(None, 5)
            self.assertEqual(owner, "root/root", line)
            if not mode.startswith("d"):
                files[path] = mode
        data = "-rw-r--r--"
        expected = {
            "./usr/bin/onefile-pack": "-rwxr-xr-x",
            "./usr/lib/onefile/onefile-launcher.exe": data,
            "./usr/share/man/man1/onefile-pack.1.gz": data,
            "./usr/share/doc/onefile-pack/copyright": data,
            "./usr/share/doc/onefile-pack/changelog.gz": data,
            "./usr/share/doc/onefile-pack/README.md": data,
            "./usr/share/onefile-pack/mingw-w64-x86_64.cmake": data,
        }
        expected.update({f"./usr/lib/cmake/OnefilePack/{name}": data for name in CMAKE_PACKAGE})
        expected.update({f"./usr/share/doc/onefile-pack/docs/{name}": data for name in DOCS})
        if os.path.exists(LINUX_STUB):
            expected["./usr/lib/onefile/onefile-launcher"] = "-rwxr-xr-x"
            expected["./usr/share/lintian/overrides/onefile-pack"] = data
        self.maxDiff = None
        self.assertEqual(files, expected)

        usr = unpack_deb(self.scratch)
        self.assertTrue(filecmp.cmp(os.path.join(usr, "lib", "onefile", "onefile-launcher.exe"), STUB, shallow=False))
        if os.path.exists(LINUX_STUB):
            self.assertTrue(filecmp.cmp(os.path.join(usr, "lib", "onefile", "onefile-launcher"), LINUX_STUB, shallow=False))
        with gzip.open(os.path.join(usr, "share", "man", "man1", "onefile-pack.1.gz"), "rt") as page:
            self.assertIn(f'"onefile-pack {packer_version()}"', page.read())
        with open(os.path.join(usr, "share", "doc", "onefile-pack", "copyright")) as copyright_file:
            copyright_text = copyright_file.read()
        self.assertTrue(copyright_text.startswith("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"))
        with open(os.path.join(SOURCE, "LICENSE")) as licence:
            self.assertIn(licence.read().splitlines()[-1].strip(), copyright_text)

    def test_lintian_finds_no_error_or_warning(self):
        result = run(["lintian", "--fail-on", "error,warning", deb_path()])
        self.check(result)

    def test_unpacked_packer_finds_its_stub_and_packs_the_demo_which_runs(self):
        usr = unpack_deb(os.path.join(self.scratch, "root"))
        packed = os.path.join(self.scratch, "Quorvell.exe")
        packing = self.check(pack_demo([os.path.join(usr, "bin", "onefile-pack")], packed))
        self.assertEqual(packing.stdout + packing.stderr, "")
        started = run_windows(packed, "--splash-ms=0", "--exit-code=7")
        self.assertEqual(demo_output_problems(started, 7), [])

    def test_unpacked_packer_finds_its_linux_stub(self):
        if not os.path.exists(LINUX_STUB):
            self.skipTest("the host tree builds no Linux launcher")
        usr = unpack_deb(os.path.join(self.scratch, "root"))
        packed = os.path.join(self.scratch, "quorvell")
        self.check(run([os.path.join(usr, "bin", "onefile-pack"), "pack", DEMO_APP, "--main", "Quorvell.exe",
                        "--target", "linux-x86_64", "-o", packed]))
        with open(packed, "rb") as image, open(LINUX_STUB, "rb") as stub:
            expected = stub.read()
            self.assertEqual(image.read(len(expected)), expected)

    def test_unpacked_packer_takes_the_first_stub_in_its_order(self):
        # An invalid stub shows which place the packer took: it names it when refusing it.
        for planted, taken in (("bin", "bin"), ("windows/bin", "lib/onefile")):
            with self.subTest(planted=planted):
                root = os.path.join(self.scratch, planted.replace("/", "-"))
                usr = unpack_deb(root)
                base = usr if planted == "bin" else root
                os.makedirs(os.path.join(base, planted), exist_ok=True)
                with open(os.path.join(base, planted, "onefile-launcher.exe"), "wb") as stub:
                    stub.write(b"MZ, but no program")
                result = pack_demo([os.path.join(usr, "bin", "onefile-pack")], os.path.join(root, "Quorvell.exe"))
                if taken == "bin":
                    self.check(result, 1)
                    self.assertIn(f"the stub '{os.path.join(usr, 'bin', 'onefile-launcher.exe')}' is not", result.stderr)
                else:
                    self.check(result)

    def test_unpacked_packer_without_its_stub_says_where_it_looked(self):
        root = os.path.join(self.scratch, "root")
        usr = unpack_deb(root)
        os.remove(os.path.join(usr, "lib", "onefile", "onefile-launcher.exe"))
        packed = os.path.join(self.scratch, "Quorvell.exe")
        result = self.check(pack_demo([os.path.join(usr, "bin", "onefile-pack")], packed), 1)
        for place in (os.path.join(usr, "bin", "onefile-launcher.exe"),
                      os.path.join(usr, "lib", "onefile", "onefile-launcher.exe"),
                      os.path.join(root, "windows", "bin", "onefile-launcher.exe")):
            self.assertIn(f"'{place}'", result.stderr)
        self.assertIn("name one with --stub EXE", result.stderr)
        self.assertFalse(os.path.exists(packed))


class WindowsZip(ScratchTest):
    def unzip(self):
        with zipfile.ZipFile(os.path.join(os.path.dirname(deb_path()), zip_name() + ".zip")) as archive:
            archive.extractall(self.scratch)
            names = archive.namelist()
        return os.path.join(self.scratch, zip_name()), names

    def test_content(self):
        folder, names = self.unzip()
        files = {name for name in names if not name.endswith("/")}
        expected = {"onefile-pack.exe", "onefile-launcher.exe", "README.md", "LICENSE.txt"}
        expected |= {f"cmake/{name}" for name in CMAKE_PACKAGE}
        expected |= {f"docs/{name}" for name in DOCS}
        self.assertEqual(files, {f"{zip_name()}/{name}" for name in expected})
        self.assertTrue(filecmp.cmp(os.path.join(folder, "onefile-launcher.exe"), STUB, shallow=False))
        self.assertTrue(filecmp.cmp(os.path.join(folder, "README.md"), os.path.join(SOURCE, "README.md"), shallow=False))

    def test_packer_under_wine_finds_the_stub_beside_it_and_packs_the_demo_which_runs(self):
        folder, _ = self.unzip()
        packer = os.path.join(folder, "onefile-pack.exe")
        version = run_windows(packer, "--version")
        self.assertEqual(version.stdout.split()[:2], ["onefile-pack", packer_version()])
        packed = os.path.join(self.scratch, "Quorvell.exe")
        result = run_windows(packer, "pack", windows_path(DEMO_APP), "--main", "Quorvell.exe",
                             "--splash", windows_path(DEMO_SPLASH), "-o", windows_path(packed))
        self.check(result)
        started = run_windows(packed, "--splash-ms=0", "--exit-code=7")
        self.assertEqual(demo_output_problems(started, 7), [])

    def test_cmake_package_points_at_the_files_beside_it(self):
        folder, _ = self.unzip()
        call = ('message(STATUS "version=${OnefilePack_VERSION}")\n'
                'message(STATUS "packer=${OnefilePack_EXECUTABLE}")\n'
                'message(STATUS "stub=${OnefilePack_STUB}")\n')
        result = self.check(run(["cmake", "-S", os.path.join(SOURCE, "tests", "install", "configure-project"),
                                 "-B", os.path.join(self.scratch, "configured"), f"-DCMAKE_PREFIX_PATH={folder}",
                                 f"-DCALL={call}"]))
        self.assertIn(f"-- version={packer_version()}\n", result.stdout)
        self.assertIn(f"-- packer={folder}/onefile-pack.exe\n", result.stdout)
        self.assertIn(f"-- stub={folder}/onefile-launcher.exe\n", result.stdout)


if __name__ == "__main__":
    unittest.main()
