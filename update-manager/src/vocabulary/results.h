// The results of Kestor's device, front-panel and firmware operations
// besides 0 and the qlinkx library's own: each value once. A name that
// means the same as another is declared as its alias below the table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

// X(name, value); /* what it means */ before the row.
#define KESTOR_RESULTS(X)                                                             \
  /* The firmware part's product id is neither the supply's nor the device's. */      \
  X(FIRMWARE_UNKNOWN_PID, -1)                                                         \
  /* qlinkx: the device number is no longer valid. */                                 \
  X(DEVICE_NUMBER_STALE, -20)                                                         \
  /* qlinkx lacks a function other than AssignDevice. */                              \
  X(QLINKX_FUNCTION_MISSING, -23)                                                     \
  /* More than one device of the firmware part's product id. */                       \
  X(FIRMWARE_SEVERAL, -1002)                                                          \
  /* The device is gone. */                                                           \
  X(FIRMWARE_NO_DEVICE, -1003)                                                        \
  /* Not exactly one device with that product id. */                                  \
  X(DEVICE_NOT_ONE, -1004)                                                            \
  /* The supply never answered a packet. */                                           \
  X(DEVICE_NO_REPLY, -1005)                                                           \
  /* A register came with fewer bytes than it has. */                                 \
  X(DEVICE_SHORT_READ, -1006)                                                         \
  X(MMI_STOP_REFUSED, -5004)                                                          \
  /* AssignDevice while qlinkx is not loaded. */                                      \
  X(QLINKX_NOT_LOADED, -5008)                                                         \
  /* AssignDevice missing from qlinkx. */                                             \
  X(QLINKX_ASSIGN_MISSING, -5009)                                                     \
  /* An MMI file missing, unreadable or shorter than its header. */                   \
  X(MMI_FILE_UNREADABLE, -5010)                                                       \
  X(MMI_WRONG_TYPE, -5011)                                                            \
  X(MMI_WRONG_DEVICE, -5012)                                                          \
  /* A cancel was requested (between files, packets or waits). */                     \
  X(MMI_CANCELLED, -5020)                                                             \
  X(MMI_NO_UPDATE_MODE, -5021)                                                        \
  /* An execute never reported ready. */                                              \
  X(MMI_NOT_READY, -5022)                                                             \
  /* The files are in and the supply was rebooted; a cancel ended the wait for it. */ \
  X(MMI_CANCELLED_RESTARTING, -5023)                                                  \
  /* The SupplyBlock could not be read or written. */                                 \
  X(DEVICE_RELEASE_WRITE, -5030)                                                      \
  /* The supply is not the one found at the start. */                                 \
  X(DEVICE_OTHER_SUPPLY, -5031)                                                       \
  /* The flash library is missing or incomplete: Programing could not be called. */   \
  X(FIRMWARE_NO_LIBRARY, -5040)                                                       \
  X(MMI_NOT_TAKEN, -5050)                                                             \
  X(MMI_NO_SUPPLY, -5051)                                                             \
  /* A program, GOSUSB or reboot file failed. */                                      \
  X(FIRMWARE_FILE_FAILED, -5555)

#define KESTOR_RESULT_CONSTANT(name, value) constexpr int32_t name = value;
KESTOR_RESULTS(KESTOR_RESULT_CONSTANT)
#undef KESTOR_RESULT_CONSTANT

// The same results under the names their callers give them.
constexpr int32_t FIRMWARE_CANCELLED = MMI_CANCELLED;
// TransferProgramFile without a serial number: the device could not be read.
constexpr int32_t TRANSFER_NO_SERIAL = FIRMWARE_NO_DEVICE;
constexpr int32_t FLASH_LIBRARY_MISSING = FIRMWARE_NO_LIBRARY;

namespace kestor_results_detail {
constexpr int32_t kValues[] = {
#define KESTOR_RESULT_VALUE(name, value) value,
    KESTOR_RESULTS(KESTOR_RESULT_VALUE)
#undef KESTOR_RESULT_VALUE
};
constexpr bool AllDifferent() {
  for (size_t i = 0; i < std::size(kValues); ++i)
    for (size_t k = i + 1; k < std::size(kValues); ++k)
      if (kValues[i] == kValues[k]) return false;
  return true;
}
}  // namespace kestor_results_detail
static_assert(kestor_results_detail::AllDifferent(),
              "two results share a value: declare one as the other's alias");
