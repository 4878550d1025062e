// Checks a running Kestor for tools/demo --smoke: its window comes up, finds
// the bench's TR440 and rests in Update Possible with the device's data and
// Start Update enabled; then the Exit button closes it.
#include <cstdio>

#include "testsupport/uidriver.h"

namespace {

constexpr int kDeviceType = 1010;
constexpr int kDeviceSerial = 1011;
constexpr int kDeviceRelease = 1012;
constexpr int kStatus = 1013;
constexpr int kStartButton = 1034;
constexpr int kExitButton = 1058;
const char kReady[] = "Press button 'Start Update' to start the update process!";

}  // namespace

int main() {
  HWND dialog = testsupport::WaitForWindow("Kestor", 0, 60000);
  if (dialog == nullptr || testsupport::IsMessageBox(dialog)) {
    std::puts("demo smoke: no Kestor window");
    return 1;
  }
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
