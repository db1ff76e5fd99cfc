#include "SharedFolderRule.h"

FolderDecision decideFolder(const FolderFacts& facts, bool below_shared) {
  if (!facts.exists) return {below_shared ? FolderStep::createPrivate : FolderStep::create, below_shared};
  if (!below_shared) return {FolderStep::use, facts.others_writable};
  // A link put there by someone else may point at a folder of the user's own, into which the start
  // would then unpack at their choosing.
  if ((facts.is_link && !facts.link_owned_by_user) || !facts.owned_by_user) return {FolderStep::refuseOwner, true};
  if (facts.group_writable || facts.others_writable) return {FolderStep::refuseWritable, true};
  return {FolderStep::use, true};
}
