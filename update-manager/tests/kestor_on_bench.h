// Kestor's real window in the test process over the bench: a power supply
// with its TR440, an update package laid out by the package builder, the
// dialog run on a thread of its own (as often as a test starts Kestor again
// on the same bench), and what the window, the step list and the logs show.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/main_dialog.h"
#include "benchctl/bench_control.h"
#include "config/update_config.h"
#include "device/device_updater.h"
#include "environment/log_writer.h"
#include "environment/system_environment.h"
#include "eventually.h"
#include "fake_usb_host.h"
#include "kestor_process.h"
#include "lumetra/sync.h"
#include "mmi_file_writer.h"
#include "package_builder.h"
#include "recording_channel.h"
#include "resource.h"
#include "sample_package.h"
#include "state/display_texts.h"
#include "state/process_context.h"
#include "state/shared_values.h"
#include "tessaro_test/program_file_writer.h"
#include "testsupport/expected_file.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"

namespace kestortest {

inline const char kReady[] = "Press button 'Start Update' to start the update process!";
inline const char kInstalled[] = "Update installed successfully! Press Exit to close the Kestor!";

// A debug log as its expected file holds it: what differs between two runs
// of one row masked or left out. Masked: the time stamps, the run's date, the
// test's folder and the milliseconds since a programming file or a panel
// transfer began. Left out, as the machine's load has them: the flash
// library's status lines and its slow answers (its 100 ms poller sees or
// misses a short status), the searches that found no device before one was
// there, and where the press of Exit lands among the step's entries. With
// `breakCodes` false the panel's break codes are masked too: a supply that
// restarts by itself answers as far as its panel has booted.
inline std::string PinnedLog(const std::string& log, const std::string& folder,
                             bool breakCodes = true) {
  static const std::regex kLeftOut(
      R"(^( {8}\(\d+\) Status : |GetStatus\(\) took longer|Exit pressed!checking$).*)");
  static const std::regex kSince(R"(^( {4}\(?)\d+(\)? (Program|Verify|Test ShortUSB|sending)))");
  static const std::regex kIrq(R"(^\d+( {8}IRQreturn<0))");
  static const std::regex kDate(R"(^(SystemDate {10}: ).*)");
  static const std::regex kBreak(R"(^(break: )\d+$)");
  std::vector<std::string> kept;
  int blanksAfterSearch = 0;
  std::istringstream lines(testsupport::MaskTimeStamps(log));
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_match(line, kLeftOut)) continue;
    if (line == "Aborting - No Device found!") {
      // The search's entry since the blank line before it, and the two
      // blank lines that end it.
      while (!kept.empty() && !kept.back().empty()) kept.pop_back();
      blanksAfterSearch = 2;
      continue;
    }
    if (blanksAfterSearch > 0 && line.empty()) {
      --blanksAfterSearch;
      continue;
    }
    blanksAfterSearch = 0;
    for (size_t at = line.find(folder); !folder.empty() && at != std::string::npos;
         at = line.find(folder, at))
      line.replace(at, folder.size(), "<test folder>");
    line = std::regex_replace(line, kSince, "$1#$2");
    line = std::regex_replace(line, kIrq, "#$1");
    line = std::regex_replace(line, kDate, "$1####-##-##");
    if (!breakCodes) line = std::regex_replace(line, kBreak, "$1#");
    kept.push_back(line);
  }
  // A search that found the supply and its instrument while the panel was
  // still busy is followed by the same search once more: how often, the
  // machine's load decides. Back-to-back repeats of that entry are kept once.
  const auto searchEntry = [&](size_t i) {
    return i + 2 < kept.size() && kept[i].empty() && kept[i + 1].rfind("Powersupply    ", 0) == 0;
  };
  for (size_t i = 0; i + 5 < kept.size();) {
    if (searchEntry(i) && searchEntry(i + 3) &&
        std::equal(kept.begin() + i, kept.begin() + i + 3, kept.begin() + i + 3))
      kept.erase(kept.begin() + i + 3, kept.begin() + i + 6);
    else
      ++i;
  }
  std::string text;
  for (const std::string& line : kept) text += line + "\n";
  if (!log.empty() && log.back() != '\n' && !text.empty()) text.pop_back();
  return text;
}

