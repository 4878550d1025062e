// The per-session attributes: time-out, acknowledgement handling, endpoint
// choice, the device's identity and two free values for the caller.
#pragma once

#include <cstdint>

namespace corvel {

constexpr char kLibraryRevision[] = "Rev 1.0.0, 12/2004, DEBUG";

unsigned long SetAttribute(void* session, uint32_t id, uint32_t value);
// `out` receives 4 bytes for a u32, 2 for a u16, a text with its zero
// (attribute 2 up to 256 bytes, attribute 7 up to 128).
unsigned long GetAttribute(void* session, uint32_t id, void* out);

}  // namespace corvel
