// Firmware parts through a flash library: the scripted library for the flow
// of a part (order, verify, update mode, failures, cancel, progress), the
// real Tessaro.dll on the bench for the transfer of a program file.
#include "firmware/firmware_programmer.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <deque>
#include <functional>

#include "benchctl/bench_control.h"
#include "config/step_texts.h"
#include "environment/log_writer.h"
#include "firmware/status_text.h"
#include "kestor_process.h"
#include "lumetra/sync.h"
#include "tessaro/command_names.h"
#include "tessaro_test/program_file_writer.h"
#include "testsupport/expected_file.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"
#include "vocabulary/worker_messages.h"

namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

// The device updater as a firmware part sees it.
class TestTarget : public FirmwareTarget {
 public:
  int32_t PowerSupplyPid() const override { return supplyPid; }
  int32_t DevicePid() const override { return devicePid; }
  int32_t DeviceVendorId() const override { return 0x0E7B; }
  bool InUpdateMode(int32_t) const override { return updateMode; }
  int32_t CheckUpdateMode(int32_t) override {
    ++modeTests;
    const int32_t r = modes.empty() ? (updateMode ? 1 : 0) : modes.front();
    if (modes.size() > 1) modes.pop_front();
    if (r == 0 || r == 1) updateMode = r == 1;
    return r;
  }
  std::string GetDeviceString(int32_t, int32_t index) override {
    return index == 3 ? serial : "Error";
  }
  bool CancelRequested() const override {
    return cancelAfterModeTests >= 0 && modeTests > cancelAfterModeTests;
  }
  void PostTotalProgress(int value) const override {
    if (window) PostMessageA(window, WM_UPDATE_TOTAL_PROGRESS, static_cast<WPARAM>(value), 100);
  }
  std::function<void(uint32_t)> LibraryStatusPoster() const override {
    return [window = window](uint32_t v) {
      if (window) PostMessageA(window, WM_UPDATE_STEP_PROGRESS, v >> 16, v & 0xFFFF);
    };
  }
  int ProgressStepWidth() const override { return 30; }
  int StepCounter() const override { return 1; }
  bool StartedInUpdateMode() const override { return startedInUpdateMode; }

  int32_t supplyPid = 16, devicePid = 5;
  bool updateMode = false;
  std::deque<int32_t> modes;  // results of the mode tests in turn (the last repeats)
  int modeTests = 0;
  int cancelAfterModeTests = -1;
  std::string serial = "1001";
  HWND window = nullptr;
  bool startedInUpdateMode = false;
};

std::string WithoutCr(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

// The dialog's window as the firmware part posts to it: on a thread of its
// own, as Kestor's dialog is, so that a flash library that lets the calling
// thread's messages through while it waits (Tessaro does) cannot take them.
class PostedMessages {
 public:
  PostedMessages() {
    thread_.Start([this] {
      window_ =
          CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
      ready_.Set();
      MSG msg;
      while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        lm::Lock g(lock_);
        if (msg.message == kMark)
          marked_.Set();
        else
          messages_.push_back(msg);
      }
      DestroyWindow(window_);
    });
    ready_.Wait(testsupport::kUiWaitMs);
  }
  ~PostedMessages() {
    if (window_) PostMessageA(window_, WM_QUIT, 0, 0);
    thread_.Join(testsupport::kUiWaitMs);
  }
  HWND Window() const { return window_; }
  // Every message posted so far, once the window's thread has taken them.
  std::vector<MSG> Taken() {
    marked_.Clear();
    PostMessageA(window_, kMark, 0, 0);
    EXPECT_TRUE(marked_.Wait(testsupport::kUiWaitMs)) << "the window's thread took no message";
    lm::Lock g(lock_);
    return messages_;
  }
  void Clear() {
    Taken();
    lm::Lock g(lock_);
    messages_.clear();
  }

 private:
  static constexpr UINT kMark = WM_APP + 0x3FF;
  HWND window_ = nullptr;
  lm::Event ready_, marked_;
  lm::CriticalSection lock_;
  std::vector<MSG> messages_;
  lm::Thread thread_;
};

class FirmwarePartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTraceLogPath(folder_ / "trace.txt");
    process_.TraceLevel(1);
    SetEnvironmentVariableA("SCRIPTED_FLASH_LOG", (folder_ / "calls.txt").c_str());
    target_.window = posted_.Window();
  }
  void TearDown() override {
    SetTraceLogPath("");
    SetEnvironmentVariableA("SCRIPTED_FLASH_LOG", nullptr);
  }
  // The posted messages of one kind, as "wParam/lParam".
  std::vector<std::string> Posts(UINT message) {
    std::vector<std::string> out;
    for (const MSG& m : posted_.Taken())
      if (m.message == message)
        out.push_back(std::to_string(m.wParam) + "/" + std::to_string(m.lParam));
    return out;
  }
  std::vector<std::string> Calls() {
    return testsupport::SplitLines(WithoutCr(testsupport::ReadFileOr(folder_ / "calls.txt")));
  }
  std::string Trace() { return WithoutCr(testsupport::ReadFileOr(folder_ / "trace.txt")); }
  // The scripted library's GetStatus blocks until ReleaseGetStatus; the bench
  // clock makes the guard's 3 s waits short.
  void HoldGetStatus() {
    ASSERT_FALSE(benchctl::UseBench(folder_.Path(), benchctl::BenchSpec().TimeScale(100)).empty());
    hold_ = CreateEventA(nullptr, TRUE, FALSE, "KestorTestFlashHold");
    SetEnvironmentVariableA("SCRIPTED_FLASH_HOLD", "KestorTestFlashHold");
  }
  // Lets the calls that were left blocked return, and waits until they have
  // ended and let the library go.
  void ReleaseGetStatus() {
    if (!hold_) return;
    SetEnvironmentVariableA("SCRIPTED_FLASH_HOLD", nullptr);
    SetEvent(hold_);
    for (int i = 0; i < 200 && GetModuleHandleA("ScriptedFlash.dll"); ++i) Sleep(25);
    EXPECT_EQ(GetModuleHandleA("ScriptedFlash.dll"), nullptr);
    CloseHandle(hold_);
    hold_ = nullptr;
  }

  kestortest::KestorProcess process_;
  testsupport::TestFolder folder_;
  HANDLE hold_ = nullptr;
  TestTarget target_;
  PostedMessages posted_;
};

FirmwareImage Image(const std::string& name, bool verify) {
  FirmwareImage image;
  image.prog = true;
  image.verifyMode = verify ? 1 : 0;
  image.verifyNormFile = "C:\\p\\verify_" + name + "_norm.bin";
  image.verifySusbFile = "C:\\p\\verify_" + name + "_susb.bin";
  image.progNormFile = "C:\\p\\" + name + "_prog_norm.bin";
  image.progSusbFile = "C:\\p\\" + name + "_prog_susb.bin";
  return image;
}

// A part whose files succeed ("ok...") unless their names say otherwise.
FirmwarePart Part(const std::string& fw = "okfw", const std::string& bl = "okbl",
                  bool verify = false) {
  FirmwarePart part;
  part.firmware = Image(fw, verify);
  part.bootloader = Image(bl, verify);
  return part;
}

struct PartRow {
  const char* name;
  FirmwarePart part;
  int32_t productId;
  std::function<void(TestTarget&)> setUp;
  int32_t result;
  std::vector<std::string> calls;  // "<pid> <serial> <file>"
  std::vector<std::string> totals;
  const char* traceLine;  // must appear in the trace; null: none asked
};

