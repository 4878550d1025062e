// The front panel's statuses, as the break code of its status query's reply.
#pragma once

#include <cstdint>

constexpr int32_t MMI_STATUS_READY = 0;
constexpr int32_t MMI_STATUS_WAITS_FOR_FILES = 4;
constexpr int32_t MMI_STATUS_REBOOTING = 7;
// Nothing read yet, or what was read no longer says anything.
constexpr int32_t MMI_STATUS_UNKNOWN = -1;
