// One extraction at a time per extraction directory. Launchers started together would otherwise
// each test and write the same files: a second start could truncate a file under the first one's
// running child, or fail to open a file that child has open. A named mutex in the session's local
// namespace, named after a hash of the directory, is held from the first checksum to the last
// file closed. A mutex left behind by a launcher that was killed is simply taken over: a file it
// left half-written fails its checksum and is written again.
#pragma once

#include "OnefilePlatform.h"
#include "WideString.h"

// "Local\onefile-extract-" and 16 hexadecimal digits of the FNV-1a hash of the directory, with
// ASCII letters folded to upper case (Windows paths ignore case).
void extractionLockName(const WideUnit* directory, WideBuffer<64>& name);

// "Local\onefile-running-" and the same hash: the name of the sign that a start of the build in
// that directory is running (BuildUse.h).
void buildUseName(const WideUnit* directory, WideBuffer<64>& name);

// Best effort: when the mutex cannot be made, extraction goes on unlocked as before.
void lockExtractionDirectory(const WideUnit* directory);
// Releases the lock when this thread holds it; does nothing when no lock is held, so every report
// calls it before its box may keep the launcher alive for a minute.
void unlockExtractionDirectory();
