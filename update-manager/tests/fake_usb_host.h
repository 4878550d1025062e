// A USB host-controller library in memory: the controllers a test PC has and
// every switch Kestor makes.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "environment/corvel_binding.h"
#include "environment/system_environment.h"

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

// Gives the environment the PC in memory and a switch-off mark of the running
// test's own (a registry key of the test), so that tests in parallel and the
// Kestor.exe runs of other tests never see each other's marks. The mark starts
// cleared in each test and carries over between environments of one test,
// as it does between two runs of Kestor.
inline void UseUsbHostPc(SystemEnvironment& environment, UsbHostPc& pc) {
  static std::string lastTest;
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string test = info ? std::string(info->test_suite_name()) + "." + info->name() : "";
  const std::string key =
      "Software\\Kestor\\Tests\\" + std::to_string(GetCurrentProcessId()) + "\\" + test;
  if (test != lastTest) {
    lastTest = test;
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_SET_VALUE, &handle) == ERROR_SUCCESS) {
      RegDeleteValueA(handle, kUsb2OffValue);
      RegCloseKey(handle);
    }
  }
  environment.SetRegistryKeyPath(key);
  environment.SetUsbHostFunctions(UsbHostOf(pc));
}
