// The decompressing reader: exact delivery across window refills, and refusal of damaged,
// truncated and oversized frames. Frames come from the zstd library and from the real zstd
// command-line tool.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "PayloadStream.h"
#include "TestFrames.h"

namespace {

// Reads `content.size()` bytes in requests of the given sizes (cycled) and compares.
void expectReadsBack(const std::string& frame, const std::string& content, const std::vector<size_t>& requests) {
  PayloadStream stream;
  ASSERT_EQ(openPayloadStream(stream, reinterpret_cast<const uint8_t*>(frame.data()), frame.size()), PayloadStatus::ok);
  std::string got(content.size(), '\0');
  size_t done = 0;
  for (size_t i = 0; done < content.size(); ++i) {
    const size_t want = std::min(requests[i % requests.size()], content.size() - done);
    ASSERT_EQ(readPayload(stream, &got[done], want), PayloadStatus::ok) << "at " << done;
    done += want;
  }
  EXPECT_TRUE(got == content);
  closePayloadStream(stream);
}

PayloadStatus readAll(const std::string& frame, size_t count) {
  PayloadStream stream;
  EXPECT_EQ(openPayloadStream(stream, reinterpret_cast<const uint8_t*>(frame.data()), frame.size()), PayloadStatus::ok);
  std::string got(count, '\0');
  const PayloadStatus status = readPayload(stream, got.data(), count);
  closePayloadStream(stream);
  return status;
}

TEST(PayloadStream, DeliversEveryByteOnceAcrossRefills) {
  const std::string content = mixedContent(400000);
  const std::string frame = compressFrame(content, {});
  const std::vector<std::vector<size_t>> patterns = {
      {1},                            // every refill met by one-byte requests
      {2, 8, 4, 32768},               // the launcher's own request sizes
      {131071, 2},                    // a 2-byte unit straddling two fills
      {131072},                       // requests the size of the window
      {131073, 5},                    // requests larger than the window
      {400000},                       // one request for everything
      {3, 131070, 131074, 7},
  };
  for (const auto& pattern : patterns) {
    SCOPED_TRACE(testing::PrintToString(pattern));
    expectReadsBack(frame, content, pattern);
  }
}

TEST(PayloadStream, FramesOfTheCommandLineToolWithAndWithoutSizeAndChecksum) {
  const std::string content = mixedContent(300000);
  for (const char* flags : {"--no-check --no-content-size", "--check --no-content-size", "--no-check --content-size",
                            "--check --content-size", "-19 --long=27", "--ultra -22"}) {
    SCOPED_TRACE(flags);
    expectReadsBack(compressWithTool(content, flags), content, {2, 12, 32768});
  }
}

TEST(PayloadStream, ACallThatWritesNothingLeadsToTheNextCall) {
  // An empty frame first: the decoder consumes it whole and writes nothing.
  const std::string content = mixedContent(5000);
  expectReadsBack(compressFrame("", {}) + compressFrame(content, {}), content, {2, 12});
}

TEST(PayloadStream, TrailingBytesAfterTheFrameChangeNothing) {
  const std::string content = mixedContent(1000);
  const std::string trailer = std::string(6, '\0') + std::string("\x12\x34\x56\x78\x00\x00\x00\x00", 8);
  expectReadsBack(compressFrame(content, {}) + trailer, content, {2});
}

TEST(PayloadStream, RefusesWhatCannotBeDecoded) {
  const std::string content = mixedContent(200000);
  const std::string frame = compressFrame(content, {});
  struct Case {
    const char* what;
    std::string frame;
    size_t request;
  };
  const Case cases[] = {
      {"empty stream", "", 1},
      {"frame cut short", frame.substr(0, frame.size() - 10), content.size()},
      {"frame cut after its header", frame.substr(0, 6), 1},
      {"request past the frame's end", frame, content.size() + 1},
      {"wrong magic number", "\x29" + frame.substr(1), 1},
      {"window of 2^28", compressFrame(content, {28}), 1},
      {"corrupted first block header", corrupt(frame, 9), content.size()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(readAll(c.frame, c.request), PayloadStatus::decodeError);
  }
}

TEST(PayloadStream, AWindowOf2To27Decodes) {
  const std::string content = mixedContent(1000);
  expectReadsBack(compressFrame(content, {27}), content, {1000});
}

}  // namespace