TEST_F(FirmwarePartTest, PartsRunTheirFilesInOrderAndReportEveryEnd) {
  auto none = [](TestTarget&) {};
  FirmwarePart blFirst = Part();
  blFirst.blFirst = true;
  FirmwarePart goSusb = Part();
  goSusb.firmware.goSusb = true;
  goSusb.goSusbFile = "C:\\p\\okgosusb.bin";
  FirmwarePart goSusbFails = goSusb;
  goSusbFails.goSusbFile = "C:\\p\\gosusb_refused.bin";
  FirmwarePart reboot = Part();
  reboot.reboot = true;
  reboot.rebootFile = "C:\\p\\reboot_refused.bin";
  FirmwarePart psReboot = Part();
  psReboot.rebootFile = "C:\\p\\okreboot.bin";
  psReboot.rebootAfterUpdateModeStart = true;
  const std::vector<std::string> both = {"5 1001 okfw_prog_norm.bin", "5 1001 okbl_prog_norm.bin"};
  const std::vector<std::string> allPosts = {"35/100", "40/100", "45/100",
                                             "50/100", "55/100", "60/100"};
  const PartRow rows[] = {
      {"firmware first, no verify", Part(), 5, none, 0, both, allPosts, "    Firmware first\n\n"},
      {"bootloader first",
       blFirst,
       5,
       none,
       0,
       {"5 1001 okbl_prog_norm.bin", "5 1001 okfw_prog_norm.bin"},
       allPosts,
       "    Bootloader first\n\n"},
      {"verify refused: programmed",
       Part("okfw", "okbl", true),
       5,
       none,
       0,
       {"5 1001 verify_okfw_norm.bin", "5 1001 okfw_prog_norm.bin", "5 1001 verify_okbl_norm.bin",
        "5 1001 okbl_prog_norm.bin"},
       allPosts,
       "        Result:\n        Retval : 0\n        Status : 65521 - Error Flash: Program\n"
       "        EndProz: 50.0%\n\n"},
      {"verify accepted: programming skipped",
       [] {
         FirmwarePart p = Part("okfw", "okbl", true);
         p.firmware.verifyNormFile = "C:\\p\\okverify.bin";
         return p;
       }(),
       5,
       none,
       0,
       {"5 1001 okverify.bin", "5 1001 verify_okbl_norm.bin", "5 1001 okbl_prog_norm.bin"},
       allPosts,
       "\n\n    Verify OK, skipping Programming\n\n\n"},
      {"update mode: SUSB files, no GOSUSB file",
       goSusb,
       5,
       [](TestTarget& t) { t.updateMode = true; },
       0,
       {"5 1001 okfw_prog_susb.bin", "5 1001 okbl_prog_susb.bin"},
       allPosts,
       " Program SUSB - File: C:\\p\\okfw_prog_susb.bin\n"},
      {"GOSUSB file first",
       goSusb,
       5,
       none,
       0,
       {"5 1001 okgosusb.bin", "5 1001 okfw_prog_norm.bin", "5 1001 okbl_prog_norm.bin"},
       allPosts,
       nullptr},
      {"GOSUSB file refused fails the part",
       goSusbFails,
       5,
       none,
       FIRMWARE_FILE_FAILED,
       {"5 1001 gosusb_refused.bin"},
       {},
       "    Error in GOSUSB file!\n"},
      {"program file refused",
       Part("fw_bad"),
       5,
       none,
       FIRMWARE_FILE_FAILED,
       {"5 1001 fw_bad_prog_norm.bin"},
       {"35/100", "40/100"},
       "    Error in transfering file!\nResult:\nRetval : 0\nStatus : 65521 - Error Flash: "
       "Program\nEndProz: 50.0%\n\n"},
      {"reboot file refused fails the part",
       reboot,
       5,
       none,
       FIRMWARE_FILE_FAILED,
       {"5 1001 okfw_prog_norm.bin", "5 1001 okbl_prog_norm.bin", "5 1001 reboot_refused.bin"},
       allPosts,
       "    Error in reboot file!\n"},
      {"supply started in update mode reboots after SUSB start",
       psReboot,
       16,
       [](TestTarget& t) { t.startedInUpdateMode = true; },
       0,
       {"16 1001 okfw_prog_norm.bin", "16 1001 okbl_prog_norm.bin", "16 1001 okreboot.bin"},
       allPosts,
       "    Rebooting with file C:\\p\\okreboot.bin\n"},
      {"two devices",
       Part(),
       5,
       [](TestTarget& t) { t.modes = {2}; },
       FIRMWARE_SEVERAL,
       {},
       {"35/100"},
       "Fehler - Mehr als ein Ger\xE4t gefunden!\n"},
      {"device gone before the second image",
       Part(),
       5,
       [](TestTarget& t) {
         t.modes = {0, 0, 0, -1004};
       },
       FIRMWARE_NO_DEVICE,
       {"5 1001 okfw_prog_norm.bin"},
       {"35/100", "40/100", "45/100", "50/100"},
       "Fehler - kein Ger\xE4t gefunden!\n"},
      {"no serial number: nothing sent, the device is missing",
       Part(),
       5,
       [](TestTarget& t) { t.serial = "Error - couldnt open device!"; },
       FIRMWARE_NO_DEVICE,
       {},
       {"35/100", "40/100"},
       "    No serial number of the device, C:\\p\\okfw_prog_norm.bin not sent\n"},
      {"cancel after the first file",
       Part(),
       5,
       [](TestTarget& t) { t.cancelAfterModeTests = 2; },
       FIRMWARE_CANCELLED,
       {"5 1001 okfw_prog_norm.bin"},
       {"35/100", "40/100"},
       nullptr},
      {"unknown product id", Part(), 7, none, FIRMWARE_UNKNOWN_PID, {}, {}, nullptr},
      // The state thread's own reads after each file are guarded as the poller's are.
      {"a GetStatus that never returns", Part(), 5, [this](TestTarget&) { HoldGetStatus(); }, 0,
       both, allPosts, "    GetStatus() didnt return after 6s wait, status taken as 0!\n\n"},
  };
  for (const PartRow& row : rows) {
    SCOPED_TRACE(row.name);
    DeleteFileA((folder_ / "calls.txt").c_str());
    DeleteFileA((folder_ / "trace.txt").c_str());
    posted_.Clear();
    TestTarget& t = target_;
    t.updateMode = false;
    t.modes.clear();
    t.modeTests = 0;
    t.cancelAfterModeTests = -1;
    t.serial = "1001";
    t.startedInUpdateMode = false;
    row.setUp(t);
    FirmwareProgrammer programmer(t, "ScriptedFlash.dll");
    FirmwarePart part = row.part;
    EXPECT_EQ(programmer.UpdateFirmwarePart(part, row.productId), row.result);
    EXPECT_FALSE(programmer.IsFlashInProgress());
    EXPECT_FALSE(programmer.IsLibraryLoaded()) << "freed however the part ended";
    std::vector<std::string> calls;
    for (const std::string& line : Calls()) calls.push_back(line.substr(line.find(' ', 11) + 1));
    EXPECT_EQ(calls, row.calls);
    EXPECT_EQ(Posts(WM_UPDATE_TOTAL_PROGRESS), row.totals);
    const std::string trace = Trace();
    if (row.traceLine) {
      EXPECT_NE(trace.find(row.traceLine), std::string::npos) << trace;
    }
    if (row.result != FIRMWARE_UNKNOWN_PID) {
      EXPECT_NE(trace.find("Freelibrary tessaro.dll :  Success!\n"), std::string::npos) << trace;
    }
    ReleaseGetStatus();
  }
}

