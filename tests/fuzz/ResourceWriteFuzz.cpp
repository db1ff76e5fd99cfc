// Fuzz target: arbitrary bytes as the stub that `onefile-pack pack --stub` rewrites. Either the
// stub is refused with a PackError, or the packed image reads again with our own reader, holds
// every resource the stub had, carries resources 27 and 28 exactly, and can be packed once more.
// Anything else (another exception, a crash, a sanitizer report, a lost resource) is a finding.
#include <stdint.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>

#include <vector>

#include "PackError.h"
#include "PayloadHeader.h"
#include "PeImage.h"
#include "PeResourceUpdate.h"
#include "ResourceTree.h"

namespace {

void require(bool condition, const char* what) {
  if (condition) return;
  fprintf(stderr, "resource-write: %s\n", what);
  abort();
}

bool sameTree(const ResourceNode& a, const ResourceNode& b) {
  if (a.key.is_name != b.key.is_name || a.key.id != b.key.id || a.key.name != b.key.name || a.is_leaf != b.is_leaf ||
      a.children.size() != b.children.size()) {
    return false;
  }
  if (a.is_leaf) return a.data == b.data && a.code_page == b.code_page;
  if (a.characteristics != b.characteristics || a.time_date_stamp != b.time_date_stamp ||
      a.major_version != b.major_version || a.minor_version != b.minor_version) {
    return false;
  }
  for (size_t i = 0; i < a.children.size(); ++i) {
    if (!sameTree(a.children[i], b.children[i])) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<uint8_t> kPayload = {'Q', 'O', 'V', 0x28, 0xB5, 0x2F, 0xFD, 1, 2, 3};
  static const std::vector<uint8_t> kSplash = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const std::vector<uint8_t> stub(data, data + size);
  PeLayout layout;
  ResourceNode expected;
  std::vector<uint8_t> packed;
  try {
    layout = readPeLayout(stub);
    const ResourcePlacement placement = planResourcePlacement(stub, layout);
    expected = readResourceTree(stub, layout);
    setResource(expected, kRtRcdata, kPayloadResourceId, kLanguageNeutral, kPayload);
    setResource(expected, kRtRcdata, kSplashResourceId, kLanguageNeutral, kSplash);
    packed = rebuildWithResources(stub, layout, placement, expected);
  } catch (const PackError&) {
    return 0;  // refused, with a message
  }

  try {
    const PeLayout packed_layout = readPeLayout(packed);
    const ResourceNode reread = readResourceTree(packed, packed_layout);
    require(sameTree(reread, expected), "the packed image's resources differ from the stub's with 27 and 28 set");
    const ResourceNode* payload = findResource(reread, kRtRcdata, kPayloadResourceId);
    require(payload != nullptr && payload->data == kPayload, "resource 27 cannot be found in the packed image");
    planResourcePlacement(packed, packed_layout);
  } catch (const PackError& error) {
    fprintf(stderr, "resource-write: the packed image is refused: %s\n", error.what());
    abort();
  }
  return 0;
}
