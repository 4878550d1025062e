#include "state/states.h"

#include "config/update_config.h"
#include "device/device_updater.h"
#include "environment/log_writer.h"
#include "environment/system_environment.h"
#include "hwport/clock.h"
#include "state/debug_log.h"
#include "state/device_checks.h"
#include "state/display_texts.h"
#include "state/language_glue.h"
#include "state/shared_values.h"

namespace {

using kestor::LangText;

// The fixed program-folder text and the trace log, pointed at this run's
// debug log.
void SettleEnvironment(SystemEnvironment* environment) {
  if (environment == nullptr) return;
  environment->SetProgramFolder();
  SetTraceLogPath(environment->DebugLogPath());
}

}  // namespace

std::string OutcomeState::Text(LangText id) const { return context_.languageTexts->Get(id); }

std::string OutcomeState::ErrorText(int index) const {
  return context_.languageTexts->ErrorText(index);
}

void OutcomeState::ShowStatus(const std::string& status, const char* title) const {
  Display().SetText(SLOT_STATUS, status);
  Display().SetText(SLOT_STATE_TITLE, title);
}

bool PlatformOutcomes::OperatingSystemSupported() {
  return context_.environment != nullptr && context_.environment->CheckOperatingSystem();
}

bool PlatformOutcomes::PackageInvalid() {
  return context_.config == nullptr || context_.config->packageInvalid;
}

bool PlatformOutcomes::UsbHostFound() {
  return context_.environment != nullptr && context_.environment->FindUsbHost();
}

StateInitialize::StateInitialize(const StateContext& context, StateOutcomes& outcomes)
    : OutcomeState(context, outcomes) {
  context_.languageTexts->Load("", context_);
  context_.SetErrorIndex(ERRTEXT_NONE);
}

UpdateStateId StateInitialize::Execute() {
  SettleEnvironment(context_.environment);
  // The log an earlier run left is settled before this run writes anything,
  // even when this run ends early: otherwise its Exit would archive the
  // earlier log a second time.
  if (context_.environment) RecoverDebugLog(*context_.environment);
  FlushStartupLog();
  context_.languageTexts->Load("", context_);
  if (!outcomes_.OperatingSystemSupported()) {
    context_.SetErrorIndex(ERRTEXT_NO_WINDOWS);
    return STATE_INFO;
  }
  if (outcomes_.PackageInvalid()) {
    context_.SetErrorIndex(ERRTEXT_PACKAGE_INVALID);
    return STATE_ERROR;
  }
  const bool hostFound = outcomes_.UsbHostFound();
  if (context_.environment && context_.environment->QueryUsb2Host() != 0) {
    if (context_.environment->QueryUsb2HostDisabled() == 0) {
      Display().SetText(SLOT_STATUS, Text(LangText::USBOff));
      PostTexts();
      context_.environment->SuspendUsb2Host();
    } else {
      // Off already: left alone, unless a killed run of Kestor left it off.
      context_.environment->AdoptUsb2HostLeftOff();
    }
  }
  SettleEnvironment(context_.environment);
  if (context_.environment) {
    WriteLogHeader(*context_.environment,
                   context_.config ? context_.config->UpdateRevision() : std::string(),
                   context_.config ? context_.config->SupportedDevice() : std::string(), hostFound);
  }
  if (!hostFound) {
    context_.SetErrorIndex(ERRTEXT_NO_USB_PORT);
    return STATE_INFO;
  }
  ShowPackageInfo();
  return STATE_USB_LISTEN;
}

void StateInitialize::ShowPackageInfo() {
  if (context_.config == nullptr) return;
  Display().SetText(SLOT_SUPPORTED_DEVICE, context_.config->SupportedDevice());
  Display().SetText(SLOT_PACKAGE_RELEASE, context_.config->UpdateRevision());
}

UpdateStateId StateInstallDriver::Execute() {
  context_.SetErrorIndex(ERRTEXT_NO_DRIVER);
  return STATE_ERROR;
}

bool StateUsbListen::Enter() {
  ShowStatus(Text(LangText::NoDev), "Kestor - State USBListen");
  return PostTexts();
}

