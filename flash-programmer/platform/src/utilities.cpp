#include "tessaro/utilities.h"

#include "hwport/clock.h"
#include "lumetra/module.h"
#include "tessaro/flash_settings.h"
#include "tessaro/format_text.h"
#include "tessaro/main_thread.h"

namespace tessaro {

LocalTime LocalNow() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return LocalTime{st.wYear,   st.wMonth,  st.wDay,         st.wHour,
                   st.wMinute, st.wSecond, st.wMilliseconds};
}

std::string TimeText(const LocalTime& t) {
  char time[8] = ":", decimal[8] = ".";
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, time, sizeof time);
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, sizeof decimal);
  return TimeText(t, time, decimal);
}

std::string WindowsVersionText() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  std::string text;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&info)) return text;
#pragma GCC diagnostic pop
  OsVersion v{info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber, info.dwPlatformId,
              info.szCSDVersion};
  WindowsVersionText(v, text);
  return text;
}

bool ProcessMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return true;
}

void WaitLettingMessagesThrough(DWORD ms) { WaitLettingMessagesThrough(ms, nullptr); }

void WaitLettingMessagesThrough(DWORD ms, bool (*ended)()) {
  DWORD start = hwport::TickCount();
  for (;;) {
    bool quitting = !ProcessMessages();
    if (ended && ended()) return;
    DWORD elapsed = hwport::TickCount() - start;
    if (elapsed >= ms) return;
    if (quitting) {
      // A waiting quit message would wake every message wait at once.
      hwport::Sleep(ms - elapsed);
      return;
    }
    hwport::MsgWaitForObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
  }
}

void InstallLibraryWait() { SetWaitFunction(&WaitLettingMessagesThrough); }

void UninstallLibraryWait() { SetWaitFunction(nullptr); }

void SetWaitEnded(bool ended) { Settings().waitEnded = ended; }
bool WaitEnded() { return Settings().waitEnded; }

void WaitWithProgress(int total, int step, RunEvents* events) {
  if (total < 1) total = 1;
  if (step < 1) step = 1;  // a step of 0 would never end the wait
  SetWaitEnded(false);
  if (events) {
    events->SetProgressMaximum(total);
    events->SetProgressPosition(0);
    events->LogLine(FormatText("  wait %d ms (%d ms)", {total, 0}));
  }
  for (int elapsed = 0; elapsed < total;) {
    hwport::Sleep(static_cast<DWORD>(step));
    elapsed += step;
    if (events) {
      events->SetProgressPosition(elapsed);
      events->ReplaceLastLines(1, FormatText("  wait %d ms (%d ms)", {total, elapsed}));
    }
    ProcessMessages();
    if (WaitEnded()) {
      if (events)
        events->ReplaceLastLines(1,
                                 FormatText("  stop of waiting %d ms (%d ms)", {total, elapsed}));
      break;
    }
  }
  if (events) events->SetProgressPosition(0);
}

std::string ProgramFolder() { return lm::ProgramFolder(); }

bool FileExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace tessaro
