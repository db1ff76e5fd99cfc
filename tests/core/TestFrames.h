// Zstandard frames for the payload tests: made with the library (exact header fields) or with the
// zstd command-line tool (host only).
#pragma once

#include <zstd.h>

#include <stdexcept>
#include <string>

struct FrameOptions {
  int window_log = 27;
  bool content_size = false;
  bool checksum = false;
};

// Text-like and incompressible runs mixed, so frames have several blocks of both kinds.
inline std::string mixedContent(size_t size) {
  std::string data(size, '\0');
  uint32_t state = 12345;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    const bool noisy = (i / 50000) % 2 == 1;
    data[i] = noisy ? static_cast<char>(state >> 24) : "the quick brown fox "[i % 20];
  }
  return data;
}

// Fed in pieces and ended on an empty piece, so the compressor never learns the size.
inline std::string compressFrame(const std::string& content, FrameOptions options) {
  ZSTD_CCtx* context = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, options.window_log);
  ZSTD_CCtx_setParameter(context, ZSTD_c_contentSizeFlag, options.content_size ? 1 : 0);
  ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, options.checksum ? 1 : 0);
  std::string frame;
  std::string chunk(1 << 16, '\0');
  ZSTD_inBuffer input = {content.data(), content.size(), 0};
  for (ZSTD_EndDirective directive : {ZSTD_e_continue, ZSTD_e_end}) {
    if (directive == ZSTD_e_end) input = {nullptr, 0, 0};
    for (;;) {
      ZSTD_outBuffer output = {chunk.data(), chunk.size(), 0};
      const size_t remaining = ZSTD_compressStream2(context, &output, &input, directive);
      if (ZSTD_isError(remaining)) throw std::runtime_error(ZSTD_getErrorName(remaining));
      frame.append(chunk.data(), output.pos);
      if (directive == ZSTD_e_end ? remaining == 0 : input.pos == input.size) break;
    }
  }
  ZSTD_freeCCtx(context);
  return frame;
}

inline std::string corrupt(std::string bytes, size_t at) {
  for (size_t i = at; i < at + 16 && i < bytes.size(); ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
  return bytes;
}

// A grouped payload resource with the data frame length that the index frame at `at` (`length`
// bytes) records changed by `delta`: the frame decoded, the length changed, the frame made again.
inline std::string withRecordedLengthOff(std::string resource, size_t at, size_t length, int64_t delta) {
  std::string content(ZSTD_getFrameContentSize(resource.data() + at, length), '\0');
  ZSTD_decompress(content.data(), content.size(), resource.data() + at, length);
  uint64_t recorded = 0;
  for (int i = 7; i >= 0; --i) recorded = (recorded << 8) | static_cast<uint8_t>(content[4 + i]);
  recorded += delta;
  for (int i = 0; i < 8; ++i) content[4 + i] = static_cast<char>(recorded >> (8 * i));
  std::string frame(ZSTD_compressBound(content.size()), '\0');
  frame.resize(ZSTD_compress(frame.data(), frame.size(), content.data(), content.size(), 3));
  return resource.replace(at, length, frame);
}

#if !defined(_WIN32)
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

// Runs the real zstd tool over the content (as a file, so it may record the content size).
inline std::string compressWithTool(const std::string& content, const std::string& flags) {
  char input_path[] = "/tmp/onefile-frame-XXXXXX";
  const int fd = mkstemp(input_path);
  if (fd < 0 || write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()))
    throw std::runtime_error("cannot write the tool's input");
  close(fd);
  const std::string command = "zstd -q -c " + flags + " " + input_path;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run zstd");
  std::string frame;
  char chunk[65536];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) frame.append(chunk, got);
  const int status = pclose(pipe);
  unlink(input_path);
  if (status != 0 || frame.empty()) throw std::runtime_error("zstd failed: " + command);
  return frame;
}
#endif
