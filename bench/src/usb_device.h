// One device on the bench: an instrument or a power supply, described by a
// [DeviceN] section of the bench file. It answers control requests by FacId,
// queues transfers on its IN endpoints and takes DataPackets on 0x02.
// Identity and registers are read from the bench file at each use, so a
// change made by another process is seen at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_file.h"
#include "descriptors.h"
#include "flash_model.h"
#include "link_model.h"
#include "supply_panel.h"

namespace bench {

class UsbDevice {
 public:
  UsbDevice(BenchFile& file, std::string section, int slot);

  int Slot() const { return slot_; }
  const std::string& Section() const { return section_; }
  uint16_t VendorId();
  uint16_t ProductId();
  std::string SerialText();  // what the serial-number string descriptor says
  bool IsSupply();
  int ParentSlot();  // -1 when the device sits on the bus directly

  std::vector<uint8_t> DeviceDescriptor();
  // False when the device has no such descriptor (the request stalls).
  bool ConfigDescriptor(uint8_t index, std::vector<uint8_t>* out);
  bool StringDescriptor(uint8_t index, std::vector<uint8_t>* out);
  ConfigLayout Layout();

  // Control requests on endpoint 0; a status other than 0 means a stall or
  // a failure; `answer` gets at most maxLen bytes.
  uint32_t ControlIn(uint16_t facId, uint16_t wIndex, uint32_t maxLen,
                     std::vector<uint8_t>* answer);
  uint32_t ControlOut(uint16_t facId, uint16_t wIndex, const uint8_t* data, uint32_t len);

  // The acknowledgement event of a finished control request, on 0x83.
  void Acknowledge(uint16_t facId);
  void Queue(uint8_t endpoint, std::vector<uint8_t> transfer);
  bool TakeQueued(uint8_t endpoint, std::vector<uint8_t>* transfer);
  void TakePacket(const uint8_t* data, uint32_t len);
  const std::vector<std::vector<uint8_t>>& PacketsTaken() const { return packetsOut_; }

  // Bulk bytes per second of the modelled link ("Link=full" or "high");
  // 0 when the link is not modelled and transfers take no time.
  double LinkRate();
  std::shared_ptr<LinkModel> link = std::make_shared<LinkModel>();

  // Bus state of this process (a device starts present and unconfigured).
  bool present = true;
  uint32_t generation = 1;
  uint8_t configuration = 0;
  std::map<uint16_t, uint16_t> alternates;
  bool holdBack = false;  // away after a reboot: does not return with its carrier
  void ResetBusState();
  // The device restarts and is back after awayMs: what it holds in RAM is
  // gone, and a supply's front panel boots.
  void Restart(uint32_t awayMs) { panel_.Restart(awayMs); }

 private:
  std::string Get(const char* key, const std::string& fallback = {});
  DescriptorSpec Spec();
  std::vector<uint8_t> SupplyBlock();
  std::string RegisterKey(uint16_t facId, uint16_t wIndex) const;

  BenchFile& file_;
  std::string section_;
  int slot_;
  std::map<uint8_t, std::deque<std::vector<uint8_t>>> queues_;
  std::vector<std::vector<uint8_t>> packetsOut_;
  double linkRate_ = -1;
  FlashModel flash_;
  SupplyPanel panel_;
};

}  // namespace bench
