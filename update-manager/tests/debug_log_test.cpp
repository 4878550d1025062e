// Whole runs of the states on a PC in memory: what Initialize does with the
// USB host controllers, the debug log of each run and how every run's log
// reaches the update log exactly once, and the texts after a language switch.
#include "state/debug_log.h"

#include <gtest/gtest.h>

#include <memory>

#include "config/update_config.h"
#include "device/device_updater.h"
#include "environment/log_writer.h"
#include "environment/system_environment.h"
#include "fake_usb_host.h"
#include "kestor_process.h"
#include "package_builder.h"
#include "state/display_texts.h"
#include "state/shared_values.h"
#include "state/states.h"
#include "testsupport/testdir.h"

namespace {

struct Outcomes : StateOutcomes {
  bool osSupported = true;
  bool OperatingSystemSupported() override {
    theEnvironment->CheckOperatingSystem();
    return osSupported;
  }
  bool PackageInvalid() override { return theConfig == nullptr || theConfig->packageInvalid; }
  bool UsbHostFound() override { return theEnvironment->FindUsbHost(); }
  DeviceWait WaitForDevice() override { return DeviceWait::Ready; }
  DeviceCheck CheckDevice() override { return DeviceCheck::Passed; }
  int RunUpdate() override { return 0; }
};

// "\n" as the logs store it.
std::string CrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

enum class Leave { ExitInUpdatePossible, ByUpdate, Crash };

class KestorRuns : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnvironmentVariableA("TEMP", folder_.Path().c_str());
    window_ =
        CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    process_.DialogWindow(window_);
  }
  void TearDown() override {
    process_.DialogWindow(nullptr);
    DestroyWindow(window_);
    SetTraceLogPath("");
  }

  // One run of Kestor on a package of release `version`, from Initialize
  // until the machine rests, then left as `leave` says. Returns the id it
  // ended in.
  UpdateStateId Run(const std::string& version, Outcomes outcomes, Leave leave) {
    kestortest::PackageBuilder package(folder_ / ("package" + version));
    package.Package("TR440", version);
    EXPECT_TRUE(package.Write());
    auto environment = std::make_unique<SystemEnvironment>();
    UseUsbHostPc(*environment, pc_);
    auto owned = std::make_unique<DeviceUpdater>(std::vector<std::string>{});
    DeviceUpdater& updater = *owned;
    process_.Build(std::move(environment), std::make_unique<UpdateConfig>(package.AppFolder()),
                   std::move(owned));
    process_.NewRun();
    process_.Automatic(false);
    updater.SetWindow(window_);
    StateMachine machine(process_.Context(), MakeStateFactory(process_.Context(), outcomes));
    while (machine.Step()) {
    }
    if (machine.CurrentId() == STATE_UPDATE_POSSIBLE && leave != Leave::Crash) {
      process_.ExitRequested(leave == Leave::ExitInUpdatePossible);
      machine.LeaveRest(STATE_UPDATE_POSSIBLE,
                        leave == Leave::ByUpdate ? STATE_UPDATE_PROCESS : STATE_EXIT);
      if (leave == Leave::ByUpdate) updater.SetCancelState(CANCEL_STATE_RUNNING);
      while (machine.Step()) {
      }
    }
    lastStatus_ = DisplayTexts.Copy().texts[SLOT_STATUS];
    const UpdateStateId last = machine.CurrentId();
    process_.Release();
    MSG msg;
    while (PeekMessageA(&msg, window_, 0, 0, PM_REMOVE)) {
    }
    return last;
  }
  std::string Header(const std::string& version) {
    SystemEnvironment environment;
    UsbHostPc enabled;
    UseUsbHostPc(environment, enabled);
    environment.CheckOperatingSystem();
    environment.FindUsbHost();
    environment.QueryUsb2HostDisabled();
    return LogHeaderText(environment, version, "TR440", true);
  }
  std::string DebugLog() { return testsupport::ReadFileOr(folder_ / "LM_Logfile.txt"); }
  std::string UpdateLog() {
    return testsupport::ReadFileOr(folder_ / "Kestor_log\\Kestor.log", "(no update log)");
  }

  kestortest::KestorProcess process_;
  testsupport::TestFolder folder_;
  HWND window_ = nullptr;
  UsbHostPc pc_;
  std::string lastStatus_;
};

const char kUsbBackOn[] = "\nReactivating USB2 :Success\n\nUpdater Closed!";

