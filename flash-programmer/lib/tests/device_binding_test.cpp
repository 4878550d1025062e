// The library and its device layer: the device model's "D" lines, one error
// class for both, and the connection's wait.
// clang-format off
#include <windows.h>
// clang-format on
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "form_binprog.h"
#include "loging.h"
#include "lumetra/sync.h"
#include "start_programming.h"
#include "tessaro/command_interpreter.h"
#include "tessaro/device.h"
#include "tessaro/errors.h"
#include "tessaro/main_thread.h"
#include "tessaro/plugins.h"
#include "tessaro/program_status.h"
#include "tessaro/supply_modules.h"
#include "tessaro/utilities.h"
#include "tessaro_test/idle_device.h"
#include "tessaro_test/program_file_writer.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"

using namespace tessaro;

namespace {

// A TR440 at device number 1 that answers nothing.
struct SilentDevice : tessaro_test::IdleDevice {
  SilentDevice() : IdleDevice(TDeviceInfo(1, 0x0E7B, 5)) {}
};

std::vector<std::string> LinesHolding(const std::string& path, const std::string& part) {
  std::vector<std::string> out;
  for (const std::string& line : testsupport::SplitLines(testsupport::ReadFileOr(path)))
    if (line.find(part) != std::string::npos) out.push_back(line);
  return out;
}

void ReadStatus(SilentDevice& device) {
  uint8_t buffer[4];
  Dev_GetFacilityData(&device, 0x0300, 0, nullptr, nullptr, sizeof buffer, buffer);
}

}  // namespace

TEST(DeviceBinding, DeviceLinesReachTheLogAsDLinesOnlyWhileTheFormExists) {
  testsupport::TestFolder folder;
  CreateGlobalLogger(folder.Path());
  // Made before the form and used after it has gone: the device finds the
  // log as it is at each call.
  SilentDevice early;
  ReadStatus(early);
  TFormBinProg* reference = nullptr;
  TFormBinProg* form = TFormBinProg::CreateSelfDestroying(&reference);
  ASSERT_NE(nullptr, form);
  ReadStatus(early);
  {
    SilentDevice device;
    ReadStatus(device);
  }
  delete form;
  ReadStatus(early);
  {
    SilentDevice device;
    ReadStatus(device);
  }
  FreeGlobalLogger();
  ReadStatus(early);  // the logger is gone: nothing is written, nothing breaks

  std::vector<std::string> lines = LinesHolding(
      folder / "Tessaro.log", "GetFacilityData( FacId: 0x300, Ch: A+B, buf, Size: 4 )");
  ASSERT_EQ(2u, lines.size()) << "the early and the later device while the form existed, "
                                 "none before or after";
  for (const std::string& line : lines) {
    EXPECT_EQ("D[", line.substr(0, 2)) << line;
    EXPECT_EQ("] GetFacilityData( FacId: 0x300, Ch: A+B, buf, Size: 4 )", line.substr(23)) << line;
  }
  EXPECT_FALSE(TDevice::DefaultLog().Bound());
}

namespace {

// One line of the supply table's unit and one of the plug-ins' unit.
void LogSupplyAndPluginLines() {
  int32_t serial = 0;
  FindModuleSerial(0x0E7B, 0x0099, nullptr, nullptr, TransferList{}, serial);
  std::unique_ptr<TBDPlugin> none;
  DisconnectPlugin(none, nullptr);
}

}  // namespace

