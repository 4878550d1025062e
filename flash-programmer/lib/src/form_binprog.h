// The library's window "Tessaro Glintor v1.1": the file name, the flash with
// its sectors, the header's ids, commands and versions, the device tree, the
// program blocks, the Message and Info windows and the job's progress. It
// starts the programming job for the Programing export and lets a user
// program a file by hand. It lives on the thread that loaded the library.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "form_controls.h"
#include "form_lists.h"
#include "programming_job.h"
#include "tessaro/program_file.h"

namespace tessaro {

constexpr char kFormCaption[] = "Tessaro Glintor v1.1";

// The form observes the library's job and lets a user run it by hand.
class TFormBinProg : public JobView {
 public:
  // Makes the form (hidden), stores it into `reference` and clears that
  // reference when its window is destroyed. When its window cannot be made
  // it gives nullptr and leaves `reference` as it was.
  static TFormBinProg* CreateSelfDestroying(TFormBinProg** reference);
  ~TFormBinProg() override;

  HWND Handle() const { return window_; }
  bool Showing() const override;
  void Show();
  void Hide();
  // The close rules: refused while a job runs; a showing window asks first.
  // True when the window was closed.
  bool Close();
  bool JobRunning() const { return LibraryJob().Running(); }
  bool ReadFileIntoForm(const std::string& fileName) { return LibraryJob().ReadFile(fileName); }
  // The LogFile export's work: 1 opens the log in the text viewer, 2 deletes
  // it (-1 when that worked, else 0); any other value is refused with a box
  // and 0. Needs only the logger, so it works when the window is gone.
  static int32_t LogFileAction(uint16_t what);

  // ProgramFileForm
  TStrings* InfoLines() override { return &info_; }
  TSelectableList& CommandLines() override { return commands_; }
  TSelectableList& VersionLines() override { return versions_; }
  TSelectableList& SectorLines() override { return sectors_; }
  TSelectableList& BlockLines() override { return blocks_; }
  void ShowHeaderFields(ProgramFileHeader& header) override;
  void FlashListChanged(const TFlashes& flashes) override;
  const FlashRecord& SelectedFlash() const override { return selectedFlash_; }
  void ShowMessage(const std::string& text) override;

  // JobView
  TLineList& Info() override { return info_; }
  TLineList& Messages() override { return messages_; }
  // RunEvents: the devices in the device tree (form_device_tree.cpp).
  void DevicesCleared() override;
  void DeviceShown(const std::string& caption, const DeviceIdentity& identity) override;
  void BusShown() override;
  void JobStarted(const std::string& fileName) override;
  void CommandsStarted() override;
  void CommandsEnded(bool ok) override;
  void ProgressChanged(int position, int maximum) override;
  void FlashProgressChanged(FlashPhase phase, int done, int total) override;
  void ShowCommandLine(int line) override;

  ProgramFileRecords& Records() { return LibraryJob().Records(); }
  uint32_t BaseFlashAddress() const { return baseFlashAddress_; }
  uint32_t SectorAddress() const { return sectorAddress_; }
  HWND Control(int id) const { return GetDlgItem(window_, id); }
  // The job-status line as the timer writes it for a status word.
  static std::string JobStatusText(uint32_t statusWord);

 private:
  TFormBinProg() = default;
  bool CreateWindowAndControls();
  void CreateControls(HINSTANCE module);
  void Log(TStrings* list, const std::string& format, std::initializer_list<FormatArg> args = {});
  void FlashesChange();
  void LeaveVid();
  void LeavePid();
  void LeaveVersion();
  void LeaveIdField(int id, uint16_t& value);
  void SyncScrollBar(int barId, TListBoxLines& list);
  void ScrollList(int barId, int code);
  void OnTimer();
  void ManualProgramming();
  // Shows the serial-number field and waits until the user entered one.
  bool AskSerialNumber(std::string& serial);
  bool AskClose();
  void SetText(int id, const std::string& text);
  std::string Text(int id) const;
  void SetHint(int id, const std::string& text);

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK KeyHook(int code, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
  HWND tooltip_ = nullptr;
  HHOOK keyHook_ = nullptr;
  TFormBinProg** reference_ = nullptr;
  TMemoLines info_, messages_;
  TListBoxLines commands_, versions_, sectors_, blocks_;
  FlashRecord selectedFlash_;
  uint32_t baseFlashAddress_ = 0;
  uint32_t sectorAddress_ = 0;
  bool serialEntered_ = false;
};

}  // namespace tessaro