// A supply 16 with a TR440 of release 1.2, supply id 4711, older than the
// package's 1.3.
inline benchctl::BenchSpec Tr440(const std::string& deviceSerial = "0000001001") {
  return OlderSupplyWithTr440(100, deviceSerial);
}

class DeviceStates : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnvironmentVariableA("TEMP", folder_.Path().c_str());
    package_.Package("TR440", "1.3")
        .Step("Module", {{"Name", "MODULE"}, {"Rev", "2.10"}})
        .Step("MMI", {{"Name", "MMI"}, {"Rev", "1.05"}, {"File1", "front.mmi"}})
        .Step("Rev", {{"Name", "SET REVISION"}, {"Rev", "1.3"}, {"Date", "24.12.2005"}});
  }
  void TearDown() override {
    if (dialog_.Joinable()) {
      if (testsupport::WindowExists(window_)) PostMessageA(window_, WM_UPDATE_CLOSE, 0, 0);
      EXPECT_TRUE(dialog_.Join(testsupport::kUiWaitMs));
    }
    process_.Release();
    SetTraceLogPath("");
  }
  // Lays out package and bench, opens the dialog on a thread of its own and
  // waits until it shows `status`.
  void Open(const benchctl::BenchSpec& spec, const std::string& status = kReady,
            const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
    SCOPED_TRACE(testing::Message() << "Open called from " << file << ":" << line);
    ASSERT_TRUE(package_.Write());
    ASSERT_FALSE(benchctl::UseBench(folder_.Path(), spec).empty());
    OpenDialog(status);
  }
  // Opens the dialog on the bench as it is (a second run of Kestor).
  void OpenDialog(const std::string& status = kReady) {
    closed_ = false;
    process_.NewRun();
    process_.Release();
    auto environment = std::make_unique<SystemEnvironment>();
    // The switch-off mark under a registry key of the test's own.
    UseUsbHostPc(*environment, pc_);
    // Each run's dialog messages are kept, and still reach its window.
    channel_ = std::make_shared<RecordingChannel>(true);
    process_.Build(std::move(environment), std::make_unique<UpdateConfig>(package_.AppFolder()),
                   std::make_unique<DeviceUpdater>(std::vector<std::string>{}, channel_));
    dialog_.Start([this] {
      UpdateManagerDialog dialog;
      dialog.DoModal();
      closed_ = true;
    });
    if (status.empty()) {
      // A run that goes on by itself may end and close its window before a
      // poll sees it: an unattended run of an invalid package does.
      ASSERT_TRUE(Eventually([&] {
        window_ = testsupport::WaitForWindow("Kestor", GetCurrentProcessId(), 0);
        return window_ != nullptr || closed_.load();
      }));
      return;
    }
    window_ = testsupport::WaitForWindow("Kestor", GetCurrentProcessId());
    ASSERT_NE(window_, nullptr);
    ASSERT_TRUE(Eventually([&] {
      return testsupport::ControlText(window_, IDC_DEV_STATUS) == status;
    })) << "shows: "
        << testsupport::ControlText(window_, IDC_DEV_STATUS);
  }
  bool ExitAndClose() {
    if (!testsupport::ClickButtonByText(window_, "E&xit")) return false;
    if (!Eventually([&] { return closed_.load(); })) return false;
    return dialog_.Join(testsupport::kUiWaitMs);
  }
  std::string StepCell(int row, int column) {
    char text[64] = "";
    ListView_GetItemText(GetDlgItem(window_, IDC_STEP_LIST), row, column, text, sizeof text);
    return text;
  }
  // The dialog messages of the last run opened, against their expected file.
  void ExpectDialogMessages(const std::string& name) {
    EXPECT_TRUE(testsupport::MatchesExpectedFile(
        channel_->Sequence(), "update-manager/tests/expected/dialog_messages/" + name + ".txt"));
  }
  std::string DebugLog() {
    std::string log = testsupport::ReadFileOr(folder_ / "LM_Logfile.txt");
    std::string plain;
    for (char c : log)
      if (c != '\r') plain += c;
    return plain;
  }
  // The debug log as its expected file pins it: what differs from run to run
  // masked (see PinnedLog).
  ::testing::AssertionResult DebugLogAsExpected(const std::string& log, const std::string& expected,
                                                bool breakCodes = true) {
    return testsupport::MatchesExpectedFile(PinnedLog(log, folder_.Path(), breakCodes),
                                            "update-manager/tests/expected/" + expected);
  }

  KestorProcess process_;
  testsupport::TestFolder folder_;
  PackageBuilder package_{folder_ / "package"};
  UsbHostPc pc_;
  lm::Thread dialog_;
  std::atomic<bool> closed_{false};
  HWND window_ = nullptr;
  std::shared_ptr<RecordingChannel> channel_;
};

