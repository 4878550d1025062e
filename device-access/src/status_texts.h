// The status codes' names and texts, from the one status table of corvel.h,
// as LmGetErrorString gives them. Plain portable C++.
#pragma once

#include <cstdint>

namespace corvel {

// The text of a status code in the table, or null for an unknown code.
const char* StatusText(uint32_t status);
// The constant's name of a status code ("LM_ERROR_TMO"), or null.
const char* StatusName(uint32_t status);

// Copies the status' text ("Unknown Error 0x%X" for an unknown code) into
// buffer as strncpy does: at most size bytes, padded with zero bytes, a text
// of size characters or more cut without a terminator. Returns LM_SUCCESS for
// a known code, LM_WARN_UNKNOWN_STATUS else.
uint32_t CopyStatusText(uint32_t status, char* buffer, int size);

}  // namespace corvel
