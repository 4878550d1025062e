// Exact reads from a program file held in memory: every read that finds the
// file ending early raises the library's error with the caller's message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaro {

class ByteStream {
 public:
  ByteStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  // Copies up to `count` bytes; returns how many arrived.
  size_t Read(void* out, size_t count);
  void ReadExact(void* out, size_t count, const std::string& message);
  // One length byte, then that many bytes, both through ReadExact.
  std::string ReadShortString(const std::string& message);
  uint8_t ReadU8(const std::string& message);
  uint16_t ReadU16(const std::string& message);
  uint32_t ReadU32(const std::string& message);
  int32_t ReadI32(const std::string& message) { return static_cast<int32_t>(ReadU32(message)); }
  // A view of the next `count` bytes (advances); raises like ReadExact.
  const uint8_t* Take(size_t count, const std::string& message);

  size_t Position() const { return position_; }
  // Where the latest read began (a short string: its length byte): the offset
  // a reader reports for a field it could not read.
  size_t FieldStart() const { return fieldStart_; }
  void Rewind() { position_ = fieldStart_ = 0; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
  size_t fieldStart_ = 0;
};

}  // namespace tessaro