// The update run through the same window: the module's firmware goes through
// Tessaro.dll into the bench's flash, the panel gets its file, the release is
// written to the supply.

// The TR440 with the flash its program file describes.
inline benchctl::BenchSpec Tr440WithFlash() {
  benchctl::BenchSpec spec = Tr440();
  spec.WithDevice(1, "RebootMs", "1500");
  return WithFlashOf(spec, 1, ModuleFirmwareSpec());
}

// The module image of release 2.11; safeMode: the variant for a device
// already in its safe mode.
inline std::string ModuleImage211(bool safeMode = false) {
  return ProgramFileBytes(ModuleFirmwareSpec(safeMode));
}

class UpdateRunOnBench : public DeviceStates {
 protected:
  void SetUp() override {
    DeviceStates::SetUp();
    const std::vector<uint8_t> panel = MmiFileBytes(
        3 * 2038 + 5, "TR440", "UPDATE", "\\flash\\front.bin", "Front panel Version 1.05");
    panelPayload_.assign(panel.begin() + 1024, panel.end());
    package_.Set("Module", "Rev", "2.11")
        .Set("Module", "FWPROG", "1")
        .Set("Module", "FWPROGNORM", "tr440.bin")
        .Set("Module", "FWPROGSUSB", "tr440susb.bin")
        .OutFile("tr440susb.bin", ModuleImage211(true))
        .Set("MMI", "File1", "panelr.mmi")
        .OutFile("tr440.bin", ModuleImage211())
        .OutFile("panelr.mmi", std::string(panel.begin(), panel.end()));
  }
  // Puts a power-supply step of firmware 3.11 between the module and the
  // front panel.
  void WithSupplyStep() {
    package_.Set("UpdateSteps", "1", "Pwr Supply")
        .Set("UpdateSteps", "2", "MMI")
        .Set("UpdateSteps", "3", "Rev")
        .Set("Pwr Supply", "Name", "PWR SUPPLY")
        .Set("Pwr Supply", "Rev", "3.11")
        .Set("Pwr Supply", "FWPROG", "1")
        .Set("Pwr Supply", "FWPROGNORM", "ps.bin")
        .Set("Pwr Supply", "FWPROGSUSB", "pssusb.bin")
        .OutFile("ps.bin", ProgramFileBytes(SupplyFirmwareSpec()))
        .OutFile("pssusb.bin", ProgramFileBytes(SupplyFirmwareSpec(true)));
  }
  // Presses Start Update and waits until the status shows `status`.
  void Update(const std::string& status, DWORD limitMs = kEventuallyMs) {
    ASSERT_TRUE(testsupport::ClickButton(window_, IDC_START_BUTTON));
    ASSERT_TRUE(Eventually(
        [&] { return testsupport::ControlText(window_, IDC_DEV_STATUS) == status; }, limitMs))
        << "shows: " << testsupport::ControlText(window_, IDC_DEV_STATUS) << "\n"
        << DebugLog();
  }
  std::string SupplyBlockField(int offset, int size) {
    const std::string hex = benchctl::ReadState(bench_, "Device0", "SupplyBlock");
    if (hex.size() < static_cast<size_t>(offset + size) * 3) return "(not written)";
    std::string out;
    for (int i = 0; i < size; ++i) out += hex.substr((offset + i) * 3, 2);
    return out;
  }
  std::string bench_;
  std::string panelPayload_;
  // The panel's response timer runs on the wall, scaled with the bench: on a
  // slow machine a panel packet can outlast it. Its box only informs, and the
  // run goes on; whoever sits at the PC presses OK.
  testsupport::MessageBoxAnswerer slowPanel_{{{"Kestor", "did not respond", IDOK}},
                                             GetCurrentProcessId()};
};

