// The status codes' names and texts, from the one status table of corvel.h,
// as LmGetErrorString gives them.
#pragma once

#include "status.h"

namespace corvel {

// The text of a status code in the table, or null for an unknown code.
const char* StatusText(Status status);
// The constant's name of a status code ("LM_ERROR_TMO"), or null.
const char* StatusName(Status status);

// Copies the status' text ("Unknown Error 0x%X" for an unknown code) into
// buffer as strncpy does: at most size bytes, padded with zero bytes, a text
// of size characters or more cut without a terminator. Returns LM_SUCCESS for
// a known code, LM_WARN_UNKNOWN_STATUS else.
Status CopyStatusText(Status status, char* buffer, int size);

}  // namespace corvel