UpdateStateId StateUsbListen::Execute() {
  Enter();
  switch (outcomes_.WaitForDevice()) {
    case DeviceWait::Ready:
      return STATE_USB_CONNECT;
    case DeviceWait::SeveralPowerSupplies:
      context_.SetErrorIndex(ERRTEXT_SEVERAL_DEVICES);
      return STATE_ERROR;
    case DeviceWait::Cancelled:
      break;
  }
  context_.SetErrorIndex(ERRTEXT_CANCELLED);
  return STATE_ERROR;
}

bool StateUsbConnect::Enter() {
  const RevisionInfo info = context_.updater ? context_.updater->GetRevisionInfo() : RevisionInfo{};
  std::string release = info.release;
  if (info.beta != "0") release += "Beta" + info.beta;
  if (release == "Beta") release = Text(LangText::DevStatusSUSB);
  Display().Apply([&](DisplayTextsRecord& r) {
    r.texts[SLOT_DEVICE_TYPE] = info.deviceName;
    r.texts[SLOT_DEVICE_SERIAL] = std::to_string(LeadingSerial(info.serialNumber));
    r.texts[SLOT_DEVICE_RELEASE] = release;
    r.texts[SLOT_STATE_TITLE] = "Kestor - State USB Connect";
  });
  return PostTexts();
}

UpdateStateId StateUsbConnect::Execute() {
  Display().SetText(SLOT_STATUS, Text(LangText::ReadDev));
  PostTexts();
  const DeviceCheck check = outcomes_.CheckDevice();
  Enter();
  switch (check) {
    case DeviceCheck::Passed:
      return STATE_UPDATE_POSSIBLE;
    case DeviceCheck::NewerThanPackage:
      context_.SetErrorIndex(ERRTEXT_NEWER_FIRMWARE);
      Display().SetText(SLOT_STATUS, ErrorText(ERRTEXT_NEWER_FIRMWARE));
      PostTexts();
      return STATE_UPDATE_POSSIBLE;
    case DeviceCheck::WrongType:
      context_.SetErrorIndex(ERRTEXT_WRONG_DEVICE);
      break;
    case DeviceCheck::ReleaseExcluded:
      context_.SetErrorIndex(ERRTEXT_RELEASE_EXCLUDED);
      break;
    case DeviceCheck::SerialExcluded:
      context_.SetErrorIndex(ERRTEXT_SERIAL_EXCLUDED);
      break;
    case DeviceCheck::Unreadable:
      context_.SetErrorIndex(ERRTEXT_COMMUNICATION);
      break;
    case DeviceCheck::Cancelled:
      context_.SetErrorIndex(ERRTEXT_CANCELLED);
      break;
  }
  return STATE_ERROR;
}

bool StateUpdatePossible::Enter() {
  Display().SetStartEnabled(true);
  ShowStatus(context_.ErrorIndex() == ERRTEXT_NEWER_FIRMWARE ? ErrorText(ERRTEXT_NEWER_FIRMWARE)
                                                             : Text(LangText::UpdateReadyText),
             "Kestor - State Update Possible");
  return PostTexts();
}

UpdateStateId StateUpdatePossible::Execute() {
  Enter();
  return context_.Automatic() ? STATE_UPDATE_PROCESS : STATE_UPDATE_POSSIBLE;
}

bool StateUpdateProcess::Enter() {
  Display().SetText(SLOT_START_BUTTON, Text(LangText::StartUpd_Button_Cancel_Text));
  // The button is Cancel now; a language switch, which disables it, must not
  // take the user's way to stop the update.
  Display().SetStartEnabled(true);
  ShowStatus(Text(LangText::RunningUpdate), "Kestor - Status UpdateProcess");
  return PostTexts();
}

UpdateStateId StateUpdateProcess::Execute() {
  // Running from here, unless Cancel or Exit came between Start and this
  // thread (or comes while Enter shows the state): that request stands, and
  // the run does not start.
  context_.ReplaceCancelState(CANCEL_STATE_IDLE, CANCEL_STATE_RUNNING);
  Enter();
  if (context_.CancelState() == CANCEL_STATE_REQUESTED) {
    context_.SetErrorIndex(ERRTEXT_CANCELLED);
    return STATE_ERROR;
  }
  const int failure = outcomes_.RunUpdate();
  if (failure == 0) {
    context_.SetUpdateInstalled();
    return STATE_EXIT;
  }
  context_.SetErrorIndex(failure);
  return STATE_ERROR;
}

