// The front panel's (MMI's) update sequence and commands: wait for the panel,
// switch it into its update mode, send every file, execute those that ask
// for it, reboot the device; and the panel's status and revision.
#include <algorithm>
#include <cstdio>

#include "device/mmi_operations.h"
#include "environment/log_writer.h"
#include "hwport/clock.h"
#include "lumetra/device_protocol.h"
#include "lumetra/wire.h"
#include "vocabulary/step_codes.h"

namespace {

constexpr int32_t kMmiCount = 100;  // six send rounds of the string protocol
constexpr DWORD kBeforeStopMs = 200;
constexpr int kStopTries = 8;
constexpr DWORD kStopRetryMs = 15000;
constexpr int kStopRefusals = 2;
constexpr DWORD kRefusedPauseMs = 8000;
constexpr DWORD kStopWaitStepMs = 100;
constexpr DWORD kRestartStepMs = 200;
constexpr DWORD kRestartStepTr430Ms = 1000;
constexpr DWORD kRebootWaitStepMs = 100;
constexpr int kExecutePolls = 9999;
constexpr DWORD kExecutePollMs = 50;
constexpr DWORD kAfterExecuteMs = 2000;
constexpr int32_t kExecuteBufferSize = 512;
constexpr DWORD kFirstRevisionPollMs = 250;
constexpr int kRevisionPolls = 100;
constexpr int32_t kRevisionReplyMin = 200;
constexpr size_t kRevisionOffset = 36;
// A reply that counts holds the whole revision word: no shorter one is read.
static_assert(kRevisionOffset + sizeof(uint32_t) <= kRevisionReplyMin);

}  // namespace

int32_t MmiOperations::ReadMMIStatus() {
  LogTrace(TRACE_LEVEL_2, "Reading MMI Status...\n");
  int32_t breakCode = 0;
  int32_t r =
      strings_.Send(record_.powerSupply.productId, mmi::QueryPacket(), kMmiCount, &breakCode, true);
  LogTrace(TRACE_LEVEL_2, "retval   :" + std::to_string(r) + "\n");
  LogTrace(TRACE_LEVEL_2, "breakref :" + std::to_string(breakCode) + "\n");
  // A dead link is not "ready".
  return r < 0 ? r : breakCode;
}

int32_t MmiOperations::ReadPanelReply(uint8_t* buffer, int32_t size, int32_t* length) {
  std::fill(buffer, buffer + size, uint8_t{0});
  *length = std::min(size, kExecuteBufferSize);
  if (!qlinkx_.IsLoaded()) {
    LogTrace("Library not loaded, cant read irq!\n");
    return QLINKX_FUNCTION_MISSING;
  }
  int32_t r = qlinkx_.ReadIrpt(record_.powerSupply.deviceNumber, buffer, length);
  *length = r < 0 ? 0 : std::clamp(*length, 0, std::min(size, kExecuteBufferSize));
  return r;
}

std::string MmiOperations::GetMMIRev() {
  LogTrace(TRACE_LEVEL_2, "Reading MMI Revision...\n");
  int32_t breakCode = 0;
  int32_t r = strings_.Send(record_.powerSupply.productId, mmi::QueryPacket(), kMmiCount,
                            &breakCode, false);
  if (r < 0) {
    if (record_.powerSupply.deviceNumber >= 0) link_.Release(record_.powerSupply.deviceNumber);
    return "0";
  }
  LogTrace(TRACE_LEVEL_2, "RetVal string2PS : " + std::to_string(r) + "\n");
  LogTrace(TRACE_LEVEL_2, "breakref         : " + std::to_string(breakCode) + "\n");
  hwport::Sleep(kFirstRevisionPollMs);
  uint8_t buffer[2048];
  bool replied = false;
  for (int poll = 0; poll < kRevisionPolls && !replied; ++poll) {
    hwport::Sleep(static_cast<DWORD>(std::max(mmiWait_, 0)));
    int32_t length = 0;
    if (ReadPanelReply(buffer, sizeof buffer, &length) < 0) break;
    // A consistent data reply of 200 bytes or more, and not a ready buffer
    // left over from an execute.
    replied = length >= kRevisionReplyMin && le::I16(buffer) == length &&
              !mmi::IsReadyBuffer(std::span<const uint8_t>(buffer, sizeof buffer), length);
  }
  if (record_.powerSupply.deviceNumber >= 0) link_.Release(record_.powerSupply.deviceNumber);
  if (!replied) return "0";
  const uint32_t v = le::U32(buffer + kRevisionOffset);
  LogTrace(TRACE_LEVEL_2,
           "Extracted MMiRev : " + std::to_string(v / 100) + "." + std::to_string(v % 100) + "\n");
  // No revision is "0", which the reader asks again for.
  if (v == 0) return "0";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", v / 100.0);
  return text;
}

