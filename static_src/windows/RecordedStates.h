// What the file system shows about the files of the extraction directory, as a build record keeps it
// (BuildRecord.h): size, last-write and change times, volume serial and file id. Each folder's
// entries are read in one query (GetFileInformationByHandleEx with FileIdBothDirectoryInfo on the
// folder's handle), so a warm start learns the state of every file without opening any.
//
// Of the two single-query listings, FindFirstFileExW (FindExInfoBasic, FIND_FIRST_EX_LARGE_FETCH)
// was a little faster under Wine (about 115 against 140 ms over 40 folders of 60 files, on a busy
// machine; opening each file took over 1,000 ms), but it gives neither the file id nor the change
// time, and without them a file replaced by another of the same size and times would pass.
#pragma once

#include "BuildRecord.h"
#include "FolderWalk.h"
#include "OnefilePlatform.h"

// Whether the volume that holds `directory` keeps what a state needs: a stable file id and times
// that every write moves. Only local NTFS and ReFS volumes are taken. FAT and exFAT have no file
// ids (and FAT's times are coarse), and a network share reports whatever the server makes of
// them, so on those the choice to check only changed files falls back to checking every file.
// Remembers the volume's serial for the states read afterwards.
bool volumeKeepsFileStates(const WideUnit* directory);

// The state of the regular file at `path` as its folder's listing shows it; false when the folder
// cannot be listed or the listing has no regular file of that name. The listings of the folders on
// the way to the last path asked about are kept (FolderStates.h), so each is read once.
bool currentFileState(const WideUnit* path, RecordedFileState& state);

// What is at `path`, from its folder's listing (read as for currentFileState): the same answers as
// folderKindOnDisk (CachedFileState.h), which it asks when the listing cannot tell. A warm start
// that reads listings anyway spares one query per folder on the way.
FolderKind listedFolderKind(const WideUnit* path);

// Drops the kept listings: files were written since they were read.
void forgetListedFolder();
