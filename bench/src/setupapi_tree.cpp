#include "bench/setupapi_tree.h"

#include <cstdio>

#include "bench_file.h"
#include "bench_state.h"

namespace bench {

std::string NodeSection(int number) { return "Node." + std::to_string(number); }

namespace {

// The bench's USB devices ([Device0]..[Device63]) appear as nodes 1000 and up.
constexpr int kUsbDeviceSlots = 64;
constexpr int kUsbDeviceNodeBase = 1000;

std::string UsbDeviceSection(int slot) { return "Device" + std::to_string(slot); }

// "USB\VID_0E7B&PID_0005&REV_0100,USB\VID_0E7B&PID_0005", as Windows lists a
// USB device's hardware ids, most specific first.
std::string UsbHardwareIds(const IniText& ini, const std::string& device) {
  auto value = [&](const char* key, DWORD fallback) {
    std::string text = ini.Get(device, key);
    return text.empty() ? fallback : static_cast<DWORD>(ParseNumber(text, fallback));
  };
  char ids[96];
  std::snprintf(ids, sizeof ids, "USB\\VID_%04lX&PID_%04lX&REV_%04lX,USB\\VID_%04lX&PID_%04lX",
                static_cast<unsigned long>(value("VendorId", 0x0E7B)),
                static_cast<unsigned long>(value("ProductId", 0)),
                static_cast<unsigned long>(value("BcdDevice", 0x0100)),
                static_cast<unsigned long>(value("VendorId", 0x0E7B)),
                static_cast<unsigned long>(value("ProductId", 0)));
  return ids;
}

}  // namespace

DeviceTree DeviceTree::Load() { return DeviceTree(ReadBenchFile(BenchFilePath())); }

bool DeviceTree::Update(const std::function<void(IniText&)>& change) {
  return UpdateBenchFile(BenchFilePath(), change);
}

std::vector<int> DeviceTree::NodeNumbers() const {
  std::vector<int> numbers;
  for (const std::string& part : SplitList(ini_.Get("SetupTree", "Nodes")))
    numbers.push_back(static_cast<int>(ParseNumber(part)));
  // The bench's USB devices are nodes of the tree as well, after the listed ones.
  for (int slot = 0; slot < kUsbDeviceSlots; ++slot)
    if (!ini_.Get(UsbDeviceSection(slot), "ProductId").empty())
      numbers.push_back(kUsbDeviceNodeBase + slot);
  return numbers;
}

bool DeviceTree::Node(int number, TreeNode* node) const {
  bool known = false;
  for (int n : NodeNumbers()) known = known || n == number;
  if (!known) return false;
  const std::string s = NodeSection(number);
  TreeNode t;
  t.number = number;
  // A USB device's node takes its defaults from the device; its own node
  // section (written when a class installer changes it) overrides them.
  const bool usbDevice = number >= kUsbDeviceNodeBase;
  const std::string device = usbDevice ? UsbDeviceSection(number - kUsbDeviceNodeBase) : "";
  const std::string missing = "\x01";
  std::string defaultPresent = usbDevice ? ini_.Get(device, "Present", "1") : "1";
  std::string defaultIds = usbDevice ? UsbHardwareIds(ini_, device) : missing;
  t.present = ParseNumber(ini_.Get(s, "Present", defaultPresent), 1) != 0;
  t.removed = ParseNumber(ini_.Get(s, "Removed"), 0) != 0;
  std::string ids = ini_.Get(s, "HardwareIds", defaultIds);
  t.hasHardwareIds = ids != missing;
  if (t.hasHardwareIds) t.hardwareIds = SplitList(ids);
  std::string service = ini_.Get(s, "Service", missing);
  t.hasService = service != missing;
  if (t.hasService) t.service = service;
  t.status = ParseNumber(ini_.Get(s, "Status"), 0x0180200A);
  t.problem = ParseNumber(ini_.Get(s, "Problem"), 0);
  t.propertyError = ParseNumber(ini_.Get(s, "PropertyError"), 0);
  t.statusError = ParseNumber(ini_.Get(s, "StatusError"), 0);
  t.setParamsError = ParseNumber(ini_.Get(s, "SetParamsError"), 0);
  t.classInstallerError = ParseNumber(ini_.Get(s, "ClassInstallerError"), 0);
  *node = t;
  return true;
}

bool DeviceTree::HostControllerOpens(const std::string& name) const {
  for (const std::string& n : SplitList(ini_.Get("SetupTree", "HostControllerNames")))
    if (EqualNoCase(n, name)) return true;
  return false;
}

DWORD DeviceTree::GetClassDevsError() const {
  return ParseNumber(ini_.Get("SetupTree", "GetClassDevsError"), 0);
}

}  // namespace bench
