// Kestor's main dialog in this process, over states that ask a script and a
// PC in memory, driven as a user would: texts, menus, the step list, Start,
// Cancel and Exit by their button texts, message boxes answered, and every
// way out. The bench clock runs 100 times faster, so the exit thread's
// 2-minute wait passes in about a second.
#include <gtest/gtest.h>
#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <atomic>
#include <memory>

#include "app/main_dialog.h"
#include "config/update_config.h"
#include "device/device_updater.h"
#include "environment/log_writer.h"
#include "environment/system_environment.h"
#include "eventually.h"
#include "fake_usb_host.h"
#include "kestor_process.h"
#include "lumetra/sync.h"
#include "package_builder.h"
#include "resource.h"
#include "screenshot.h"
#include "state/display_texts.h"
#include "state/language_glue.h"
#include "state/shared_values.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"

namespace {

using kestortest::Eventually;
using testsupport::ControlText;

// The bench clock for the whole program, set before its first use.
struct FastClock {
  FastClock() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string bench = std::string(temp) + "kestor_dialog_bench.ini";
    testsupport::WriteFile(bench, "[Bench]\r\nTimeScale=100\r\n");
    SetEnvironmentVariableA("LUMETRA_BENCH", bench.c_str());
  }
} fastClock;

int CancelState() { return theDeviceUpdater ? theDeviceUpdater->GetCancelState() : -1; }

struct DialogOutcomes : StateOutcomes {
  std::atomic<bool> deviceReady{true};
  // The update run: returns when released; with stopOnCancel also at a cancel.
  std::atomic<bool> stopOnCancel{true};
  std::atomic<bool> release{false};
  std::atomic<bool> inUpdate{false};
  bool OperatingSystemSupported() override { return theEnvironment->CheckOperatingSystem(); }
  bool PackageInvalid() override { return theConfig->packageInvalid; }
  bool UsbHostFound() override { return theEnvironment->FindUsbHost(); }
  DeviceWait WaitForDevice() override {
    if (deviceReady) return DeviceWait::Ready;
    while (theDeviceUpdater->GetCancelState() != CANCEL_STATE_REQUESTED) Sleep(5);
    return DeviceWait::Cancelled;
  }
  // USB Connect: with holdCheck, reading the device lasts until a cancel is
  // requested, and the device passes all the same.
  std::atomic<bool> holdCheck{false};
  DeviceCheck CheckDevice() override {
    while (holdCheck && theDeviceUpdater->GetCancelState() != CANCEL_STATE_REQUESTED) Sleep(5);
    return DeviceCheck::Passed;
  }
  int RunUpdate() override {
    inUpdate = true;
    while (!release) {
      if (stopOnCancel && theDeviceUpdater->GetCancelState() == CANCEL_STATE_REQUESTED) return 15;
      Sleep(5);
    }
    return 0;
  }
};

BOOL CALLBACK FindMessageBox(HWND window, LPARAM found) {
  auto* result = reinterpret_cast<std::pair<DWORD, bool>*>(found);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == result->first && IsWindowVisible(window) && testsupport::IsMessageBox(window)) {
    result->second = true;
    return FALSE;
  }
  return TRUE;
}

// True when a message box of process `pid` is on the screen now.
bool AnyMessageBoxOf(DWORD pid) {
  std::pair<DWORD, bool> found{pid, false};
  EnumWindows(FindMessageBox, reinterpret_cast<LPARAM>(&found));
  return found.second;
}

const char kReady[] = "Press button 'Start Update' to start the update process!";

class KestorDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnvironmentVariableA("TEMP", folder_.Path().c_str());
    package_.Package("TR440", "1.3")
        .Step("MMI", {{"Name", "MMI"}, {"Rev", "2.10"}, {"File1", "front.mmi"}})
        .Step("Rev", {{"Name", "SET REVISION"}, {"Rev", "1.3"}, {"Date", "24.12.2005"}})
        .Language("Deutsch", "deutsch.ini",
                  {{"WindowTitel", {{"Titel", "Kestor DE"}}},
                   {"UpdateBox", {{"Upd_Box_Label", "Aktualisierung"}}},
                   {"DeviceBox", {{"Dev_Type_Label", "Typ:"}}},
                   {"UpdateprozessBox",
                    {{"StartUpd_Button_Text", "&Starten"},
                     {"Detail_Button_Show_Text", "&Details zeigen"}}},
                   {"ExitButton", {{"Text", "&Beenden"}}},
                   {"Status", {{"UpdateReadyText", "Starten drücken!"}}},
                   {"UPDATE_STATUS", {{"ZP_STATUS15", "Flash programmieren"}}}})
        .Language("Leer", "leer.ini", {});
    ASSERT_TRUE(package_.Write());
    auto environment = std::make_unique<SystemEnvironment>();
    UseUsbHostPc(*environment, pc_);
    process_.Build(std::move(environment), std::make_unique<UpdateConfig>(package_.AppFolder()),
                   std::make_unique<DeviceUpdater>(std::vector<std::string>{}));
  }
  void TearDown() override {
    outcomes_.release = true;
    if (thread_.Joinable()) {
      if (testsupport::WindowExists(window_)) PostMessageA(window_, WM_UPDATE_CLOSE, 0, 0);
      EXPECT_TRUE(thread_.Join(testsupport::kUiWaitMs));
    }
    // Objects the dialog left in place (it ended without its shutdown).
    process_.Release();
    SetTraceLogPath("");
  }
  // Opens the dialog on a thread of its own and waits until the machine
  // shows `status`.
  void Open(const std::string& status = kReady, const char* file = __builtin_FILE(),
            int line = __builtin_LINE()) {
    SCOPED_TRACE(testing::Message() << "Open called from " << file << ":" << line);
    thread_.Start([this] {
      UpdateManagerDialog dialog(&outcomes_);
      result_ = dialog.DoModal();
      ++closed_;
    });
    window_ = testsupport::WaitForWindow("Kestor", GetCurrentProcessId());
    ASSERT_NE(window_, nullptr);
    ASSERT_TRUE(Eventually([&] { return ControlText(window_, IDC_DEV_STATUS) == status; }))
        << ControlText(window_, IDC_DEV_STATUS);
  }
  // Waits until the dialog has ended.
  bool Closed() {
    if (!Eventually([&] { return closed_.load() > 0; })) return false;
    return thread_.Join(testsupport::kUiWaitMs);
  }
  std::string DebugLog() { return testsupport::ReadFileOr(folder_ / "LM_Logfile.txt"); }
  std::string UpdateLog() { return testsupport::ReadFileOr(folder_ / "Kestor_log\\Kestor.log"); }
  size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }
  void ExpectTextsShowDisplayTexts(const char* file = __builtin_FILE(),
                                   int line = __builtin_LINE()) {
    SCOPED_TRACE(testing::Message() << "called from " << file << ":" << line);
    const DisplayTextsRecord texts = DisplayTexts.Copy();
    const struct {
      int control;
      int slot;
    } shown[] = {{1000, 1},  {1001, 2},  {1002, 3},  {1003, 4},  {1004, 5},  {1005, 6},
                 {1025, 6},  {1006, 7},  {1020, 7},  {1010, 8},  {1029, 8},  {1007, 9},
                 {1023, 9},  {1011, 10}, {1030, 10}, {1008, 11}, {1027, 11}, {1012, 12},
                 {1031, 12}, {1009, 13}, {1028, 13}, {1013, 14}, {1032, 14}, {1014, 16},
                 {1019, 18}, {1018, 19}, {1026, 20}, {1034, 25}, {1058, 30}};
    for (const auto& s : shown) {
      EXPECT_EQ(ControlText(window_, s.control), texts.texts[s.slot])
          << "control " << s.control << " shows slot " << s.slot;
    }
    const std::string title = testsupport::WindowText(window_);
    EXPECT_EQ(title.substr(title.find(texts.texts[SLOT_TITLE])), texts.texts[SLOT_TITLE])
        << "the title, behind the progress when there is one";
    EXPECT_EQ(testsupport::ControlEnabled(window_, IDC_START_BUTTON), texts.startEnabled);
  }

  kestortest::KestorProcess process_;
  testsupport::TestFolder folder_;
  kestortest::PackageBuilder package_{folder_ / "package"};
  UsbHostPc pc_;
  DialogOutcomes outcomes_;
  lm::Thread thread_;
  HWND window_ = nullptr;
  std::atomic<int> closed_{0};
  INT_PTR result_ = 0;
};

