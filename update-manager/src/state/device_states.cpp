// The device side of the states USB Listen and USB Connect: waiting until
// one power supply with its instrument is ready, and reading and checking
// it against the package.
#include <climits>

#include "config/update_config.h"
#include "device/device_updater.h"
#include "environment/log_writer.h"
#include "hwport/clock.h"
#include "state/device_checks.h"
#include "state/display_texts.h"
#include "state/language_glue.h"
#include "state/shared_values.h"
#include "state/state_outcomes.h"

namespace {

constexpr DWORD kCancelLookMs = 10;
constexpr DWORD kDeviceWaitMs = 10000;
constexpr DWORD kListenPauseMs = 100;
constexpr DWORD kBeforeReadMs = 200;
constexpr DWORD kSameSearchLogMs = 60000;

void ShowStatus(const StateContext& context, kestor::LangText text) {
  context.displayTexts->SetText(SLOT_STATUS, context.languageTexts->Get(text));
  context.PostTexts();
}

void LogAtLevel(const StateContext& context, const char* text) {
  if (context.TraceSwitch() != 0) context.LogStatus(text);
}

// The trace entries of the searches while USB Listen waits: written when
// they differ from the last ones written, or a minute after those. A wait
// that lasts searches several times a second and would fill the disk.
class SearchLog {
 public:
  template <typename Search>
  void Of(Search search) {
    std::string text;
    {
      HeldTrace held;
      search();
      text = held.Take();
    }
    const DWORD now = hwport::TickCount();
    if (written_ && text == last_ && now - writtenAt_ < kSameSearchLogMs) return;
    if (!text.empty()) LogTrace(text);
    last_ = text;
    writtenAt_ = now;
    written_ = true;
  }

 private:
  std::string last_;
  DWORD writtenAt_ = 0;
  bool written_ = false;
};

// A pass that found no single supply outside its update mode reads no
// status, and waits only the pause before the next search.
constexpr int32_t kNotRead = INT32_MIN;

// One look of USB Listen: the search, and the panel's status when one supply
// outside its update mode is there; the DeviceWait that ends the wait, if
// any.
std::optional<int32_t> LookOnTheBus(const StateContext& context, SearchLog& searches,
                                    int32_t* status) {
  DeviceUpdater& updater = *context.updater;
  const UpdateConfig* config = context.config;
  if (context.CancelRequested()) return static_cast<int32_t>(DeviceWait::Cancelled);
  int32_t supplies = 0;
  bool found = false;
  searches.Of([&] {
    supplies = updater.CountPowerSupplies();
    if (supplies == 1) found = updater.FindDevices();
  });
  if (supplies > 1) return static_cast<int32_t>(DeviceWait::SeveralPowerSupplies);
  if (supplies != 1) return std::nullopt;
  if (context.CancelRequested()) return static_cast<int32_t>(DeviceWait::Cancelled);
  // The search passes over two instruments of one type: two of the
  // package's type would be looked for again for ever.
  if (!found && config != nullptr && updater.CountInstrumentsOfType(config->SupportedDevice()) > 1)
    return static_cast<int32_t>(DeviceWait::SeveralPowerSupplies);
  const int32_t mode = updater.CheckUpdateMode(updater.Record().powerSupply.productId);
  // A supply that left between the two searches is looked for again.
  if (mode > 0) return static_cast<int32_t>(DeviceWait::Ready);
  if (mode == 0) *status = updater.ReadMMIStatus();
  return std::nullopt;
}

}  // namespace

DeviceWait PlatformOutcomes::WaitForDevice() {
  DeviceUpdater* updater = context_.updater;
  if (updater == nullptr) return DeviceWait::Cancelled;
  const FrontPanel& panel = updater->Panel();
  SearchLog searches;
  searches.Of([&] { updater->FindDevices(); });
  bool rebooted = false;
  PanelPolicy policy;
  policy.limitMs = PanelPolicy::kNoLimit;
  policy.looksForCancel = false;
  policy.look = [&](int32_t* status) {
    *status = kNotRead;
    return LookOnTheBus(context_, searches, status);
  };
  policy.ready = [&](int32_t status) {
    if (status == MMI_STATUS_WAITS_FOR_FILES) {
      LogAtLevel(context_, "Device waiting for MMI-Files ! Rebooting device!\n\n");
      return rebooted;
    }
    if (status != MMI_STATUS_READY) return false;
    LogAtLevel(context_, "Device Ready!\n\n");
    return true;
  };
  policy.busy = [&](int32_t status) {
    if (status == kNotRead) return true;
    if (status == MMI_STATUS_WAITS_FOR_FILES) {
      rebooted = true;
      ShowStatus(context_, kestor::LangText::DevBoot);
      updater->RebootPowerSupply();
    } else if (status == MMI_STATUS_REBOOTING) {
      LogAtLevel(context_, "Device rebooting,waiting 10 sec.\n\n");
      ShowStatus(context_, kestor::LangText::DevBoot);
    }
    return panel.Wait(kDeviceWaitMs, kCancelLookMs);
  };
  policy.pause = [&] { return panel.Wait(kListenPauseMs, kCancelLookMs); };
  policy.cancelled = static_cast<int32_t>(DeviceWait::Cancelled);
  const int32_t r = panel.WaitUntilReady(policy);
  return r == 0 ? DeviceWait::Ready : static_cast<DeviceWait>(r);
}

DeviceCheck PlatformOutcomes::CheckDevice() {
  DeviceUpdater* updater = context_.updater;
  UpdateConfig* config = context_.config;
  if (updater == nullptr || config == nullptr) return DeviceCheck::Cancelled;
  if (updater->AnyInUpdateMode()) {
    context_.LogStatus("Modul or Powersupply in shortUSB, starting with PS-Update...");
    if (!updater->Record().powerSupply.inUpdateMode)
      ReadDeviceVersions(context_, *updater, *config);
    // Exit while the device was read goes to Exit, not on to Update Possible.
    if (context_.CancelRequested()) return DeviceCheck::Cancelled;
    // In the update mode the package's lists and releases do not apply.
    return SameDeviceName(config->SupportedDevice(), updater->Record().device.name)
               ? DeviceCheck::Passed
               : DeviceCheck::WrongType;
  }
  hwport::Sleep(kBeforeReadMs);
  ReadDeviceVersions(context_, *updater, *config);
  if (context_.CancelRequested()) return DeviceCheck::Cancelled;
  // The release and the serial number the lists are checked against come
  // from the supply's block: unread, they would pass an excluded device, and
  // the run would fail only at the release write, after every part.
  if (!updater->SupplyBlockRead()) {
    context_.LogStatus("Powersupply block could not be read!\n");
    return DeviceCheck::Unreadable;
  }
  const RevisionInfo info = updater->GetRevisionInfo();
  const DeviceCheck check =
      CheckDeviceAgainstPackage(context_, info, updater->Record().device.name,
                                updater->Record().powerSupply.serialNumber, *config);
  if (check == DeviceCheck::Passed || check == DeviceCheck::NewerThanPackage)
    LogDeviceInfo(context_, info);
  return check;
}
