// One endpoint of a device object bound for one operation. The object
// serves one endpoint at a time, so whatever happens after a successful
// bind, the endpoint is unbound again as the operation ends: an endpoint
// left bound would make every later bind of the device fail.
#pragma once

#include <cstdint>

#include "lumetra/device_protocol.h"
#include "usb_access.h"

namespace corvel {

using lm::EP_DATA_IN;
using lm::EP_DATA_OUT;
using lm::EP_EVENT_IN;

class BoundEndpoint {
 public:
  // Binds the endpoint and resets it; Status() tells how that went.
  BoundEndpoint(TUsbDrv& device, uint8_t endpoint) : device_(device) {
    // The object is opened with its device; opening it here would pick a
    // device by number instead of by the table's member.
    if (!device_.IsInstanceOpen()) {
      bindStatus_ = usbdrv::USBDRV_ERR_NOT_OPEN;
      return;
    }
    bindStatus_ = device_.BindEndpoint(0, endpoint, nullptr, nullptr);
    if (bindStatus_ == 0) resetStatus_ = device_.ResetEndpoint();
  }
  ~BoundEndpoint() {
    if (bindStatus_ == 0) device_.UnbindEndpoint();
  }
  BoundEndpoint(const BoundEndpoint&) = delete;
  BoundEndpoint& operator=(const BoundEndpoint&) = delete;

  usbdrv::Status BindStatus() const { return bindStatus_; }
  // The bind's status, else the reset's.
  usbdrv::Status Status() const { return bindStatus_ != 0 ? bindStatus_ : resetStatus_; }

 private:
  TUsbDrv& device_;
  usbdrv::Status bindStatus_ = 0;
  usbdrv::Status resetStatus_ = 0;
};

}  // namespace corvel