TEST_F(KestorDialog, EnglishTextsStepListAndDetailsThenExitInUpdatePossible) {
  Open();
  ExpectTextsShowDisplayTexts();
  const struct {
    int control;
    const char* text;
  } english[] = {{1000, "Update"},
                 {1001, "Supported Instrument:"},
                 {1002, "TR440"},
                 {1003, "Release:"},
                 {1004, "1.3"},
                 {1006, "Type:"},
                 {1007, "Serial Number:"},
                 {1008, "Current Release No:"},
                 {1009, "Status:"},
                 {1014, "Update:"},
                 {1018, "Update:"},
                 {1019, "Update Step:"},
                 {1017, ""},
                 {1033, "Show &Details"},
                 {1034, "Start &Update"},
                 {1058, "E&xit"}};
  for (const auto& e : english) EXPECT_EQ(ControlText(window_, e.control), e.text) << e.control;
  EXPECT_TRUE(testsupport::ControlEnabled(window_, IDC_START_BUTTON));
  EXPECT_EQ(testsupport::WindowText(window_), "Kestor");
  EXPECT_EQ(pc_.switches, std::vector<std::string>{"off"}) << "USB 2.0 off for the run";

  HWND list = GetDlgItem(window_, IDC_STEP_LIST);
  const char* titles[] = {"Update step", "Status", "DevVers", "UpdVers"};
  const int widths[] = {85, 150, 75, 75};
  for (int c = 0; c < 4; ++c) {
    char text[64] = "";
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = text;
    column.cchTextMax = sizeof text;
    ASSERT_TRUE(SendMessageA(list, LVM_GETCOLUMNA, c, reinterpret_cast<LPARAM>(&column)));
    EXPECT_EQ(std::string(text), titles[c]);
    EXPECT_EQ(column.cx, widths[c]);
  }
  ASSERT_EQ(ListView_GetItemCount(list), 2);
  const char* rows[2][4] = {{"MMI", "Ready for update", "", "2.10"},
                            {"SET REVISION", "Ready for update", "", "1.3"}};
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 4; ++c) {
      char text[64] = "";
      ListView_GetItemText(list, r, c, text, sizeof text);
      EXPECT_EQ(std::string(text), rows[r][c]) << "row " << r << " column " << c;
    }
  }
  EXPECT_FALSE(testsupport::ControlVisible(window_, IDC_STEP_LIST));
  ASSERT_TRUE(testsupport::ClickButtonByText(window_, "Show &Details"));
  // The dialog's thread shows and hides the controls one by one: wait until
  // the toggle is complete (the button text changes last).
  ASSERT_TRUE(Eventually([&] {
    return testsupport::ControlVisible(window_, IDC_STEP_LIST) &&
           !testsupport::ControlVisible(window_, IDC_DEVICE_BOX) &&
           testsupport::ControlVisible(window_, IDC_DET_STATUS) &&
           ControlText(window_, IDC_DETAILS_BUTTON) == "Hide &Details";
  }));
  EXPECT_TRUE(testsupport::ControlVisible(window_, IDC_DET_STATUS));
  EXPECT_EQ(ControlText(window_, IDC_DET_STATUS), kReady);
  EXPECT_EQ(ControlText(window_, IDC_DETAILS_BUTTON), "Hide &Details");
  SaveWindowPicture(window_, "kestor_window_details.bmp");
  ASSERT_TRUE(testsupport::ClickButtonByText(window_, "Hide &Details"));
  ASSERT_TRUE(Eventually([&] {
    return testsupport::ControlVisible(window_, IDC_DEVICE_BOX) &&
           !testsupport::ControlVisible(window_, IDC_STEP_LIST) &&
           !testsupport::ControlVisible(window_, IDC_DET_STATUS) &&
           ControlText(window_, IDC_DETAILS_BUTTON) == "Show &Details";
  }));
  EXPECT_TRUE(SaveWindowPicture(window_, "kestor_window.bmp"));

  ASSERT_TRUE(testsupport::ClickButtonByText(window_, "E&xit"));
  ASSERT_TRUE(Closed());
  EXPECT_EQ(closed_.load(), 1);
  EXPECT_EQ(result_, IDOK);
  EXPECT_EQ(pc_.switches, (std::vector<std::string>{"off", "on"})) << "USB 2.0 back on";
  EXPECT_EQ(theEnvironment, nullptr) << "the shutdown freed the objects";
  const std::string log = DebugLog();
  EXPECT_EQ(Count(log, "Updater Closed!"), 1u) << log;
  EXPECT_NE(log.find("Exit pressed!checking\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\r\nReactivating USB2 :Success\r\n\r\nUpdater Closed!No update installed!"),
            std::string::npos)
      << log;
}

