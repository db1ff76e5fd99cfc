// Bytes that someone else owns: a vector, or a file mapped into memory, so that a large executable
// can be read without a copy of it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

class ByteView {
 public:
  ByteView() = default;
  ByteView(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  // cppcheck-suppress noExplicitConstructor ; implicit, so that a vector is read wherever a view is
  ByteView(const std::vector<uint8_t>& bytes) : data_(bytes.data()), size_(bytes.size()) {}

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const uint8_t& operator[](size_t at) const { return data_[at]; }
  const uint8_t* begin() const { return data_; }
  const uint8_t* end() const { return data_ + size_; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};
