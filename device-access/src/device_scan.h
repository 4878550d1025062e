// One pass over a device information set of all device classes, as the
// host-controller and driver operations scan it: members in index order
// until the enumeration fails, properties read with a buffer that grows to
// the size the first read asks for. The set is destroyed with the scan.
#pragma once

#include <string>
#include <vector>

#include "hwport/setupapi.h"

namespace corvel {

enum class PropertyRead { kRead, kMissing, kFailed };

class DeviceScan {
 public:
  enum Devices { kPresent, kPresentOrNot };
  explicit DeviceScan(Devices devices);
  ~DeviceScan();
  DeviceScan(const DeviceScan&) = delete;
  DeviceScan& operator=(const DeviceScan&) = delete;

  // False when the set could not be built (the last error tells why).
  bool Built() const { return set_ != INVALID_HANDLE_VALUE; }
  // Moves to the next member; false when the enumeration ends.
  bool Next();

  HDEVINFO Set() const { return set_; }
  SP_DEVINFO_DATA* Device() { return &device_; }

  // The member's service name (SPDRP_SERVICE).
  PropertyRead Service(std::string* service);
  // The member's hardware-id list (SPDRP_HARDWAREID).
  PropertyRead HardwareIds(std::vector<std::string>* ids);

 private:
  PropertyRead Read(DWORD property);

  HDEVINFO set_;
  SP_DEVINFO_DATA device_{};
  DWORD index_ = 0;
  std::vector<BYTE> buffer_;
  size_t length_ = 0;  // bytes of the last value read
};

bool EqualIgnoringCase(const std::string& a, const std::string& b);

// The Windows error to report for a failed step: the last error, or a
// general failure when the last error reads 0, so a failure never reads as success.
DWORD FailureCode(DWORD lastError);

}  // namespace corvel