TEST_F(KestorDialog, SecondLanguageFromTheMenuAndBackToEnglish) {
  Open();
  HMENU bar = GetMenu(window_);
  ASSERT_EQ(GetMenuItemCount(bar), 2);
  char name[64] = "";
  GetMenuStringA(bar, 1, name, sizeof name, MF_BYPOSITION);
  EXPECT_EQ(std::string(name), "Language");
  HMENU languages = GetSubMenu(bar, 1);
  ASSERT_EQ(GetMenuItemCount(languages), 3);
  EXPECT_EQ(GetMenuItemID(languages, 1), 32780u);

  testsupport::PostCommand(window_, 32780);
  ASSERT_TRUE(Eventually([&] { return testsupport::WindowText(window_) == "Kestor DE"; }));
  ExpectTextsShowDisplayTexts();
  EXPECT_EQ(ControlText(window_, 1000), "Aktualisierung");
  EXPECT_EQ(ControlText(window_, 1006), "Typ:");
  EXPECT_EQ(ControlText(window_, 1007), "Serial Number:") << "keys the file lacks stay English";
  EXPECT_EQ(ControlText(window_, IDC_START_BUTTON), "&Starten");
  EXPECT_TRUE(testsupport::ControlEnabled(window_, IDC_START_BUTTON)) << "Update Possible";
  EXPECT_EQ(ControlText(window_, IDC_DETAILS_BUTTON), "&Details zeigen");
  EXPECT_EQ(ControlText(window_, IDC_EXIT_BUTTON), "&Beenden");
  EXPECT_EQ(ControlText(window_, IDC_DEV_STATUS), "Starten drücken!");
  SaveWindowPicture(window_, "kestor_window_deutsch.bmp");

  // The step texts of the language, and the progress messages.
  PostMessageA(window_, WM_UPDATE_STEP_PROGRESS, 5000, static_cast<WORD>(-15));
  ASSERT_TRUE(Eventually([&] {
    return ControlText(window_, IDC_STEP_TEXT) == "Flash programmieren Error! ( 50.00  %) ";
  })) << ControlText(window_, IDC_STEP_TEXT);
  EXPECT_EQ(SendDlgItemMessageA(window_, IDC_STEP_PROGRESS, PBM_GETPOS, 0, 0), 5000);
  PostMessageA(window_, WM_UPDATE_TOTAL_PROGRESS, 40, 100);
  ASSERT_TRUE(Eventually([&] { return testsupport::WindowText(window_) == "(40%) Kestor DE"; }));

  testsupport::PostCommand(window_, 32781);  // a language file without texts
  ASSERT_TRUE(Eventually([&] { return testsupport::WindowText(window_) == "(40%) Kestor"; }));
  ExpectTextsShowDisplayTexts();
  testsupport::PostCommand(window_, 32779);
  ASSERT_TRUE(Eventually([&] { return ControlText(window_, IDC_DEV_STATUS) == kReady; }));
  EXPECT_EQ(ControlText(window_, 1000), "Update");
  EXPECT_EQ(ControlText(window_, IDC_EXIT_BUTTON), "E&xit");
  ASSERT_TRUE(testsupport::ClickButtonByText(window_, "E&xit"));
  ASSERT_TRUE(Closed());
}

