#include "state/states.h"

#include "config/update_config.h"
#include "device/device_updater.h"
#include "environment/log_writer.h"
#include "environment/system_environment.h"
#include "hwport/clock.h"
#include "state/display_texts.h"
#include "state/english_texts.h"
#include "state/shared_values.h"

namespace {

int CancelState() {
  return theDeviceUpdater ? theDeviceUpdater->GetCancelState() : CANCEL_STATE_IDLE;
}

void SetCancelState(int value) {
  if (theDeviceUpdater) theDeviceUpdater->SetCancelState(value);
}

void ShowStatus(const std::string& status, const char* title) {
  DisplayTexts.SetText(SLOT_STATUS, status);
  DisplayTexts.SetText(SLOT_STATE_TITLE, title);
}

}  // namespace

bool PlatformOutcomes::OperatingSystemSupported() {
  return theEnvironment != nullptr && theEnvironment->CheckOperatingSystem();
}

bool PlatformOutcomes::PackageInvalid() {
  return theConfig == nullptr || theConfig->packageInvalid;
}

DeviceWait PlatformOutcomes::WaitForDevice() {
  // Without device access no power supply is ever found: poll for a cancel as
  // the device search would between its searches.
  while (CancelState() != CANCEL_STATE_REQUESTED) hwport::Sleep(10);
  return DeviceWait::Cancelled;
}

StateInitialize::StateInitialize(StateOutcomes& outcomes) : OutcomeState(outcomes) {
  ErrorTextIndex = 0;
}

UpdateStateId StateInitialize::Execute() {
  if (theEnvironment) {
    theEnvironment->SetProgramFolder();
    SetTraceLogPath(theEnvironment->DebugLogPath());
  }
  DisplayTexts.SetText(SLOT_START_BUTTON, kStartButtonText);
  DisplayTexts.SetStartEnabled(false);
  DisplayTexts.SetText(SLOT_STATE_TITLE, "Kestor - State Initialize");
  PostTexts();
  if (!outcomes_.OperatingSystemSupported()) {
    ErrorTextIndex = 2;
    return STATE_INFO;
  }
  if (outcomes_.PackageInvalid()) {
    ErrorTextIndex = 1;
    return STATE_ERROR;
  }
  const bool hostFound = outcomes_.UsbHostFound();
  if (!hostFound) {
    ErrorTextIndex = 3;
    return STATE_INFO;
  }
  if (theConfig) {
    DisplayTexts.SetText(SLOT_SUPPORTED_DEVICE, theConfig->SupportedDevice());
    DisplayTexts.SetText(SLOT_PACKAGE_RELEASE, theConfig->UpdateRevision());
  }
  return STATE_USB_LISTEN;
}

UpdateStateId StateInstallDriver::Execute() {
  ErrorTextIndex = 5;
  return STATE_ERROR;
}

bool StateUsbListen::Enter() {
  ShowStatus(kNoDevText, "Kestor - State USBListen");
  return PostTexts();
}

UpdateStateId StateUsbListen::Execute() {
  Enter();
  switch (outcomes_.WaitForDevice()) {
    case DeviceWait::Ready:
      return STATE_USB_CONNECT;
    case DeviceWait::SeveralPowerSupplies:
      ErrorTextIndex = 7;
      return STATE_ERROR;
    case DeviceWait::Cancelled:
      break;
  }
  ErrorTextIndex = 15;
  return STATE_ERROR;
}

bool StateUsbConnect::Enter() {
  DisplayTexts.SetText(SLOT_STATE_TITLE, "Kestor - State USB Connect");
  return PostTexts();
}

UpdateStateId StateUsbConnect::Execute() {
  DisplayTexts.SetText(SLOT_STATUS, kReadDevText);
  PostTexts();
  const DeviceCheck check = outcomes_.CheckDevice();
  Enter();
  switch (check) {
    case DeviceCheck::Passed:
      return STATE_UPDATE_POSSIBLE;
    case DeviceCheck::NewerThanPackage:
      ErrorTextIndex = 13;
      DisplayTexts.SetText(SLOT_STATUS, ErrorText(13));
      PostTexts();
      return STATE_UPDATE_POSSIBLE;
    case DeviceCheck::WrongType:
      ErrorTextIndex = 8;
      break;
    case DeviceCheck::ReleaseExcluded:
      ErrorTextIndex = 10;
      break;
    case DeviceCheck::SerialExcluded:
      ErrorTextIndex = 11;
      break;
    case DeviceCheck::Cancelled:
      ErrorTextIndex = 15;
      break;
  }
  return STATE_ERROR;
}

bool StateUpdatePossible::Enter() {
  DisplayTexts.SetStartEnabled(true);
  ShowStatus(ErrorTextIndex == 13 ? ErrorText(13) : kUpdateReadyText,
             "Kestor - State Update Possible");
  return PostTexts();
}

UpdateStateId StateUpdatePossible::Execute() {
  Enter();
  return automaticUpdate ? STATE_UPDATE_PROCESS : STATE_UPDATE_POSSIBLE;
}

bool StateUpdateProcess::Enter() {
  DisplayTexts.SetText(SLOT_START_BUTTON, kCancelButtonText);
  ShowStatus(kRunningUpdateText, "Kestor - Status UpdateProcess");
  return PostTexts();
}

UpdateStateId StateUpdateProcess::Execute() {
  Enter();
  SetCancelState(CANCEL_STATE_RUNNING);
  const int failure = outcomes_.RunUpdate();
  if (failure == 0) return STATE_EXIT;
  ErrorTextIndex = failure;
  return STATE_ERROR;
}

bool StateInfo::Enter() {
  const int index = ErrorTextIndex;
  const std::string text = ErrorText(index == 2 || index == 3 ? index : 4);
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
  const std::string text = ErrorText(ErrorTextIndex);
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
  if (index == 0 || index == 12 || index == 13) {
    text = kCloseUpdaterText;
  } else if ((index >= 1 && index <= 11) || (index >= 14 && index <= 17)) {
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
  if (CancelState() == CANCEL_STATE_STOPPED) return STATE_EXIT;
  LogStatus("Updater Closed!");
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
