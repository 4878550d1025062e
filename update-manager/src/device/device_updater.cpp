#include "device/device_updater.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "environment/log_writer.h"
#include "hwport/clock.h"
#include "lumetra/device_protocol.h"
#include "lumetra/wire.h"
#include "vocabulary/step_codes.h"

DeviceUpdater* theDeviceUpdater = nullptr;

namespace {

// Pauses between the reads, in ms of the port's clock.
constexpr DWORD kReadPauseMs = 200;
constexpr DWORD kMmiRevRetryMs = 400;

std::string Format(const char* format, int value) {
  char text[160];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::string ReleaseDateText(uint16_t packedDate) {
  const int day = packedDate & 31;
  const int month = (packedDate >> 5) & 15;
  const int year = ((packedDate >> 9) & 63) + 2000;
  if (day < 1 || month < 1 || month > 12) return {};
  char text[16];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d", month, day, year);
  return text;
}

DeviceUpdater::DeviceUpdater(const std::vector<std::string>& args,
                             std::shared_ptr<WorkerChannel> channel)
    : channel_(channel ? std::move(channel) : std::make_shared<WorkerChannel>()) {
  switches_ = ParseCommandLine(args);
  qlinkx_.Load();
  // Made before any other thread can ask whether a flash is in progress.
  Firmware();
}

bool DeviceUpdater::CancelRequested() const { return cancel_.Requested(); }

std::string DeviceUpdater::FirmwareRevisionOf(int32_t productId) {
  int32_t n = AssignDeviceByPid(productId);
  if (n < 0) return {};
  uint8_t words[4] = {};
  int32_t r = ReadWholeRegister(n, FAC_FIRMWARE_REVISION, words, sizeof words,
                                "Revision (" + std::to_string(productId) + ")");
  ReleaseDirectly(n);
  // A register unread, or read in part, is no revision at all: not "0.0",
  // nor "2.0" from the first word of "2.10".
  if (r < 0) return {};
  return std::to_string(le::U16(words)) + "." + std::to_string(le::U16(words + 2));
}

std::string DeviceUpdater::ReadFirmwareRevision(int32_t productId) {
  LogTrace(TRACE_LEVEL_1, "Reading Revision from Device (" + std::to_string(productId) + ") :\n");
  std::string text = FirmwareRevisionOf(productId);
  LogTrace(TRACE_LEVEL_1, "        Revision (" + std::to_string(productId) + ") :" + text + "\n");
  return text;
}

std::string DeviceUpdater::GetDeviceString(int32_t productId, int32_t index) {
  int32_t n = AssignDeviceByPid(productId);
  const bool assigned = n >= 0;
  if (!assigned) {
    UsbDeviceEntry* entry = EntryOf(productId);
    if (!entry || productId == 0) return "Error - couldnt open device!";
    n = entry->deviceNumber;
  }
  std::string text = "Error";
  if (index >= 1 && index <= 7) {
    constexpr int32_t kUnits = 512;
    constexpr int32_t kAskedSize = 512;
    uint16_t units[kUnits] = {};
    int32_t size = kAskedSize;
    int32_t r = qlinkx_.GetStringDescriptor(n, index, units, &size);
    // The library's size is trusted no further than the buffer reaches. The
    // text runs as far as that size, whatever the descriptor's bLength says
    // (the shared decoding of lumetra/wire.h stops at bLength, so it would
    // cut a text longer than 126 units and one whose bLength is short).
    if (r < 0 || size < 4) size = 0;
    size = std::min(size, kUnits * 2);
    const int count = size / 2 - 1;
    text.clear();
    if (count > 0) {
      std::wstring wide;
      for (int i = 1; i <= count; ++i) wide.push_back(static_cast<wchar_t>(units[i]));
      int bytes = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), count, nullptr, 0, nullptr, nullptr);
      if (bytes > 0) {
        text.assign(static_cast<size_t>(bytes), '\0');
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), count, text.data(), bytes, nullptr, nullptr);
      }
    }
  }
  if (assigned) UnassignDeviceNumber(n);
  return text;
}

bool DeviceUpdater::ReadAllDevData() {
  const DWORD start = hwport::TickCount();
  auto entry = [&](const char* format) {
    if (switches_.trace == 2 || switches_.stringProtocolTrace)
      LogTrace(Format(format, static_cast<int>(hwport::TickCount() - start)));
  };
  auto running = [&] { return cancel_.Running(); };
  entry("\n----------------------------------------\n  (%d)\tFunction ReadAllDevData\n");
  if (running()) channel_->PostStepProgress(0, kStepCheckingVersions);
  DeviceRecord copy = record_;
  entry("  (%d)\t\tCalling GetPSModRev(PS)\n");
  copy.psRevision = ReadFirmwareRevision(record_.powerSupply.productId);
  hwport::Sleep(kReadPauseMs);
  if (running()) channel_->PostStepProgress(2500, kStepCheckingVersions);
  if (CancelRequested()) return false;
  entry("  (%d)\t\tCalling GetPSModRev(Dev)\n");
  copy.deviceRevision = ReadFirmwareRevision(record_.device.productId);
  hwport::Sleep(kReadPauseMs);
  if (running()) channel_->PostStepProgress(5000, kStepCheckingVersions);
  if (CancelRequested()) return false;
  entry("  (%d)\t\tCalling GetMMIRev(PS)\n");
  copy.mmiRevision = GetMMIRev();
  for (int retry = 0; retry < 3 && (copy.mmiRevision == "0.0" || copy.mmiRevision == "0");
       ++retry) {
    LogTrace("    Error reading MMI Revision (" + copy.mmiRevision + ") reading again!\n");
    hwport::Sleep(kMmiRevRetryMs);
    copy.mmiRevision = GetMMIRev();
    LogTrace("    Revision from new Read : " + copy.mmiRevision + "\n");
  }
  hwport::Sleep(kReadPauseMs);
  // The device numbers are the live ones, not the copy's.
  copy.powerSupply.deviceNumber = record_.powerSupply.deviceNumber;
  copy.device.deviceNumber = record_.device.deviceNumber;
  record_ = copy;
  entry("  (%d)\t\tCalling ReadRevision(PS)\n");
  ReadPsRelease();
  if (CancelRequested()) return false;
  hwport::Sleep(kReadPauseMs);
  CheckUpdateMode(record_.powerSupply.productId);
  hwport::Sleep(kReadPauseMs);
  CheckUpdateMode(record_.device.productId);
  entry("  (%d)\t\tleaving ReadAllDevData(PS)\n----------------------------------------\n");
  return true;
}

RevisionInfo DeviceUpdater::GetRevisionInfo() const {
  return {record_.psRelease,   record_.supplyIdText,
          record_.device.name, record_.deviceRevision,
          record_.psRevision,  record_.mmiRevision,
          record_.betaText,    ReleaseDateText(record_.releaseDate),
          record_.moduleSerial};
}
