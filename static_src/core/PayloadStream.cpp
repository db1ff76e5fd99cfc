#include "PayloadStream.h"

#include <stdlib.h>

PayloadStatus openPayloadStream(PayloadStream& stream, const uint8_t* compressed, uint64_t length) {
  stream.context = nullptr;
  stream.input = {compressed, static_cast<size_t>(length), 0};
  stream.output = {malloc(kPayloadWindowSize), 0, 0};
  stream.at_frame_boundary = true;
  if (stream.output.dst == nullptr) return PayloadStatus::outOfMemory;
  stream.context = ZSTD_createDCtx();
  if (stream.context == nullptr) return PayloadStatus::outOfMemory;
  return PayloadStatus::ok;
}

void restartPayloadStream(PayloadStream& stream, const uint8_t* compressed, uint64_t length) {
  ZSTD_DCtx_reset(stream.context, ZSTD_reset_session_only);
  stream.input = {compressed, static_cast<size_t>(length), 0};
  stream.output.size = 0;
  stream.output.pos = 0;
  stream.at_frame_boundary = true;
}

PayloadStatus readPayload(PayloadStream& stream, void* destination, uint64_t count) {
  uint8_t* out = static_cast<uint8_t*>(destination);
  // Whether a decoder call of this request filled the whole window: the decoder may then still hold
  // decoded data after it has consumed its last input byte, and is called again even without input.
  bool filled = false;
  while (count > 0) {
    const size_t available = stream.output.size - stream.output.pos;
    if (available == 0) {
      if (stream.input.pos >= stream.input.size && !filled) return PayloadStatus::decodeError;
      stream.output.size = kPayloadWindowSize;
      stream.output.pos = 0;
      const size_t result = ZSTD_decompressStream(stream.context, &stream.output, &stream.input);
      filled = stream.output.pos == kPayloadWindowSize;
      if (ZSTD_isError(result)) return PayloadStatus::decodeError;
      stream.at_frame_boundary = result == 0;
      stream.output.size = stream.output.pos;
      stream.output.pos = 0;
      continue;  // a call may consume input only (frame and block headers) and write nothing
    }
    const size_t piece = available < count ? available : static_cast<size_t>(count);
    memcpy(out, static_cast<const uint8_t*>(stream.output.dst) + stream.output.pos, piece);
    stream.output.pos += piece;
    out += piece;
    count -= piece;
  }
  return PayloadStatus::ok;
}

bool skipSizedFrame(PayloadStream& stream, uint64_t size) {
  // The two largest sizes are what zstd answers for a frame that declares no size or a header it
  // cannot read: as sizes they would match exactly the frames that must never be stepped over.
  if (size == 0 || size >= ZSTD_CONTENTSIZE_ERROR || !stream.at_frame_boundary || stream.output.pos != stream.output.size) return false;
  const uint8_t* next = static_cast<const uint8_t*>(stream.input.src) + stream.input.pos;
  const size_t remaining = stream.input.size - stream.input.pos;
  if (ZSTD_getFrameContentSize(next, remaining) != size) return false;
  const size_t compressed = ZSTD_findFrameCompressedSize(next, remaining);
  if (ZSTD_isError(compressed) || compressed > remaining) return false;
  stream.input.pos += compressed;
  return true;
}

PayloadStatus skipRecordedFrame(PayloadStream& stream, uint64_t length) {
  if (length == 0) return PayloadStatus::ok;
  if (!stream.at_frame_boundary || stream.output.pos != stream.output.size) return PayloadStatus::decodeError;
  const uint64_t remaining = stream.input.size - stream.input.pos;
  if (length > remaining) return PayloadStatus::decodeError;
  const uint8_t* next = static_cast<const uint8_t*>(stream.input.src) + stream.input.pos + length;
  if (length != remaining) {
    if (remaining - length < 4) return PayloadStatus::decodeError;
    const uint32_t magic = next[0] | (next[1] << 8) | (next[2] << 16) | (static_cast<uint32_t>(next[3]) << 24);
    if (magic != ZSTD_MAGICNUMBER) return PayloadStatus::decodeError;
  }
  stream.input.pos += static_cast<size_t>(length);
  return PayloadStatus::ok;
}

uint64_t nextFrameLength(const PayloadStream& stream, uint64_t content_size) {
  if (!stream.at_frame_boundary || stream.output.pos != stream.output.size) return 0;
  const uint8_t* next = static_cast<const uint8_t*>(stream.input.src) + stream.input.pos;
  const size_t remaining = stream.input.size - stream.input.pos;
  if (content_size >= ZSTD_CONTENTSIZE_ERROR || ZSTD_getFrameContentSize(next, remaining) != content_size) return 0;
  const size_t length = ZSTD_findFrameCompressedSize(next, remaining);
  return ZSTD_isError(length) || length > remaining ? 0 : length;
}

void closePayloadStream(PayloadStream& stream) {
  ZSTD_freeDCtx(stream.context);
  stream.context = nullptr;
  free(stream.output.dst);
  stream.output = {nullptr, 0, 0};
}
