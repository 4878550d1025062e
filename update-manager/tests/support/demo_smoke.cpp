// Checks a running Kestor for tools/demo --smoke: its window comes up and
// shows the device search, then the Exit button closes it.
#include <cstdio>

#include "testsupport/uidriver.h"

int main() {
  HWND dialog = testsupport::WaitForWindow("Kestor", 0, 60000);
  if (dialog == nullptr || testsupport::IsMessageBox(dialog)) {
    std::puts("demo smoke: no Kestor window");
    return 1;
  }
  std::string status;
  for (int i = 0; i < 300 && status != "Searching for device..."; ++i) {
    Sleep(100);
    status = testsupport::ControlText(dialog, 1013);
  }
  std::printf("demo smoke: Kestor is up, status \"%s\"\n", status.c_str());
  if (!testsupport::ClickButton(dialog, 1058) || !testsupport::WaitForWindowGone(dialog, 60000)) {
    std::puts("demo smoke: Kestor did not close");
    return 1;
  }
  std::puts("demo smoke: Kestor closed by its Exit button");
  return status == "Searching for device..." ? 0 : 1;
}
