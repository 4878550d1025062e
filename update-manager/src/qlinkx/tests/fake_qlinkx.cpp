// A qlinkx.dll look-alike for the binding's tests. Built once complete and
// once without each function (WITHOUT_<name>). Every function answers with
// values made from its arguments, so a test sees that they arrived in order.
#include <windows.h>

#include <cstdint>
#include <cstring>

#define FAKE_EXPORT extern "C" __declspec(dllexport)

#ifndef WITHOUT_AssignDevice
FAKE_EXPORT int32_t WINAPI AssignDevice(int32_t vendorId, int32_t productId, const char* serial,
                                        void* block) {
  if (block) std::memset(block, 0xA5, 18);
  return productId * 1000 + (vendorId == 0x0E7B ? 1 : 0) + (serial && *serial ? 10 : 0);
}
#endif

#ifndef WITHOUT_UnAssignDevice
FAKE_EXPORT int32_t WINAPI UnAssignDevice(int32_t device) { return device; }
#endif

#ifndef WITHOUT_GetSerNrs
FAKE_EXPORT int32_t WINAPI GetSerNrs(int32_t vendorId, int32_t productId, char* text) {
  std::strcpy(text, ";FAKE00001 ");
  return vendorId == 0x0E7B ? productId : -1;
}
#endif

#ifndef WITHOUT_GetRegister
FAKE_EXPORT int32_t WINAPI GetRegister(int32_t device, int32_t registerId, int32_t channel,
                                       void* buffer, int32_t length) {
  std::memset(buffer, registerId & 0xFF, static_cast<size_t>(length));
  return device * 10 + channel;
}
#endif

#ifndef WITHOUT_SetRegister
FAKE_EXPORT int32_t WINAPI SetRegister(int32_t device, int32_t registerId, int32_t channel,
                                       const void* data, int32_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  return (registerId == 0x2333 ? 1000 : 0) + device * 10 + channel + length +
         (length ? bytes[0] : 0);
}
#endif

#ifndef WITHOUT_ReadIrpt
FAKE_EXPORT int32_t WINAPI ReadIrpt(int32_t device, void* buffer, int32_t* length) {
  const uint8_t reply[10] = {10, 0, 0x70, 0x61, 0, 0, 0, 0, 0xC4, 0};
  std::memcpy(buffer, reply, sizeof reply);
  *length = sizeof reply;
  return device;
}
#endif

#ifndef WITHOUT_GetStringDescriptor
FAKE_EXPORT int32_t WINAPI GetStringDescriptor(int32_t device, int32_t index, void* buffer,
                                               int32_t* size) {
  const uint8_t descriptor[4] = {4, 3, 'A', 0};
  std::memcpy(buffer, descriptor, sizeof descriptor);
  *size = sizeof descriptor;
  return device * 10 + index;
}
#endif
