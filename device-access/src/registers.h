// Control requests on endpoint 0 that write or read a device register, each
// followed by the wait for the device's acknowledgement event.
#pragma once

#include <cstdint>

#include "status.h"

namespace corvel {

Status SetRegister(const void* session, uint32_t reg, uint32_t index, const void* data,
                   uint32_t size);
Status GetRegister(const void* session, uint32_t reg, uint32_t index, void* buffer, uint32_t size);
// The 16-bit device status word (non-negative), or a status.
int GetStatus(const void* session);
// The byte count of the data stage (non-negative), or a status.
int GetDeviceCaps(const void* session, uint32_t reg, uint32_t index, void* buffer, uint32_t size);

}  // namespace corvel
