#include "SystemDirectory.h"

#include <windows.h>

DirectoryOutcome createSystemDirectory(const WideUnit* path) {
  if (CreateDirectoryW(path, nullptr)) return DirectoryOutcome::created;
  return GetLastError() == ERROR_ALREADY_EXISTS ? DirectoryOutcome::alreadyExists : DirectoryOutcome::failed;
}
