#include "attributes.h"

#include <cstring>
#include <string>

#include "corvel/corvel.h"
#include "library.h"
#include "lumetra/wire.h"
#include "sessions.h"

namespace corvel {
namespace {

void PutU32(void* out, uint32_t v) { le::PutU32(static_cast<uint8_t*>(out), v); }
void PutU16(void* out, uint16_t v) { le::PutU16(static_cast<uint8_t*>(out), v); }

bool IsGone(usbdrv::Status status) {
  return status == usbdrv::USBDRV_ERR_HC_NOT_RESPONDING ||
         status == usbdrv::USBDRV_ERR_DEVICE_REMOVED || status == usbdrv::USBDRV_ERR_OPEN_FAILED ||
         status == usbdrv::USBDRV_ERR_NO_MORE_MEMBERS;
}

// The device's product string, read afresh.
Status ReadProductString(TUsbDrv& device, char* out) {
  uint8_t descriptor[wire::DeviceDescriptor::kSize] = {};
  uint32_t length = 0;
  usbdrv::Status status = device.ReadDeviceDescriptor(descriptor, &length);
  if (IsGone(status)) return LM_ERROR_DEVICE_DISCONNECTED;
  if (length == 0) return LM_ERROR_SYSTEM_ERROR;
  uint8_t text[256] = {};
  uint32_t textLength = sizeof text;
  status = device.ReadStringDescriptor(
      text, &textLength, wire::DeviceDescriptorView({descriptor, length}).ProductIndex(), 0);
  if (IsGone(status)) return LM_ERROR_DEVICE_DISCONNECTED;
  if (textLength == 0) return LM_ERROR_SYSTEM_ERROR;
  std::string product = wire::StringDescriptorText({text, textLength});
  std::memcpy(out, product.c_str(), product.size() + 1);
  return status;
}

}  // namespace

Status SetAttribute(void* handle, uint32_t id, uint32_t value) {
  SessionUse use;
  Status status = UseSession(handle, &use);
  if (status != LM_SUCCESS) return status;
  Session& s = *use.session;
  uint16_t low = static_cast<uint16_t>(value);
  switch (id) {
    case kAttrUserValue:
      s.attr1 = value;
      break;
    case kAttrTimeout:
      s.timeout = value;
      break;
    case kAttrWaitAcknowledge:
      s.waitAcknowledge = low;
      break;
    case kAttrAcknowledgeId:
      s.acknowledgeId = low;
      break;
    case kAttrDataInEndpoint:
      s.dataInEndpoint = low;
      break;
    case kAttrUserValue16:
      s.attr100 = low;
      break;
    case kAttrSkipAcknowledge:
      s.skipAcknowledge = low;
      break;
    case kAttrResourceName:
    case kAttrVendorId:
    case kAttrProductId:
    case kAttrRevision:
    case kAttrProductString:
    case kAttrSnoozeTimer:
      return LM_ERROR_ATTR_READONLY;
    default:
      return LM_ERROR_NSUP_ATTR;
  }
  return LM_SUCCESS;
}

Status GetAttribute(void* handle, uint32_t id, void* out) {
  TraceLog& log = TheLibrary().Log();
  log.Write("In LmGetAttribute:\n");
  SessionUse use;
  Status status = UseSession(handle, &use);
  if (status != LM_SUCCESS) return status;
  if (!out) {
    log.Write("   ERROR: LM_ERROR_PARAMETER3, return\n\n");
    return LM_ERROR_PARAMETER3;
  }
  const Session& s = *use.session;
  switch (id) {
    case kAttrUserValue:
      PutU32(out, s.attr1);
      break;
    case kAttrResourceName:
      std::memcpy(out, s.resourceName, std::strlen(s.resourceName) + 1);
      break;
    case kAttrTimeout:
      PutU32(out, s.timeout);
      break;
    case kAttrVendorId:
      PutU32(out, s.vendor_id);
      break;
    case kAttrProductId:
      PutU32(out, s.product_id);
      break;
    case kAttrRevision:
      std::memcpy(out, kLibraryRevision, sizeof kLibraryRevision);
      break;
    case kAttrProductString:
      return ReadProductString(*use.device, static_cast<char*>(out));
    case kAttrWaitAcknowledge:
      PutU16(out, s.waitAcknowledge);
      break;
    case kAttrAcknowledgeId:
      PutU16(out, s.acknowledgeId);
      break;
    case kAttrDataInEndpoint:
      PutU16(out, s.dataInEndpoint);
      break;
    case kAttrSnoozeTimer:
      PutU32(out, TheLibrary().SnoozeTimer());
      break;
    case kAttrUserValue16:
      PutU16(out, s.attr100);
      break;
    case kAttrSkipAcknowledge:
      PutU16(out, s.skipAcknowledge);
      break;
    default:
      return LM_ERROR_NSUP_ATTR;
  }
  return LM_SUCCESS;
}

}  // namespace corvel
