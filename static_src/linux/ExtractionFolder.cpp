#include "ExtractionFolder.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include "LinuxReports.h"
#include "SharedFolderRule.h"
#include "SystemPathText.h"

namespace {

char FolderBytes[4096 * 3];

FolderFacts factsOf(const char* folder) {
  FolderFacts facts = {};
  struct stat entry = {};
  if (lstat(folder, &entry) != 0) return facts;
  facts.exists = true;
  const uid_t user = geteuid();
  facts.is_link = S_ISLNK(entry.st_mode);
  facts.link_owned_by_user = facts.is_link && entry.st_uid == user;
  // A dangling link is judged by its own owner; making a folder there then fails, and so does the
  // first file's open.
  if (facts.is_link && stat(folder, &entry) != 0) {
    facts.owned_by_user = facts.link_owned_by_user;
    return facts;
  }
  facts.owned_by_user = entry.st_uid == user;
  facts.group_writable = (entry.st_mode & S_IWGRP) != 0;
  facts.others_writable = (entry.st_mode & S_IWOTH) != 0;
  return facts;
}

// Decides about one folder and acts; returns whether a folder above the next one is shared.
bool settleFolder(const char* folder, bool below_shared) {
  // A folder made by someone else between the look and the mkdir is looked at once more.
  for (int attempt = 0; attempt < 2; ++attempt) {
    const FolderDecision decision = decideFolder(factsOf(folder), below_shared);
    switch (decision.step) {
      case FolderStep::use: return decision.below_shared;
      case FolderStep::create:
      case FolderStep::createPrivate: {
        const mode_t mode = decision.step == FolderStep::createPrivate ? 0700 : 0755;
        if (mkdir(folder, mode) == 0 || errno != EEXIST) return decision.below_shared;
        break;
      }
      case FolderStep::refuseOwner:
        failUnsafeFolder(folder, "it belongs to another user, below a folder anyone can write to");
      case FolderStep::refuseWritable:
        failUnsafeFolder(folder, "others can write to it, below a folder anyone can write to");
    }
  }
  return below_shared;
}

}  // namespace

void makeExtractionFolder(const WideUnit* directory) {
  if (!encodeSystemText(directory, kAllEscaped, FolderBytes, sizeof FolderBytes, true)) return;
  bool below_shared = settleFolder("/", false);
  for (size_t end = 1;; ++end) {
    const char unit = FolderBytes[end];
    if (unit != '/' && unit != 0) continue;
    // "//" has no folder between its separators.
    if (FolderBytes[end - 1] != '/') {
      FolderBytes[end] = 0;
      below_shared = settleFolder(FolderBytes, below_shared);
      FolderBytes[end] = unit;
    }
    if (unit == 0) return;
  }
}
