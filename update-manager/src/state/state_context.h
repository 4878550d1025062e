// What the states, their machine, the platform outcomes and the update run
// work with: the environment, the package's configuration, the device
// updater, the worker channel to the dialog and the cancel token. The process
// context builds it from the objects it owns; the states never look up the
// process-wide names themselves, so a test gives them objects of its own.
// A member is null while its object is missing. The run's values the dialog
// reads as well (the error index, the unattended switch, Exit asked for, the
// update installed), the command line's trace level, the texts the dialog
// shows, the dialog's window and the busy cursor's switch are the process's
// published ones, given here too.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

class SystemEnvironment;
class UpdateConfig;
class DeviceUpdater;
class WorkerChannel;
class CancelToken;
class SharedDisplayTexts;
class SharedLanguageTexts;

struct StateContext {
  SystemEnvironment* environment = nullptr;
  UpdateConfig* config = nullptr;
  DeviceUpdater* updater = nullptr;
  WorkerChannel* channel = nullptr;
  CancelToken* cancel = nullptr;
  std::atomic<int>* errorIndex = nullptr;  // an ErrorTextId
  const std::atomic<bool>* automatic = nullptr;
  const std::atomic<bool>* exitRequested = nullptr;
  std::atomic<bool>* updateInstalled = nullptr;
  const std::atomic<int>* traceSwitch = nullptr;  // 0, 1 with -d1, 2 with -d2 to -d5
  SharedDisplayTexts* displayTexts = nullptr;
  SharedLanguageTexts* languageTexts = nullptr;
  std::atomic<HWND>* dialogWindow = nullptr;
  std::atomic<bool>* waitCursor = nullptr;  // the busy cursor while the state thread runs

  int ErrorIndex() const { return errorIndex->load(); }
  void SetErrorIndex(int index) const { errorIndex->store(index); }
  bool Automatic() const { return automatic->load(); }
  bool ExitRequested() const { return exitRequested->load(); }
  bool UpdateInstalled() const { return updateInstalled->load(); }
  void SetUpdateInstalled() const { updateInstalled->store(true); }
  int TraceSwitch() const { return traceSwitch->load(); }

  // The cancel token's state; stopped without a token (nothing runs then).
  int CancelState() const;
  void SetCancelState(int value) const;
  // SetCancelState only while the state is `expected`; false otherwise.
  bool ReplaceCancelState(int expected, int value) const;
  bool CancelRequested() const;

  // Asks the dialog to show the display texts; false without a channel or when
  // the post failed.
  bool PostTexts() const;
  // Appends text to the debug log; a file error loses the text.
  void LogStatus(const std::string& text) const;
};
