// The signs that a build's folder is in use, which a start that removes other builds' folders must
// respect. Windows refuses to rename a folder while a file in it is open or loaded, but other
// systems that run Windows programs may not, and a start that is still checking its files has none
// of them open. So every start also holds a named event, named after its extraction directory,
// from before its first check until it ends, and takes the directory's extraction lock while it
// checks and writes: a remover that finds the event, or cannot take the lock at once, leaves the
// folder alone.
#pragma once

#include <windows.h>

#include "OnefilePlatform.h"

// Best effort: held until the process ends, so a launcher that is killed drops it too.
void markBuildInUse(const WideUnit* directory);

// True when a running start holds the sign for `directory`.
bool buildInUse(const WideUnit* directory);

// Takes the extraction lock of another directory without waiting; null when a start holds it (or
// it cannot be had). The lock of a start that was killed is taken over.
HANDLE tryLockExtraction(const WideUnit* directory);
void releaseExtraction(HANDLE lock);