TEST_F(FirmwarePartTest, PollerPostsTheLibrarysStatusAndEndsWithTheCall) {
  FirmwareProgrammer programmer(target_, "ScriptedFlash.dll");
  ASSERT_TRUE(programmer.LoadLibraryForTest());
  EXPECT_EQ(programmer.TransferProgramFile(0, 5, "C:\\p\\okfile.bin"), 1);
  EXPECT_EQ(programmer.TransferProgramFile(0, 5, "C:\\p\\badfile.bin"), 0);
  const std::vector<std::string> steps = Posts(WM_UPDATE_STEP_PROGRESS);
  ASSERT_FALSE(steps.empty()) << "the poller asks at once";
  const std::string trace = Trace();
  EXPECT_NE(trace.find("    Seriennummer aus Getstringdescriptor(5,3): 1001\n"), std::string::npos)
      << trace;
  size_t finished = 0;
  for (size_t at = trace.find("thread finished\n\n"); at != std::string::npos;
       at = trace.find("thread finished\n\n", at + 1))
    ++finished;
  EXPECT_EQ(finished, 2u) << "one poller per file, each ended before the transfer returned";
  EXPECT_EQ(trace.find("not responding"), std::string::npos) << trace;
  EXPECT_TRUE(programmer.FreeFlashLibrary());
  EXPECT_FALSE(programmer.FreeFlashLibrary()) << "nothing loaded any more";
}