int32_t MmiOperations::executeBATCH(const std::string& path) {
  flashTiming_ = hwport::TickCount();
  channel_.PostStepProgress(0, kStepExecutingFiles);
  int32_t breakCode = 0;
  int32_t r = strings_.Send(record_.powerSupply.productId, mmi::ExecutePacket(path), kMmiCount,
                            &breakCode, true);
  if (r < 0) return r;
  int32_t n = link_.Assign(record_.powerSupply.productId);
  if (n < 0) return n;
  uint8_t buffer[kExecuteBufferSize];
  bool ready = false;
  int32_t result = QLINKX_FUNCTION_MISSING;
  for (int i = 1; i <= kExecutePolls && !ready; ++i) {
    channel_.PostStepProgress(static_cast<WPARAM>(std::min(10000, i * 10)), kStepExecutingFiles);
    int32_t length = 0;
    result = ReadPanelReply(buffer, sizeof buffer, &length);
    if (result == DEVICE_NUMBER_STALE) {
      // The supply restarted under the execute: its new number is read on.
      n = link_.Renew(record_.powerSupply.deviceNumber, record_.powerSupply.productId);
      if (n < 0) return n;
      continue;
    }
    if (result < 0) break;
    ready = mmi::IsExecuteReady(buffer, length);
    hwport::Sleep(ready ? kAfterExecuteMs : kExecutePollMs);
  }
  if (record_.powerSupply.deviceNumber >= 0) link_.Release(record_.powerSupply.deviceNumber);
  channel_.PostStepProgress(10000, kStepExecutingFiles);
  LogTrace(TRACE_LEVEL_1, "        executeBATCH() : " +
                              std::to_string(hwport::TickCount() - flashTiming_) + "ms\n");
  if (result < 0) return result;
  return ready ? result : MMI_NOT_READY;
}

int32_t MmiOperations::stopMMI() {
  channel_.PostStepProgress(0, kStepStoppingMmi);
  const std::vector<uint8_t> packet = mmi::StopPacket();
  LogTrace(TRACE_LEVEL_1, "    stopMMI\n");
  int32_t breakCode = 0;
  int32_t r = strings_.Send(record_.powerSupply.productId, packet, kMmiCount, &breakCode, true);
  // A supply that failed or never answered has not stopped anything.
  if (r < 0) return r;
  if (r == 0 && breakCode != 0) {
    for (int retry = 0; retry < kStopRefusals; ++retry) {
      LogTrace("    stopMMI\n");
      LogTrace("    retval   : " + std::to_string(r) + "\n");
      LogTrace("    breakref : " + std::to_string(breakCode) + "\n");
      // The pause before the stop is sent again ends with a cancel.
      if (!cancel_.Wait(kRefusedPauseMs, kStopWaitStepMs)) return MMI_CANCELLED;
      breakCode = 0;
      r = strings_.Send(record_.powerSupply.productId, packet, kMmiCount, &breakCode, true);
      if (r < 0) return r;
      if (breakCode == 0) break;
      if (r == 0) {
        LogTrace("    stopMMI\n");
        LogTrace("    retval   : 0\n");
        LogTrace("    breakref : " + std::to_string(breakCode) + "\n");
        return MMI_STOP_REFUSED;
      }
    }
  }
  // The panel restarts into its update mode; a TR430 takes five times longer.
  DWORD step = kRestartStepMs;
  if (qlinkx_.IsLoaded()) {
    char text[2000] = {};
    if (qlinkx_.GetSerNrs(QLINKX_VENDOR_ID, PID_TR430, text) == 1) step = kRestartStepTr430Ms;
  }
  // The bar moves before each step; a cancel ends the wait within one.
  if (cancel_.Requested()) return MMI_CANCELLED;
  for (int p = 100; p <= 10000; p += 100) {
    channel_.PostStepProgress(static_cast<WPARAM>(p), kStepStoppingMmi);
    if (!cancel_.Wait(step, step)) return MMI_CANCELLED;
  }
  return 0;
}

