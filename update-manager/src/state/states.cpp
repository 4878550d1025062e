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

void ShowStatus(const std::string& status, const char* title) {
  DisplayTexts.SetText(SLOT_STATUS, status);
  DisplayTexts.SetText(SLOT_STATE_TITLE, title);
}

std::string Text(LangText id) { return LanguageTexts.Get(id); }

// The fixed program-folder text and the trace log, pointed at this run's
// debug log.
void SettleEnvironment() {
  if (theEnvironment == nullptr) return;
  theEnvironment->SetProgramFolder();
  SetTraceLogPath(theEnvironment->DebugLogPath());
}

}  // namespace

bool PlatformOutcomes::OperatingSystemSupported() {
  return theEnvironment != nullptr && theEnvironment->CheckOperatingSystem();
}

bool PlatformOutcomes::PackageInvalid() {
  return theConfig == nullptr || theConfig->packageInvalid;
}

bool PlatformOutcomes::UsbHostFound() {
  return theEnvironment != nullptr && theEnvironment->FindUsbHost();
}

StateInitialize::StateInitialize(StateOutcomes& outcomes) : OutcomeState(outcomes) {
  LanguageTexts.Load("");
  ErrorTextIndex = ERRTEXT_NONE;
}

UpdateStateId StateInitialize::Execute() {
  SettleEnvironment();
  // The log an earlier run left is settled before this run writes anything,
  // even when this run ends early: otherwise its Exit would archive the
  // earlier log a second time.
  if (theEnvironment) RecoverDebugLog(*theEnvironment);
  FlushStartupLog();
  LanguageTexts.Load("");
  if (!outcomes_.OperatingSystemSupported()) {
    ErrorTextIndex = ERRTEXT_NO_WINDOWS;
    return STATE_INFO;
  }
  if (outcomes_.PackageInvalid()) {
    ErrorTextIndex = ERRTEXT_PACKAGE_INVALID;
    return STATE_ERROR;
  }
  const bool hostFound = outcomes_.UsbHostFound();
  if (theEnvironment && theEnvironment->QueryUsb2Host() != 0) {
    if (theEnvironment->QueryUsb2HostDisabled() == 0) {
      DisplayTexts.SetText(SLOT_STATUS, Text(LangText::USBOff));
      PostTexts();
      theEnvironment->SuspendUsb2Host();
    } else {
      // Off already: left alone, unless a killed run of Kestor left it off.
      theEnvironment->AdoptUsb2HostLeftOff();
    }
  }
  SettleEnvironment();
  if (theEnvironment) {
    WriteLogHeader(*theEnvironment, theConfig ? theConfig->UpdateRevision() : std::string(),
                   theConfig ? theConfig->SupportedDevice() : std::string(), hostFound);
  }
  if (!hostFound) {
    ErrorTextIndex = ERRTEXT_NO_USB_PORT;
    return STATE_INFO;
  }
  ShowPackageInfo();
  return STATE_USB_LISTEN;
}

void StateInitialize::ShowPackageInfo() {
  if (theConfig == nullptr) return;
  DisplayTexts.SetText(SLOT_SUPPORTED_DEVICE, theConfig->SupportedDevice());
  DisplayTexts.SetText(SLOT_PACKAGE_RELEASE, theConfig->UpdateRevision());
}

UpdateStateId StateInstallDriver::Execute() {
  ErrorTextIndex = ERRTEXT_NO_DRIVER;
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
      ErrorTextIndex = ERRTEXT_SEVERAL_DEVICES;
      return STATE_ERROR;
    case DeviceWait::Cancelled:
      break;
  }
  ErrorTextIndex = ERRTEXT_CANCELLED;
  return STATE_ERROR;
}

bool StateUsbConnect::Enter() {
  const RevisionInfo info = theDeviceUpdater ? theDeviceUpdater->GetRevisionInfo() : RevisionInfo{};
  std::string release = info.release;
  if (info.beta != "0") release += "Beta" + info.beta;
  if (release == "Beta") release = Text(LangText::DevStatusSUSB);
  DisplayTexts.Apply([&](DisplayTextsRecord& r) {
    r.texts[SLOT_DEVICE_TYPE] = info.deviceName;
    r.texts[SLOT_DEVICE_SERIAL] = std::to_string(LeadingSerial(info.serialNumber));
    r.texts[SLOT_DEVICE_RELEASE] = release;
    r.texts[SLOT_STATE_TITLE] = "Kestor - State USB Connect";
  });
  return PostTexts();
}

UpdateStateId StateUsbConnect::Execute() {
  DisplayTexts.SetText(SLOT_STATUS, Text(LangText::ReadDev));
  PostTexts();
  const DeviceCheck check = outcomes_.CheckDevice();
  Enter();
  switch (check) {
    case DeviceCheck::Passed:
      return STATE_UPDATE_POSSIBLE;
    case DeviceCheck::NewerThanPackage:
      ErrorTextIndex = ERRTEXT_NEWER_FIRMWARE;
      DisplayTexts.SetText(SLOT_STATUS, LanguageTexts.ErrorText(ERRTEXT_NEWER_FIRMWARE));
      PostTexts();
      return STATE_UPDATE_POSSIBLE;
    case DeviceCheck::WrongType:
      ErrorTextIndex = ERRTEXT_WRONG_DEVICE;
      break;
    case DeviceCheck::ReleaseExcluded:
      ErrorTextIndex = ERRTEXT_RELEASE_EXCLUDED;
      break;
    case DeviceCheck::SerialExcluded:
      ErrorTextIndex = ERRTEXT_SERIAL_EXCLUDED;
      break;
    case DeviceCheck::Unreadable:
      ErrorTextIndex = ERRTEXT_COMMUNICATION;
      break;
    case DeviceCheck::Cancelled:
      ErrorTextIndex = ERRTEXT_CANCELLED;
      break;
  }
  return STATE_ERROR;
}

