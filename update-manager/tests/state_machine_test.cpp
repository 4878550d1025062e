#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "config/update_config.h"
#include "device/device_updater.h"
#include "environment/log_writer.h"
#include "environment/system_environment.h"
#include "kestor_process.h"
#include "lumetra/sync.h"
#include "package_builder.h"
#include "state/display_texts.h"
#include "state/shared_values.h"
#include "state/states.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"

namespace {

// Outcomes of the states' questions as a row of the table sets them.
struct ScriptedOutcomes : StateOutcomes {
  bool osSupported = true;
  bool packageInvalid = false;
  bool usbHost = true;
  DeviceWait deviceWait = DeviceWait::Ready;
  DeviceCheck deviceCheck = DeviceCheck::Passed;
  int updateResult = 0;
  bool OperatingSystemSupported() override { return osSupported; }
  bool PackageInvalid() override { return packageInvalid; }
  bool UsbHostFound() override { return usbHost; }
  DeviceWait WaitForDevice() override { return deviceWait; }
  DeviceCheck CheckDevice() override { return deviceCheck; }
  int RunUpdate() override { return updateResult; }
};

struct TransitionRow {
  const char* when;
  UpdateStateId from;
  std::function<void(ScriptedOutcomes&)> script;
  UpdateStateId to;
  int errorIndex;   // ErrorTextIndex after the step
  int cancelState;  // CancelState after the step
};

// Shared values, a device updater, the debug log and a message-only window
// standing in for the dialog, fresh for each test.
class StateTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnvironmentVariableA("TEMP", folder_.Path().c_str());
    BuildContext();
    window_ =
        CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    process_.DialogWindow(window_);
    updater_->SetWindow(window_);
  }
  void TearDown() override {
    process_.Release();
    process_.DialogWindow(nullptr);
    DestroyWindow(window_);
  }
  // An environment, the given configuration and a device updater as the
  // process context.
  void BuildContext(std::unique_ptr<UpdateConfig> config = nullptr) {
    auto environment = std::make_unique<SystemEnvironment>();
    environment_ = environment.get();
    auto updater = std::make_unique<DeviceUpdater>(std::vector<std::string>{});
    if (window_) updater->SetWindow(window_);
    updater_ = updater.get();
    process_.Build(std::move(environment), std::move(config), std::move(updater));
  }
  // Number of messages `message` waiting for the stand-in window.
  int Posted(UINT message) {
    int n = 0;
    MSG msg;
    while (PeekMessageA(&msg, window_, message, message, PM_REMOVE)) ++n;
    return n;
  }
  std::string DebugLog() { return testsupport::ReadFileOr(environment_->DebugLogPath()); }

  kestortest::KestorProcess process_;
  testsupport::TestFolder folder_;
  SystemEnvironment* environment_ = nullptr;
  DeviceUpdater* updater_ = nullptr;
  HWND window_ = nullptr;
};