TEST(DeviceBinding, SupplyAndPluginLinesReachTheLogAsMLinesOnlyWhileTheFormExists) {
  testsupport::TestFolder folder;
  CreateGlobalLogger(folder.Path());
  LogSupplyAndPluginLines();
  TFormBinProg* reference = nullptr;
  TFormBinProg* form = TFormBinProg::CreateSelfDestroying(&reference);
  ASSERT_NE(nullptr, form);
  LogSupplyAndPluginLines();
  delete form;
  LogSupplyAndPluginLines();
  FreeGlobalLogger();

  struct Row {
    const char* unit;
    const char* text;
  };
  const Row rows[] = {
      {"supply table", "]     cannot find part number for Dev(vid:0x0e7b,pid:0x0099)"},
      {"plug-ins", "] [UsbDevCtrl]   ERROR, Unconnect pluggin"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> lines = LinesHolding(folder / "Tessaro.log", row.text);
    ASSERT_EQ(1u, lines.size()) << row.unit << ": one line while the form existed, none else";
    EXPECT_EQ("M[", lines[0].substr(0, 2)) << row.unit;
    EXPECT_EQ(row.text, lines[0].substr(23)) << row.unit;
  }
  EXPECT_FALSE(LogHooks().supply.Bound());
  EXPECT_FALSE(LogHooks().plugin.Bound());
}

namespace {

bool ThrowDeviceError(TProgrammingJob&, uint16_t, uint16_t, const std::string&) {
  throw EDeviceError("Device(Hnd:00000001): gone");
}

}  // namespace

TEST(DeviceBinding, DeviceErrorInAJobIsTheLibrarysError) {
  testsupport::TestFolder folder;
  ProgramingState::Reset();
  TFormBinProg* reference = nullptr;
  TFormBinProg* form = TFormBinProg::CreateSelfDestroying(&reference);
  ASSERT_NE(nullptr, form);
  std::string file = folder / "job.bin";
  tessaro_test::Bytes bytes = tessaro_test::ProgramFileWriter::Write({});
  testsupport::WriteFile(file, std::string(bytes.begin(), bytes.end()));
  SetCommandRunner(&ThrowDeviceError);
  std::string caught;
  try {
    StartProgramming(0x0E7B, 5, file, "1");
  } catch (const TessaroError& e) {
    caught = e.what();
  }
  SetCommandRunner(nullptr);
  EXPECT_EQ("Device(Hnd:00000001): gone", caught);
  EXPECT_FALSE(form->JobRunning());
  EXPECT_EQ(0, form->Records().blocks.Count()) << "the blocks are cleared after the failure";

  // And the other way round: a reader's error is caught as a device error.
  testsupport::WriteFile(file, "short");
  caught.clear();
  try {
    StartProgramming(0x0E7B, 5, file, "1");
  } catch (const EDeviceError& e) {
    caught = e.Message();
  }
  EXPECT_EQ("Error CRC16", caught);
  delete form;
}

namespace {

// A job's view whose run log is kept apart from its Info lines: what a run
// writes to its log shows here only when it came through the run's events.
class ReportedLinesView : public MemoryJobView {
 public:
  void LogLine(const std::string& line) override { reported.Add(line); }
  void ReplaceLastLines(int count, const std::string& line) override {
    tessaro::ReplaceLastLines(reported, count, line);
  }
  TMemoryLines reported;
};

bool Holds(const TMemoryLines& lines, const std::string& part) {
  for (const std::string& line : lines.Lines())
    if (line.find(part) != std::string::npos) return true;
  return false;
}

}  // namespace

TEST(DeviceBinding, TheLinesOfARunReachItsViewThroughTheRunsEventsOnly) {
  struct Row {
    const char* name;
    tessaro_test::Bytes commands;
    std::vector<tessaro_test::BlockSpec> blocks;
    std::vector<std::string> parts;  // of the run's lines: one of them shows
  } rows[] = {
      {"the image checked against the flash",
       {15},
       {{0x50000, tessaro_test::Bytes(16, 0x5A)}},
       {"lies outside the flash"}},
      {"the installed drivers listed",
       {43},
       {{0x0000, tessaro_test::Bytes(32, 0xA5)}},
       {"  Searching of installed usb drivers", "  cannot open key"}},
  };
  testsupport::TestFolder folder;
  ProgramingState::Reset();
  TProgrammingJob& job = LibraryJob();
  SetCommandRunner(&RunProgramCommands);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    tessaro_test::ProgramFileSpec spec;
    spec.commands = r.commands;
    spec.blocks = r.blocks;
    std::string file = folder / "job.bin";
    tessaro_test::Bytes bytes = tessaro_test::ProgramFileWriter::Write(spec);
    testsupport::WriteFile(file, std::string(bytes.begin(), bytes.end()));
    ReportedLinesView view;
    job.Attach(&view);
    job.Program(0x0E7B, 5, file, "1");
    job.Detach(&view);
    bool reported = false, inInfo = false;
    for (const std::string& part : r.parts) {
      reported = reported || Holds(view.reported, part);
      inInfo = inInfo || Holds(view.info, part);
    }
    EXPECT_TRUE(reported) << "the run's events took the line";
    EXPECT_FALSE(inInfo) << "the line was written into the view's Info lines";
  }
  SetCommandRunner(nullptr);
}

namespace {

UINT g_seen = 0;
LRESULT CALLBACK CountingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_APP + 7) ++g_seen;
  return DefWindowProcA(w, m, wp, lp);
}

}  // namespace

TEST(DeviceBinding, ConnectionWaitLetsMessagesAndHandOversThrough) {
  InstallLibraryWait();
  WNDCLASSA wc{};
  wc.lpfnWndProc = CountingProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "DeviceBindingTestWindow";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                wc.hInstance, nullptr);
  ASSERT_NE(nullptr, window);
  MainThreadSync::Instance().BindMainThread();
  std::atomic<bool> ran{false};
  std::atomic<DWORD> ranOn{0};
  lm::Thread reader([&] {
    MainThreadSync::Instance().Run(
        [&] {
          ranOn = GetCurrentThreadId();
          ran = true;
        },
        nullptr);
  });
  g_seen = 0;
  PostMessageA(window, WM_APP + 7, 0, 0);
  for (int i = 0; i < 50 && !ran; ++i) LibraryWait(100);
  EXPECT_TRUE(reader.Join(testsupport::kUiWaitMs));
  UninstallLibraryWait();
  DestroyWindow(window);
  EXPECT_EQ(1u, g_seen) << "the window's message went through during the wait";
  EXPECT_TRUE(ran) << "the reader's hand-over ran during the wait";
  EXPECT_EQ(GetCurrentThreadId(), ranOn.load());
}
