// A USB host-controller library in memory: the controllers a test PC has and
// every switch Kestor makes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "environment/corvel_binding.h"

struct UsbHostPc {
  bool host = true;      // a USB host controller is present
  bool extended = true;  // a USB 2.0 host controller is present
  bool disabled = false;
  std::vector<std::string> switches;  // "off" / "on", in order
};

class FakeUsbHost : public UsbHostFunctions {
 public:
  explicit FakeUsbHost(UsbHostPc& pc) : pc_(pc) {}
  int FindHostUSB() override { return pc_.host; }
  int FindExtendedUSBHost() override { return pc_.extended; }
  int IsUSBHostDisabled() override { return pc_.disabled; }
  int DisableUSBHost() override {
    pc_.switches.push_back("off");
    pc_.disabled = true;
    return 1;
  }
  int EnableUSBHost() override {
    pc_.switches.push_back("on");
    pc_.disabled = false;
    return 1;
  }

 private:
  UsbHostPc& pc_;
};

inline std::unique_ptr<UsbHostFunctions> UsbHostOf(UsbHostPc& pc) {
  return std::make_unique<FakeUsbHost>(pc);
}
