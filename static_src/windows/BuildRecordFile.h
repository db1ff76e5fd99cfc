// The record beside this start's own folder (BuildRecord.h), and reading other builds' records.
//
// A start writes its record when removal of builds applies, or when it is to check only changed
// files, and the record is missing, damaged or names another build: "<folder>.onefile-build.tmp"
// is written while the files are checked and written, under the extraction lock, and renamed over
// the record only once every file is in place. A start that stops before that leaves the temporary
// file, which the next start that writes a record for the folder overwrites, and the removal of the
// folder deletes.
//
// To check only changed files, the record also holds each file's state once every file is in
// place (RecordedStates.h). A later start of the same build trusts those states only when the
// whole record is sound: each file whose listing shows its recorded state is taken as intact
// without being opened. When any file is not as recorded (or the record had no states), the start
// checks that file as it always did and, once every file is in place, writes the record again
// with the states of that moment.
#pragma once

#include <windows.h>

#include "BuildRecord.h"
#include "OnefilePlatform.h"

// Whether this start's settings let it write records and remove other builds: the template's
// last folder names {VERSION} or {BUILD}, and not every build is to be kept.
bool buildRemovalApplies();

// The identity this start records: the active settings' product, company, version and build id.
void currentBuildIdentity(BuildRecordIdentity& identity);

// Whether this start checks only the files that changed: its settings say `changed`, and its folder
// is the same on every start (the template names neither {PID} nor {TIME}).
bool verifyChangedApplies();

// Called with the extraction lock held, before the first file is checked.
void beginOwnBuildRecord(const WideUnit* directory);
// Every payload file, in payload order.
void recordOwnBuildFile(const WideUnit* name, uint64_t size, uint32_t stored_checksum);
// Called for every payload file, in payload order, with its full path: true when the record's
// states are trusted and the file's listing shows exactly the state recorded for it.
bool fileAsRecorded(const WideUnit* path);
// True while the record's states are trusted: the start reads folder listings for fileAsRecorded,
// and what they show of the folders on the way serves the walk too (listedFolderKind).
bool fileStatesTrusted();
// Once every file is in place: completes the record (with the files' states when this start checks
// only changed files and its volume keeps them) and renames it into place. Silent on failure:
// without a record, the folder is simply never removed, and the next start checks every file.
void finishOwnBuildRecord();
// True when this start wrote the record (it is then as recent as it gets).
bool ownBuildRecordWritten();

// A record file opened for reading; `file` is INVALID_HANDLE_VALUE when it could not be opened.
struct RecordFile {
  HANDLE file;
  BuildRecordReader reader;
};

// Opens the record at `path` and reads its identity; false when it cannot be read or is damaged
// there. Close it with closeRecordFile on every return.
bool openRecordFile(RecordFile& record, const WideUnit* path, BuildRecordIdentity& identity);
void closeRecordFile(RecordFile& record);
