// Not a timed test: prints how long each step of the sample package's whole
// update takes on the demo's bench with the devices' own times (the bench
// clock at wall speed, realistic flash busy times, a full-speed link),
// beside the time the bench models for it. The update runs twice through
// Kestor's real window: with the clock at wall speed and 100 times faster.
// Modelled time (the devices' reboots, busy times, link, and every wait of
// the suite and the package, all on the bench clock) shrinks a hundredfold;
// what does not shrink is the suite's own time.
#include <gtest/gtest.h>
#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "../fake_usb_host.h"
#include "app/main_dialog.h"
#include "benchctl/bench_control.h"
#include "config/update_config.h"
#include "device/device_updater.h"
#include "environment/log_writer.h"
#include "environment/system_environment.h"
#include "lumetra/sync.h"
#include "package_builder.h"
#include "kestor_process.h"
#include "resource.h"
#include "sample_package.h"
#include "state/process_context.h"
#include "state/shared_values.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"

namespace {

const bool kBench = benchctl::BenchFromTheStart();

const char kReady[] = "Press button 'Start Update' to start the update process!";
const char kDone[] = "Update installed successfully! Press Exit to close the Kestor!";
constexpr int kFastScale = 100;
// A bound, not a target: the run at wall speed takes minutes.
constexpr DWORD kLongestRunMs = 20 * 60 * 1000;
// Fixed waits of the update's own sequence (bench clock), not the devices':
// in the front-panel step the panel's restart into its update mode (100
// rounds of 200 ms), 2 s after its executed file and the package's
// REBOOT_WAIT after the files; in the release step, only when it has to
// reboot the supply again, REBOOT_WAIT and 1000 rounds of 20 ms.
constexpr double kPanelRestartMs = 20000;
constexpr double kAfterExecuteMs = 2000;
constexpr double kReleaseSettleMs = 20000;
// The supply's reboot register: one write per reboot Kestor asks for.
const char kRebootWrite[] = "VendorRequestOut FacId=0x2222";

double NowMs() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string Cell(HWND window, int row, int column) {
  char text[64] = "";
  ListView_GetItemText(GetDlgItem(window, IDC_STEP_LIST), row, column, text, sizeof text);
  return text;
}

struct UpdateTimes {
  std::vector<std::string> steps;
  std::vector<double> endMs;  // since Start Update was pressed; -1: never finished
  double totalMs = 0;
  std::string status;
  int rebootWaitMs = 0;
  size_t reboots = 0;  // of the supply, asked for by Kestor
};

// One whole update of the sample package on the demo's bench at `scale`.
UpdateTimes UpdateAt(int scale) {
  UpdateTimes run;
  testsupport::TestFolder folder;
  SetEnvironmentVariableA("TEMP", folder.Path().c_str());
  kestortest::KestorProcess process;
  kestortest::PackageBuilder package(folder / "package");
  package.WithoutIni();
  const std::string ini = testsupport::ReadFileOr(
      std::string(LUMETRA_SOURCE_DIR) + "\\update-manager\\sample-package\\configfiles\\KEST.ini");
  EXPECT_FALSE(ini.empty()) << "the sample package's KEST.ini";
  EXPECT_TRUE(package.Write() &&
              testsupport::WriteFile(package.Folder() + "\\configfiles\\KEST.ini", ini) &&
              kestortest::WriteSamplePackageFiles(package.Folder()));
  // The devices' own times: erase 250 ms a sector, program 8 ms and verify
  // 2 ms a block, each flash behind a full-speed link.
  benchctl::BenchSpec bench = kestortest::SupplyWithTr440OnFlash(scale);
  for (int slot : {0, 1}) {
    bench.WithDevice(slot, "Link", "full")
        .WithDevice(slot, "FlashBusyMs.0331", "250")
        .WithDevice(slot, "FlashBusyMs.0340", "8")
        .WithDevice(slot, "FlashBusyMs.0350", "2");
  }
  EXPECT_FALSE(benchctl::UseBench(folder.Path(), bench).empty());

  UsbHostPc pc;
  auto environment = std::make_unique<SystemEnvironment>();
  UseUsbHostPc(*environment, pc);
  auto config = std::make_unique<UpdateConfig>(package.AppFolder());
  process.Build(std::move(environment), std::move(config),
                std::make_unique<DeviceUpdater>(std::vector<std::string>{}));
  std::atomic<bool> closed{false};
  lm::Thread dialog;
  dialog.Start([&] {
    UpdateManagerDialog d;
    d.DoModal();
    closed = true;
  });
  HWND window = testsupport::WaitForWindow("Kestor", GetCurrentProcessId());
  const auto status = [&] { return testsupport::ControlText(window, IDC_DEV_STATUS); };
  for (int i = 0; window && i < 3000 && status() != kReady; ++i) Sleep(20);
  if (window && status() == kReady) {
    run.rebootWaitMs = theConfig->rebootWait;
    const int n = ListView_GetItemCount(GetDlgItem(window, IDC_STEP_LIST));
    for (int r = 0; r < n; ++r) run.steps.push_back(Cell(window, r, 0));
    run.endMs.assign(n, -1);
    const double start = NowMs();
    testsupport::ClickButton(window, IDC_START_BUTTON);
    // Success and failure both end in the Exit state, which stops the machine.
    while (CancelState() != CANCEL_STATE_STOPPED && NowMs() - start < kLongestRunMs) {
      Sleep(20);
      for (int r = 0; r < n; ++r)
        if (run.endMs[r] < 0 && Cell(window, r, 1) == "Update finished")
          run.endMs[r] = NowMs() - start;
    }
    run.totalMs = NowMs() - start;
    // The window shows the Exit state's text a moment later.
    for (int i = 0; i < 250 && status() != kDone; ++i) Sleep(20);
    run.status = status();
    run.reboots = benchctl::CallRecord(kRebootWrite).size();
  }
  if (testsupport::WindowExists(window)) {
    testsupport::ClickButtonByText(window, "E&xit");
    for (int i = 0; i < 3000 && !closed; ++i) Sleep(20);
    if (!closed) PostMessageA(window, WM_UPDATE_CLOSE, 0, 0);
  }
  dialog.Join(testsupport::kUiWaitMs);
  process.Release();
  SetTraceLogPath("");
  return run;
}

}  // namespace

