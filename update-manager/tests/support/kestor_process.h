// The tests' one hand on Kestor's process-wide state: the process context
// (environment, configuration, device updater) and the values a run of the
// program sets for everyone: its command line's switches, the package's
// customer device, the dialog window, the error index and the run's flags.
// A test holds one while it runs Kestor's code: it starts from a fresh
// process's values and leaves them so, whatever the test set.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "config/update_config.h"
#include "device/device_updater.h"
#include "environment/log_writer.h"
#include "environment/system_environment.h"
#include "state/display_texts.h"
#include "state/process_context.h"
#include "state/shared_values.h"

namespace kestortest {

class KestorProcess {
 public:
  KestorProcess() { Reset(); }
  ~KestorProcess() {
    Release();
    Reset();
  }
  KestorProcess(const KestorProcess&) = delete;
  KestorProcess& operator=(const KestorProcess&) = delete;

  // Kestor's process-wide values as a fresh process starts with them: no
  // context, no trace log, every switch and flag off.
  static void Reset() {
    attached_ = nullptr;
    theProcessContext.Release();
    SetTraceLogPath("");
    theDialogWindow = nullptr;
    traceLevel = 0;
    automaticUpdate = false;
    stringTrace = false;
    Customer(0, "");
    rebootPsAfterSusbStart = false;
    NewRun();
    DisplayTexts.Clear();
  }

  // The context of objects the test made (any may be null), published as
  // the program publishes its own.
  static void Build(std::unique_ptr<SystemEnvironment> environment,
                    std::unique_ptr<UpdateConfig> config = nullptr,
                    std::unique_ptr<DeviceUpdater> updater = nullptr) {
    // The context hands the package's customer device on as the program's does.
    theProcessContext.Adopt(std::move(environment), std::move(config), std::move(updater));
    HandOnSwitches();
  }
  // An updater the test made and keeps itself: it goes by the switches and
  // the customer device of the test from now on, as the context's updater
  // does. It detaches itself before it is deleted.
  static void Attach(DeviceUpdater* updater) {
    attached_ = updater;
    HandOnSwitches();
    HandOnCustomer();
  }
  static void Detach(const DeviceUpdater* updater) {
    if (attached_ == updater) attached_ = nullptr;
  }
  // What the states work with over the objects built.
  static StateContext Context() { return theProcessContext.Context(); }
  // The objects deleted, the updater first; the values stay.
  static void Release() { theProcessContext.Release(); }

  // What a new start of Kestor in this process begins with: no error, no
  // exit asked for, nothing installed.
  static void NewRun() {
    ErrorTextIndex = ERRTEXT_NONE;
    exitRequested = false;
    g_bExitThreadDone = false;
    updateInstalled = false;
  }

  // The error text the run ends with (an ErrorTextId).
  static void ErrorIndex(int index) { ErrorTextIndex = index; }
  // Exit pressed: the run ends at the next safe point.
  static void ExitRequested(bool on) { exitRequested = on; }
  // The command line's switches: -d<n>, -a, -s2p.
  static void TraceLevel(int level) {
    traceLevel = level;
    HandOnSwitches();
  }
  static void Automatic(bool on) {
    automaticUpdate = on;
    HandOnSwitches();
  }
  static void StringTrace(bool on) {
    stringTrace = on;
    HandOnSwitches();
  }
  // The window the workers post to.
  static void DialogWindow(HWND window) { theDialogWindow = window; }
  // The package's customer device: its product id and name.
  static void Customer(int productId, const std::string& name) {
    customerPid = productId;
    customerDeviceName = name;
    HandOnCustomer();
  }
  // The package's DEBUG RebootPSafterSUSBstart.
  static void RebootSupplyAfterUpdateModeStart(bool on) { rebootPsAfterSusbStart = on; }

 private:
  // The program's updater reads the switches from its command line and gets
  // the customer device once the package is read; a test's updaters get the
  // values the test set, whenever it sets them.
  static void HandOnSwitches() {
    for (DeviceUpdater* updater : {attached_, Context().updater})
      if (updater)
        updater->SetSwitches({traceLevel.load(), automaticUpdate.load(), stringTrace.load()});
  }
  static void HandOnCustomer() {
    for (DeviceUpdater* updater : {attached_, Context().updater})
      if (updater) updater->SetCustomerDevice({customerPid, customerDeviceName});
  }

  static inline DeviceUpdater* attached_ = nullptr;
};

}  // namespace kestortest
