// The library's logger: every line goes, time-stamped, into "Tessaro.log"
// (the main log) and "ZP2.log" beside the program that loaded the library,
// and optionally into a text list of the form. Units reach it through their
// log hooks: "M" lines for messages, "D" lines for device transfers.
#pragma once

#include <windows.h>

#include <string>

#include "lumetra/sync.h"
#include "tessaro/log_hook.h"

namespace tessaro {

class TLoging {
 public:
  // `programFolder` (with a trailing backslash) is where both logs and the
  // marker "NoLogFile2" are looked for; empty: the host program's folder.
  explicit TLoging(const std::string& programFolder = {});
  ~TLoging();
  TLoging(const TLoging&) = delete;
  TLoging& operator=(const TLoging&) = delete;

  void WriteM(const std::string& text, TStrings* list);
  void WriteD(const std::string& text, TStrings* list);
  void WriteLine(const std::string& text);

  void CloseMainLog();
  bool DeleteLog();
  bool OpenLogInViewer();
  // Switched by the job's commands; off stops writing but keeps the file open.
  void SetMainLogOn(bool on);

  // Fill a hook only while it is empty.
  void BindHook(LogHook& hook);
  void BindDiagnosticHook(LogHook& hook);

  std::string MainLogPath();
  const std::string& ProgramFolderPath() const { return folder_; }

 private:
  void OpenSecondLog();
  void OpenMainLog();
  void WriteBanner(HANDLE file);
  void Write(HANDLE file, const std::string& text);

  std::string folder_;
  lm::CriticalSection lock_;
  HANDLE main_ = INVALID_HANDLE_VALUE;
  HANDLE second_ = INVALID_HANDLE_VALUE;
  std::string mainPath_;
  std::string secondPath_;
  bool secondOn_ = true;
  bool mainOn_ = true;
  bool folderMessageShown_ = false;
};

// The one logger of a loaded library (null before load and after unload).
TLoging* GlobalLogger();
// `programFolder` as for TLoging (empty: the host program's folder).
void CreateGlobalLogger(const std::string& programFolder = {});
void FreeGlobalLogger();

}  // namespace tessaro