TEST_F(KestorDialog, MenuCommandsAboutHelpAndShutdownRefused) {
  Open();
  const DWORD self = GetCurrentProcessId();
  for (auto open : {+[](HWND w) { testsupport::PostCommand(w, ID_HELP_INFO); },
                    +[](HWND w) { PostMessageA(w, WM_SYSCOMMAND, IDM_ABOUTBOX, 0); }}) {
    open(window_);
    HWND about = testsupport::WaitForWindow("Info", self);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(ControlText(about, IDC_ABOUT_VERSION), "Version 1.28");
    ASSERT_TRUE(testsupport::ClickButton(about, IDOK));
    ASSERT_TRUE(testsupport::WaitForWindowGone(about));
  }
  {
    // No help file in the package: nothing is shown.
    testsupport::MessageBoxAnswerer answerer({}, self, IDOK);
    testsupport::PostCommand(window_, ID_HELP_HELP);
    PostMessageA(window_, WM_HELP, 0, 0);
    // Posted messages are handled in order: once the title shows the progress
    // posted after them, both were handled, and a box they opened would be up.
    PostMessageA(window_, WM_UPDATE_TOTAL_PROGRESS, 40, 100);
    ASSERT_TRUE(Eventually([&] { return testsupport::WindowText(window_) == "(40%) Kestor"; }));
    EXPECT_FALSE(AnyMessageBoxOf(self));
    EXPECT_TRUE(answerer.Seen().empty());
  }
  {
    testsupport::MessageBoxAnswerer answerer({{"Kestor", "Shutdown", IDOK}}, self);
    EXPECT_EQ(SendMessageA(window_, WM_QUERYENDSESSION, 0, 0), 0) << "refused";
    ASSERT_TRUE(answerer.WaitForCount(1));
    EXPECT_EQ(answerer.Seen()[0].text, "Shutdown canceled - Please finish the update");
  }
  ASSERT_TRUE(testsupport::ClickButtonByText(window_, "E&xit"));
  ASSERT_TRUE(Closed());
}

TEST_F(KestorDialog, StartThenCancelAskedTwiceThenExitAfterTheEnd) {
  Open();
  ASSERT_TRUE(testsupport::ClickButtonByText(window_, "Start &Update"));
  ASSERT_TRUE(
      Eventually([&] { return ControlText(window_, IDC_START_BUTTON) == "Cancel &Update"; }));
  EXPECT_EQ(ControlText(window_, IDC_DEV_STATUS), "Update running...");
  EXPECT_TRUE(testsupport::ControlEnabled(window_, IDC_START_BUTTON));
  const DWORD self = GetCurrentProcessId();
  {
    testsupport::MessageBoxAnswerer no({{"Kestor", "cancel the Update", IDNO}}, self);
    ASSERT_TRUE(testsupport::ClickButtonByText(window_, "Cancel &Update"));
    ASSERT_TRUE(no.WaitForCount(1));
    EXPECT_EQ(no.Seen()[0].text, "Do you really want to cancel the Update?Warning!");
  }
  EXPECT_EQ(CancelState(), CANCEL_STATE_RUNNING) << "No changes nothing";
  // A language switch keeps Cancel usable.
  testsupport::PostCommand(window_, 32780);
  ASSERT_TRUE(Eventually([&] { return testsupport::WindowText(window_) == "Kestor DE"; }));
  EXPECT_EQ(ControlText(window_, IDC_START_BUTTON), "Cancel &Update");
  EXPECT_TRUE(testsupport::ControlEnabled(window_, IDC_START_BUTTON));
  outcomes_.stopOnCancel = false;
  {
    testsupport::MessageBoxAnswerer yes({{"Kestor", "cancel the Update", IDYES}}, self);
    ASSERT_TRUE(testsupport::ClickButtonByText(window_, "Cancel &Update"));
    ASSERT_TRUE(yes.WaitForCount(1));
    ASSERT_TRUE(Eventually([&] {
      return ControlText(window_, IDC_DEV_STATUS) == "Cancel in Progress! Waiting for safepoint!!";
    }));
  }
  {
    testsupport::MessageBoxAnswerer again({{"Kestor", "", IDOK}}, self);
    ASSERT_TRUE(testsupport::ClickButtonByText(window_, "Cancel &Update"));
    ASSERT_TRUE(again.WaitForCount(1));
    EXPECT_EQ(again.Seen()[0].text, "Cancel in Progress, waiting for safe cancelpoint!");
  }
  outcomes_.stopOnCancel = true;
  const std::string cancelled =
      "Update cancelled by user: Please restart the application to finish the update!";
  ASSERT_TRUE(Eventually([&] { return ControlText(window_, IDC_DEV_STATUS) == cancelled; }));
  EXPECT_FALSE(testsupport::ControlEnabled(window_, IDC_START_BUTTON));
  EXPECT_TRUE(testsupport::WindowExists(window_)) << "waits for Exit";
  ASSERT_TRUE(Eventually([&] { return CancelState() == CANCEL_STATE_STOPPED; }));
  ASSERT_TRUE(testsupport::ClickButtonByText(window_, "&Beenden"));
  ASSERT_TRUE(Closed());
  EXPECT_EQ(pc_.switches, (std::vector<std::string>{"off", "on"}));
  EXPECT_EQ(Count(DebugLog(), "Updater Closed!"), 1u);
}

