// What the test child (ChildRecorder.cpp) writes down, and its reading in the tests. The record is
// UTF-16 text made of fields that each end in a zero unit, in this order: the command line; the
// count and the arguments that CommandLineToArgvW gives for it; the count and the arguments of
// the C runtime's wide argument vector; the variables below, each "=" and its value or "!" when
// unset; the current directory.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

constexpr const wchar_t* kRecordedVariables[] = {L"TOLVAR_ONEFILE_PARENT", L"TOLVAR_ONEFILE_START",
                                                 L"TOLVAR_ONEFILE_DIRECTORY", L"TOLVAR_ORIGINAL_ARGV0"};

struct ChildRecord {
  bool present = false;
  std::wstring command_line;
  std::vector<std::wstring> system_arguments;
  std::vector<std::wstring> runtime_arguments;
  // Indexed like kRecordedVariables: whether each variable was set, and its value.
  std::vector<bool> set;
  std::vector<std::wstring> values;
  std::wstring current_directory;
};

inline ChildRecord readChildRecord(const std::wstring& path) {
  ChildRecord record;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return record;
  std::wstring text;
  wchar_t chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got / sizeof(wchar_t));
  CloseHandle(file);
  std::vector<std::wstring> fields;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find(L'\0', start);
    if (end == std::wstring::npos) break;
    fields.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  size_t next = 0;
  auto take = [&]() { return next < fields.size() ? fields[next++] : std::wstring(); };
  auto takeArguments = [&](std::vector<std::wstring>& arguments) {
    const size_t count = wcstoul(take().c_str(), nullptr, 10);
    for (size_t i = 0; i < count; ++i) arguments.push_back(take());
  };
  record.command_line = take();
  takeArguments(record.system_arguments);
  takeArguments(record.runtime_arguments);
  for (size_t i = 0; i < sizeof kRecordedVariables / sizeof kRecordedVariables[0]; ++i) {
    const std::wstring field = take();
    record.set.push_back(!field.empty() && field[0] == L'=');
    record.values.push_back(field.empty() ? std::wstring() : field.substr(1));
  }
  record.current_directory = take();
  record.present = next == fields.size() && !fields.empty();
  return record;
}
