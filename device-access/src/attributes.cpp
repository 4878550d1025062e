#include "attributes.h"

#include <cstring>

#include "corvel/corvel.h"
#include "library.h"
#include "sessions.h"

namespace corvel {
namespace {

void PutU32(void* out, uint32_t v) { std::memcpy(out, &v, sizeof v); }
void PutU16(void* out, uint16_t v) { std::memcpy(out, &v, sizeof v); }

bool IsGone(uint32_t status) {
  return status == usbdrv::USBDRV_ERR_HC_NOT_RESPONDING ||
         status == usbdrv::USBDRV_ERR_DEVICE_REMOVED || status == usbdrv::USBDRV_ERR_OPEN_FAILED ||
         status == usbdrv::USBDRV_ERR_NO_MORE_MEMBERS;
}

// The device's product string, read afresh: the low byte of each character.
unsigned long ReadProductString(Session& session, char* out) {
  uint8_t descriptor[18] = {};
  uint32_t length = 0;
  uint32_t status = session.device->ReadDeviceDescriptor(descriptor, &length);
  if (IsGone(status)) return LM_ERROR_DEVICE_DISCONNECTED;
  if (length == 0) return LM_ERROR_SYSTEM_ERROR;
  uint8_t text[256] = {};
  uint32_t textLength = sizeof text;
  status = session.device->ReadStringDescriptor(text, &textLength, descriptor[15], 0);
  if (IsGone(status)) return LM_ERROR_DEVICE_DISCONNECTED;
  if (textLength == 0) return LM_ERROR_SYSTEM_ERROR;
  uint32_t end = textLength < text[0] ? textLength : text[0];
  size_t n = 0;
  for (uint32_t i = 2; i + 1 < end; i += 2) out[n++] = static_cast<char>(text[i]);
  out[n] = '\0';
  return status;
}

}  // namespace

unsigned long SetAttribute(void* handle, uint32_t id, uint32_t value) {
  TablesLock lock;
  unsigned long status = CheckSession(handle);
  if (status != LM_SUCCESS) return status;
  auto& s = *static_cast<Session*>(handle);
  uint16_t low = static_cast<uint16_t>(value);
  switch (id) {
    case 1:
      s.attr1 = value;
      break;
    case 3:
      s.timeout = value;
      break;
    case 8:
      s.waitAcknowledge = low;
      break;
    case 9:
      s.acknowledgeId = low;
      break;
    case 10:
      s.dataInEndpoint = low;
      break;
    case 100:
      s.attr100 = low;
      break;
    case 101:
      s.skipAcknowledge = low;
      break;
    case 2:
    case 4:
    case 5:
    case 6:
    case 7:
    case 11:
      return LM_ERROR_ATTR_READONLY;
    default:
      return LM_ERROR_NSUP_ATTR;
  }
  return LM_SUCCESS;
}

unsigned long GetAttribute(void* handle, uint32_t id, void* out) {
  TraceLog& log = TheLibrary().Log();
  log.Write("In LmGetAttribute:\n");
  TablesLock lock;
  unsigned long status = CheckSession(handle);
  if (status != LM_SUCCESS) return status;
  if (!out) {
    log.Write("   ERROR: LM_ERROR_PARAMETER3, return\n\n");
    return LM_ERROR_PARAMETER3;
  }
  auto& s = *static_cast<Session*>(handle);
  switch (id) {
    case 1:
      PutU32(out, s.attr1);
      break;
    case 2:
      std::memcpy(out, s.resourceName, std::strlen(s.resourceName) + 1);
      break;
    case 3:
      PutU32(out, s.timeout);
      break;
    case 4:
      PutU32(out, s.vendor_id);
      break;
    case 5:
      PutU32(out, s.product_id);
      break;
    case 6:
      std::memcpy(out, kLibraryRevision, sizeof kLibraryRevision);
      break;
    case 7:
      return ReadProductString(s, static_cast<char*>(out));
    case 8:
      PutU16(out, s.waitAcknowledge);
      break;
    case 9:
      PutU16(out, s.acknowledgeId);
      break;
    case 10:
      PutU16(out, s.dataInEndpoint);
      break;
    case 11:
      PutU32(out, TheLibrary().SnoozeTimer());
      break;
    case 100:
      PutU16(out, s.attr100);
      break;
    case 101:
      PutU16(out, s.skipAcknowledge);
      break;
    default:
      return LM_ERROR_NSUP_ATTR;
  }
  return LM_SUCCESS;
}

}  // namespace corvel