bool StateUpdatePossible::Enter() {
  DisplayTexts.SetStartEnabled(true);
  ShowStatus(ErrorTextIndex == ERRTEXT_NEWER_FIRMWARE
                 ? LanguageTexts.ErrorText(ERRTEXT_NEWER_FIRMWARE)
                 : Text(LangText::UpdateReadyText),
             "Kestor - State Update Possible");
  return PostTexts();
}

UpdateStateId StateUpdatePossible::Execute() {
  Enter();
  return automaticUpdate ? STATE_UPDATE_PROCESS : STATE_UPDATE_POSSIBLE;
}

bool StateUpdateProcess::Enter() {
  DisplayTexts.SetText(SLOT_START_BUTTON, Text(LangText::StartUpd_Button_Cancel_Text));
  // The button is Cancel now; a language switch, which disables it, must not
  // take the user's way to stop the update.
  DisplayTexts.SetStartEnabled(true);
  ShowStatus(Text(LangText::RunningUpdate), "Kestor - Status UpdateProcess");
  return PostTexts();
}

UpdateStateId StateUpdateProcess::Execute() {
  // Running from here, unless Cancel or Exit came between Start and this
  // thread (or comes while Enter shows the state): that request stands, and
  // the run does not start.
  ReplaceCancelState(CANCEL_STATE_IDLE, CANCEL_STATE_RUNNING);
  Enter();
  if (CancelState() == CANCEL_STATE_REQUESTED) {
    ErrorTextIndex = ERRTEXT_CANCELLED;
    return STATE_ERROR;
  }
  const int failure = outcomes_.RunUpdate();
  if (failure == 0) {
    updateInstalled = true;
    return STATE_EXIT;
  }
  ErrorTextIndex = failure;
  return STATE_ERROR;
}

bool StateInfo::Enter() {
  const int index = ErrorTextIndex;
  const std::string text = LanguageTexts.ErrorText(
      index == ERRTEXT_NO_WINDOWS || index == ERRTEXT_NO_USB_PORT ? index
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
  DisplayTexts.SetStartEnabled(false);
  const std::string text = LanguageTexts.ErrorText(ErrorTextIndex);
  ShowStatus(text, "Kestor - State Error");
  LogStatus("\nfollowing Error occured:\n" + text);
  return PostTexts();
}

UpdateStateId StateError::Execute() {
  SetCancelState(CANCEL_STATE_REQUESTED);
  Enter();
  return STATE_EXIT;
}

bool StateExit::Enter() {
  DisplayTexts.SetStartEnabled(false);
  const int index = ErrorTextIndex;
  std::string text;
  if (index == ERRTEXT_NONE || index == ERRTEXT_SAME_RELEASE || index == ERRTEXT_NEWER_FIRMWARE) {
    // Leaving Update Possible installs nothing, and must not claim it did.
    text = updateInstalled ? Text(LangText::CloseUpdater) : kNothingInstalledText;
  } else if ((index >= ERRTEXT_PACKAGE_INVALID && index <= ERRTEXT_SERIAL_EXCLUDED) ||
             (index >= ERRTEXT_DISCONNECTED && index <= ERRTEXT_LAST)) {
    text = LanguageTexts.ErrorText(index);
  } else {
    text = kUnknownErrorText;
  }
  ShowStatus(text, "Kestor - State Exit");
  return PostTexts();
}

UpdateStateId StateExit::Execute() {
  // The exit thread and the state thread may both run Exit; the second run
  // finds it done.
  if (CancelState() == CANCEL_STATE_STOPPED) return STATE_EXIT;
  if (theEnvironment && theEnvironment->Usb2HostSuspended()) {
    LogStatus("\nReactivating USB2 :");
    DisplayTexts.SetText(SLOT_STATUS, Text(LangText::USBOn));
    PostTexts();
    if (theEnvironment->RestoreUsb2Host()) LogStatus("Success\n\n");
  }
  LogStatus("Updater Closed!");
  if (theEnvironment) CloseDebugLog(*theEnvironment, ErrorTextIndex, updateInstalled);
  // The log ends with "Updater Closed!" now; an entry behind it would make the
  // next start archive the whole run a second time.
  SetTraceLogPath("");
  Enter();
  SetCancelState(CANCEL_STATE_STOPPED);
  if (exitRequested || automaticUpdate) PostMessageA(theDialogWindow.load(), WM_UPDATE_CLOSE, 0, 0);
  return STATE_EXIT;
}

StateFactory MakeStateFactory(StateOutcomes& outcomes) {
  return [&outcomes](UpdateStateId id) -> std::unique_ptr<UpdateState> {
    switch (id) {
      case STATE_INITIALIZE:
        return std::make_unique<StateInitialize>(outcomes);
      case STATE_INSTALL_DRIVER:
        return std::make_unique<StateInstallDriver>(outcomes);
      case STATE_USB_LISTEN:
        return std::make_unique<StateUsbListen>(outcomes);
      case STATE_USB_CONNECT:
        return std::make_unique<StateUsbConnect>(outcomes);
      case STATE_UPDATE_POSSIBLE:
        return std::make_unique<StateUpdatePossible>(outcomes);
      case STATE_UPDATE_PROCESS:
        return std::make_unique<StateUpdateProcess>(outcomes);
      case STATE_INFO:
        return std::make_unique<StateInfo>(outcomes);
      case STATE_ERROR:
        return std::make_unique<StateError>(outcomes);
      case STATE_EXIT:
        return std::make_unique<StateExit>(outcomes);
    }
    return nullptr;
  };
}
