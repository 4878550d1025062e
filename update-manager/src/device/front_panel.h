// The front panel's wait until it is ready: one loop that looks at the
// panel, asks whether what it saw counts as ready, looks for a cancel, waits
// for a busy panel and pauses before it looks again, up to a limit. Who
// waits gives the loop a policy: its limit, its pauses, the progress it
// shows and what counts as ready. Every wait in it is the cancel token's.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>

#include "device/worker_channel.h"
#include "vocabulary/cancel_token.h"

struct PanelPolicy {
  // At most `passes` passes (0: no count), and none begun once `limitMs` of
  // the clock have passed since the wait began; the first pass runs
  // whatever the clock says when `firstPassAlways`.
  int passes = 0;
  DWORD limitMs = 0;
  bool firstPassAlways = false;
  // No limit of the clock: the wait lasts until ready, ended or cancelled.
  static constexpr DWORD kNoLimit = INFINITE;
  // Whether the loop looks for a cancel between a status that is not ready
  // and the wait for it; a policy without that look has its own in its hooks.
  bool looksForCancel = true;
  // One look at the panel: its status, or the result that ends the wait.
  std::function<std::optional<int32_t>(int32_t* status)> look;
  // Whether the status counts as ready: the wait ends with 0.
  std::function<bool(int32_t status)> ready;
  // The wait for a panel that is not ready; false when a cancel ended it.
  std::function<bool(int32_t status)> busy;
  // The pause before the next look; false when a cancel ended it.
  std::function<bool()> pause;
  // The results when a cancel, and when the limit, ends the wait.
  int32_t cancelled = 0;
  int32_t timedOut = 0;
};

class FrontPanel {
 public:
  // readStatus: the panel's status (a break code) or a negative result;
  // countSupplies: how many power supplies are on the bus.
  FrontPanel(std::function<int32_t()> readStatus, std::function<int32_t()> countSupplies,
             const WorkerChannel& channel, const CancelToken& cancel)
      : readStatus_(std::move(readStatus)),
        countSupplies_(std::move(countSupplies)),
        channel_(channel),
        cancel_(cancel) {}

  // The one wait loop; the last status seen goes to *lastStatus.
  int32_t WaitUntilReady(const PanelPolicy& policy, int32_t* lastStatus = nullptr) const;
  // A wait of the panel's waiters: ms in steps of stepMs; false when a
  // cancel ended it.
  bool Wait(DWORD ms, DWORD stepMs) const { return cancel_.Wait(ms, stepMs); }

  // Before the panel's files are sent: 0 (*waitsForFiles set when the panel
  // waits for files already), MMI_NO_SUPPLY or MMI_CANCELLED. The wait is
  // 10000 passes or as many times MMI_WAIT of the clock, whatever each status
  // query costs; after it the stop is tried all the same.
  int32_t WaitBeforeFiles(int mmiWaitMs, bool* waitsForFiles) const;
  // In an update run, after the supply's firmware (where a panel waiting for
  // files is ready too) or in the release step: 0, MMI_CANCELLED, or
  // MMI_NOT_READY when the panel was not ready within 180 s of the clock.
  // The release step's wait gives the panel 10 s for any busy status and
  // moves its bar by `advance` ticks (one each 100 ms of its waits, 50 for
  // each pause between two looks).
  int32_t WaitInRun(bool releaseStep, const std::function<void(WPARAM ticks)>& advance,
                    int32_t* lastStatus) const;

  // How long an update run waits for the panel, in ms of the clock.
  static constexpr DWORD kRunLimitMs = 180000;

 private:
  // A rebooting panel: the step shows "waiting for device" for 5 s.
  bool WaitWhileRebooting() const;

  std::function<int32_t()> readStatus_;
  std::function<int32_t()> countSupplies_;
  const WorkerChannel& channel_;
  const CancelToken& cancel_;
};