TEST_F(StateTableTest, EveryRowOfTheTransitionTable) {
  const TransitionRow rows[] = {
      {"operating system not supported", STATE_INITIALIZE,
       [](ScriptedOutcomes& o) { o.osSupported = false; }, STATE_INFO, 2, CANCEL_STATE_IDLE},
      {"no USB host controller", STATE_INITIALIZE, [](ScriptedOutcomes& o) { o.usbHost = false; },
       STATE_INFO, 3, CANCEL_STATE_IDLE},
      {"package invalid", STATE_INITIALIZE, [](ScriptedOutcomes& o) { o.packageInvalid = true; },
       STATE_ERROR, 1, CANCEL_STATE_IDLE},
      {"Initialize otherwise", STATE_INITIALIZE, [](ScriptedOutcomes&) {}, STATE_USB_LISTEN, 0,
       CANCEL_STATE_IDLE},
      {"one power supply ready", STATE_USB_LISTEN, [](ScriptedOutcomes&) {}, STATE_USB_CONNECT, 0,
       CANCEL_STATE_IDLE},
      {"more than one device", STATE_USB_LISTEN,
       [](ScriptedOutcomes& o) { o.deviceWait = DeviceWait::SeveralPowerSupplies; }, STATE_ERROR, 7,
       CANCEL_STATE_IDLE},
      {"cancel while waiting for the device", STATE_USB_LISTEN,
       [](ScriptedOutcomes& o) { o.deviceWait = DeviceWait::Cancelled; }, STATE_ERROR, 15,
       CANCEL_STATE_IDLE},
      {"device passed the package checks", STATE_USB_CONNECT, [](ScriptedOutcomes&) {},
       STATE_UPDATE_POSSIBLE, 0, CANCEL_STATE_IDLE},
      {"device newer than the package", STATE_USB_CONNECT,
       [](ScriptedOutcomes& o) { o.deviceCheck = DeviceCheck::NewerThanPackage; },
       STATE_UPDATE_POSSIBLE, 13, CANCEL_STATE_IDLE},
      {"device type not supported", STATE_USB_CONNECT,
       [](ScriptedOutcomes& o) { o.deviceCheck = DeviceCheck::WrongType; }, STATE_ERROR, 8,
       CANCEL_STATE_IDLE},
      {"release excluded", STATE_USB_CONNECT,
       [](ScriptedOutcomes& o) { o.deviceCheck = DeviceCheck::ReleaseExcluded; }, STATE_ERROR, 10,
       CANCEL_STATE_IDLE},
      {"serial excluded", STATE_USB_CONNECT,
       [](ScriptedOutcomes& o) { o.deviceCheck = DeviceCheck::SerialExcluded; }, STATE_ERROR, 11,
       CANCEL_STATE_IDLE},
      {"the supply's block unread", STATE_USB_CONNECT,
       [](ScriptedOutcomes& o) { o.deviceCheck = DeviceCheck::Unreadable; }, STATE_ERROR, 9,
       CANCEL_STATE_IDLE},
      {"cancel while reading the device", STATE_USB_CONNECT,
       [](ScriptedOutcomes& o) { o.deviceCheck = DeviceCheck::Cancelled; }, STATE_ERROR, 15,
       CANCEL_STATE_IDLE},
      {"Update Possible rests without automatic mode", STATE_UPDATE_POSSIBLE,
       [](ScriptedOutcomes&) {}, STATE_UPDATE_POSSIBLE, 0, CANCEL_STATE_IDLE},
      {"Update Possible goes on in automatic mode", STATE_UPDATE_POSSIBLE,
       [](ScriptedOutcomes&) { kestortest::KestorProcess::Automatic(true); }, STATE_UPDATE_PROCESS,
       0, CANCEL_STATE_IDLE},
      {"the update run succeeded", STATE_UPDATE_PROCESS, [](ScriptedOutcomes&) {}, STATE_EXIT, 0,
       CANCEL_STATE_RUNNING},
      {"the update run failed", STATE_UPDATE_PROCESS,
       [](ScriptedOutcomes& o) { o.updateResult = 16; }, STATE_ERROR, 16, CANCEL_STATE_RUNNING},
      {"Exit pressed between Start and the run: the run does not start", STATE_UPDATE_PROCESS,
       [](ScriptedOutcomes&) { SetCancelState(CANCEL_STATE_REQUESTED); }, STATE_ERROR, 15,
       CANCEL_STATE_REQUESTED},
      {"Info always leads to Exit", STATE_INFO, [](ScriptedOutcomes&) {}, STATE_EXIT, 0,
       CANCEL_STATE_IDLE},
      {"Error always leads to Exit and requests the cancel", STATE_ERROR, [](ScriptedOutcomes&) {},
       STATE_EXIT, 0, CANCEL_STATE_REQUESTED},
      {"Exit rests in Exit and stops", STATE_EXIT, [](ScriptedOutcomes&) {}, STATE_EXIT, 0,
       CANCEL_STATE_STOPPED},
      {"the reserved driver state ends in Error", STATE_INSTALL_DRIVER, [](ScriptedOutcomes&) {},
       STATE_ERROR, 5, CANCEL_STATE_IDLE},
  };
  for (const TransitionRow& row : rows) {
    SCOPED_TRACE(row.when);
    ScriptedOutcomes outcomes;
    process_.Automatic(false);
    updater_->SetCancelState(CANCEL_STATE_IDLE);
    row.script(outcomes);
    StateMachine machine(process_.Context(), MakeStateFactory(process_.Context(), outcomes));
    if (row.from == STATE_ERROR) {
      // A new machine stands on Error already; the driver state leads there.
      machine.SetNext(STATE_INSTALL_DRIVER);
      machine.Step();
    } else if (row.from != STATE_INITIALIZE) {
      ASSERT_TRUE(machine.SetNext(row.from));
    }
    process_.ErrorIndex(ERRTEXT_NONE);
    ASSERT_TRUE(machine.Step());
    EXPECT_EQ(machine.CurrentId(), row.from);
    EXPECT_EQ(machine.NextId(), row.to);
    EXPECT_EQ(ErrorTextIndex.load(), row.errorIndex);
    EXPECT_EQ(updater_->GetCancelState(), row.cancelState);
    EXPECT_EQ(machine.Step(), row.from != row.to) << "a state naming itself rests the machine";
    Posted(WM_UPDATE_TEXTS);
  }
}

