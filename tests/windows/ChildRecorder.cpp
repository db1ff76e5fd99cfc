// The child that the launcher starts in the tests: it writes down what it received and ends as it
// is told. A GUI-subsystem program, so that it never opens a console of its own. Controlled through the
// environment it inherits, since its arguments are what is under test:
//   ONEFILE_TEST_RECORD            file to write the record to (UTF-16, see ChildRecord.h)
//   ONEFILE_TEST_ECHO              when set: standard input is copied to standard output, and
//                                  "child error" is written to standard error
//   ONEFILE_TEST_SLEEP             milliseconds to sleep before ending
//   ONEFILE_TEST_EXIT              exit code (decimal or 0x hexadecimal, all 32 bits)
#include <windows.h>

#include <shellapi.h>
#include <stdlib.h>

#include <string>

#include "ChildRecord.h"

namespace {

wchar_t value_buffer[32768];

bool isSet(const wchar_t* name) {
  SetLastError(0);
  return GetEnvironmentVariableW(name, value_buffer, 32768) > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

std::wstring variable(const wchar_t* name) {
  const DWORD length = GetEnvironmentVariableW(name, value_buffer, 32768);
  return std::wstring(value_buffer, length < 32768 ? length : 0);
}

void addField(std::wstring& record, const std::wstring& field) {
  record += field;
  record += L'\0';
}

void addArguments(std::wstring& record, int count, wchar_t** arguments) {
  addField(record, std::to_wstring(count));
  for (int i = 0; i < count; ++i) addField(record, arguments[i]);
}

void writeRecord(const std::wstring& path) {
  std::wstring record;
  addField(record, GetCommandLineW());
  int count = 0;
  wchar_t** system_arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  addArguments(record, count, system_arguments);
  addArguments(record, __argc, __wargv);
  for (const wchar_t* name : kRecordedVariables) {
    addField(record, isSet(name) ? L"=" + variable(name) : L"!");
  }
  wchar_t directory[4096];
  addField(record, std::wstring(directory, GetCurrentDirectoryW(4096, directory)));
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, record.data(), static_cast<DWORD>(record.size() * sizeof(wchar_t)), &written, nullptr);
  CloseHandle(file);
}

void echoStandardStreams() {
  char buffer[4096];
  DWORD got = 0;
  DWORD written = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), buffer, got, &written, nullptr);
  }
  const char message[] = "child error";
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), message, sizeof message - 1, &written, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  const std::wstring record_path = variable(L"ONEFILE_TEST_RECORD");
  if (!record_path.empty()) writeRecord(record_path);
  if (isSet(L"ONEFILE_TEST_ECHO")) echoStandardStreams();
  const std::wstring sleep = variable(L"ONEFILE_TEST_SLEEP");
  if (!sleep.empty()) Sleep(static_cast<DWORD>(wcstoul(sleep.c_str(), nullptr, 0)));
  ExitProcess(static_cast<UINT>(wcstoul(variable(L"ONEFILE_TEST_EXIT").c_str(), nullptr, 0)));
}
