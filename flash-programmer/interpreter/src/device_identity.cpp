#include "tessaro/device_identity.h"

#include <algorithm>
#include <cctype>

#include "tessaro/format_text.h"

namespace tessaro {
namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

}  // namespace

DeviceIdentity IdentityOf(const TDeviceInfo& d) {
  return {d.VID, d.PID, d.Product ? d.Product : "", d.Manufacturer ? d.Manufacturer : "",
          d.SerialNumber ? d.SerialNumber : ""};
}

std::string ADevToStr(const TDevice* c, bool withSerial) {
  try {
    if (!c) return "nil";
    std::string serial =
        withSerial && c->SerialNumber ? FormatText(", s.n.:\"%s\"", {c->SerialNumber}) : "";
    return FormatText("device: vid:0x%4.4x, pid:0x%4.4x%s", {c->VID, c->PID, serial});
  } catch (...) {
    return "exception in function ADevToStr";
  }
}

std::string IdentityToText(const DeviceIdentity& i, bool withSerial) {
  std::string serial = withSerial ? FormatText(", s.n.:\"%s\"", {i.serial}) : "";
  return FormatText("device: vid:0x%4.4x, pid:0x%4.4x%s", {i.vid, i.pid, serial});
}

std::string IdentityLine(const DeviceIdentity& i) {
  return FormatText("vid:0x%4.4X,pid:0x%4.4X,prod.:\"%s\",man.:\"%s\",s.n.:\"%s\"",
                    {i.vid, i.pid, i.product, i.manufacturer, i.serial});
}

std::string DeviceLine(int index, const TDeviceInfo& d) {
  return FormatText("  - device[%d] (vid:0x%4.4X,pid:0x%4.4X,prod.:\"%s\",man.:\"%s\",s.n.:\"%s\"",
                    {index, d.VID, d.PID, d.Product, d.Manufacturer, d.SerialNumber});
}

TDeviceInfo KeptDeviceInfo(const TDeviceInfo& d) {
  TDeviceInfo c(d.DeviceNumber, d.VID, d.PID);
  c.Product = KeepText(d.Product);
  c.Manufacturer = KeepText(d.Manufacturer);
  c.SerialNumber = KeepText(d.SerialNumber);
  return c;
}

bool SerialSaysSafe(const std::string& serial) {
  size_t at = Lower(serial).find("safe");
  return at != std::string::npos && at >= 1;
}

std::string FirmwareSerialText(const std::string& serial) {
  std::string s = serial;
  size_t at = Lower(serial).find("safe");
  if (at != std::string::npos) s.erase(at, 4);
  return s;
}

int64_t FirmwareSerialNumber(const std::string& serial) {
  std::string s = FirmwareSerialText(serial);
  int64_t value = 0;
  bool any = false;
  for (char c : s) {
    if (c == ' ') continue;
    if (c < '0' || c > '9' || value > 0xFFFFFFFFll) return -1;
    value = value * 10 + (c - '0');
    any = true;
  }
  return any ? value : -1;
}

}  // namespace tessaro