// A hook procedure on a window's thread for as long as the object lives.
// A record holds it as its last member: the hook comes after the record's
// data and goes before it.
class WindowThreadHook {
 public:
  WindowThreadHook(HWND window, int type, HOOKPROC procedure)
      : hook_(SetWindowsHookExA(type, procedure, nullptr,
                                GetWindowThreadProcessId(window, nullptr))) {}
  ~WindowThreadHook() {
    if (hook_) UnhookWindowsHookEx(hook_);
  }
  WindowThreadHook(const WindowThreadHook&) = delete;
  WindowThreadHook& operator=(const WindowThreadHook&) = delete;

  bool Hooked() const { return hook_ != nullptr; }

 private:
  HHOOK hook_;
};

// The step-progress messages (progress, step code) that Kestor's window
// takes while the record lives, those with one of `codes`, in order: a hook
// on the window's thread sees each as the window's message loop takes it.
class StepProgressRecord {
 public:
  StepProgressRecord(HWND window, std::vector<LPARAM> codes)
      : window_(window), codes_(codes), hook_(window, WH_GETMESSAGE, &Taken) {
    lm::Lock lock(section_);
    active_ = this;
  }
  ~StepProgressRecord() {
    lm::Lock lock(section_);
    active_ = nullptr;
  }

  bool Hooked() const { return hook_.Hooked(); }
  std::vector<std::pair<WPARAM, LPARAM>> Posts() const {
    lm::Lock lock(section_);
    return posts_;
  }

 private:
  static LRESULT CALLBACK Taken(int code, WPARAM removed, LPARAM message) {
    const MSG* m = reinterpret_cast<const MSG*>(message);
    if (code == HC_ACTION && removed == PM_REMOVE && m->message == WM_UPDATE_STEP_PROGRESS) {
      lm::Lock lock(section_);
      if (active_ && m->hwnd == active_->window_) {
        for (LPARAM c : active_->codes_)
          if (m->lParam == c) active_->posts_.emplace_back(m->wParam, m->lParam);
      }
    }
    return CallNextHookEx(nullptr, code, removed, message);
  }

  HWND window_;
  std::vector<LPARAM> codes_;
  std::vector<std::pair<WPARAM, LPARAM>> posts_;
  WindowThreadHook hook_;
  static inline lm::CriticalSection section_;
  static inline StepProgressRecord* active_ = nullptr;
};

// The status column of Kestor's step list as the window last showed it
// while the record lives: a hook on the window's thread sees each status
// text the window sets, so the statuses of a run whose window closes by
// itself can still be read once it is gone.
class StepStatusRecord {
 public:
  explicit StepStatusRecord(HWND window)
      : list_(GetDlgItem(window, IDC_STEP_LIST)), hook_(window, WH_CALLWNDPROC, &Sent) {
    lm::Lock lock(section_);
    active_ = this;
  }
  ~StepStatusRecord() {
    lm::Lock lock(section_);
    active_ = nullptr;
  }

  bool Hooked() const { return hook_.Hooked(); }
  // The last status shown in each of the first `rows` rows; "" for a row
  // whose status was not set while the record lived.
  std::vector<std::string> Statuses(size_t rows) const {
    lm::Lock lock(section_);
    std::vector<std::string> shown = statuses_;
    shown.resize(rows);
    return shown;
  }

 private:
  static constexpr int kStatusColumn = 1;

  static LRESULT CALLBACK Sent(int code, WPARAM fromOtherThread, LPARAM message) {
    const CWPSTRUCT* m = reinterpret_cast<const CWPSTRUCT*>(message);
    if (code == HC_ACTION && m->message == LVM_SETITEMTEXTA) {
      lm::Lock lock(section_);
      const LVITEMA* item = reinterpret_cast<const LVITEMA*>(m->lParam);
      if (active_ && m->hwnd == active_->list_ && item && item->iSubItem == kStatusColumn &&
          item->pszText) {
        const size_t row = m->wParam;
        if (active_->statuses_.size() <= row) active_->statuses_.resize(row + 1);
        active_->statuses_[row] = item->pszText;
      }
    }
    return CallNextHookEx(nullptr, code, fromOtherThread, message);
  }

  HWND list_;
  std::vector<std::string> statuses_;
  WindowThreadHook hook_;
  static inline lm::CriticalSection section_;
  static inline StepStatusRecord* active_ = nullptr;
};

}  // namespace kestortest
