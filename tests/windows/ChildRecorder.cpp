// The child that the launcher starts in the tests: it writes down what it received and ends as it
// is told. A GUI-subsystem program, so that it never opens a console of its own. Controlled through the
// environment it inherits, since its arguments are what is under test:
//   ONEFILE_TEST_RECORD            file to write the record to (UTF-16, see ChildRecord.h)
//   ONEFILE_TEST_ECHO              when set: standard input is copied to standard output, and
//                                  "child error" is written to standard error
//   ONEFILE_TEST_SLEEP             milliseconds to sleep before ending
//   ONEFILE_TEST_EXIT              exit code (decimal or 0x hexadecimal, all 32 bits)
//   ONEFILE_TEST_PID_FILE          file to write its own process id to (decimal), before sleeping
//   ONEFILE_TEST_SPAWN             file to write the process id of a copy of itself to, which it
//                                  starts first and which sleeps for two minutes: a grandchild
//                                  of the launcher, as an updater or a helper would be
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

void writeNumber(const std::wstring& path, DWORD number) {
  const std::string text = std::to_string(number);
  const std::wstring part = path + L".part";
  HANDLE file = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  // Renamed into place: a file that exists holds the whole number.
  MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// The copy gets this process's environment less what would make it record, spawn or end early.
void spawnSleepingCopy(const std::wstring& pid_path) {
  for (const wchar_t* name : {L"ONEFILE_TEST_RECORD", L"ONEFILE_TEST_SPAWN", L"ONEFILE_TEST_PID_FILE",
                              L"ONEFILE_TEST_ECHO"}) {
    SetEnvironmentVariableW(name, nullptr);
  }
  SetEnvironmentVariableW(L"ONEFILE_TEST_SLEEP", L"120000");
  wchar_t self[4096];
  GetModuleFileNameW(nullptr, self, 4096);
  std::wstring line = L"\"" + std::wstring(self) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    writeNumber(pid_path, process.dwProcessId);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
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
  const std::wstring exit_code = variable(L"ONEFILE_TEST_EXIT");
  const std::wstring pid_path = variable(L"ONEFILE_TEST_PID_FILE");
  if (!pid_path.empty()) writeNumber(pid_path, GetCurrentProcessId());
  const std::wstring spawn_path = variable(L"ONEFILE_TEST_SPAWN");
  if (!spawn_path.empty()) spawnSleepingCopy(spawn_path);
  if (!sleep.empty()) Sleep(static_cast<DWORD>(wcstoul(sleep.c_str(), nullptr, 0)));
  ExitProcess(static_cast<UINT>(wcstoul(exit_code.c_str(), nullptr, 0)));
}
