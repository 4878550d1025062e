// Kestor's process-wide objects and its start-up routine.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "config/update_config.h"
#include "state/process_context.h"

namespace {

// The program arguments after the program name, split as the C runtime does
// for plain arguments (blanks separate, double quotes group).
std::vector<std::string> ProgramArguments() {
  std::vector<std::string> args;
  const char* p = GetCommandLineA();
  bool first = true;
  while (*p) {
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p) break;
    std::string arg;
    bool quoted = false;
    while (*p && (quoted || (*p != ' ' && *p != '\t'))) {
      if (*p == '"') {
        quoted = !quoted;
      } else {
        arg += *p;
      }
      ++p;
    }
    if (!first) args.push_back(arg);
    first = false;
  }
  return args;
}

// Built before the start-up routine runs.
const bool kObjectsBuilt = theProcessContext.Build(ProgramArguments());

// The application's start-up routine; the process ends when it returns.
void InitInstance() {
  HANDLE mutex = CreateMutexA(nullptr, TRUE, "LM_Update_Mutex");
  if (mutex == nullptr) return;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    // The running instance is left alone; process exit releases the handle.
    MessageBoxA(nullptr, "Kestor is running already!", kMessageCaption, MB_OK | MB_ICONINFORMATION);
    return;
  }
  if (!kObjectsBuilt) {
    // Every state and the dialog rely on these objects.
    MessageBoxA(nullptr, "Kestor cannot start: not enough memory for its objects.", kMessageCaption,
                MB_OK | MB_ICONSTOP);
    CloseHandle(mutex);
    return;
  }
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  {
    UpdateManagerDialog dialog;
    dialog.DoModal();
  }
  CloseHandle(mutex);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  InitInstance();
  return 0;
}
