// install: registers the USB driver's setup-information file with Windows
// before the first instrument is plugged in. Silent on success (exit code 0);
// on failure one error box and the Windows error as the exit code.
#include <windows.h>
// windows.h first: the SetupAPI header depends on it.
#include <setupapi.h>

#include <string>

#include "inf_path.h"
#include "resource.h"

namespace {

// Room for 100 characters, as the texts were made for.
std::string LoadText(HINSTANCE instance, UINT id) {
  char text[101] = "";
  LoadStringA(instance, id, text, sizeof text);
  return text;
}

// The Windows error of a failed step; a failure whose last error reads 0
// must still not exit with 0, which says success.
DWORD FailureCode(DWORD lastError) { return lastError ? lastError : ERROR_GEN_FAILURE; }

int Fail(HINSTANCE instance, const std::string& title, DWORD error) {
  std::string text = LoadText(instance, IDS_INSTALL_ERROR);
  MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
  return static_cast<int>(error);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  std::string title = LoadText(instance, IDS_APP_TITLE);

  char program[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, program, sizeof program);
  std::string inf;
  // A program folder so deep that its path or the INF path does not fit is
  // refused; a cut path would name another file.
  if (n == 0 || n >= sizeof program) return Fail(instance, title, FailureCode(GetLastError()));
  if (!install::InfPathBeside(program, MAX_PATH, &inf))
    return Fail(instance, title, ERROR_FILENAME_EXCED_RANGE);

  if (SetupCopyOEMInfA(inf.c_str(), nullptr, SPOST_PATH, 0, nullptr, 0, nullptr, nullptr)) return 0;
  DWORD error = FailureCode(GetLastError());
  return Fail(instance, title, error);
}
