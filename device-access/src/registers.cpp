#include "registers.h"

#include <cstdio>

#include "corvel/corvel.h"
#include "event_pipe.h"
#include "library.h"
#include "lumetra/wire.h"
#include "transfer_start.h"
#include "vendor_request.h"

namespace corvel {
namespace {

constexpr uint32_t kStatusWordSize = 2;

void TraceValue(const char* format, unsigned long value) {
  char line[64];
  std::snprintf(line, sizeof line, format, value);
  TheLibrary().Log().Write(line);
}

// The acknowledgement the device sends for the register's request.
Status AwaitAcknowledge(const SessionUse& use, uint32_t reg) {
  // The register travelled as the request's 16-bit value; the device names
  // that value.
  return WaitForAcknowledge(use, use->acknowledgeId, 0, static_cast<uint16_t>(reg));
}

Status ReadRequestFailure(usbdrv::Status driverStatus) {
  return driverStatus == usbdrv::USBDRV_ERR_DEVICE_REMOVED ? LM_ERROR_DEVICE_DISCONNECTED
                                                           : LM_ERROR_SYSTEM_ERROR;
}

}  // namespace

Status SetRegister(const void* session, uint32_t reg, uint32_t index, const void* data,
                   uint32_t size) {
  SessionUse use;
  Status status = StartTransfer(session,
                                {"In LmSetRegister:\n", "   ERROR: WAIT_TIMEOUT, return\n\n",
                                 "   ERROR: wait_result != WAIT_OBJECT_0, return\n\n",
                                 "   ERROR: Device Disconected, return\n\n"},
                                &use);
  if (status != LM_SUCCESS) return status;
  if (!data && size > 0) return LM_ERROR_PARAMETER4;
  uint32_t length = size;
  usbdrv::Status driverStatus = use.device->VendorRequestOut(
      const_cast<void*>(data), &length,
      usbdrv::RegisterRequest(static_cast<uint16_t>(reg), static_cast<uint16_t>(index)));
  if (driverStatus != 0 && driverStatus != USBDRV_ERR_TIMEOUT) {
    TheLibrary().Log().Write(
        "   ERROR: !((status == USBDRV_ERR_TIMEOUT) || (status == LM_SUCCESS))\n\n");
    return LM_ERROR_SYSTEM_ERROR;
  }
  // A request that timed out was not done: an acknowledgement still queued
  // from an earlier request to the register must not report it done.
  status = driverStatus == USBDRV_ERR_TIMEOUT ? LM_ERROR_TMO : AwaitAcknowledge(use, reg);
  TraceValue("   Function return status = 0x%lx\n\n", status);
  return status;
}

Status GetRegister(const void* session, uint32_t reg, uint32_t index, void* buffer, uint32_t size) {
  SessionUse use;
  Status status =
      StartTransfer(session,
                    {"In LmGetRegister:\n", "   ERROR: wait_result == WAIT_TIMEOUT, return\n\n",
                     "   ERROR: wait_result != WAIT_OBJECT_0, return\n\n",
                     "   ERROR: Device disconected, return\n\n"},
                    &use);
  if (status != LM_SUCCESS) return status;
  if (!buffer && size > 0) return LM_ERROR_PARAMETER4;
  uint32_t length = size;
  usbdrv::Status driverStatus = use.device->VendorRequestIn(
      buffer, &length,
      usbdrv::RegisterRequest(static_cast<uint16_t>(reg), static_cast<uint16_t>(index)));
  if (driverStatus != 0) return ReadRequestFailure(driverStatus);
  status = AwaitAcknowledge(use, reg);
  TraceValue("   Return value: 0x%lx\n\n", status);
  return status;
}

int GetStatus(const void* session) {
  TheLibrary().Log().Write("In LmGetStatus:\n");
  Status status = CheckSession(session);
  if (status != LM_SUCCESS) return static_cast<int>(status);
  uint8_t word[4] = {};
  status = GetRegister(session, STATUS_REGISTER, 0, word, kStatusWordSize);
  if (status != LM_SUCCESS) return static_cast<int>(status);
  uint16_t value = le::U16(word);
  TraceValue("   Return 0x%lx\n\n", value);
  return value;
}

int GetDeviceCaps(const void* session, uint32_t reg, uint32_t index, void* buffer, uint32_t size) {
  SessionUse use;
  Status status = StartTransfer(
      session,
      {"In LmGetDeviceCaps:\n", nullptr, nullptr, "   ERROR: Device not found, return\n\n"}, &use,
      Gate::None);
  if (status != LM_SUCCESS) return static_cast<int>(status);
  if (!buffer && size > 0) return static_cast<int>(LM_ERROR_PARAMETER4);
  uint32_t length = size;
  usbdrv::Status driverStatus = use.device->VendorRequestIn(
      buffer, &length,
      usbdrv::RegisterRequest(static_cast<uint16_t>(reg), static_cast<uint16_t>(index)));
  if (driverStatus != 0) return static_cast<int>(ReadRequestFailure(driverStatus));
  status = AwaitAcknowledge(use, reg);
  if (status != LM_SUCCESS) return static_cast<int>(status);
  TraceValue("   Return Value byte_count: 0x%lx \n\n", length);
  return static_cast<int>(length);
}

}  // namespace corvel
