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

constexpr char kRequestFailedLine[] =
    "   ERROR: !((status == USBDRV_ERR_TIMEOUT) || (status == LM_SUCCESS))\n\n";

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
    TheLibrary().Log().Write(kRequestFailedLine);
    return LM_ERROR_SYSTEM_ERROR;
  }
  // A request that timed out was not done: an acknowledgement still queued
  // from an earlier request to the register must not report it done.
  if (driverStatus == USBDRV_ERR_TIMEOUT) {
    status = LM_ERROR_TMO;
  } else {
    status = AwaitAcknowledge(use, reg);
    // The device acknowledges a data stage it took only in part (its
    // acknowledgement is off the queue now), but the register holds only
    // part of the data.
    if (length < size) {
      TheLibrary().Log().Write(kRequestFailedLine);
      return LM_ERROR_SYSTEM_ERROR;
    }
  }
  TraceValue("   Function return status = 0x%lx\n\n", status);
  return status;
}

namespace {

// LmGetRegister; `received` (when given) gets the byte count of the data
// stage.
Status ReadRegister(const void* session, uint32_t reg, uint32_t index, void* buffer, uint32_t size,
                    uint32_t* received) {
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
  if (received) *received = length;
  status = AwaitAcknowledge(use, reg);
  TraceValue("   Return value: 0x%lx\n\n", status);
  return status;
}

}  // namespace

// A register may be read into a buffer larger than its data; the byte count
// is not the caller's to see.
Status GetRegister(const void* session, uint32_t reg, uint32_t index, void* buffer, uint32_t size) {
  return ReadRegister(session, reg, index, buffer, size, nullptr);
}

int GetStatus(const void* session) {
  TheLibrary().Log().Write("In LmGetStatus:\n");
  Status status = CheckSession(session);
  if (status != LM_SUCCESS) return static_cast<int>(status);
  uint8_t word[4] = {};
  uint32_t received = 0;
  status = ReadRegister(session, STATUS_REGISTER, 0, word, kStatusWordSize, &received);
  if (status != LM_SUCCESS) return static_cast<int>(status);
  // Part of the word would read as another status.
  if (received < kStatusWordSize) return static_cast<int>(LM_ERROR_SYSTEM_ERROR);
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
