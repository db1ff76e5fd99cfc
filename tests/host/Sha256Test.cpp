// SHA-256 against the FIPS 180 examples, whole and fed in pieces that end inside, at and across
// block boundaries, since a streaming packer feeds it whatever lengths it reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "Sha256.h"

namespace {

struct Vector {
  const char* label;
  std::string message;
  const char* digest;
};

const std::string kMillionA(1000000, 'a');

const Vector kVectors[] = {
    {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    // 56 bytes: the length no longer fits the block, so the padding takes a second one.
    {"448 bits", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {"896 bits",
     "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
     "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
    {"one million a", kMillionA, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

TEST(Sha256, GivesTheFipsDigestsWholeAndInPieces) {
  for (const Vector& v : kVectors) {
    SCOPED_TRACE(v.label);
    EXPECT_EQ(hexDigits(sha256(v.message.data(), v.message.size())), v.digest);
    for (size_t piece : {1, 3, 55, 63, 64, 65, 4096}) {
      SCOPED_TRACE(piece);
      Sha256State state;
      sha256Init(state);
      for (size_t at = 0; at < v.message.size(); at += piece) {
        sha256Update(state, v.message.data() + at, std::min(piece, v.message.size() - at));
      }
      EXPECT_EQ(hexDigits(sha256Final(state)), v.digest);
    }
  }
}

TEST(Sha256, HexDigitsTakeTheDigestsFirstBytes) {
  EXPECT_EQ(hexDigits(sha256("abc", 3), 8), "ba7816bf8f01cfea");
}

}  // namespace
