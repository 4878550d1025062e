// The device requests beside the batch operations: flash status, suspend,
// idle wait, firmware version, markers, reboot and kill.
#include <windows.h>

#include "flash_steps.h"
#include "tessaro/crc16.h"
#include "tessaro/errors.h"
#include "tessaro/flash_codes.h"
#include "tessaro/flash_settings.h"
#include "tessaro/utilities.h"

namespace tessaro {
namespace {

constexpr uint16_t kFacVersion = 0x1010;
constexpr uint16_t kFacKill = 0x3040;
constexpr uint16_t kFacSuspend = 0x3800;

// The device status word; true when both bytes arrived.
bool ReadDeviceStatus(TDevice* device, TLineList* log, TStrings* transfer, uint16_t* status) {
  uint8_t buffer[2] = {};
  bool good =
      Dev_GetFacilityData(device, lm::STATUS_REGISTER, 0, nullptr, transfer, 2, buffer) == 2;
  *status = le::U16(buffer);
  if (good)
    LogM(log, " OK, read status %d (0x%8.8X) from device", {*status, *status});
  else
    LogM(log,
         " Error in reading status from device (Command Status is working only on FW, not on "
         "SafeMode).");
  return good;
}

std::string VersionText(const FirmwareVersion& v) {
  return FormatText("%d.%d", {v.major, v.minor});
}

uint32_t Packed(const FirmwareVersion& v) { return static_cast<uint32_t>(v.major) << 16 | v.minor; }

bool Marker(TDevice* device, MarkerWhat what, bool wait, bool heading, LogList log,
            TransferList transfer) {
  if (heading) {
    std::string name;
    WhatName(CMD_MARKER_REBOOT, what, name);
    if (log) log->Add("");
    LogM(log, "=====   %s: %s =====", {CommandName(CMD_MARKER_REBOOT), name});
  }
  bool result = SendFlashCommand(device,
                                 {.command = CMD_MARKER_REBOOT,
                                  .argument = what,
                                  .size = 4,
                                  .wait = wait,
                                  .timeout = CurrentFlashTimes().autoselectTimeout,
                                  .expect = kMarkerStates},
                                 log, transfer);
  FinishProgress({});
  return result;
}

}  // namespace

bool GetFlashStatus(TDevice* device, LogList log, TransferList transfer) {
  try {
    uint8_t answer[8] = {};
    int n = ReadFacility(device, CMD_GET_FLASH_STATUS, answer, 8, log,
                         "command CMD_GET_FLASH_STATUS", transfer);
    if (n != 8) {
      LogM(log, "--- error Get FlashStatus, readen bad length of data ( %d B, must be %d B) ---",
           {n, 8});
      return false;
    }
    uint16_t received = 0, computed = 0;
    if (!Crc16CheckTrailer(answer, 8, &received, &computed)) {
      LogM(log, "--- error Get FlashStatus, Bad CRC ( 0x%4.4X , must be 0x%4.4X) ---",
           {received, computed});
      return false;
    }
    FlashShared& f = Flash();
    // The reply just read decides, not the state of the operation before it.
    int replied = StatusIndexOfCode(le::U16(answer));
    if (replied == kAutoselectOk) {
      f.FoundManufactureID = answer[2];
      f.FoundSectorProtection = answer[3];
      f.FoundDeviceID = le::U16(answer + 4);
      LogM(log,
           "=====   Get FlashStatus   ===== \n\r  status: \"ok_respond_autoselect\" \n\r  "
           "ManufactureID: 0x%2.2X \n\r  DeviceID: 0x%4.4X \n\r  SectorProtection: 0x%2.2X ",
           {f.FoundManufactureID, f.FoundDeviceID, f.FoundSectorProtection});
    } else {
      LogM(log, "");
      LogM(log, "--- Get FlashStatus --- ");
      LogM(log, "  status: \"%0:s\" (0x%1:4.4X(%1:d)) ", {StatusName(replied), le::U16(answer)});
      std::string bytes;
      for (int i = 2; i <= 5; ++i) bytes += FormatText("0x%2.2X, ", {answer[i]});
      bytes += FormatText("CRC16: 0x%4.4X ", {received});
      LogM(log, "  %s ", {bytes});
    }
    return true;
  } catch (const TessaroError& e) {
    FlashMessage()(FormatText("ERROR: %s [helpcontext:%d]", {e.Message(), 0}));
    return false;
  }
}

bool SuspendDevice(TDevice* device, LogList log, TransferList transfer,
                   const FlashProgress& progress) {
  constexpr int kRounds = 500;
  auto step = [&](int done) { StepProgress(progress, FlashPhase::kSuspend, done, kRounds); };
  try {
    step(0);
    uint16_t status = 0;
    // The bar grows with the rounds and is full at the end: a full bar
    // after the first read would drop back at the first round.
    bool good = ReadDeviceStatus(device, log, transfer, &status);
    for (int left = kRounds; good && !IsSuspendedStatus(status) && left > 0; --left) {
      ProcessMessages();
      Dev_SetFacilityData(device, kFacSuspend, 0, nullptr, transfer, 0, nullptr);
      LogM(log, " OK, send command Suspend to device");
      SleepMs(100);
      LogM(log, " sleep 100ms.");
      good = ReadDeviceStatus(device, log, transfer, &status);
      step(kRounds - (left - 1));
    }
    bool result = good && IsSuspendedStatus(status);
    if (result)
      LogM(log, " OK, device is suspended (status=%d)", {status});
    else
      LogM(log, " Error in suspending of device.");
    step(kRounds);
    return result;
  } catch (const TessaroError&) {
    return false;
  }
}

bool WaitForIdle(TDevice* device, LogList log, TransferList transfer,
                 const FlashProgress& progress) {
  constexpr int kRounds = 3000;
  auto step = [&](int done) { StepProgress(progress, FlashPhase::kWaitIdle, done, kRounds); };
  try {
    step(0);
    uint16_t status = 0;
    bool good = ReadDeviceStatus(device, log, transfer, &status);
    for (int left = kRounds; good && status > kStatusIdleHighest && left > 0; --left) {
      SleepMs(100);
      ProcessMessages();
      LogM(log, " sleep 100ms.");
      good = ReadDeviceStatus(device, log, transfer, &status);
      step(kRounds - (left - 1));
    }
    bool result = good && status <= kStatusIdleHighest;
    if (result)
      LogM(log, " OK, device is in IDLE (status=%d)", {status});
    else
      LogM(log, " Error in waiting for IDLE of device.");
    step(kRounds);
    return result;
  } catch (const TessaroError&) {
    return false;
  }
}

bool ReadFirmwareVersion(TDevice* device, FirmwareVersion& version, bool safeMode, LogList log,
                         TransferList transfer) {
  if (safeMode) {
    LogM(
        log,
        " WARNING, device is in safe mode, will use last information: version %d.%d  (0x%8.8X)",
        {version.major, version.minor, static_cast<uint32_t>(version.minor) << 16 | version.major});
    return true;
  }
  uint8_t buffer[4] = {};
  int n = Dev_GetFacilityData(device, kFacVersion, 0, nullptr, transfer, 4, buffer);
  version.major = le::U16(buffer);
  version.minor = le::U16(buffer + 2);
  if (n == 4) {
    LogM(log, " OK, read version %d.%d  (0x%8.8X) from device",
         {version.major, version.minor, le::U32(buffer)});
    return true;
  }
  LogM(log,
       " Error in read version from device (Command Version is working only on FW, not on "
       "SafeMode).");
  return false;
}

bool FirmwareVersionBelow(TDevice* device, uint32_t limit, LogList log, TransferList transfer,
                          std::string* text) {
  uint16_t limitMajor = static_cast<uint16_t>(limit >> 16),
           limitMinor = static_cast<uint16_t>(limit);
  std::string limitText = FormatText("%d.%d", {limitMajor, limitMinor});
  std::string deviceText = "Cannot read version from device";
  FirmwareVersion v;
  bool result = false;
  if (ReadFirmwareVersion(device, v, false, log, transfer)) {
    deviceText = VersionText(v);
    result = v.major < limitMajor || (v.major == limitMajor && v.minor < limitMinor);
    LogM(log, " %s, version \"%s\" is less than %s",
         {result ? "OK" : "ERROR", deviceText, limitText});
  } else {
    LogM(log, " ERROR, cannot read version from device( test: version is less than %s",
         {limitText});
  }
  if (text)
    *text = FormatText("Version of FW in device [%s], First off limits FW in binary [%s]",
                       {deviceText, limitText});
  return result;
}

bool FirmwareVersionInList(TDevice* device, const std::vector<uint32_t>& versions, int highest,
                           LogList log, TransferList transfer) {
  FirmwareVersion v;
  bool read = ReadFirmwareVersion(device, v, false, log, transfer);
  bool found = false;
  if (!read) v = FirmwareVersion();
  for (int i = 0; read && i <= highest && static_cast<size_t>(i) < versions.size(); ++i)
    if (versions[static_cast<size_t>(i)] == Packed(v)) {
      found = true;
      break;
    }
  if (found)
    LogM(log, " OK, version \"%s\" is in list of versions", {VersionText(v)});
  else
    LogM(log, " Error, version \"%s\" isn't in list of versions", {VersionText(v)});
  return found;
}

bool SendFlashCommand(TDevice* device, const FlashRequest& r, LogList log, TransferList transfer,
                      uint32_t* address) {
  try {
    std::string commandName = CommandName(r.command), what;
    WhatName(r.command, r.argument, what);
    Flash().FlashState = r.expect.busy;
    std::vector<uint8_t> request(r.size, 0);
    if (r.size >= 2) le::PutU16(request.data(), r.argument);
    if (r.crc && r.size >= 2) Crc16Append(request.data(), r.size - 2u);
    std::string title = FormatText("for command %s: %s", {commandName, what});
    // A request the device did not take fails: the state of the command
    // before it must not pass for this one's answer.
    if (!SendFacility(device, r.command, request.data(), r.size, log, title, transfer))
      return false;
    if (!r.wait) {
      LogM(log, " %s (this command don't wait on a respond)", {what});
      return false;
    }
    uint8_t successIndex = r.expect.success, errorIndex = r.expect.error;
    PollSpec spec;
    spec.busy = r.expect.busy;
    spec.success = successIndex;
    spec.error = errorIndex;
    spec.timeout = r.timeout;
    spec.byteCode = successIndex == kFlashLockOk || successIndex == kFlashTestOk;
    spec.title = title;
    std::string prefix = "   ! ERROR " + commandName + " " + what + ", %s: ";
    spec.lengthLine = prefix + "readen bad length of data ( %d B, must be %d B), will read again ";
    spec.crcLine = prefix + "Bad CRC ( 0x%2.2X , must be 0x%2.2X B), will read again ";
    PollResult poll = PollFlashStatus(device, spec, log, transfer);
    ReportFlashResult(commandName + " " + what, Flash().FlashState, log, errorIndex, successIndex,
                      "", poll);
    if (successIndex == kFlashTestOk && Flash().FlashState == kFlashTestOk) {
      uint32_t at = static_cast<uint32_t>(poll.answer[1]) << 16 | le::U16(poll.answer + 4);
      if (address) *address = at;
      LogM(log, "  On Address 0x%6.6X must be CRC16 0x%4.4X",
           {at, poll.answer[2] << 8 | poll.answer[3]});
    }
    return Flash().FlashState == successIndex;
  } catch (const TessaroError& e) {
    ReportError("????????????Autoselect", e.Message(), log);
    return false;
  }
}

bool SetMarker(TDevice* device, bool heading, LogList log, TransferList transfer) {
  return Marker(device, kMarkerSet, true, heading, log, transfer);
}

bool ClearMarker(TDevice* device, bool heading, LogList log, TransferList transfer) {
  return Marker(device, kMarkerClear, true, heading, log, transfer);
}

bool RestartByMarker(TDevice* device, bool heading, LogList log, TransferList transfer) {
  return Marker(device, kMarkerReboot, false, heading, log, transfer);
}

bool RebootRequest(TDevice* device, TLineList* log, const std::function<bool()>& stillPresent) {
  auto readStatus = [&](uint8_t* answer) {
    return ReadFacility(device, CMD_GET_FLASH_STATUS, answer, 8, log,
                        "command CMD_GET_FLASH_STATUS", nullptr);
  };
  bool answered = false;
  try {
    uint8_t probe[4] = {};
    le::PutU16(probe, kFlashStatusProbe);
    Crc16Append(probe, 2);
    answered = SendFacility(device, CMD_SET_FLASH_STATUS, probe, 4, log,
                            "command CMD_SET_FLASH_STATUS", nullptr);
    SleepMs(250);
    uint8_t answer[8] = {};
    answered = answered && readStatus(answer) == 8 && Crc16Check(answer, 8) &&
               le::U16(answer) == kFlashStatusProbe;
  } catch (const TessaroError&) {
    answered = false;
  }
  // Watched from the request on: a device that is back within the pauses
  // has still left.
  bool left = false;
  if (answered) {
    try {
      uint8_t reboot[4] = {};
      le::PutU16(reboot, kMarkerReboot);
      Crc16Append(reboot, 2);
      SendFacility(device, CMD_MARKER_REBOOT, reboot, 4, log, "command bReboot", nullptr);
      left = !stillPresent();
      LogM(log, " try read respond");
      SleepMs(250);
      left = left || !stillPresent();
      uint8_t answer[8] = {};
      readStatus(answer);
    } catch (const TessaroError&) {
      // What the device says now does not decide anything.
    }
  }
  SleepMs(100);
  return left || !stillPresent();
}

bool CommandKill(TDevice* device, bool heading, LogList log, TransferList transfer) {
  try {
    if (heading) LogM(log, "=====   command KILL =====");
    if (!SendFacility(device, kFacKill, nullptr, 0, log, "for command kill", transfer))
      return false;
    LogM(log, " OK, to device was successfully sent command kill");
    return true;
  } catch (const TessaroError&) {
    return false;
  }
}

}  // namespace tessaro
