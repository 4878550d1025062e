// The per-session attributes: time-out, acknowledgement handling, endpoint
// choice, the device's identity and two free values for the caller.
#pragma once

#include <cstdint>

#include "status.h"

namespace corvel {

constexpr char kLibraryRevision[] = "Rev 1.0.0, 12/2004, DEBUG";

// Attribute ids.
enum Attribute : uint32_t {
  kAttrUserValue = 1,          // u32, free for the caller
  kAttrResourceName = 2,       // text, read-only
  kAttrTimeout = 3,            // u32 ms of transfers and waits; kNoTimeLimit waits for ever
  kAttrVendorId = 4,           // u32, read-only
  kAttrProductId = 5,          // u32, read-only
  kAttrRevision = 6,           // text, read-only
  kAttrProductString = 7,      // text read from the device, read-only
  kAttrWaitAcknowledge = 8,    // u16; 0: an acknowledgement wait ends after one pipe read
  kAttrAcknowledgeId = 9,      // u16, the event id of the acknowledgement
  kAttrDataInEndpoint = 10,    // u16; 0 reads data on 0x81, any other value on 0x83
  kAttrSnoozeTimer = 11,       // u32 ms, library-wide, read-only
  kAttrUserValue16 = 100,      // u16, free for the caller
  kAttrSkipAcknowledge = 101,  // u16; non-zero skips acknowledgement waits
};

constexpr uint32_t kNoTimeLimit = 0xFFFFFFFF;

Status SetAttribute(void* session, uint32_t id, uint32_t value);
// `out` receives 4 bytes for a u32, 2 for a u16, a text with its zero
// (attribute 2 up to 256 bytes, attribute 7 up to 128).
Status GetAttribute(void* session, uint32_t id, void* out);

}  // namespace corvel
