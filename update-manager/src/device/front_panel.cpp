#include "device/front_panel.h"

#include <algorithm>
#include <string>

#include "environment/log_writer.h"
#include "hwport/clock.h"
#include "vocabulary/panel_status.h"
#include "vocabulary/results.h"
#include "vocabulary/step_codes.h"

namespace {

// In ms of the port's clock.
constexpr int kPassesBeforeFiles = 10000;
constexpr int kPassesWithoutSupply = 5;
constexpr DWORD kNoSupplyPauseMs = 5000;
constexpr DWORD kRebootingWaitMs = 5000;
constexpr DWORD kCancelPollMs = 10;
constexpr DWORD kPassPauseBeforeFilesMs = 100;
constexpr DWORD kBusyInRunMs = 10000;
constexpr DWORD kRunStepMs = 100;
constexpr DWORD kPassPauseInRunMs = 500;
constexpr WPARAM kPauseTicksInRun = 50;

}  // namespace

int32_t FrontPanel::WaitUntilReady(const PanelPolicy& policy, int32_t* lastStatus) const {
  const DWORD start = hwport::TickCount();
  int32_t status = MMI_STATUS_UNKNOWN;
  int32_t ignored = 0;
  int32_t& seen = lastStatus ? *lastStatus : ignored;
  seen = status;
  for (int pass = 0; policy.passes == 0 || pass < policy.passes; ++pass) {
    if (policy.limitMs != PanelPolicy::kNoLimit && (pass > 0 || !policy.firstPassAlways) &&
        hwport::TickCount() - start >= policy.limitMs)
      break;
    const std::optional<int32_t> end = policy.look(&status);
    seen = status;
    if (end) return *end;
    if (policy.ready(status)) return 0;
    if (policy.looksForCancel && cancel_.Requested()) return policy.cancelled;
    if (!policy.busy(status) || !policy.pause()) return policy.cancelled;
  }
  return policy.timedOut;
}

bool FrontPanel::WaitWhileRebooting() const {
  channel_.PostStepProgress(10000, kStepWaitingForDevice);
  return cancel_.Wait(kRebootingWaitMs, kCancelPollMs);
}

int32_t FrontPanel::WaitBeforeFiles(int mmiWaitMs, bool* waitsForFiles) const {
  int withoutSupply = 0;
  PanelPolicy policy;
  policy.passes = kPassesBeforeFiles;
  policy.limitMs = static_cast<DWORD>(std::min<uint64_t>(
      uint64_t{kPassesBeforeFiles} * static_cast<uint64_t>(std::max(mmiWaitMs, 0)), 0xFFFFFFFFu));
  policy.firstPassAlways = true;
  policy.look = [&](int32_t* status) -> std::optional<int32_t> {
    if (countSupplies_() >= 1) {
      *status = readStatus_();
      return std::nullopt;
    }
    // Whatever was read before no longer says anything about the panel.
    *status = MMI_STATUS_UNKNOWN;
    if (++withoutSupply >= kPassesWithoutSupply) return MMI_NO_SUPPLY;
    channel_.PostStepProgress(10000, kStepWaitingForDevice);
    if (!cancel_.Wait(kNoSupplyPauseMs, kCancelPollMs)) return MMI_CANCELLED;
    return std::nullopt;
  };
  policy.ready = [&](int32_t status) {
    if (status != MMI_STATUS_READY && status != MMI_STATUS_WAITS_FOR_FILES) return false;
    if (countSupplies_() < 1) return false;
    if (status == MMI_STATUS_WAITS_FOR_FILES) *waitsForFiles = true;
    return true;
  };
  policy.busy = [&](int32_t status) {
    return status != MMI_STATUS_REBOOTING || WaitWhileRebooting();
  };
  policy.pause = [&] { return cancel_.Wait(kPassPauseBeforeFilesMs, kCancelPollMs); };
  policy.cancelled = MMI_CANCELLED;
  policy.timedOut = 0;
  return WaitUntilReady(policy);
}

int32_t FrontPanel::WaitInRun(bool releaseStep, const std::function<void(WPARAM ticks)>& advance,
                              int32_t* lastStatus) const {
  auto move = [&](WPARAM ticks) {
    if (releaseStep && advance) advance(ticks);
  };
  PanelPolicy policy;
  policy.limitMs = kRunLimitMs;
  policy.look = [&](int32_t* status) -> std::optional<int32_t> {
    *status = readStatus_();
    return std::nullopt;
  };
  policy.ready = [&](int32_t status) {
    return status == MMI_STATUS_READY || (!releaseStep && status == MMI_STATUS_WAITS_FOR_FILES);
  };
  policy.busy = [&](int32_t status) {
    if (status == MMI_STATUS_REBOOTING && !releaseStep) return WaitWhileRebooting();
    if (status <= 0) return true;
    LogTrace(TRACE_LEVEL_1, "MMIstat : " + std::to_string(status) + " --> waiting 10 sec\n");
    // A tick after each step waited.
    return cancel_.Wait(kBusyInRunMs, kRunStepMs, [&](DWORD k) {
      if (k > 0) move(1);
    });
  };
  policy.pause = [&] {
    if (!cancel_.Wait(kPassPauseInRunMs, kRunStepMs)) return false;
    move(kPauseTicksInRun);
    return true;
  };
  policy.cancelled = MMI_CANCELLED;
  policy.timedOut = MMI_NOT_READY;
  return WaitUntilReady(policy, lastStatus);
}
