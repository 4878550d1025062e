#include "loging.h"

#include "hwport/clock.h"
#include "tessaro/format_text.h"
#include "tessaro/run_events.h"
#include "tessaro/utilities.h"

namespace tessaro {
namespace {

// The logger of this load, made and freed by the library's context; the form
// and the interpreter's log commands, below the context, reach it here.
TLoging* g_logger = nullptr;

const char kMainLogName[] = "Tessaro.log";

std::string Prefixed(const char* kind, const std::string& text) {
  return std::string(kind) + "[" + DateTimeText(LocalNow()) + "] " + text;
}

void WriteMHook(void* object, const std::string& text, TStrings* list) {
  static_cast<TLoging*>(object)->WriteM(text, list);
}

void WriteDHook(void* object, const std::string& text, TStrings* list) {
  static_cast<TLoging*>(object)->WriteD(text, list);
}

HANDLE OpenShared(const std::string& path, DWORD disposition) {
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// True when a file can be made in `folder`: a fresh "~....log" file is made
// and removed again.
bool FolderWritable(const std::string& folder) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    std::string probe = folder + FormatText("~%8.8X%2.2X.log", {hwport::TickCount(), attempt});
    HANDLE f = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
      CloseHandle(f);
      DeleteFileA(probe.c_str());
      return true;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  return false;
}

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return folder;
}

}  // namespace

TLoging::TLoging(const std::string& programFolder)
    : folder_(programFolder.empty() ? ProgramFolder() : WithSlash(programFolder)) {}

TLoging::~TLoging() {
  CloseMainLog();
  if (second_ != INVALID_HANDLE_VALUE) CloseHandle(second_);
}

void TLoging::WriteM(const std::string& text, TStrings* list) {
  std::string line = Prefixed("M", text);
  if (list) list->Add(line);
  WriteLine(line);
}

void TLoging::WriteD(const std::string& text, TStrings* list) {
  std::string line = Prefixed("D", text);
  if (list) list->Add(line);
  WriteLine(line);
}

void TLoging::Write(HANDLE file, const std::string& text) {
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void TLoging::WriteBanner(HANDLE file) {
  char date[64] = {}, time[64] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date);
  GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time, sizeof time);
  std::string stars(59, '*');
  Write(file, "\r\n" + stars + "\r\n***** " + kMainLogName + " file open at " + date + " " + time +
                  " *****\r\n" + stars + "\r\n");
}

void TLoging::OpenSecondLog() {
  secondPath_ = folder_ + "ZP2.log";
  second_ = OpenShared(secondPath_, OPEN_ALWAYS);
  if (second_ == INVALID_HANDLE_VALUE) return;
  SetFilePointer(second_, 0, nullptr, FILE_END);
  WriteBanner(second_);
}

void TLoging::OpenMainLog() {
  std::string tried[3];
  std::string chosen;
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  const std::string candidates[3] = {folder_, WithSlash(temp), "C:\\"};
  int n = 0;
  for (const std::string& folder : candidates) {
    tried[n++] = folder;
    if (FolderWritable(folder)) {
      chosen = folder;
      break;
    }
  }
  if (chosen.empty()) {
    chosen = "C:\\";
    // Once per logger: a box for every line would stop the job at each line.
    if (!folderMessageShown_) {
      folderMessageShown_ = true;
      std::string text = "Can't create log-file, is impossible write to directories:\r\n";
      for (int i = n - 1; i >= 0; --i) text += tried[i] + "\r\n";
      LibraryAsk({text, "Tessaro", MB_OK | MB_ICONWARNING});
    }
  }
  mainPath_ = chosen + kMainLogName;
  main_ = OpenShared(mainPath_, OPEN_ALWAYS);
  if (main_ == INVALID_HANDLE_VALUE) return;
  SetFilePointer(main_, 0, nullptr, FILE_END);
  WriteBanner(main_);
}

void TLoging::WriteLine(const std::string& text) {
  lm::Lock lock(lock_);
  if (secondOn_ && FileExists(folder_ + "NoLogFile2")) {
    secondOn_ = false;
    if (second_ != INVALID_HANDLE_VALUE) CloseHandle(second_);
    second_ = INVALID_HANDLE_VALUE;
  }
  if (secondOn_) {
    if (second_ == INVALID_HANDLE_VALUE) OpenSecondLog();
    if (second_ != INVALID_HANDLE_VALUE) Write(second_, text + "\r\n");
  }
  if (mainOn_) {
    if (main_ == INVALID_HANDLE_VALUE) OpenMainLog();
    if (main_ != INVALID_HANDLE_VALUE) Write(main_, text + "\r\n");
  }
}

void TLoging::CloseMainLog() {
  lm::Lock lock(lock_);
  if (main_ != INVALID_HANDLE_VALUE) CloseHandle(main_);
  main_ = INVALID_HANDLE_VALUE;
}

std::string TLoging::MainLogPath() {
  lm::Lock lock(lock_);
  return mainPath_.empty() ? folder_ + kMainLogName : mainPath_;
}

void TLoging::SetMainLogOn(bool on) {
  lm::Lock lock(lock_);
  mainOn_ = on;
}

bool TLoging::DeleteLog() {
  CloseMainLog();
  std::string path = MainLogPath();
  if (!FileExists(path)) {
    WriteM(FormatText("WARNING: delete log file \"%s\", this file doesn't exists!", {path}),
           nullptr);
    return true;
  }
  if (DeleteFileA(path.c_str())) return true;
  WriteM(FormatText("error, deletefile=false, GetLastError()=%d", {GetLastError()}), nullptr);
  return false;
}

bool TLoging::OpenLogInViewer() {
  CloseMainLog();
  std::string path = MainLogPath();
  if (!FileExists(path)) {
    LibraryAsk({FormatText("Cannot find log file \"%s\"", {path}), "Tessaro", MB_OK});
    return false;
  }
  // Built as a string of its own length: a long path cannot overrun anything.
  char windows[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, sizeof windows);
  std::string command = std::string(windows) + "\\system32\\notepad.exe " + path;
  if (WinExec(command.c_str(), SW_SHOWNORMAL) < 32) {
    LibraryAsk({FormatText("Error, Cannot find Notepad.\r\n(Log is in file \"%s\"", {path}),
                "Tessaro", MB_OK});
    return false;
  }
  return true;
}

void TLoging::BindHook(LogHook& hook) {
  if (hook.Bound()) return;
  hook.method = &WriteMHook;
  hook.object = this;
}

void TLoging::BindDiagnosticHook(LogHook& hook) {
  if (hook.Bound()) return;
  hook.method = &WriteDHook;
  hook.object = this;
}

TLoging* GlobalLogger() { return g_logger; }

void CreateGlobalLogger(const std::string& programFolder) {
  if (!g_logger) g_logger = new TLoging(programFolder);
}

void FreeGlobalLogger() {
  delete g_logger;
  g_logger = nullptr;
}

}  // namespace tessaro
