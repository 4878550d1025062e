// A device that answers nothing: every read gives 0 bytes, every write is
// dropped. For tests that need a device only for its clients or its log.
#pragma once

#include "tessaro/device.h"

namespace tessaro_test {

class IdleDevice : public tessaro::TDevice {
 public:
  explicit IdleDevice(const tessaro::TDeviceInfo& info = tessaro::TDeviceInfo()) : TDevice(info) {}
  uint16_t GetVendorData(uint16_t, uint16_t, uint16_t, void*) override { return 0; }
  uint16_t GetStatus(uint16_t) override { return 0; }
  void SendCommand(uint16_t, uint16_t) override {}
  void SetRegister(uint16_t, uint16_t, uint16_t, const void*) override {}
  uint16_t GetRegister(uint16_t, uint16_t, uint16_t, void*) override { return 0; }
  void SetFacilityData(uint16_t, uint16_t, uint16_t, const void*) override {}
  uint16_t GetFacilityData(uint16_t, uint16_t, uint16_t, void*) override { return 0; }
  void SetFlashData(uint16_t, const void*, uint16_t) override {}
  uint16_t GetFlashData(uint16_t, void*, uint16_t) override { return 0; }
  void WriteData(uint16_t, const void*, uint16_t) override {}
  bool CyclePort() override { return false; }
};

}  // namespace tessaro_test
