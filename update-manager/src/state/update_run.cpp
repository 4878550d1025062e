#include "state/update_run.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "config/ini_values.h"
#include "config/update_config.h"
#include "device/device_updater.h"
#include "environment/log_writer.h"
#include "firmware/firmware_programmer.h"
#include "hwport/clock.h"
#include "state/device_checks.h"
#include "state/display_texts.h"
#include "state/language_glue.h"
#include "state/shared_values.h"
#include "state/state_outcomes.h"
#include "state/update_state.h"
#include "vocabulary/step_codes.h"

namespace {

// How long the panel may take to become ready (bench clock): after the
// supply's firmware and after the final reboot.
constexpr DWORD kPanelWaitMs = FrontPanel::kRunLimitMs;
// The release step's code on the step bar.
constexpr LPARAM kCodeRelease = 52;
// The release step's bar: the reboot wait's 1000 ticks of 20 ms fill its
// first half; the panel wait goes on from there, a tick each 100 ms of its
// waits and 50 for each pause between two queries.
constexpr WPARAM kReleaseProgressPerTick = 5;
constexpr WPARAM kReleaseHalf = 5000;

enum class StepKind { Mmi, Module, PowerSupply, Release, Other };

StepKind KindOf(const std::string& name) {
  const std::string n = UpperCase(name);
  if (n == "MMI") return StepKind::Mmi;
  if (n == "MODULE" || n == "MODUL") return StepKind::Module;
  if (n == "PWR SUPPLY" || n == "POWERSUPPLY") return StepKind::PowerSupply;
  if (IsReleaseStepName(n)) return StepKind::Release;
  return StepKind::Other;
}

class UpdateRun {
 public:
  // The context's updater, configuration and cancel token are there.
  explicit UpdateRun(const StateContext& context)
      : context_(context),
        updater_(*context.updater),
        config_(*context.config),
        n_(config_.StepCount()) {}

  int Run();

 private:
  bool Cancelled() const { return context_.CancelRequested(); }
  void Post(UINT message, WPARAM wParam, LPARAM lParam) const {
    if (context_.channel) context_.channel->Post(message, wParam, lParam);
  }
  HWND Window() const { return context_.channel ? context_.channel->Window() : nullptr; }
  int32_t SupplyPid() const { return updater_.Record().powerSupply.productId; }
  int32_t DevicePid() const { return updater_.Record().device.productId; }
  bool UpToDate(int i) const {
    const UpdateStep step = config_.GetStep(i);
    return CompareStepRevision(step.name, step.deviceVersion, step.rev) == 0;
  }
  void Status(int i, int state) {
    config_.SetStepStatus(i, state);
    context_.PostTexts();
  }
  // Step i and all later ones: `state` for i, canceled for the rest.
  void StopAt(int i, int state) {
    config_.SetStepStatus(i, state);
    for (int k = i + 1; k < n_; ++k) config_.SetStepStatus(k, STEP_CANCELED);
    context_.PostTexts();
  }
  void PostTotal() { Post(WM_UPDATE_TOTAL_PROGRESS, (updater_.StepCounter() + 1) * Width(), 100); }
  int Width() const { return updater_.ProgressStepWidth(); }

  int PsCheck();
  int Failure(int i, int32_t result);
  // Waits ms in rounds of `round` ms on the cancel token; before each look
  // for a cancel, `tick` hears the rounds waited so far. 15 when cancelled,
  // else 0.
  int Pause(DWORD ms, DWORD round, const std::function<void(DWORD)>& tick = nullptr) const {
    return context_.cancel->Wait(ms, round, tick) ? 0 : ERRTEXT_CANCELLED;
  }
  int WaitForPanel(int i, bool releaseStep);
  int Recovery();
  bool ReinstallDeclined();
  int MmiFiles(int i, const UpdateStep& step);
  int Firmware(int i, int part, int32_t pid);
  int Step(int i);
  int ReleaseSteps(int i);