TEST_F(StateTableTest, FirstStepRunsAFreshInitializeAndShowsThePackage) {
  kestortest::PackageBuilder package(folder_ / "package");
  package.Package("TR440", "1.3");
  ASSERT_TRUE(package.Write());
  BuildContext(std::make_unique<UpdateConfig>(package.AppFolder()));
  ScriptedOutcomes outcomes;
  StateMachine machine(process_.Context(), MakeStateFactory(process_.Context(), outcomes));
  EXPECT_EQ(machine.CurrentId(), STATE_ERROR);
  EXPECT_EQ(machine.NextId(), STATE_INITIALIZE);
  process_.ErrorIndex(ERRTEXT_COMMUNICATION);
  ASSERT_TRUE(machine.Step());
  EXPECT_EQ(machine.CurrentId(), STATE_INITIALIZE);
  EXPECT_EQ(ErrorTextIndex.load(), 0) << "Initialize clears the error index";
  const DisplayTextsRecord texts = machine.CopyDisplayTexts();
  EXPECT_EQ(texts.texts[SLOT_SUPPORTED_DEVICE], "TR440");
  EXPECT_EQ(texts.texts[SLOT_PACKAGE_RELEASE], "1.3");
  EXPECT_EQ(TraceLogPath(), environment_->DebugLogPath());
  EXPECT_GE(Posted(WM_UPDATE_TEXTS), 1);
}

TEST_F(StateTableTest, SetNextAndStepOnARestingMachineChangeNothing) {
  ScriptedOutcomes outcomes;
  StateMachine machine(process_.Context(), MakeStateFactory(process_.Context(), outcomes));
  EXPECT_FALSE(machine.SetNext(STATE_INITIALIZE)) << "the id wanted already";
  while (machine.Step()) {
  }
  EXPECT_EQ(machine.CurrentId(), STATE_UPDATE_POSSIBLE);
  EXPECT_FALSE(machine.Step());
  EXPECT_EQ(machine.CurrentId(), STATE_UPDATE_POSSIBLE);
  EXPECT_TRUE(machine.CopyDisplayTexts().startEnabled);
}

TEST_F(StateTableTest, StartLeavesUpdatePossibleForTheUpdateAndExitForExit) {
  ScriptedOutcomes outcomes;
  StateMachine machine(process_.Context(), MakeStateFactory(process_.Context(), outcomes));
  while (machine.Step()) {
  }
  ASSERT_EQ(machine.CurrentId(), STATE_UPDATE_POSSIBLE);
  EXPECT_FALSE(machine.LeaveRest(STATE_USB_LISTEN, STATE_EXIT)) << "not resting there";
  EXPECT_TRUE(machine.LeaveRest(STATE_UPDATE_POSSIBLE, STATE_UPDATE_PROCESS));
  EXPECT_FALSE(machine.LeaveRest(STATE_UPDATE_POSSIBLE, STATE_EXIT))
      << "Start took the machine; Exit cannot take it as well";
  std::vector<UpdateStateId> visited;
  while (machine.Step()) visited.push_back(machine.CurrentId());
  EXPECT_EQ(visited, (std::vector<UpdateStateId>{STATE_UPDATE_PROCESS, STATE_EXIT}));

  StateMachine second(process_.Context(), MakeStateFactory(process_.Context(), outcomes));
  updater_->SetCancelState(CANCEL_STATE_IDLE);
  while (second.Step()) {
  }
  process_.ExitRequested(true);
  Posted(WM_UPDATE_CLOSE);
  ASSERT_TRUE(second.LeaveRest(STATE_UPDATE_POSSIBLE, STATE_EXIT));
  ASSERT_TRUE(second.Step());
  EXPECT_EQ(updater_->GetCancelState(), CANCEL_STATE_STOPPED);
  EXPECT_EQ(Posted(WM_UPDATE_CLOSE), 1) << "Exit closes the window after the Exit button";
}

