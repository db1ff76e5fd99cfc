#include "ProcessRunner.h"

#include <string.h>

#include <algorithm>
#include <map>

#include "FatalErrors.h"
#include "ReportText.h"

namespace {

struct CaseInsensitiveLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const { return _wcsicmp(a.c_str(), b.c_str()) < 0; }
};

std::wstring environmentBlock(const ProcessOptions& options) {
  std::map<std::wstring, std::wstring, CaseInsensitiveLess> variables;
  wchar_t* block = GetEnvironmentStringsW();
  for (const wchar_t* entry = block; *entry != 0; entry += wcslen(entry) + 1) {
    std::wstring text(entry);
    // Entries such as "=C:=C:\dir" begin with '='; their name runs to the second '='.
    const size_t equals = text.find(L'=', 1);
    if (equals == std::wstring::npos) continue;
    variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  FreeEnvironmentStringsW(block);
  for (const std::wstring& name : options.remove_variables) variables.erase(name);
  for (const auto& [name, value] : options.set_variables) variables[name] = value;
  std::wstring result;
  for (const auto& [name, value] : variables) {
    result += name;
    result += L'=';
    result += value;
    result += L'\0';
  }
  result += L'\0';
  return result;
}

// Standard streams go to temporary files, not pipes: Wine hands a program's inherited handles on
// to helper processes it starts (the desktop's explorer among them), and those can outlive the
// program, so a pipe would never report its end. A file is read once the program has ended.
HANDLE inheritableTemporaryFile() {
  wchar_t directory[MAX_PATH];
  wchar_t path[MAX_PATH];
  GetTempPathW(MAX_PATH, directory);
  GetTempFileNameW(directory, L"ofr", 0, path);
  SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

std::string readWhole(HANDLE file) {
  std::string bytes;
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  return bytes;
}

}  // namespace

ProcessResult runProcess(const ProcessOptions& options) {
  ProcessResult result;
  HANDLE out_file = inheritableTemporaryFile();
  HANDLE err_file = inheritableTemporaryFile();
  HANDLE in_file = inheritableTemporaryFile();
  if (!options.standard_input.empty()) {
    DWORD written = 0;
    WriteFile(in_file, options.standard_input.data(), static_cast<DWORD>(options.standard_input.size()), &written,
              nullptr);
    SetFilePointer(in_file, 0, nullptr, FILE_BEGIN);
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  const bool no_handles = options.no_standard_output && options.no_standard_error;
  startup.hStdInput = no_handles ? nullptr : in_file;
  startup.hStdOutput = options.no_standard_output ? nullptr : out_file;
  startup.hStdError = options.no_standard_error ? nullptr : err_file;
  std::wstring desktop = options.desktop;
  if (!desktop.empty()) startup.lpDesktop = desktop.data();
  PROCESS_INFORMATION process = {};
  std::wstring command_line = options.command_line;
  std::wstring environment = environmentBlock(options);
  BOOL created = FALSE;
  // Wine on a heavily loaded machine now and then fails to start a valid program with
  // ERROR_INTERNAL_ERROR, which Windows never gives for one; such a start is tried again. Every
  // other failure is the result.
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::wstring writable_line = command_line;
    created = CreateProcessW(options.application.empty() ? nullptr : options.application.c_str(),
                             writable_line.data(), nullptr, nullptr, TRUE,
                             CREATE_UNICODE_ENVIRONMENT | options.creation_flags |
                                 (options.job != nullptr ? CREATE_SUSPENDED : 0),
                             environment.data(),
                             options.current_directory.empty() ? nullptr : options.current_directory.c_str(),
                             &startup, &process);
    result.start_error = created ? 0 : GetLastError();
    if (created || result.start_error != ERROR_INTERNAL_ERROR) break;
    Sleep(250);
  }
  if (created) {
    result.started = true;
    result.process_id = process.dwProcessId;
    if (options.job != nullptr) {
      result.in_job = AssignProcessToJobObject(options.job, process.hProcess) != FALSE;
      ResumeThread(process.hThread);
    }
    if (options.while_running) options.while_running(process.dwProcessId);
    bool running = true;
    if (!options.kill_after_path_appears.empty()) {
      while (GetFileAttributesW(options.kill_after_path_appears.c_str()) == INVALID_FILE_ATTRIBUTES &&
             (running = (WaitForSingleObject(process.hProcess, 1) != WAIT_OBJECT_0))) {
      }
    }
    if (running && options.kill_after_ms > 0 &&
        WaitForSingleObject(process.hProcess, options.kill_after_ms) != WAIT_OBJECT_0) {
      result.killed = true;
      TerminateProcess(process.hProcess, 0xDEAD);
    }
    if (WaitForSingleObject(process.hProcess, options.timeout_ms) != WAIT_OBJECT_0) {
      result.timed_out = true;
      TerminateProcess(process.hProcess, 0xDEAD);
      WaitForSingleObject(process.hProcess, INFINITE);
    }
    GetExitCodeProcess(process.hProcess, &result.exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    result.out = readWhole(out_file);
    result.err = readWhole(err_file);
  }
  CloseHandle(out_file);
  CloseHandle(err_file);
  CloseHandle(in_file);
  return result;
}

std::wstring quoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t unit : argument) {
    if (unit == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(unit == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += unit;
  }
  quoted.append(2 * backslashes, L'\\');
  quoted += L'"';
  return quoted;
}

ProcessResult runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments,
                         const std::vector<std::pair<std::wstring, std::wstring>>& variables) {
  ProcessOptions options;
  options.application = program;
  options.command_line = quoteArgument(program);
  for (const std::wstring& argument : arguments) options.command_line += L" " + quoteArgument(argument);
  options.set_variables = variables;
  return runProcess(options);
}

std::wstring fullPath(const std::wstring& relative) {
  wchar_t buffer[4096];
  const DWORD length = GetFullPathNameW(relative.c_str(), 4096, buffer, nullptr);
  return std::wstring(buffer, length);
}

std::string systemMessageText(DWORD code) {
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                 code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result = text != nullptr ? text : "";
  LocalFree(text);
  return result;
}

std::string reportedSystemText(DWORD code) {
  std::string text = systemMessageText(code);
  makeOneLine(text.data());
  text.resize(strlen(text.c_str()));
  return text.empty() ? kNoSystemText : text;
}

std::string textModeBytes(const std::string& text) {
  std::string bytes;
  for (char c : text) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  return bytes;
}

std::wstring widen(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

std::string narrow(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length, nullptr, nullptr);
  return utf8;
}
