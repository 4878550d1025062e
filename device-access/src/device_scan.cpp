#include "device_scan.h"

#include <cctype>

namespace corvel {

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

DWORD FailureCode(DWORD lastError) { return lastError ? lastError : ERROR_GEN_FAILURE; }

DeviceScan::DeviceScan(Devices devices)
    : set_(hwport::GetAllClassDevices(devices == kPresent)), buffer_(256) {}

DeviceScan::~DeviceScan() {
  if (Built()) hwport::DestroyDeviceInfoList(set_);
}

bool DeviceScan::Next() {
  if (!Built()) return false;
  device_ = SP_DEVINFO_DATA{};
  device_.cbSize = sizeof device_;
  return hwport::EnumDeviceInfo(set_, index_++, &device_) != FALSE;
}

PropertyRead DeviceScan::Read(DWORD property) {
  DWORD required = 0;
  DWORD type = 0;
  bool read = hwport::GetDeviceRegistryProperty(set_, &device_, property, &type, buffer_.data(),
                                                static_cast<DWORD>(buffer_.size()), &required);
  DWORD error = read ? 0 : GetLastError();
  if (!read && error == ERROR_INSUFFICIENT_BUFFER && required > buffer_.size()) {
    buffer_.resize(required);
    read = hwport::GetDeviceRegistryProperty(set_, &device_, property, &type, buffer_.data(),
                                             static_cast<DWORD>(buffer_.size()), &required);
    error = read ? 0 : GetLastError();
  }
  if (!read) return error == ERROR_INVALID_DATA ? PropertyRead::kMissing : PropertyRead::kFailed;
  length_ = (required > 0 && required < buffer_.size()) ? required : buffer_.size();
  return PropertyRead::kRead;
}

PropertyRead DeviceScan::Service(std::string* service) {
  PropertyRead r = Read(SPDRP_SERVICE);
  if (r != PropertyRead::kRead) return r;
  // The value may come without its terminator; the buffer ends the text.
  const char* text = reinterpret_cast<const char*>(buffer_.data());
  size_t n = 0;
  while (n < length_ && text[n]) ++n;
  service->assign(text, n);
  return r;
}

PropertyRead DeviceScan::HardwareIds(std::vector<std::string>* ids) {
  PropertyRead r = Read(SPDRP_HARDWAREID);
  if (r != PropertyRead::kRead) return r;
  ids->clear();
  const char* text = reinterpret_cast<const char*>(buffer_.data());
  size_t at = 0;
  while (at < length_ && text[at]) {
    size_t n = 0;
    while (at + n < length_ && text[at + n]) ++n;
    ids->emplace_back(text + at, n);
    at += n + 1;
  }
  return r;
}

}  // namespace corvel