TEST_F(FirmwarePartTest, PollerStuckInGetStatusIsLeftWithItsLibraryAndData) {
  // The bench clock makes the two 3 s waits short.
  const std::string bench =
      benchctl::UseBench(folder_.Path(), benchctl::BenchSpec().TimeScale(100));
  ASSERT_FALSE(bench.empty());
  HANDLE hold = CreateEventA(nullptr, TRUE, FALSE, "KestorTestFlashHold");
  SetEnvironmentVariableA("SCRIPTED_FLASH_HOLD", "KestorTestFlashHold");
  {
    FirmwareProgrammer programmer(target_, "ScriptedFlash.dll");
    ASSERT_TRUE(programmer.LoadLibraryForTest());
    EXPECT_EQ(programmer.TransferProgramFile(0, 5, "C:\\p\\okfile.bin"), 1);
    const std::string trace = Trace();
    EXPECT_NE(trace.find("    GetStatus-Thread not responding, GetStatus() probably didnt return "
                         "after 3s wait, waiting again!\n\n    GetStatus-Thread not responding "
                         "after 6s wait, GetStatus() probably didnt return!\n\n"),
              std::string::npos)
        << trace;
    EXPECT_EQ(trace.find("thread finished"), std::string::npos);
    // Freed while the poller is still inside the library: its own hold keeps
    // the code mapped.
    EXPECT_TRUE(programmer.FreeFlashLibrary());
  }
  SetEnvironmentVariableA("SCRIPTED_FLASH_HOLD", nullptr);
  SetEvent(hold);
  std::string trace;
  for (int i = 0; i < 200 && trace.find("thread finished") == std::string::npos; ++i) {
    Sleep(25);
    trace = Trace();
  }
  EXPECT_NE(trace.find("thread finished\n\n"), std::string::npos)
      << "the abandoned poller came back from GetStatus and ended: " << trace;
  // Its hold on the library is gone with it.
  for (int i = 0; i < 200 && GetModuleHandleA("ScriptedFlash.dll"); ++i) Sleep(25);
  EXPECT_EQ(GetModuleHandleA("ScriptedFlash.dll"), nullptr);
  CloseHandle(hold);
}

TEST_F(FirmwarePartTest, LibraryThatIsMissingOrIncompleteIsNeverCalled) {
  char system[MAX_PATH];
  GetSystemDirectoryA(system, MAX_PATH);
  // A working flash library under a name of its own, in a folder that is
  // made the current one: neither Kestor's folder nor the system's holds it.
  const std::string current = folder_ / "current";
  ASSERT_TRUE(testsupport::MakeFolders(current));
  ASSERT_TRUE(testsupport::CopyFileTo(testsupport::TestDir() + "\\ScriptedFlash.dll",
                                      current + "\\CurrentFolderFlash.dll"));
  struct Row {
    std::string library;
    const char* trace;
    bool fromCurrentFolder = false;  // run with `current` as the current folder
  } rows[] = {
      {folder_ / "Tessaro.dll", "could not be loaded (error 126)\n"},
      {std::string(system) + "\\version.dll", "version.dll has no Programing\n"},
      {"CurrentFolderFlash.dll", "CurrentFolderFlash.dll could not be loaded (error 126)\n", true}};
  char before[MAX_PATH];
  ASSERT_NE(GetCurrentDirectoryA(MAX_PATH, before), 0u);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.library);
    DeleteFileA((folder_ / "trace.txt").c_str());
    ASSERT_TRUE(SetCurrentDirectoryA(row.fromCurrentFolder ? current.c_str() : before));
    FirmwareProgrammer programmer(target_, row.library);
    FirmwarePart part = Part();
    EXPECT_EQ(programmer.UpdateFirmwarePart(part, 5), FIRMWARE_NO_LIBRARY);
    EXPECT_EQ(programmer.TransferProgramFile(0, 5, "C:\\p\\okfile.bin"), FLASH_LIBRARY_MISSING);
    EXPECT_FALSE(programmer.IsLibraryLoaded());
    const std::string trace = Trace();
    EXPECT_NE(trace.find(row.trace), std::string::npos) << trace;
    EXPECT_NE(trace.find("    Flash library missing: firmware part not programmed\n"),
              std::string::npos)
        << trace;
  }
  SetCurrentDirectoryA(before);
  EXPECT_EQ(GetModuleHandleA("CurrentFolderFlash.dll"), nullptr);
}

