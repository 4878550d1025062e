#include "usb_device.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "firmware_version.h"
#include "usb_protocol.h"

namespace bench {
namespace {

constexpr size_t kQueueLimit = 256;

std::string DefaultProduct(uint16_t pid) {
  switch (pid) {
    case 5:
      return "TR440";
    case 6:
      return "TR410";
    case 7:
      return "TR420";
    case 8:
      return "TR430";
    case 40:
      return "TR415";
    case 41:
      return "TR810";
    case 9:
      return "Power Supply";
    case 16:
      return "Power Supply";
    default:
      return "Lumetra";
  }
}

void PutF64(uint8_t* p, double v) { std::memcpy(p, &v, 8); }

}  // namespace

UsbDevice::UsbDevice(BenchFile& file, std::string section, int slot)
    : file_(file),
      section_(std::move(section)),
      slot_(slot),
      flash_(file_, section_, slot_),
      panel_(file_, section_, slot_) {}

std::string UsbDevice::Get(const char* key, const std::string& fallback) {
  return file_.Get(section_, key, fallback);
}

uint16_t UsbDevice::VendorId() {
  return static_cast<uint16_t>(file_.GetInt(section_, "VendorId", kVendorId));
}
uint16_t UsbDevice::ProductId() {
  return static_cast<uint16_t>(file_.GetInt(section_, "ProductId", 5));
}
bool UsbDevice::IsSupply() {
  uint16_t pid = ProductId();
  return pid == 16 || pid == 9;
}
int UsbDevice::ParentSlot() { return static_cast<int>(file_.GetInt(section_, "Parent", -1)); }

std::string UsbDevice::SerialText() {
  // A device in its safe mode names itself so in its serial-number string.
  std::string mode = Get("Mode");
  if (mode == "safe") return "safety mode";
  if (mode == "boot") return Get("SafeSerial", "safety mode");
  return Get("Serial");
}

DescriptorSpec UsbDevice::Spec() {
  DescriptorSpec s;
  s.vendorId = VendorId();
  s.productId = ProductId();
  s.bcdDevice = static_cast<uint16_t>(file_.GetInt(section_, "BcdDevice", 0x0100));
  s.hasSerial = !SerialText().empty();
  s.highSpeed = Get("Link") == "high";
  s.endpoints = ParseHex(Get("Endpoints", "81 02 83"));
  return s;
}

std::vector<uint8_t> UsbDevice::DeviceDescriptor() {
  std::string raw = Get("DeviceDescriptor");
  return raw.empty() ? MakeDeviceDescriptor(Spec()) : ParseHex(raw);
}

bool UsbDevice::ConfigDescriptor(uint8_t index, std::vector<uint8_t>* out) {
  if (index != 0) return false;
  std::string raw = Get("ConfigDescriptor");
  *out = raw.empty() ? MakeConfigDescriptor(Spec()) : ParseHex(raw);
  return true;
}

bool UsbDevice::StringDescriptor(uint8_t index, std::vector<uint8_t>* out) {
  char key[16];
  std::snprintf(key, sizeof key, "String%u", index);
  std::string raw = Get(key);
  if (!raw.empty()) {
    *out = ParseHex(raw);
    return true;
  }
  std::snprintf(key, sizeof key, "StringText%u", index);
  if (std::string text = Get(key); !text.empty()) {
    *out = MakeStringDescriptor(text);
    return true;
  }
  switch (index) {
    case 0:
      *out = LanguageDescriptor();
      return true;
    case 1:
      *out = MakeStringDescriptor(Get("Manufacturer", "Vandrel"));
      return true;
    case 2:
      *out = MakeStringDescriptor(Get("Product", DefaultProduct(ProductId())));
      return true;
    case 3: {
      std::string serial = SerialText();
      if (serial.empty()) return false;
      *out = MakeStringDescriptor(serial);
      return true;
    }
    default:
      return false;
  }
}

ConfigLayout UsbDevice::Layout() {
  std::vector<uint8_t> config;
  ConfigDescriptor(0, &config);
  return ParseConfig(config);
}

std::string UsbDevice::RegisterKey(uint16_t facId, uint16_t wIndex) const {
  char key[32];
  std::snprintf(key, sizeof key, "Reg.%04X.%u", facId, wIndex);
  return key;
}

// The power supply's module table, from the bench file: release fields at
// 298, installed flags at 332, module serials at 382, part numbers at 414,
// the supply id at 560. A block written to the supply is kept whole.
std::vector<uint8_t> UsbDevice::SupplyBlock() {
  std::string raw = Get("SupplyBlock");
  if (!raw.empty()) {
    std::vector<uint8_t> b = ParseHex(raw);
    b.resize(kSupplyBlockSize);
    return b;
  }
  std::vector<uint8_t> b(kSupplyBlockSize, 0);
  PutU16(&b[298], static_cast<uint16_t>(file_.GetInt(section_, "Release", 0)));
  PutU16(&b[300], static_cast<uint16_t>(file_.GetInt(section_, "ReleaseDate", 0)));
  PutU16(&b[302], static_cast<uint16_t>(file_.GetInt(section_, "Beta", 0)));
  for (int i = 0; i < 8; ++i) {
    // ModuleN=installed,serial,part number
    char key[16];
    std::snprintf(key, sizeof key, "Module%d", i);
    std::string m = Get(key);
    if (m.empty()) continue;
    int installed = 0;
    unsigned long serial = 0;
    double part = 0;
    std::sscanf(m.c_str(), "%d , %lu , %lf", &installed, &serial, &part);
    b[332 + i] = static_cast<uint8_t>(installed);
    PutU32(&b[382 + 4 * i], static_cast<uint32_t>(serial));
    PutF64(&b[414 + 8 * i], part);
  }
  PutU32(&b[560], static_cast<uint32_t>(file_.GetInt(section_, "SupplyId", 0)));
  return b;
}

uint32_t UsbDevice::ControlIn(uint16_t facId, uint16_t wIndex, uint32_t maxLen,
                              std::vector<uint8_t>* answer) {
  // The boot code knows neither the status register nor the firmware version.
  if ((facId == kFacStatus || facId == kFacVersion) && Get("Mode") == "boot") return kErrStall;
  if (flash_.HandlesIn(facId, wIndex)) return flash_.In(facId, maxLen, answer);
  std::vector<uint8_t> data;
  std::string stored = Get(RegisterKey(facId, wIndex).c_str());
  if (!stored.empty()) {
    data = ParseHex(stored);
  } else if (facId == kFacStatus) {
    data.resize(2);
    PutU16(data.data(), static_cast<uint16_t>(file_.GetInt(section_, "Status", 0)));
  } else if (facId == kFacVersion) {
    data = FirmwareVersionRegister(file_, section_, flash_);
  } else if (facId == kFacSupplyModules && IsSupply()) {
    data = SupplyBlock();
  } else {
    // An unknown selector stalls.
    return kErrStall;
  }
  if (data.size() > maxLen) data.resize(maxLen);
  *answer = std::move(data);
  return kStatusOk;
}

uint32_t UsbDevice::ControlOut(uint16_t facId, uint16_t wIndex, const uint8_t* data, uint32_t len) {
  if (flash_.HandlesOut(facId, wIndex)) return flash_.Out(facId, data, len);
  if (IsSupply() && wIndex == 0 && SupplyPanel::HandlesOut(facId)) {
    std::vector<std::vector<uint8_t>> events;
    uint32_t status = panel_.Out(facId, data, len, &events);
    for (auto& e : events) Queue(0x83, std::move(e));
    return status;
  }
  // Every other selector is a register that keeps what was written.
  file_.Set(section_, RegisterKey(facId, wIndex), len ? FormatHex(data, len) : std::string("--"));
  return kStatusOk;
}

void UsbDevice::Acknowledge(uint16_t facId) {
  if (!Layout().HasEndpoint(0x83)) return;
  std::vector<uint8_t> ack(10, 0);
  PutU16(&ack[0], 10);
  PutU16(&ack[2], kEventAcknowledge);
  PutU16(&ack[8], facId);
  Queue(0x83, std::move(ack));
}

void UsbDevice::Queue(uint8_t endpoint, std::vector<uint8_t> transfer) {
  auto& q = queues_[endpoint];
  q.push_back(std::move(transfer));
  while (q.size() > kQueueLimit) q.pop_front();
}

bool UsbDevice::TakeQueued(uint8_t endpoint, std::vector<uint8_t>* transfer) {
  auto it = queues_.find(endpoint);
  if (it == queues_.end() || it->second.empty()) return false;
  *transfer = std::move(it->second.front());
  it->second.pop_front();
  return true;
}

void UsbDevice::TakePacket(const uint8_t* data, uint32_t len) {
  packetsOut_.emplace_back(data, data + len);
  if (packetsOut_.size() > kQueueLimit) packetsOut_.erase(packetsOut_.begin());
}

double UsbDevice::LinkRate() {
  // Bulk payload per (micro)frame: 19 packets of 64 bytes each millisecond
  // at full speed, 13 of 512 bytes each 125 microseconds at high speed.
  // The link is fixed by the bench file: read once.
  if (linkRate_ < 0) {
    std::string link = Get("Link");
    linkRate_ = link == "full" ? 19 * 64 * 1000.0 : link == "high" ? 13 * 512 * 8000.0 : 0;
  }
  return linkRate_;
}

void UsbDevice::ResetBusState() {
  configuration = 0;
  alternates.clear();
  queues_.clear();
}

}  // namespace bench
