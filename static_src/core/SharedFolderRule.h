// Where other users can write, nothing is unpacked unchecked. The extraction directory is walked
// from the root down; below a folder anyone can write to (such as /tmp, sticky or not) another
// user could have put a folder, or a link to one, where the application's folder belongs, and then
// read or change what a start unpacks there. So below such a folder a start makes its folders
// private (mode 0700) and takes an existing one only when it is the user's own and nobody else can
// write to it.
//
// The rule takes what the file system said about one folder of the path as data, so that it can be
// shown with a table.
#pragma once

#include "OnefilePlatform.h"

struct FolderFacts {
  bool exists;
  bool is_link;             // the entry itself is a symbolic link; the rest describes its target
  bool link_owned_by_user;  // with is_link: the link's own owner is the user
  bool owned_by_user;       // the effective user owns the folder
  bool group_writable;
  bool others_writable;     // anyone can write to it
};

enum class FolderStep : uint8_t {
  use,            // take the folder as it stands
  create,         // make it with the usual mode (0755, umask permitting)
  createPrivate,  // make it with mode 0700
  refuseOwner,    // below a shared folder, owned (or linked to) by another user
  refuseWritable, // below a shared folder, writable by the group or by others
};

struct FolderDecision {
  FolderStep step;
  bool below_shared;  // for the next folder down: a folder above it is one anyone can write to
};

// What to do with one folder of the path, given whether a folder above it is one anyone can write
// to. A missing folder is made (private below a shared one), and below it everything is the user's.
FolderDecision decideFolder(const FolderFacts& facts, bool below_shared);
