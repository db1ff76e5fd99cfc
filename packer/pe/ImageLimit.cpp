#include "ImageLimit.h"

std::string imageLimitProblem(uint64_t rest_bytes, uint64_t payload_bound, uint64_t padding) {
  if (payload_bound <= kImageLimit && rest_bytes + padding <= kImageLimit - payload_bound) return {};
  return "the payload can take up to " + std::to_string(payload_bound) + " bytes and the rest of the executable " +
         std::to_string(rest_bytes) + " bytes: together more than the " + std::to_string(kImageLimit) +
         " bytes Windows loads as one executable image (compression may win some of it, but that is known only "
         "once it is done)";
}