TEST(UpdateBenchmark, TheSamplePackageStepByStepAgainstTheModelledTime) {
  const UpdateTimes slow = UpdateAt(1);
  const UpdateTimes fast = UpdateAt(kFastScale);
  ASSERT_EQ(slow.status, kDone);
  ASSERT_EQ(fast.status, kDone);
  ASSERT_EQ(slow.steps, fast.steps);
  const double n = kFastScale;
  std::printf("Whole update of the sample package, bench clock at wall speed (fast run: %dx)\n",
              kFastScale);
  std::printf("%-14s %8s %10s %12s %10s %9s %8s\n", "step", "wall s", "modelled s", "fixed waits s",
              "device s", "suite s", "suite %");
  double before1 = 0, beforeN = 0, fixedTotal = 0;
  for (size_t i = 0; i < slow.steps.size(); ++i) {
    const double wall1 = slow.endMs[i] - before1, wallN = fast.endMs[i] - beforeN;
    before1 = slow.endMs[i];
    beforeN = fast.endMs[i];
    // wall1 = M + S, wallN = M / n + S.
    const double modelled = (wall1 - wallN) * n / (n - 1);
    const double suite = wall1 - modelled;
    double fixed = 0;
    if (slow.steps[i] == "MMI") fixed = kPanelRestartMs + kAfterExecuteMs + slow.rebootWaitMs;
    if (slow.steps[i] == "SET REVISION" && slow.reboots > 1)
      fixed = static_cast<double>(slow.reboots - 1) * (slow.rebootWaitMs + kReleaseSettleMs);
    fixedTotal += fixed;
    std::printf("%-14s %8.1f %10.1f %12.1f %10.1f %9.2f %7.1f%%\n", slow.steps[i].c_str(),
                wall1 / 1000, modelled / 1000, fixed / 1000, (modelled - fixed) / 1000,
                suite / 1000, 100 * suite / wall1);
  }
  const double total = slow.totalMs;
  const double modelled = (slow.totalMs - fast.totalMs) * n / (n - 1);
  const double suite = total - modelled;
  std::printf("%-14s %8.1f %10.1f %12.1f %10.1f %9.2f %7.1f%%\n", "whole run", total / 1000,
              modelled / 1000, fixedTotal / 1000, (modelled - fixedTotal) / 1000, suite / 1000,
              100 * suite / total);
  std::printf(
      "without the fixed waits: wall %.1f s, of it the suite's own %.2f s (%.1f%%); "
      "the fast run took %.1f s; supply reboots asked for: %zu\n",
      (total - fixedTotal) / 1000, suite / 1000, 100 * suite / (total - fixedTotal),
      fast.totalMs / 1000, slow.reboots);
}
