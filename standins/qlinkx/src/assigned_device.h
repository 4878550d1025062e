// One device assigned to a device number: its device object for control
// requests and descriptors, and a second instance bound to the interrupt
// endpoint 0x83 that keeps one read outstanding, so no event the device
// sends between two ReadIrpt calls is lost.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "device_search.h"

namespace qlinkx {

// Results of the library besides device numbers and counts.
constexpr int32_t QLX_OK = 0;
constexpr int32_t QLX_ERR_NO_DEVICE = -1;        // no device with these ids (and serial number)
constexpr int32_t QLX_ERR_TABLE_FULL = -3;       // every device number is in use
constexpr int32_t QLX_ERR_INVALID_DEVICE = -20;  // device number not assigned, or the device gone
constexpr int32_t QLX_ERR_ARGUMENT = -21;        // a null buffer or a negative length
constexpr int32_t QLX_ERR_TRANSFER = -22;        // the driver refused the request

class AssignedDevice {
 public:
  // Takes the device the search found; configures it when nobody has yet and
  // binds its interrupt endpoint (a device without one still answers
  // control requests).
  explicit AssignedDevice(FoundDevice found);
  ~AssignedDevice();
  AssignedDevice(const AssignedDevice&) = delete;
  AssignedDevice& operator=(const AssignedDevice&) = delete;

  bool Is(int32_t vendorId, int32_t productId, const std::string& serial) const;
  // False once the device has left the bus (then every call gives -20).
  bool Alive();
  const uint8_t* Descriptor() const { return descriptor_; }

  // The bytes the device sent (at most length), or a failure.
  int32_t GetRegister(int32_t facId, int32_t channel, void* buffer, int32_t length);
  int32_t SetRegister(int32_t facId, int32_t channel, const void* data, int32_t length);
  // One transfer of the interrupt endpoint, cut to *length; *length = 0 when
  // none arrived within the wait.
  int32_t ReadIrpt(void* buffer, int32_t* length);
  int32_t GetStringDescriptor(int32_t index, void* buffer, int32_t* size);

 private:
  int32_t Failure(uint32_t status);
  void StartInterruptRead();

  int32_t vendorId_;
  int32_t productId_;
  std::string serial_;
  uint8_t descriptor_[wire::DeviceDescriptor::kSize];
  std::unique_ptr<QlinkxDrv> control_;
  QlinkxDrv interrupt_;
  usbdrv::TUsbDrvBuf interruptBuffer_;
  bool interruptBound_ = false;
  bool readPending_ = false;
  bool gone_ = false;
  bool handlesEnded_ = false;  // the driver no longer knows the handles
};

}  // namespace qlinkx