TEST_F(KestorDialog, SuccessfulUpdateThenExit) {
  Open();
  ASSERT_TRUE(testsupport::ClickButtonByText(window_, "Start &Update"));
  ASSERT_TRUE(Eventually([&] { return outcomes_.inUpdate.load(); }));
  outcomes_.release = true;
  ASSERT_TRUE(Eventually([&] {
    return ControlText(window_, IDC_DEV_STATUS) ==
           "Update installed successfully! Press Exit to close the Kestor!";
  }));
  ASSERT_TRUE(Eventually([&] { return CancelState() == CANCEL_STATE_STOPPED; }));
  EXPECT_EQ(pc_.switches, (std::vector<std::string>{"off", "on"})) << "on again at Exit";
  ASSERT_TRUE(testsupport::ClickButtonByText(window_, "E&xit"));
  ASSERT_TRUE(Closed());
  EXPECT_EQ(pc_.switches.size(), 2u) << "switched on once";
  const std::string log = DebugLog();
  EXPECT_EQ(Count(log, "Updater Closed!"), 1u);
  EXPECT_NE(log.find("Updater Closed!Update finished!"), std::string::npos) << log;
}

TEST_F(KestorDialog, ExitDuringTheDeviceWait) {
  outcomes_.deviceReady = false;
  Open("Searching for device...");
  ASSERT_TRUE(testsupport::ClickButtonByText(window_, "E&xit"));
  ASSERT_TRUE(Closed());
  EXPECT_EQ(pc_.switches, (std::vector<std::string>{"off", "on"}));
  const std::string log = DebugLog();
  EXPECT_NE(log.find("\r\nfollowing Error occured:\r\nUpdate cancelled by user: Please restart "
                     "the application to finish the update!\r\nReactivating USB2 :Success"),
            std::string::npos)
      << log;
  EXPECT_EQ(Count(log, "Updater Closed!"), 1u);
}

TEST_F(KestorDialog, ExitWhileReadingTheDeviceStillReachesExit) {
  // The device passes although the cancel came while it was read: the machine
  // comes to rest in Update Possible with the cancel requested, and the exit
  // thread drives it on to Exit instead of waiting for it.
  outcomes_.holdCheck = true;
  Open("Reading device data...");
  ASSERT_TRUE(testsupport::ClickButtonByText(window_, "E&xit"));
  ASSERT_TRUE(Closed());
  EXPECT_EQ(pc_.switches, (std::vector<std::string>{"off", "on"}));
  const std::string log = DebugLog();
  EXPECT_EQ(Count(log, "Updater Closed!"), 1u) << log;
  EXPECT_NE(log.find("Reactivating USB2 :Success"), std::string::npos) << log;
}

