// Makes packed launchers inside Windows tests: a payload resource from in-memory files (the first
// is the program to start) and a copy of the launcher stub with resources 27 and 28 added through
// Windows' own resource updater. Tests of the packer's PE writer use the packer instead.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "PayloadWriter.h"

// The stub built with the tests: bin\onefile-launcher.exe (tests run in bin\).
std::wstring defaultLauncherStub();

// False (with the reason in *why) when the copy or a resource update fails. An empty payload or
// splash is left out (Windows refuses resources of length 0).
bool makeLauncher(const std::wstring& output, const std::string& payload_resource, const std::string& splash_png,
                  std::wstring* why, const std::wstring& stub = defaultLauncherStub());

// Adds or replaces resource RT_RCDATA `id` (language neutral) of an executable; false with the
// reason in *why. Windows refuses a resource of length 0.
bool addDataResource(const std::wstring& executable, WORD id, const std::string& bytes, std::wstring* why);

std::string readFileBytes(const std::wstring& path);
// The "key=value" lines of a report file that a test program wrote; empty when there is none.
std::map<std::string, std::string> readReportFile(const std::wstring& path);
bool writeFileBytes(const std::wstring& path, const std::string& bytes);

// A fresh empty directory below the temporary directory, named after the test.
std::wstring makeTemporaryDirectory(const std::wstring& name);
// Removes a directory tree (best effort).
void removeTree(const std::wstring& path);
