#include "state/process_context.h"

#include <new>

#include "config/update_config.h"
#include "device/device_updater.h"
#include "environment/log_writer.h"
#include "environment/system_environment.h"
#include "state/display_texts.h"
#include "state/language_glue.h"
#include "state/shared_values.h"

ProcessContext theProcessContext;

namespace {

template <typename T, typename... Args>
std::unique_ptr<T> MakeObject(Args&&... args) {
  try {
    return std::unique_ptr<T>(new (std::nothrow) T(std::forward<Args>(args)...));
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

ProcessContext::~ProcessContext() {
  // At process end the objects are left to the system: a state thread that
  // never ended may still use them.
  static_cast<void>(updater_.release());
  static_cast<void>(config_.release());
  static_cast<void>(environment_.release());
}

bool ProcessContext::Build(const std::vector<std::string>& args) {
  environment_ = MakeObject<SystemEnvironment>();
  theEnvironment = environment_.get();
  config_ = MakeObject<UpdateConfig>();
  theConfig = config_.get();
  updater_ = MakeObject<DeviceUpdater>(args);
  Publish();
  return Built();
}

void ProcessContext::Adopt(std::unique_ptr<SystemEnvironment> environment,
                           std::unique_ptr<UpdateConfig> config,
                           std::unique_ptr<DeviceUpdater> updater) {
  Release();
  environment_ = std::move(environment);
  config_ = std::move(config);
  updater_ = std::move(updater);
  Publish();
}

bool ProcessContext::Built() const { return environment_ && config_ && updater_; }

StateContext ProcessContext::Context() const {
  StateContext context;
  context.environment = environment_.get();
  context.config = config_.get();
  context.updater = updater_.get();
  context.errorIndex = &ErrorTextIndex;
  context.automatic = &automaticUpdate;
  context.exitRequested = &exitRequested;
  context.updateInstalled = &updateInstalled;
  context.traceSwitch = &traceLevel;
  context.displayTexts = &DisplayTexts;
  context.languageTexts = &LanguageTexts;
  context.dialogWindow = &theDialogWindow;
  context.waitCursor = &waitCursorActive;
  if (updater_) {
    context.channel = &updater_->Channel();
    context.cancel = &updater_->Cancel();
  }
  return context;
}

void ProcessContext::Release() {
  theDeviceUpdater = nullptr;
  updater_.reset();
  theConfig = nullptr;
  config_.reset();
  theEnvironment = nullptr;
  environment_.reset();
}

int CancelState() {
  return theDeviceUpdater ? theDeviceUpdater->GetCancelState() : CANCEL_STATE_STOPPED;
}

void SetCancelState(int value) {
  if (theDeviceUpdater) theDeviceUpdater->SetCancelState(value);
}

bool ReplaceCancelState(int expected, int value) {
  return theDeviceUpdater && theDeviceUpdater->ReplaceCancelState(expected, value);
}

void ProcessContext::Publish() {
  theEnvironment = environment_.get();
  theConfig = config_.get();
  theDeviceUpdater = updater_.get();
  // The package reader published its customer device as the configuration
  // was built; the device search keeps its own copy.
  if (updater_) updater_->SetCustomerDevice({customerPid, customerDeviceName});
}
