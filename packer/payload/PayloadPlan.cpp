#include "PayloadPlan.h"

#include <stdexcept>

#include "PayloadGroup.h"
#include "PayloadHeader.h"

namespace {

uint64_t frameBound(uint64_t content) { return ZSTD_compressBound(static_cast<size_t>(content)); }

// A group index frame holds the index length (4 bytes) and the data frame's length (8 bytes).
constexpr uint64_t kGroupIndexPrefix = 12;

}  // namespace

PayloadPlan planPayload(const std::vector<PlannedFile>& files, PayloadLayout layout) {
  PayloadPlan plan;
  plan.layout = layout;
  plan.prefix.assign(reinterpret_cast<const char*>(kPayloadHeader), kPayloadHeaderLength);
  uint64_t bound = 0;
  if (layout == PayloadLayout::singleFrame) {
    uint64_t content = 2;  // the end marker
    for (const PlannedFile& file : files) {
      content += recordHeaderLength(file.name) + file.size;
      plan.data_bytes += file.size;
    }
    plan.jobs.push_back({JobKind::whole, 0, files.size(), plan.data_bytes});
    bound = frameBound(content);
  } else if (layout == PayloadLayout::perFile) {
    for (size_t i = 0; i < files.size(); ++i) {
      plan.jobs.push_back({JobKind::perFile, i, 1, files[i].size});
      plan.data_bytes += files[i].size;
      bound += frameBound(recordHeaderLength(files[i].name)) + (files[i].size > 0 ? frameBound(files[i].size) : 0);
    }
    plan.jobs.push_back({JobKind::end, files.size(), 0, 0});
    bound += frameBound(2);
  } else if (layout == PayloadLayout::grouped) {
    plan.prefix.append(reinterpret_cast<const char*>(kRecordedGroupsMarker), kRecordedGroupsMarkerLength);
    PayloadJob group{JobKind::group, 0, 0, 0};
    uint64_t index_bytes = 0;
    auto flush = [&]() {
      if (group.count == 0) return;
      plan.jobs.push_back(group);
      bound += frameBound(kGroupIndexPrefix + index_bytes) + (group.data_bytes > 0 ? frameBound(group.data_bytes) : 0);
      group = PayloadJob{JobKind::group, 0, 0, 0};
      index_bytes = 0;
    };
    for (size_t i = 0; i < files.size(); ++i) {
      const uint64_t header = recordHeaderLength(files[i].name);
      plan.data_bytes += files[i].size;
      if (files[i].size <= kGroupedFileLimit) {
        if (groupIsFull(index_bytes, group.data_bytes, header, files[i].size)) flush();
        if (group.count == 0) group.first = i;
        group.count += 1;
        group.data_bytes += files[i].size;
        index_bytes += header;
        continue;
      }
      flush();
      plan.jobs.push_back({JobKind::ownGroup, i, 1, files[i].size});
      bound += frameBound(kGroupIndexPrefix + header) + frameBound(files[i].size);
    }
    flush();
    plan.jobs.push_back({JobKind::end, files.size(), 0, 0});
    bound += frameBound(4);
  } else {
    throw std::invalid_argument("the packer plans only the grouped, single and per-file layouts");
  }
  plan.resource_bound = plan.prefix.size() + bound + kPayloadTrailerLength;
  return plan;
}
