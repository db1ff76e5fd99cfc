// What a pack does alike for both targets: the application's files compressed on the request's
// threads and written, in payload order, to the output at its place, hashed for the build id.
#pragma once

#include <stdint.h>

#include <filesystem>
#include <string>
#include <vector>

#include "JobCompressor.h"
#include "PackRequest.h"
#include "PackerPlatform.h"
#include "PayloadPlan.h"
#include "PeImage.h"
#include "Sha256.h"

// The payload on its way to the output file. Hashed as it goes, for the build id (the first 8
// bytes of the SHA-256 of the payload exactly as carried: resource 27 of a Windows launcher, the
// appended payload of a Linux one), and summed for the PE image checksum.
class PayloadOutput final : public ByteSink {
 public:
  explicit PayloadOutput(PartialOutput& output);
  void write(const char* data, size_t length) override;
  // A compressed job's bytes, in memory or spilled to a scratch file.
  void append(JobOutput& piece);
  uint64_t length() const { return sum_.length(); }
  const PeChecksumSum& sum() const { return sum_; }
  Sha256Digest digest() { return sha256Final(hash_); }

 private:
  PartialOutput& output_;
  Sha256State hash_;
  PeChecksumSum sum_;
  std::vector<char> copy_;
};

// The names and sizes that plan the payload.
std::vector<PlannedFile> plannedFiles(const std::vector<AppFile>& files);

// The planned jobs compressed on the request's threads and streamed to `payload` in order.
void compressPayload(const PackRequest& request, const std::vector<AppFile>& files, const PayloadPlan& plan,
                     PayloadOutput& payload);

// Throws PackError when the output is the input file itself; `role` names the input.
void requireOutputIsNoInput(const std::filesystem::path& output, const std::filesystem::path& input,
                            const std::string& role);

// The output's file name as UTF-16, the fallback of the product name. Throws PackError when it
// has none.
std::u16string outputName(const std::filesystem::path& output);
