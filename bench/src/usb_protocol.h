// What the bench's devices and driver speak: the driver's control codes and
// status codes, and the instrument protocol's records. The bench keeps these
// (and its little-endian helpers) apart from the suite's shared wire and
// driver headers on purpose: it is the oracle the code under test is checked
// against, so a mistake in a shared definition cannot hide on both sides.
#pragma once

#include <cstdint>

namespace bench {

// Driver I/O control codes.
enum : uint32_t {
  kIoReadDescriptor = 0x80942006,
  kIoGetConfiguration = 0x80942018,
  kIoGetInterface = 0x8094201C,
  kIoApplyConfiguration = 0x80942024,
  kIoClearConfiguration = 0x80942028,
  kIoVendorRequestIn = 0x80942032,
  kIoVendorRequestOut = 0x80942035,
  kIoQueryDriverInfo = 0x8094206C,
  kIoCyclePort = 0x80942070,
  kIoBindEndpoint = 0x80942078,
  kIoUnbindEndpoint = 0x8094207C,
  kIoResetEndpoint = 0x80942080,
};

// Driver status codes the bench produces.
enum : uint32_t {
  kStatusOk = 0,
  kErrStall = 0xE0000004,
  kErrOverrun = 0xE0000008,
  kErrInputTooSmall = 0xE0001001,
  kErrOutputTooSmall = 0xE0001002,
  kErrAlreadyConfigured = 0xE0001005,
  kErrNotConfigured = 0xE0001006,
  kErrOpenPipes = 0xE0001007,
  kErrPipeBound = 0xE0001008,
  kErrNotBound = 0xE0001009,
  kErrRemoved = 0xE000100A,
  kErrRequestTimeout = 0xE000100C,
  kErrBadRecipient = 0xE000100D,
  kErrBadIoCode = 0xE000100F,
  kErrBadDirection = 0xE0001010,
  kErrPipeNotFound = 0xE0001013,
  kErrInterfaceNotFound = 0xE0001016,
  kErrBadParameter = 0xE0001018,
};

constexpr uint16_t kVendorId = 0x0E7B;
constexpr uint8_t kVendorRequest = 0x35;
constexpr uint16_t kFacStatus = 0x0200;
constexpr uint16_t kFacVersion = 0x1010;
constexpr uint16_t kFacSupplyModules = 0x2200;
constexpr uint16_t kEventAcknowledge = 0x67FF;
constexpr uint32_t kSupplyBlockSize = 758;

inline uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace bench
