#include "tessaro/byte_stream.h"

#include <cstring>

#include "lumetra/wire.h"
#include "tessaro/errors.h"

namespace tessaro {

size_t ByteStream::Read(void* out, size_t count) {
  fieldStart_ = position_;
  size_t n = size_ - position_ < count ? size_ - position_ : count;
  if (n) std::memcpy(out, data_ + position_, n);
  position_ += n;
  return n;
}

void ByteStream::ReadExact(void* out, size_t count, const std::string& message) {
  if (Read(out, count) != count) throw TessaroError(message);
}

const uint8_t* ByteStream::Take(size_t count, const std::string& message) {
  fieldStart_ = position_;
  if (size_ - position_ < count) {
    position_ = size_;
    throw TessaroError(message);
  }
  const uint8_t* p = data_ + position_;
  position_ += count;
  return p;
}

std::string ByteStream::ReadShortString(const std::string& message) {
  const size_t start = position_;
  uint8_t length = ReadU8(message);
  const uint8_t* p = nullptr;
  try {
    p = Take(length, message);
  } catch (...) {
    fieldStart_ = start;
    throw;
  }
  return std::string(reinterpret_cast<const char*>(p), length);
}

uint8_t ByteStream::ReadU8(const std::string& message) { return *Take(1, message); }

uint16_t ByteStream::ReadU16(const std::string& message) { return le::U16(Take(2, message)); }

uint32_t ByteStream::ReadU32(const std::string& message) { return le::U32(Take(4, message)); }

}  // namespace tessaro
