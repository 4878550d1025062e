#include "benchctl/bench_flash.h"

#include <windows.h>

#include "benchctl/bench_control.h"

namespace benchctl {

std::vector<uint8_t> ReadFlash(const std::string& benchFile, int slot) {
  std::vector<uint8_t> out;
  HANDLE f = CreateFileA((benchFile + ".flash" + std::to_string(slot)).c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return out;
  DWORD size = GetFileSize(f, nullptr);
  out.resize(size == INVALID_FILE_SIZE ? 0 : size);
  DWORD got = 0;
  if (!out.empty()) ReadFile(f, out.data(), size, &got, nullptr);
  out.resize(got);
  CloseHandle(f);
  return out;
}

std::string FlashDigest(const std::string& benchFile, int slot) {
  return ReadState(benchFile, "Device" + std::to_string(slot), "FlashDigest");
}

}  // namespace benchctl
