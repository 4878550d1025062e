// Manual programming from the window: a click on the file-name panel lets a
// user pick a program file, type a serial number and run the job by hand.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
// clang-format on

#include "form_binprog.h"
#include "tessaro/format_text.h"
#include "tessaro/utilities.h"

namespace tessaro {

namespace {

// The file dialog, proposing test.bin in the program folder's "bin" folder
// (or in the program folder); empty when the user cancels it.
std::string PickProgramFile(HWND owner) {
  std::string folder = ProgramFolder();
  if (!folder.empty()) folder.pop_back();
  DWORD binAttr = GetFileAttributesA((folder + "\\bin").c_str());
  bool hasBin = binAttr != INVALID_FILE_ATTRIBUTES && (binAttr & FILE_ATTRIBUTE_DIRECTORY);
  std::string proposed = folder + (hasBin ? "\\bin" : "") + "\\test.bin";
  char file[MAX_PATH * 2] = {};
  proposed.copy(file, sizeof file - 1);
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = "Binary files {*.bin}\0*.bin\0All files {*.*}\0*.*\0";
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.lpstrInitialDir = folder.c_str();
  ofn.lpstrTitle = "Open Binary file (e.c. *.bin file writen for this application)";
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
  if (!GetOpenFileNameA(&ofn)) return {};
  return file;
}

}  // namespace

bool TFormBinProg::AskSerialNumber(std::string& serial) {
  ShowMessage("write serial number to edit box and press enter");
  HWND serialEdit = Control(IDC_TEST_SER_NB);
  ShowWindow(serialEdit, SW_SHOW);
  SetFocus(serialEdit);
  serialEntered_ = false;
  // A quit message ends the wait too: the host is going away.
  while (!serialEntered_ && window_ && ProcessMessages()) WaitMessage();
  if (!window_ || !serialEntered_) return false;
  ShowWindow(serialEdit, SW_HIDE);
  serial = Text(IDC_TEST_SER_NB);
  return true;
}

void TFormBinProg::ManualProgramming() {
  try {
    SendMessageA(Control(IDC_VID), EM_SETREADONLY, TRUE, 0);
    SendMessageA(Control(IDC_PID), EM_SETREADONLY, TRUE, 0);
    std::string fileName = PickProgramFile(window_);
    if (fileName.empty()) return;
    std::string serial;
    if (!AskSerialNumber(serial)) return;

    const ProgramFileHeader& h = Records().header;
    std::string question = FormatText(
        "OK, Will loaded binary file \"%s\",\r\nI try it whit VID:0x%4.4X, PID:0x%4.4X, "
        "s.n.:\"%s\"\r\n[Button \"No\" for change VID or PID in edits.]",
        {fileName, h.vid, h.pid, serial});
    int answer =
        MessageBoxA(window_, question.c_str(), "Confirm", MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDCANCEL) return;
    if (answer == IDNO) {
      SendMessageA(Control(IDC_VID), EM_SETREADONLY, FALSE, 0);
      SendMessageA(Control(IDC_PID), EM_SETREADONLY, FALSE, 0);
      return;
    }
    TProgrammingJob& job = LibraryJob();
    job.Attach(this);
    JobStarted(fileName);
    info_.Clear();
    Log(&info_, "");
    Log(&info_, "#############################################start###");
    Log(&info_, "Try programing bin file \"%s\" ... ", {fileName});
    if (job.ReadFile(fileName))
      job.RunCommands(h.vid, h.pid, serial);
    else
      ShowMessage(FormatText("Error, cannot load binary file \"%s\"", {fileName}));
    Log(&info_, "#############################################end#####");
    Log(&info_, "");
  } catch (...) {
    // Manual work reports through the form's windows; nothing leaves the handler.
  }
}

}  // namespace tessaro
