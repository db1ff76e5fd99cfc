// The record beside this start's own folder (BuildRecord.h) on Linux, for `--verify changed`: the
// same record as on Windows, "<folder>.onefile-build", with each file's state as lstat shows it
// (size, modification and change times, device and inode) once every file is in place. A later
// start of the same build that finds the whole record sound takes each file whose state is exactly
// the recorded one as intact without opening it. A file written, changed or given another mode
// since has another change time, which no one but the kernel sets, so it is checked by its content
// (and its mode put right) as under `--verify all`, and the record is written again once every
// file is in place.
//
// The record is written as "<folder>.onefile-build.tmp" under the extraction lock and renamed over
// the record only once every file is in place. Only a record that is the user's own and that nobody
// else can write to is read: the folder's parent may be one anyone can write to.
//
// A record is also written, without states where the volume keeps none, when this start may remove
// other builds (BuildRemoval.h): a later build then finds this one's files by it.
#pragma once

#include "BuildRecord.h"
#include "OnefilePlatform.h"

// Whether this start's settings let it remove other builds: the template's last folder names
// {VERSION} or {BUILD}, and not every build is to be kept.
bool buildRemovalApplies();
// The identity this start records: the active settings' product, company, version and build id.
void currentBuildIdentity(BuildRecordIdentity& identity);
// Opens the record `name` relative to the folder descriptor `folder` (never through a link in its
// place, and only when it is the user's own and nobody else can write to it) and reads its
// identity; `modified`, when given, gets its modification time in nanoseconds. Close `descriptor`
// on every return (it is -1 when nothing was opened).
bool openRecordAt(int folder, const char* name, int& descriptor, BuildRecordReader& reader,
                  BuildRecordIdentity& identity, uint64_t* modified);

// Called with the extraction lock held, before the first file is checked.
void beginOwnBuildRecord(const WideUnit* directory);
// Every payload file, in payload order.
void recordOwnBuildFile(const WideUnit* name, uint64_t size, uint32_t stored_checksum);
// Called for every payload file, in payload order, with its path as the system takes it: true when
// the record's states are trusted and the file shows exactly the state recorded for it.
bool fileAsRecorded(const char* path);
// Once every file is in place. Silent on failure: the next start then checks every file.
void finishOwnBuildRecord();
// True when this start wrote its record (it is then as recent as it gets).
bool ownBuildRecordWritten();