TEST_F(KestorDialog, ExitAfterTheEndInInfo) {
  pc_ = UsbHostPc{false, false, false, {}};
  Open("Error - No USB port found!");
  ASSERT_TRUE(Eventually([&] { return CancelState() == CANCEL_STATE_STOPPED; }));
  ASSERT_TRUE(testsupport::ClickButtonByText(window_, "E&xit"));
  ASSERT_TRUE(Closed());
  EXPECT_TRUE(pc_.switches.empty());
  EXPECT_NE(DebugLog().find("\r\nUpdate canceled!\r\nError - No USB port found!Updater Closed!"),
            std::string::npos);
}

TEST_F(KestorDialog, ExitDuringTheUpdateAskedThenStoppedWaitingForAThreadThatHangs) {
  Open();
  outcomes_.stopOnCancel = false;  // the update never reaches a cancel point
  ASSERT_TRUE(testsupport::ClickButtonByText(window_, "Start &Update"));
  ASSERT_TRUE(Eventually([&] { return outcomes_.inUpdate.load(); }));
  const DWORD self = GetCurrentProcessId();
  {
    testsupport::MessageBoxAnswerer no({{"Warning!", "", IDNO}}, self);
    ASSERT_TRUE(testsupport::ClickButtonByText(window_, "E&xit"));
    ASSERT_TRUE(no.WaitForCount(1));
    EXPECT_EQ(no.Seen()[0].text,
              "Do you really want to close the application? This will leave the instrument in an "
              "undefined state!");
  }
  EXPECT_EQ(CancelState(), CANCEL_STATE_RUNNING) << "No changes nothing";
  EXPECT_TRUE(testsupport::ControlEnabled(window_, IDC_EXIT_BUTTON));
  testsupport::MessageBoxAnswerer answers(
      {{"Warning!", "", IDYES}, {"Kestor", "A thread did not end correctly", IDNO}}, self);
  ASSERT_TRUE(testsupport::ClickButtonByText(window_, "E&xit"));
  ASSERT_TRUE(Closed()) << "No to waiting longer closes Kestor";
  const auto seen = answers.Seen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].text, "A thread did not end correctly, want to wait 2 minutes?");
  EXPECT_EQ(pc_.switches, (std::vector<std::string>{"off", "on"}))
      << "the controller is on again although the Exit state did not run";
  const std::string log = DebugLog();
  EXPECT_EQ(log.find("Updater Closed!"), std::string::npos) << log;
  EXPECT_NE(log.find("A state thread did not end: objects left in place at shutdown"),
            std::string::npos)
      << log;
  // The hanging update ends after all; its Exit state finds the objects.
  outcomes_.release = true;
  ASSERT_TRUE(Eventually([&] { return CancelState() == CANCEL_STATE_STOPPED; }));
}

TEST_F(KestorDialog, EscWithATraceSwitchAsksAndLeavesWithUsbOn) {
  process_.TraceLevel(1);
  Open();
  const DWORD self = GetCurrentProcessId();
  {
    testsupport::MessageBoxAnswerer no({{"Exit?", "", IDNO}}, self);
    testsupport::PostCommand(window_, IDCANCEL);
    ASSERT_TRUE(no.WaitForCount(1));
    EXPECT_EQ(no.Seen()[0].text, "You really want to quit?");
  }
  EXPECT_TRUE(testsupport::WindowExists(window_));
  testsupport::MessageBoxAnswerer yes({{"Exit?", "", IDYES}}, self);
  testsupport::PostCommand(window_, IDCANCEL);
  ASSERT_TRUE(Closed());
  EXPECT_EQ(result_, IDCANCEL);
  EXPECT_EQ(pc_.switches, (std::vector<std::string>{"off", "on"}));
  EXPECT_EQ(DebugLog().find("Updater Closed!"), std::string::npos) << "no Exit state";
}

TEST_F(KestorDialog, EscWithoutTraceSwitchIsTheExitButton) {
  Open();
  testsupport::PostCommand(window_, IDCANCEL);
  ASSERT_TRUE(Closed());
  EXPECT_EQ(result_, IDOK);
  EXPECT_EQ(pc_.switches, (std::vector<std::string>{"off", "on"}));
  EXPECT_EQ(Count(DebugLog(), "Updater Closed!"), 1u);
}

}  // namespace
