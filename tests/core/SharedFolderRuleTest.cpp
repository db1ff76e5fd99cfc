// Below a folder anyone can write to, a start makes its folders private and takes only folders of
// the user's own that nobody else can write to.
#include <gtest/gtest.h>

#include "SharedFolderRule.h"

namespace {

TEST(SharedFolderRule, TrustsOnlyTheUsersOwnFoldersBelowASharedOne) {
  //                       exists  link   link's  own    group  others
  const FolderFacts kMissing{false, false, false, false, false, false};
  const FolderFacts kOwnPrivate{true, false, false, true, false, false};
  const FolderFacts kOwnShared{true, false, false, true, false, true};
  const FolderFacts kOwnGroupWritable{true, false, false, true, true, false};
  const FolderFacts kOthers{true, false, false, false, false, false};
  const FolderFacts kTmp{true, false, false, false, true, true};  // root's /tmp, 1777
  const FolderFacts kOthersLinkToOwn{true, true, false, true, false, false};
  const FolderFacts kOwnLinkToOwn{true, true, true, true, false, false};
  const struct {
    const char* what;
    FolderFacts facts;
    bool below_shared;
    FolderStep step;
    bool below_shared_after;
  } cases[] = {
      {"missing, nothing shared above", kMissing, false, FolderStep::create, false},
      {"missing below /tmp", kMissing, true, FolderStep::createPrivate, true},
      {"/tmp itself", kTmp, false, FolderStep::use, true},
      {"another user's folder, nothing shared above", kOthers, false, FolderStep::use, false},
      {"own private folder below /tmp", kOwnPrivate, true, FolderStep::use, true},
      {"another user's folder below /tmp", kOthers, true, FolderStep::refuseOwner, true},
      {"own folder anyone can write to, below /tmp", kOwnShared, true, FolderStep::refuseWritable, true},
      {"own group-writable folder below /tmp", kOwnGroupWritable, true, FolderStep::refuseWritable, true},
      {"own group-writable folder, nothing shared above", kOwnGroupWritable, false, FolderStep::use, false},
      {"another user's link to an own folder, below /tmp", kOthersLinkToOwn, true, FolderStep::refuseOwner, true},
      {"own link to an own folder, below /tmp", kOwnLinkToOwn, true, FolderStep::use, true},
      {"own folder anyone can write to, nothing shared above", kOwnShared, false, FolderStep::use, true},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.what);
    const FolderDecision decision = decideFolder(row.facts, row.below_shared);
    EXPECT_EQ(row.step, decision.step);
    EXPECT_EQ(row.below_shared_after, decision.below_shared);
  }
}

}  // namespace