// The supply and its panel restart for the package's REBOOT_WAIT (90 s
// unless it says otherwise): in an update the step says it waits for the
// device and its bar moves through the wait, which a cancel ends within a
// step.
bool MmiOperations::WaitForRestart() {
  const DWORD wait = static_cast<DWORD>(std::max(rebootWait_, 0));
  const DWORD start = hwport::TickCount();
  return cancel_.Wait(wait, kRebootWaitStepMs, [&](DWORD) {
    if (wait > 0 && cancel_.Running()) {
      const uint64_t waited = std::min<DWORD>(hwport::TickCount() - start, wait);
      channel_.PostStepProgress(static_cast<WPARAM>(waited * 10000 / wait), kStepWaitingForDevice);
    }
  });
}

int32_t MmiOperations::WriteReboot() {
  int32_t n = link_.Assign(record_.powerSupply.productId);
  if (n < 0) return n;
  const uint8_t zeros[2] = {0, 0};
  int32_t r = link_.WriteRegister(n, FAC_PS_REBOOT, 0, zeros, sizeof zeros);
  link_.Unassign(n);
  if (!WaitForRestart()) return MMI_CANCELLED;
  return r < 0 ? r : 0;
}

int32_t MmiOperations::SwitchPanelToUpdateMode() {
  int progress = 10;
  for (int attempt = 1; attempt <= kStopTries; ++attempt) {
    int32_t r = stopMMI();
    if (cancel_.Requested() || r == MMI_CANCELLED) return MMI_CANCELLED;
    if (r >= 0) return 0;
    // A refusal or a failed exchange: the panel is not in its update mode yet.
    if (attempt > 2)
      LogTrace(TRACE_LEVEL_1,
               "Device didnt switch into MMI-Update-mode, waiting 10s and trying again ... \n");
    progress += 10;
    channel_.PostStepProgress(static_cast<WPARAM>(progress), kStepSendingMmiFile);
    if (attempt == kStopTries) break;
    if (!cancel_.Wait(kStopRetryMs, kStopWaitStepMs)) return MMI_CANCELLED;
  }
  LogTrace(
      "Device could not be switched into MMI-Update-Mode after 3 attempts - Cancelling Update!");
  return MMI_NO_UPDATE_MODE;
}

int32_t MmiOperations::UpdateMmi(const std::vector<std::string>& files) {
  const DWORD start = hwport::TickCount();
  LogTrace("Updating MMI:\n");
  channel_.PostTotalProgress(10);
  bool ready = false;
  if (int32_t r = panel_.WaitBeforeFiles(mmiWait_, &ready); r < 0) return r;
  LogTrace(TRACE_LEVEL_1, "Stopping MMI ... \n");
  hwport::Sleep(kBeforeStopMs);
  channel_.PostTotalProgress(10);
  if (!ready) {
    if (int32_t r = SwitchPanelToUpdateMode(); r < 0) return r;
  }
  LogTrace("Device ready for MMI-Update\n");
  const int64_t fileCount = static_cast<int64_t>(files.size());
  for (size_t k = 0; k < files.size(); ++k) {
    if (cancel_.Requested()) return MMI_CANCELLED;
    MmiFileRecord record;
    record.Filename = files[k];
    LogTrace("    (" + std::to_string(hwport::TickCount() - start) + ") sending " + files[k] +
             "\n");
    int32_t r = UpdateMmiFile(record);
    if (r < 0) {
      LogTrace("Error sending Data" + files[k] + " !RetVal : " + std::to_string(r) + "\n\n");
      return r;
    }
    if (cancel_.Requested()) return MMI_CANCELLED;
    if (record.rflag) {
      r = executeBATCH(record.LmPath);
      if (r < 0) {
        LogTrace("Error executing " + record.LmPath + " !RetVal : " + std::to_string(r) + "\n\n");
        return r;
      }
    }
    const int64_t width = channel_.ProgressStepWidth();
    channel_.PostTotalProgress(static_cast<WPARAM>(
        (static_cast<int64_t>(k) + 1) * width / fileCount + width * channel_.StepCounter()));
  }
  // A cancel that ends the wait for the restarting supply comes after its
  // reboot: the caller must not reboot it a second time.
  const int32_t r = RebootAfterMmi();
  return r == MMI_CANCELLED ? MMI_CANCELLED_RESTARTING : r;
}