TEST_F(StateTableTest, ExitRunTwiceClosesOnlyOnce) {
  ScriptedOutcomes outcomes;
  process_.Automatic(true);
  StateMachine first(process_.Context(), MakeStateFactory(process_.Context(), outcomes));
  first.SetNext(STATE_EXIT);
  first.Step();
  StateMachine again(process_.Context(), MakeStateFactory(process_.Context(), outcomes));
  again.SetNext(STATE_EXIT);
  again.Step();
  EXPECT_EQ(again.NextId(), STATE_EXIT);
  EXPECT_EQ(Posted(WM_UPDATE_CLOSE), 1);
  const std::string log = DebugLog();
  EXPECT_EQ(log.find("Updater Closed!"), log.rfind("Updater Closed!")) << log;
}

// A device wait that holds its state until the test lets it go.
struct BlockingOutcomes : ScriptedOutcomes {
  std::atomic<bool> inside{false};
  std::atomic<bool> release{false};
  DeviceWait WaitForDevice() override {
    inside = true;
    while (!release) Sleep(1);
    return DeviceWait::Ready;
  }
};

TEST_F(StateTableTest, OnlyOneThreadStepsTheMachine) {
  BlockingOutcomes outcomes;
  StateMachine machine(process_.Context(), MakeStateFactory(process_.Context(), outcomes));
  machine.Step();                                   // Initialize
  lm::Thread stateThread([&] { machine.Step(); });  // USB Listen, held
  while (!outcomes.inside) Sleep(1);
  EXPECT_FALSE(machine.LeaveRest(STATE_USB_LISTEN, STATE_EXIT)) << "refused while stepping";
  // The first Step goes on only once the second thread is on its way into
  // Step: a second stepper that did not wait would find the machine at rest
  // in USB Listen (current == next) and return false without running a state.
  std::atomic<bool> secondStarted{false};
  std::atomic<bool> secondRan{false};
  lm::Thread second([&] {
    secondStarted = true;
    secondRan = machine.Step();
  });
  while (!secondStarted) Sleep(1);
  EXPECT_EQ(machine.CurrentId(), STATE_USB_LISTEN);
  outcomes.release = true;
  EXPECT_TRUE(stateThread.Join(testsupport::kUiWaitMs));
  EXPECT_TRUE(second.Join(testsupport::kUiWaitMs));
  EXPECT_TRUE(secondRan) << "a second stepper waits for the first, then runs the next state";
  EXPECT_EQ(machine.CurrentId(), STATE_USB_CONNECT) << "the second Step ran the next state";
}

TEST_F(StateTableTest, StateThreadRunsAnAutomaticUpdateToTheEnd) {
  ScriptedOutcomes outcomes;
  process_.Automatic(true);
  std::vector<UpdateStateId> visited;
  StateFactory states = MakeStateFactory(process_.Context(), outcomes);
  StateMachine machine(process_.Context(), [&](UpdateStateId id) {
    visited.push_back(id);
    return states(id);
  });
  visited.clear();
  HANDLE thread = CreateThread(nullptr, 0, StateThreadProc, &machine, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, 30000), WAIT_OBJECT_0);
  CloseHandle(thread);
  EXPECT_EQ(visited,
            (std::vector<UpdateStateId>{STATE_INITIALIZE, STATE_USB_LISTEN, STATE_USB_CONNECT,
                                        STATE_UPDATE_POSSIBLE, STATE_UPDATE_PROCESS, STATE_EXIT}));
  EXPECT_FALSE(waitCursorActive);
  EXPECT_EQ(Posted(WM_UPDATE_CLOSE), 1);
}

}  // namespace
