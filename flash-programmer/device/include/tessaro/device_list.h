// The device list: a snapshot of the devices the USBDRV driver serves at the
// moment it is made, one TDeviceInfo per device instance with its ids and
// its three descriptor texts.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tessaro/device.h"

namespace tessaro {

class TDeviceList {
 public:
  // Enumerates.
  TDeviceList();
  ~TDeviceList();
  TDeviceList(const TDeviceList&) = delete;
  TDeviceList& operator=(const TDeviceList&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  // Raises EDeviceError "Velquo.dll DeviceList.GetDevice: \"...\"" for a bad index.
  TDeviceInfo* GetDevice(int index);
  void Clear();

 private:
  std::vector<std::unique_ptr<TDeviceInfo>> items_;
};

class TUsbDevices {
 public:
  TUsbDevices() : list_(new TDeviceList) {}
  int Count() const { return list_ ? list_->Count() : 0; }
  TDeviceInfo* GetDevice(int index);

 private:
  std::unique_ptr<TDeviceList> list_;
};

}  // namespace tessaro
