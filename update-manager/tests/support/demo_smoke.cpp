// Checks a running Kestor for tools/demo --smoke: its window comes up, finds
// the bench's TR440 and rests in Update Possible with the device's data and
// Start Update enabled; then the Exit button closes it. With --update (Kestor
// started with -a): prints each status the window shows while the update
// runs, until Kestor closes by itself.
#include <cstdio>
#include <string>

#include "testsupport/uidriver.h"

namespace {

constexpr int kDeviceType = 1010;
constexpr int kDeviceSerial = 1011;
constexpr int kDeviceRelease = 1012;
constexpr int kStatus = 1013;
constexpr int kStartButton = 1034;
constexpr int kExitButton = 1058;
const char kReady[] = "Press button 'Start Update' to start the update process!";

int WatchUpdate(HWND dialog) {
  std::string shown;
  const DWORD start = GetTickCount();
  // The whole update at the bench's device times takes minutes.
  while (testsupport::WindowExists(dialog) && GetTickCount() - start < 15 * 60 * 1000) {
    // Two equal reads in a row: a text that changes between the length and
    // the text query comes back cut.
    std::string status = testsupport::ControlText(dialog, kStatus);
    for (int i = 0; i < 5; ++i) {
      const std::string again = testsupport::ControlText(dialog, kStatus);
      if (again == status) break;
      status = again;
    }
    if (!status.empty() && status != shown) {
      std::printf("demo smoke: %5.1f s  %s\n", (GetTickCount() - start) / 1000.0, status.c_str());
      std::fflush(stdout);
      shown = status;
    }
    Sleep(10);
  }
  if (testsupport::WindowExists(dialog)) {
    std::puts("demo smoke: Kestor did not end the update");
    return 1;
  }
  std::printf("demo smoke: Kestor closed by itself after %.1f s\n",
              (GetTickCount() - start) / 1000.0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  HWND dialog = testsupport::WaitForWindow("Kestor", 0, 60000);
  if (dialog == nullptr || testsupport::IsMessageBox(dialog)) {
    std::puts("demo smoke: no Kestor window");
    return 1;
  }
  if (argc > 1 && std::string(argv[1]) == "--update") return WatchUpdate(dialog);
  std::string status;
  for (int i = 0; i < 600 && status != kReady; ++i) {
    Sleep(100);
    status = testsupport::ControlText(dialog, kStatus);
  }
  const std::string type = testsupport::ControlText(dialog, kDeviceType);
  const std::string serial = testsupport::ControlText(dialog, kDeviceSerial);
  const std::string release = testsupport::ControlText(dialog, kDeviceRelease);
  const bool startEnabled = testsupport::ControlEnabled(dialog, kStartButton);
  std::printf("demo smoke: Kestor is up, status \"%s\"\n", status.c_str());
  std::printf("demo smoke: device %s, serial number %s, release %s, Start Update %s\n",
              type.c_str(), serial.c_str(), release.c_str(), startEnabled ? "enabled" : "disabled");
  if (!testsupport::ClickButton(dialog, kExitButton) ||
      !testsupport::WaitForWindowGone(dialog, 60000)) {
    std::puts("demo smoke: Kestor did not close");
    return 1;
  }
  std::puts("demo smoke: Kestor closed by its Exit button");
  const bool shown =
      status == kReady && type == "TR440" && serial == "4711" && release == "1.2" && startEnabled;
  return shown ? 0 : 1;
}
