// The decompressing reader over the payload: exactly the next n bytes of the entry list per
// request, decoded on demand through one 131072-byte window.
//
// Between decoder calls `output.size` holds the window's fill and `output.pos` the cursor (how
// many of those bytes were delivered); during a call they are the decoder's own. Before the first
// call both are 0, so the first request decodes. 0 <= cursor <= fill <= window size holds between
// calls, and every decoded byte is delivered once, in order.
#pragma once

#include <zstd.h>

#include "OnefilePlatform.h"

constexpr size_t kPayloadWindowSize = 131072;
// The largest frame window the decoder accepts with its default parameters, which the launcher
// keeps: a frame that needs more fails to decode.
constexpr uint64_t kPayloadWindowLimit = uint64_t{1} << 27;  // zstd's ZSTD_WINDOWLOG_LIMIT_DEFAULT

struct PayloadStream {
  ZSTD_DCtx* context;
  ZSTD_inBuffer input;
  ZSTD_outBuffer output;
  // True before the first decoder call and after a call that ended a frame (its result was 0):
  // the input then stands at the start of the next frame, if any.
  bool at_frame_boundary;
};

enum class PayloadStatus : uint8_t {
  ok,
  outOfMemory,  // the window or the decoder context could not be allocated
  decodeError,  // the decoder refused the data, or the input ended before a request was met
};

// Allocates the window and a decoder context with default parameters (windows up to 2^27 bytes).
PayloadStatus openPayloadStream(PayloadStream& stream, const uint8_t* compressed, uint64_t length);

// Points an open stream at another payload, from its first byte, keeping the window and the
// decoder context (and the buffers the decoder grew): for a program that reads many payloads one
// after another, such as a fuzz target, without allocating for each. Any earlier failure is
// forgotten.
void restartPayloadStream(PayloadStream& stream, const uint8_t* compressed, uint64_t length);

// Copies exactly the next `count` (at least 1) decoded bytes to `destination`, or fails; a failed
// request leaves the stream unusable.
PayloadStatus readPayload(PayloadStream& stream, void* destination, uint64_t count);

// Steps over the next frame without decoding it when that skips exactly the next `size` bytes of
// the entry list: the window holds nothing undelivered, the decoder has ended a frame, and the next
// frame declares a content size of exactly `size`. Returns false, having changed nothing, in every
// other case; the caller then reads the bytes and discards them.
bool skipSizedFrame(PayloadStream& stream, uint64_t size);

// Steps over the next `length` compressed bytes, the frame that follows the one the decoder has
// just ended, by moving the input position alone: no byte of them is read. `length` comes from the
// payload, so it is checked first: the decoder must have ended a frame with nothing of it left
// undelivered in the window (else the bytes skipped would not be a frame of their own), the length
// must lie within the input, and what follows must be the start of another frame (the frame magic
// number) or the end of the input. Any other case is a damaged payload: decodeError, with nothing
// changed. A length of 0 skips nothing.
PayloadStatus skipRecordedFrame(PayloadStream& stream, uint64_t length);

// For tools and tests, which can afford to walk a frame's block headers: the compressed length of
// the frame at the input position when the decoder has ended a frame with nothing of it left in
// the window and a whole frame that declares a content size of exactly `content_size` stands
// there; 0 in every other case.
uint64_t nextFrameLength(const PayloadStream& stream, uint64_t content_size);

// Frees the context and the window. Safe on a stream that failed to open.
void closePayloadStream(PayloadStream& stream);