bool StateInfo::Enter() {
  const int index = context_.ErrorIndex();
  const std::string text = ErrorText(index == ERRTEXT_NO_WINDOWS || index == ERRTEXT_NO_USB_PORT
                                         ? index
                                         : ERRTEXT_NO_USB_NOR_WINDOWS);
  ShowStatus(text, "Kestor - State Info");
  LogStatus("\nUpdate canceled!\n");
  LogStatus(text);
  return PostTexts();
}

UpdateStateId StateInfo::Execute() {
  Enter();
  return STATE_EXIT;
}

bool StateError::Enter() {
  Display().SetStartEnabled(false);
  const std::string text = ErrorText(context_.ErrorIndex());
  ShowStatus(text, "Kestor - State Error");
  LogStatus("\nfollowing Error occured:\n" + text);
  return PostTexts();
}

UpdateStateId StateError::Execute() {
  context_.SetCancelState(CANCEL_STATE_REQUESTED);
  Enter();
  return STATE_EXIT;
}

bool StateExit::Enter() {
  Display().SetStartEnabled(false);
  const int index = context_.ErrorIndex();
  std::string text;
  if (index == ERRTEXT_NONE || index == ERRTEXT_SAME_RELEASE || index == ERRTEXT_NEWER_FIRMWARE) {
    // Leaving Update Possible installs nothing, and must not claim it did.
    text = context_.UpdateInstalled() ? Text(LangText::CloseUpdater) : kNothingInstalledText;
  } else if ((index >= ERRTEXT_PACKAGE_INVALID && index <= ERRTEXT_SERIAL_EXCLUDED) ||
             (index >= ERRTEXT_DISCONNECTED && index <= ERRTEXT_LAST)) {
    text = ErrorText(index);
  } else {
    text = kUnknownErrorText;
  }
  ShowStatus(text, "Kestor - State Exit");
  return PostTexts();
}

UpdateStateId StateExit::Execute() {
  // The exit thread and the state thread may both run Exit; the second run
  // finds it done.
  if (context_.CancelState() == CANCEL_STATE_STOPPED) return STATE_EXIT;
  if (context_.environment && context_.environment->Usb2HostSuspended()) {
    LogStatus("\nReactivating USB2 :");
    Display().SetText(SLOT_STATUS, Text(LangText::USBOn));
    PostTexts();
    if (context_.environment->RestoreUsb2Host()) LogStatus("Success\n\n");
  }
  LogStatus("Updater Closed!");
  if (context_.environment)
    CloseDebugLog(*context_.environment, context_.ErrorIndex(), context_.UpdateInstalled());
  // The log ends with "Updater Closed!" now; an entry behind it would make the
  // next start archive the whole run a second time.
  SetTraceLogPath("");
  Enter();
  context_.SetCancelState(CANCEL_STATE_STOPPED);
  if (context_.ExitRequested() || context_.Automatic()) {
    if (context_.channel) context_.channel->PostClose();
  }
  return STATE_EXIT;
}

StateFactory MakeStateFactory(const StateContext& context, StateOutcomes& outcomes) {
  return [context, &outcomes](UpdateStateId id) -> std::unique_ptr<UpdateState> {
    switch (id) {
      case STATE_INITIALIZE:
        return std::make_unique<StateInitialize>(context, outcomes);
      case STATE_INSTALL_DRIVER:
        return std::make_unique<StateInstallDriver>(context, outcomes);
      case STATE_USB_LISTEN:
        return std::make_unique<StateUsbListen>(context, outcomes);
      case STATE_USB_CONNECT:
        return std::make_unique<StateUsbConnect>(context, outcomes);
      case STATE_UPDATE_POSSIBLE:
        return std::make_unique<StateUpdatePossible>(context, outcomes);
      case STATE_UPDATE_PROCESS:
        return std::make_unique<StateUpdateProcess>(context, outcomes);
      case STATE_INFO:
        return std::make_unique<StateInfo>(context, outcomes);
      case STATE_ERROR:
        return std::make_unique<StateError>(context, outcomes);
      case STATE_EXIT:
        return std::make_unique<StateExit>(context, outcomes);
    }
    return nullptr;
  };
}