TEST(StatusText, NamesLibraryAndKestorCodes) {
  const std::pair<int, const char*> rows[] = {{1, "valid binary file name"},
                                              {2, "Open Binary File"},
                                              {9, "Is Done"},
                                              {10, "Open Device"},
                                              {15, "Flash: Program"},
                                              {46, "reserved"},
                                              {51, "User Swicht Off And Switch On"},
                                              {52, "Wait For IDLE on TR410 or TR420"},
                                              {100, "Sending MMI-File"},
                                              {110, "Update Finished"},
                                              {-1, "Invalid Binary File Name"},
                                              {-2, "Error in Open Binary File"},
                                              {-10, "Error in Open  Device"},
                                              {-11, "Error in Close Device"},
                                              {-12, "Error Flash: Autoselect"},
                                              {-45, "Error Get Device Version"},
                                              {-46, "reserved"},
                                              {-48, "Error Intelig Restart Device To firmware"},
                                              {-52, "Error Wait For IDLE on TR410 or TR420"},
                                              {0, ""},
                                              {3, ""},
                                              {8, ""},
                                              {53, ""},
                                              {99, ""},
                                              {102, ""},
                                              {108, ""},
                                              {111, ""},
                                              {-9, ""},
                                              {-53, ""},
                                              {-100, ""},
                                              {-110, ""}};
  for (const auto& row : rows)
    EXPECT_EQ(StatusText(static_cast<int16_t>(row.first)), row.second) << "code " << row.first;
}

// Every code's texts in both programs, as recorded: Tessaro's command name,
// Kestor's trace text and its English step text.
TEST(StatusText, EveryCodeReadsAsRecordedInBothPrograms) {
  StepStatusTexts steps;
  std::string table;
  for (int code = -155; code <= 155; ++code)
    table += std::to_string(code) + "\t[" + tessaro::ProgramCommandName(code) + "]\t[" +
             StatusText(static_cast<int16_t>(code)) + "]\t[" + steps.StepText(code) + "]\n";
  EXPECT_TRUE(testsupport::MatchesExpectedFile(
      table, "update-manager/src/firmware/tests/expected/command_texts.txt"));
}

// The real flash library on the bench: one program file for the TR440.
TEST_F(FirmwarePartTest, TessaroTakesTheProgramFileForTheDevice) {
  const std::string bench = benchctl::UseBench(
      folder_.Path(),
      benchctl::BenchSpec().TimeScale(1).Instrument(5, "1001").With("FlashSize", "0x80000"));
  ASSERT_FALSE(bench.empty());
  tessaro_test::ProgramFileSpec spec;
  spec.pid = 5;
  // A second's wait first, on a clock as slow as the wall's: the status
  // poller looks while the job runs, however late a loaded machine starts it.
  spec.commands.insert(spec.commands.begin(), 22);
  const tessaro_test::Bytes file = tessaro_test::ProgramFileWriter::Write(spec);
  const std::string path = folder_ / "tr440.bin";
  ASSERT_TRUE(testsupport::WriteFile(path, std::string(file.begin(), file.end())));

  FirmwareProgrammer programmer(target_, testsupport::ProgramDir() + "\\Tessaro.dll");
  ASSERT_TRUE(programmer.LoadLibraryForTest());
  const int32_t result = programmer.TransferProgramFile(0, 5, path);
  // The bench's TR440 carries another flash than the file names, so the job
  // ends at the autoselect; what counts here is the library run with its
  // status polled.
  EXPECT_EQ(result, 0);
  EXPECT_EQ(programmer.TransferProgramFile(0, 5, folder_ / "missing.bin"), 0);
  const std::vector<std::string> steps = Posts(WM_UPDATE_STEP_PROGRESS);
  ASSERT_FALSE(steps.empty());
  const std::string trace = Trace();
  EXPECT_NE(trace.find("thread finished\n\n"), std::string::npos) << trace;
  EXPECT_TRUE(programmer.FreeFlashLibrary());
  EXPECT_EQ(GetModuleHandleA("Tessaro.dll"), nullptr) << "freed after the part";
}

}  // namespace