  const StateContext context_;
  DeviceUpdater& updater_;
  UpdateConfig& config_;
  const int n_;
  bool recovered_ = false;
};

int UpdateRun::PsCheck() {
  const int32_t supplies = updater_.CountPowerSupplies();
  if (supplies > 1) return ERRTEXT_SEVERAL_DEVICES;
  if (supplies < 1) return ERRTEXT_NO_DEVICE;
  return 0;
}

// A firmware or front-panel call failed: the step shows its error (canceled
// when the user asked), the later ones did not run. A failed call is never
// taken for a success, also when the supply was gone only for a moment.
int UpdateRun::Failure(int i, int32_t result) {
  const bool cancelled = Cancelled() || result == FIRMWARE_CANCELLED;
  StopAt(i, cancelled ? STEP_CANCELED : STEP_ERROR);
  context_.LogStatus("Update step " + config_.GetStep(i).name + " failed (" +
                     std::to_string(result) + ")\n");
  if (cancelled) return ERRTEXT_CANCELLED;
  if (updater_.CountPowerSupplies() != 0) return ERRTEXT_UPDATE_FAILED;
  hwport::Sleep(200);
  return updater_.CountPowerSupplies() == 0 ? ERRTEXT_DISCONNECTED : ERRTEXT_UPDATE_FAILED;
}

// Waits until the front panel is ready (or, after the supply's firmware,
// waits for its files), at most kPanelWaitMs; the step fails when it is not.
// The release step's wait moves its bar on and gives a rebooting panel 10 s
// like any other busy one; after the supply's firmware a rebooting panel
// shows "waiting for device" for 5 s.
int UpdateRun::WaitForPanel(int i, bool releaseStep) {
  WPARAM progress = kReleaseHalf;
  auto advance = [&](WPARAM ticks) {
    progress = std::min<WPARAM>(10000, progress + ticks * kReleaseProgressPerTick);
    Post(WM_UPDATE_STEP_PROGRESS, progress, kCodeRelease);
  };
  int32_t s = -1;
  const int32_t r = updater_.Panel().WaitInRun(releaseStep, advance, &s);
  if (r == 0) return 0;
  if (r == MMI_CANCELLED) return ERRTEXT_CANCELLED;
  context_.LogStatus("Front panel not ready after " + std::to_string(kPanelWaitMs / 1000) +
                     " s (status " + std::to_string(s) + ")\n");
  StopAt(i, STEP_ERROR);
  return ERRTEXT_UPDATE_FAILED;
}

int UpdateRun::Recovery() {
  context_.LogStatus("Device in update mode: power supply steps first\n");
  for (int i = 0; i < n_; ++i) {
    if (KindOf(config_.GetStep(i).name) != StepKind::PowerSupply) continue;
    if (int e = PsCheck()) return e;
    Status(i, STEP_UPDATING);
    if (!UpToDate(i)) {
      const int32_t r = updater_.UpdateFirmwarePart(config_.FirmwareParts()[1], SupplyPid());
      if (r < 0) return Failure(i, r);
    }
    if (int e = WaitForPanel(i, false)) {
      if (e == ERRTEXT_CANCELLED) StopAt(i, STEP_CANCELED);
      return e;
    }
    updater_.ReadFirmwareRevision(SupplyPid());
    Status(i, STEP_FINISHED);
    PostTotal();
    if (int e = Pause(3000, 30)) {
      // The step is finished and stays so; the next one is the one canceled.
      if (i + 1 < n_) StopAt(i + 1, STEP_CANCELED);
      return e;
    }
  }
  updater_.IncrementStepCounter();
  return 0;
}

// The device holds the package's release and beta already: the user says
// whether to install it again. Nobody is asked in an unattended run.
bool UpdateRun::ReinstallDeclined() {
  if (context_.Automatic()) return false;
  const RevisionInfo installed = updater_.GetRevisionInfo();
  for (int i = 0; i < n_; ++i) {
    const UpdateStep step = config_.GetStep(i);
    if (KindOf(step.name) != StepKind::Release) continue;
    if (LeadingNumber(installed.release) != LeadingNumber(step.rev) ||
        LeadingNumber(installed.beta) != LeadingNumber(step.beta))
      return false;
    const int answer =
        MessageBoxA(Window(), context_.languageTexts->Get(kestor::LangText::SameRev).c_str(),
                    kMessageCaption, MB_YESNO | MB_ICONWARNING);
    if (answer == IDYES) return false;
    StopAt(0, STEP_CANCELED);
    return true;
  }
  return false;
}

int UpdateRun::ReleaseSteps(int i) {
  const UpdateStep step = config_.GetStep(i);
  Status(i, STEP_UPDATING);
  // The step's progress: the reboot wait fills the first half, the panel
  // wait the rest.
  Post(WM_UPDATE_STEP_PROGRESS, 0, kCodeRelease);
  const bool supplyInUpdateMode = updater_.CheckUpdateMode(SupplyPid()) == 1;
  hwport::Sleep(100);
  const bool deviceInUpdateMode = updater_.CheckUpdateMode(DevicePid()) == 1;
  hwport::Sleep(100);
  const int32_t panel = updater_.ReadMMIStatus();
  if (supplyInUpdateMode || deviceInUpdateMode || panel == MMI_STATUS_WAITS_FOR_FILES) {
    if (!updater_.RebootPowerSupply()) {
      context_.LogStatus("Rebooting the power supply failed\n");
      StopAt(i, STEP_ERROR);
      return ERRTEXT_UPDATE_FAILED;
    }
    if (int e = Pause(20000, 20, [this](DWORD rounds) {
          if (rounds > 0 && rounds % 20 == 0)
            Post(WM_UPDATE_STEP_PROGRESS, rounds * kReleaseProgressPerTick, kCodeRelease);
        }))
      return e;
  }
  Post(WM_UPDATE_STEP_PROGRESS, kReleaseHalf, kCodeRelease);
  hwport::Sleep(500);
  if (int e = WaitForPanel(i, true)) return e;
  hwport::Sleep(100);
  Post(WM_UPDATE_STEP_PROGRESS, 10000, kStepCheckingRelease);
  if (!VerifyRevisionsAfterUpdate(context_, updater_, config_)) {
    config_.SetStepStatus(i, STEP_ERROR);
    context_.LogStatus("Not all UpdateSteps installed!\n");
    context_.PostTexts();
    return ERRTEXT_UPDATE_FAILED;
  }
  const RevisionInfo info = updater_.GetRevisionInfo();
  // The release as the supply stores it: a package's "01.2" or "12" is the
  // supply's "1.2" or "12.0", not a new release to write at every run.
  if (ReleaseTimesTen(info.release) == step.releaseTimesTen && info.beta == step.beta) {
    context_.LogStatus("All UpdateSteps successful! Revision " + step.rev + " is actual\n");
  } else {
    context_.LogStatus("All UpdateSteps successful! Writing new Revision " + step.rev + "\n");
    context_.PostTexts();
    const int32_t r =
        updater_.WritePsRelease(step.releaseTimesTen, step.betaNumber, step.packedDate);
    if (r < 0) {
      context_.LogStatus("Writing the new Revision failed (" + std::to_string(r) + ")\n");
      StopAt(i, STEP_ERROR);
      // Another supply than the one the run began with, or one that went
      // away as it took the block (its read-back found nobody), is the
      // missing supply's error, as at the end of every step.
      if (r == DEVICE_OTHER_SUPPLY) return ERRTEXT_NO_DEVICE;
      if (int e = PsCheck()) return e;
      return ERRTEXT_UPDATE_FAILED;
    }
    context_.displayTexts->SetText(SLOT_DEVICE_RELEASE, updater_.ReadPsRelease());
  }
  Status(i, STEP_UPDATING);
  return 0;
}

// The front panel's files of step i; 0 when they all reached the panel.
int UpdateRun::MmiFiles(int i, const UpdateStep& step) {
  std::vector<std::string> files;
  for (const StepFile& f : step.fileList) files.push_back(f.path);
  const int32_t r = updater_.UpdateMmi(files);
  if (r >= 0) return 0;
  if (Cancelled()) {
    StopAt(i, STEP_CANCELED);
    // The panel may wait for files that will not come: the supply
    // restarts, unless it restarts already.
    if (r != MMI_CANCELLED_RESTARTING) updater_.RebootAfterMmi();
    return ERRTEXT_CANCELLED;
  }
  return Failure(i, r);
}

// The package's firmware part `part` into the device `pid`, unless step i is
// up to date, and its revision read back.
int UpdateRun::Firmware(int i, int part, int32_t pid) {
  if (!UpToDate(i)) {
    const int32_t r = updater_.UpdateFirmwarePart(config_.FirmwareParts()[part], pid);
    if (r < 0) return Failure(i, r);
  }
  updater_.ReadFirmwareRevision(pid);
  return 0;
}

int UpdateRun::Step(int i) {
  const UpdateStep step = config_.GetStep(i);
  const StepKind kind = KindOf(step.name);
  if (kind == StepKind::PowerSupply && recovered_) return 0;
  if (kind == StepKind::Mmi && UpToDate(i)) {
    Status(i, STEP_FINISHED);
    updater_.IncrementStepCounter();
    return 0;
  }
  if (kind != StepKind::Release && kind != StepKind::Other) {
    if (int e = PsCheck()) return e;
    Status(i, STEP_UPDATING);
  }
  switch (kind) {
    case StepKind::Mmi:
      if (int e = MmiFiles(i, step)) return e;
      PostTotal();
      break;
    case StepKind::Module:
      if (int e = Firmware(i, 0, DevicePid())) return e;
      PostTotal();
      break;
    case StepKind::PowerSupply:
      if (int e = Firmware(i, 1, SupplyPid())) return e;
      break;
    case StepKind::Release:
      if (int e = ReleaseSteps(i)) {
        // A cancel in the step's own waits ends it as a cancel at its end.
        if (e == ERRTEXT_CANCELLED) StopAt(i, STEP_CANCELED);
        return e;
      }
      break;
    case StepKind::Other:
      break;
  }
  // Step end.
  if (int e = PsCheck()) return e;
  if (Cancelled()) {
    StopAt(i, STEP_CANCELED);
    return ERRTEXT_CANCELLED;
  }
  Status(i, STEP_FINISHED);
  updater_.IncrementStepCounter();
  return 0;
}

int UpdateRun::Run() {
  updater_.SetWaits(config_.mmiWait, config_.rebootWait);
  updater_.SetProgressStepWidth(n_);
  updater_.SetStepCounter(0);
  if (updater_.AnyInUpdateMode()) {
    updater_.SetStartedInUpdateMode(true);
    recovered_ = true;
    if (int e = Recovery()) return e;
  } else {
    updater_.SetStartedInUpdateMode(false);
    if (ReinstallDeclined()) return ERRTEXT_CANCELLED;
  }
  for (int i = 0; i < n_; ++i)
    if (int e = Step(i)) return e;
  Post(WM_UPDATE_STEP_PROGRESS, 10000, kStepUpdateFinished);
  Post(WM_UPDATE_TOTAL_PROGRESS, 100, 100);
  return 0;
}

}  // namespace

int RunUpdateSteps(const StateContext& context) { return UpdateRun(context).Run(); }

int PlatformOutcomes::RunUpdate() {
  DeviceUpdater* updater = context_.updater;
  if (updater == nullptr || context_.config == nullptr || context_.cancel == nullptr)
    return ERRTEXT_UPDATE_FAILED;
  const int error = RunUpdateSteps(context_);
  if (error != 0) return error;
  if (updater->CheckUpdateMode(updater->Record().powerSupply.productId) == 1 ||
      updater->CheckUpdateMode(updater->Record().device.productId) == 1)
    MessageBoxA(context_.channel ? context_.channel->Window() : nullptr,
                "Please switch off the device by the main powerswitch on the rear of the device "
                "and wait a few seconds before switching on again!",
                kMessageCaption, MB_OK);
  return 0;
}
