// Removing the folders of other builds of the application on Linux, by the same rules as on
// Windows (SupersededBuilds.h, BuildRecord.h): only folders beside the start's own that have a
// sound record of the same product and company, that are not among the `--keep-builds` most
// recently used, that no start is checking or writing (their extraction lock is taken without
// waiting, and held while they are emptied) and that no running program uses (BuildUse.h).
//
// The launcher becomes the program, so this runs before the execve, once this start's files are
// in place and its own lock is released. When there is nothing to remove it costs one listing of
// the folder that holds the builds (getdents64 into a fixed buffer), and the header of each other
// record of this product found there, which a start that keeps builds reads anyway to rank them:
// with the default (keep none) a start after the first finds only its own record.
//
// Every name is opened relative to a folder descriptor with O_NOFOLLOW, one component at a time:
// a symbolic link, wherever it stands in a build, is neither followed nor removed. A recorded file
// is deleted only when it still holds what was unpacked (its size and CRC-32); a folder is removed
// only when it is empty (rmdir refuses otherwise), so what the application or the user put there
// stays, with the folders that hold it, and the record goes: the folder is theirs from then on. A
// recorded file that could not be deleted keeps the record, so a later start tries again; a start
// that is killed midway leaves the record too. Never reports.
#pragma once

void removeSupersededBuilds();