TEST_F(KestorRuns, HeaderNamesReleasePackageSystemUsbAndDate) {
  SYSTEMTIME today;
  GetLocalTime(&today);
  char date[16];
  std::snprintf(date, sizeof date, "%04u-%02u-%02u", today.wYear, today.wMonth, today.wDay);
  EXPECT_EQ(Header("1.3"), std::string("Kestor Logfile\n-------------------------\nRelease 1.28\n\n"
                                       "\nUpdate-Revision     : 1.3\n"
                                       "Supported Device    : TR440\n\n\n"
                                       "System stats:\nOperating System    : Windows XP"
                                       "\nUSB Installed       : yes\n"
                                       "USB 2.0             : yes\n"
                                       "USB2 activated      : yes\n"
                                       "SystemDate          : ") +
                               date + "\n");
  SystemEnvironment environment;
  EXPECT_NE(LogHeaderText(environment, "1.3", "TR440", false)
                .find("USB Installed       : no\nSystemDate"),
            std::string::npos);
}

TEST_F(KestorRuns, InitializeOnEveryKindOfPc) {
  struct Row {
    const char* pc;
    UsbHostPc start;
    UpdateStateId after;
    int errorIndex;
    std::vector<std::string> switches;
    const char* usbLines;  // header lines from "USB Installed"
  } rows[] = {
      {"USB 2.0 enabled: off for the run, on again at Exit",
       {true, true, false, {}},
       STATE_EXIT,
       0,
       {"off", "on"},
       "yes\nUSB 2.0             : yes\nUSB2 activated      : yes\n"},
      {"USB 2.0 already disabled: left alone",
       {true, true, true, {}},
       STATE_EXIT,
       0,
       {},
       "yes\nUSB 2.0             : yes\nUSB2 activated      : no\n"},
      {"USB 1.1 only: nothing to switch",
       {true, false, false, {}},
       STATE_EXIT,
       0,
       {},
       "yes\nUSB 2.0             : no\n"},
      {"no USB host: Info with index 3", {false, false, false, {}}, STATE_EXIT, 3, {}, "no\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pc);
    pc_ = row.start;
    DeleteFileA((folder_ / "LM_Logfile.txt").c_str());
    EXPECT_EQ(Run("1.1", Outcomes{}, Leave::ExitInUpdatePossible), row.after);
    EXPECT_EQ(ErrorTextIndex.load(), row.errorIndex);
    EXPECT_EQ(pc_.switches, row.switches);
    const std::string log = DebugLog();
    EXPECT_NE(log.find(CrLf(std::string("\nUSB Installed       : ") + row.usbLines)),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("Reactivating USB2") != std::string::npos, !row.switches.empty()) << log;
  }
  pc_ = UsbHostPc{};
  EXPECT_EQ(Run(
                "1.1",
                [] {
                  Outcomes o;
                  o.osSupported = false;
                  return o;
                }(),
                Leave::ExitInUpdatePossible),
            STATE_EXIT);
  EXPECT_EQ(ErrorTextIndex.load(), 2) << "operating system not accepted";
  EXPECT_TRUE(pc_.switches.empty()) << "checked before any switching";
}

TEST_F(KestorRuns, ThreeRunsArchiveEachDebugLogExactlyOnce) {
  const std::string afterExit = kUsbBackOn;
  Run("1.1", Outcomes{}, Leave::ExitInUpdatePossible);
  EXPECT_EQ(lastStatus_, "No update was installed. Press Exit to close the Kestor!");
  EXPECT_EQ(UpdateLog(), "(no update log)") << "the first clean run waits for the next start";
  EXPECT_EQ(DebugLog(), CrLf(Header("1.1") + afterExit + "No update installed!"));

  Run("1.2", Outcomes{}, Leave::ExitInUpdatePossible);
  const std::string twoRuns = CrLf(Header("1.1") + afterExit + "No update installed!\n") +
                              CrLf("\n\n\n" + Header("1.2") + afterExit + "\n");
  EXPECT_EQ(UpdateLog(), twoRuns);
  EXPECT_EQ(DebugLog(), CrLf(Header("1.2") + afterExit)) << "stays, ending as archived";

  Run("1.3", Outcomes{}, Leave::ByUpdate);
  EXPECT_EQ(lastStatus_, "Update installed successfully! Press Exit to close the Kestor!");
  EXPECT_EQ(UpdateLog(), twoRuns + CrLf("\n\n\n" + Header("1.3") + afterExit + "\n"));
  EXPECT_EQ(pc_.switches, (std::vector<std::string>{"off", "on", "off", "on", "off", "on"}));
}

TEST_F(KestorRuns, RunEndingEarlyDoesNotArchiveTheEarlierLogAgain) {
  pc_.extended = false;
  Run("1.1", Outcomes{}, Leave::ExitInUpdatePossible);
  Run("1.2", Outcomes{}, Leave::ExitInUpdatePossible);
  const std::string before = UpdateLog();
  Outcomes noOs;
  noOs.osSupported = false;
  Run("1.3", noOs, Leave::ExitInUpdatePossible);
  EXPECT_EQ(UpdateLog(), before + CrLf("\n\n\n\nUpdate canceled!\nError - No Windows2000/XP "
                                       "operating system found!Updater Closed!\n"));
}

TEST_F(KestorRuns, LogOfARunThatDiedIsArchivedOnceAtTheNextStart) {
  pc_.extended = false;
  Run("1.1", Outcomes{}, Leave::ExitInUpdatePossible);
  Run("1.2", Outcomes{}, Leave::Crash);
  const std::string died = DebugLog();
  Run("1.3", Outcomes{}, Leave::ExitInUpdatePossible);
  const std::string log = UpdateLog();
  const size_t first = log.find("Update-Revision     : 1.2");
  EXPECT_NE(first, std::string::npos) << log;
  EXPECT_EQ(first, log.rfind("Update-Revision     : 1.2")) << log;
  EXPECT_NE(log.find(died + "\r\n\r\n\r\nKestor Logfile"), std::string::npos)
      << "its lines alone, then run 3 behind three line breaks";
}

TEST_F(KestorRuns, LogOfFifteenBytesOrLessIsAlwaysArchived) {
  ASSERT_TRUE(testsupport::WriteFile(folder_ / "LM_Logfile.txt", "Updater Closed!"));
  SystemEnvironment environment;
  EXPECT_FALSE(RecoverDebugLog(environment));
  EXPECT_EQ(UpdateLog(), "Updater Closed!\r\n");
  ASSERT_TRUE(testsupport::WriteFile(folder_ / "LM_Logfile.txt", "x\r\nUPDATER CLOSED!\r\n"));
  EXPECT_TRUE(RecoverDebugLog(environment)) << "any case, trailing line break aside";
  EXPECT_FALSE(testsupport::FileExists(folder_ / "LM_Logfile.txt"));
  EXPECT_EQ(UpdateLog(), "Updater Closed!\r\n");
}

TEST_F(KestorRuns, LanguageSwitchKeepsCancelUsableDuringTheUpdate) {
  kestortest::PackageBuilder package(folder_ / "package");
  package.Package("TR440", "1.3")
      .Language(
          "Deutsch", "deutsch.ini",
          {{"UpdateprozessBox",
            {{"StartUpd_Button_Text", "&Starten"}, {"StartUpd_Button_Cancel_Text", "&Abbrechen"}}},
           {"Status", {{"RunningUpdate", "Update läuft..."}}}});
  ASSERT_TRUE(package.Write());
  auto environment = std::make_unique<SystemEnvironment>();
  UseUsbHostPc(*environment, pc_);
  auto updater = std::make_unique<DeviceUpdater>(std::vector<std::string>{});
  updater->SetWindow(window_);
  process_.Build(std::move(environment), std::make_unique<UpdateConfig>(package.AppFolder()),
                 std::move(updater));
  Outcomes outcomes;
  StateMachine machine(process_.Context(), MakeStateFactory(process_.Context(), outcomes));

  struct Row {
    UpdateStateId state;
    bool startEnabled;
    const char* button;
    const char* title;
  } rows[] = {
      {STATE_USB_CONNECT, false, "&Starten", "Kestor - State Initialize"},
      {STATE_UPDATE_POSSIBLE, true, "&Starten", "Kestor - State Update Possible"},
      {STATE_UPDATE_PROCESS, true, "&Abbrechen", "Kestor - Status UpdateProcess"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.title);
    machine.SetNext(row.state);
    machine.Step();
    ASSERT_EQ(machine.CurrentId(), row.state);
    machine.SwitchLanguage(1);
    const DisplayTextsRecord texts = DisplayTexts.Copy();
    EXPECT_EQ(texts.startEnabled, row.startEnabled);
    EXPECT_EQ(texts.texts[SLOT_START_BUTTON], row.button);
    EXPECT_EQ(texts.texts[SLOT_STATE_TITLE], row.title);
  }
  EXPECT_EQ(DisplayTexts.Copy().texts[SLOT_STATUS], "Update läuft...");
  machine.SwitchLanguage(0);
  EXPECT_EQ(DisplayTexts.Copy().texts[SLOT_START_BUTTON], "Cancel &Update") << "back to English";
  EXPECT_TRUE(DisplayTexts.Copy().startEnabled);
}

}  // namespace
