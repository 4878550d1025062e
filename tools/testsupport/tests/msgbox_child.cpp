// Shows one message box and exits with the button that closed it.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR cmdLine, int) {
  int pressed = MessageBoxA(nullptr, cmdLine && *cmdLine ? cmdLine : "Child box", "Child Caption",
                            MB_YESNO | MB_ICONQUESTION);
  return pressed;
}
