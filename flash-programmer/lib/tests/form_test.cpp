// The library's window made inside the test process: a program file read
// into its controls, the job-status line, Esc and the wait with progress.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on
#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "form_binprog.h"
#include "lumetra/sync.h"
#include "start_programming.h"
#include "tessaro/flash_settings.h"
#include "tessaro/program_status.h"
#include "tessaro/utilities.h"
#include "tessaro_test/program_file_writer.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"

using namespace tessaro;
using tessaro_test::ProgramFileWriter;

namespace {

class Form : public ::testing::Test {
 protected:
  void SetUp() override {
    ProgramingState::Reset();
    ResetFlashSettings();
    form = TFormBinProg::CreateSelfDestroying(&reference);
    ASSERT_NE(nullptr, form);
  }
  void TearDown() override { delete form; }

  std::vector<std::string> ListLines(int id) {
    std::vector<std::string> out;
    HWND box = form->Control(id);
    LRESULT n = SendMessageA(box, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
      char text[512] = {};
      SendMessageA(box, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
      out.push_back(text);
    }
    return out;
  }

  testsupport::TestFolder folder;
  TFormBinProg* reference = nullptr;
  TFormBinProg* form = nullptr;
};

}  // namespace

TEST_F(Form, StartsHiddenWithItsCaptionAndTexts) {
  EXPECT_EQ(form, reference);
  EXPECT_FALSE(form->Showing());
  EXPECT_EQ("Tessaro Glintor v1.1", testsupport::WindowText(form->Handle()));
  EXPECT_EQ("here must be binaryfilename",
            testsupport::ControlText(form->Handle(), IDC_PANEL_FILE_NAME));
  EXPECT_EQ("0xFFFF", testsupport::ControlText(form->Handle(), IDC_VID));
  EXPECT_EQ("?.????????", testsupport::ControlText(form->Handle(), IDC_VER));
  EXPECT_EQ("*****   I n f o   W i n d o w   *****",
            testsupport::ControlText(form->Handle(), IDC_MEMO_INFO));
  EXPECT_FALSE(testsupport::ControlVisible(form->Handle(), IDC_SB_DLL));
}

TEST_F(Form, JobReadsTheFileIntoTheControls) {
  std::string file = folder / "job.bin";
  tessaro_test::Bytes bytes = ProgramFileWriter::Write({});
  testsupport::WriteFile(file, std::string(bytes.begin(), bytes.end()));
  EXPECT_FALSE(StartProgramming(0x0E7B, 5, file, "123"));
  EXPECT_EQ(2, ProgramingState::Status());
  HWND w = form->Handle();
  EXPECT_EQ("[" + file + "]", testsupport::ControlText(w, IDC_PANEL_FILE_NAME));
  EXPECT_EQ("0x0E7B", testsupport::ControlText(w, IDC_VID));
  EXPECT_EQ("0x0005", testsupport::ControlText(w, IDC_PID));
  EXPECT_EQ("2.01", testsupport::ControlText(w, IDC_VER));
  EXPECT_EQ("AM29F400BB", testsupport::ControlText(w, IDC_CB_FLASHES));
  EXPECT_EQ("Manufacture ID 0x01,  Device ID 0x22AB", testsupport::ControlText(w, IDC_L_FLASH));
  EXPECT_EQ("0x00400000", testsupport::ControlText(w, IDC_BASE_FLASH));
  EXPECT_EQ("0x00000AAA", testsupport::ControlText(w, IDC_SECTOR_ADDRESS));
  EXPECT_EQ(7u, ListLines(IDC_LB_FLASH).size());
  EXPECT_EQ(1, SendMessageA(form->Control(IDC_LB_FLASH), LB_GETSEL, 1, 0));
  EXPECT_EQ(0, SendMessageA(form->Control(IDC_LB_FLASH), LB_GETSEL, 2, 0));
  EXPECT_EQ(std::vector<std::string>({"OpenDevice", "FlashAutoselect", "FlashEraseSectors",
                                      "FlashProgram", "FlashVerify", "CloseDevice"}),
            ListLines(IDC_LB_COMMANDS));
  EXPECT_EQ(std::vector<std::string>({"1.2", "2.0"}), ListLines(IDC_LB_SUPPORTED_FWS));
  EXPECT_EQ(2u, ListLines(IDC_LB_PROGRAM_BLOCKS).size());
  // The selected flash's times are the flash operations' settings now.
  EXPECT_EQ(50, CurrentFlashTimes().pollPeriod);
  EXPECT_EQ(400, CurrentFlashTimes().autoselectTimeout);
  // Without a command interpreter the job line keeps the last status.
  EXPECT_TRUE(GetWindowLongA(form->Control(IDC_SB_DLL), GWL_STYLE) & WS_VISIBLE);
  EXPECT_EQ("What: 2 \"OK, OpenBinaryFile\", Status: 0 (0.00%)",
            testsupport::WindowText(form->Control(IDC_SB_DLL)));
  EXPECT_FALSE(form->JobRunning());
}

TEST_F(Form, SelectedFlashWithPollPeriodZeroPollsEveryMillisecond) {
  std::string file = folder / "job.bin";
  tessaro_test::ProgramFileSpec spec;
  spec.flash.pollPeriod = 0;
  tessaro_test::Bytes bytes = ProgramFileWriter::Write(spec);
  testsupport::WriteFile(file, std::string(bytes.begin(), bytes.end()));
  ASSERT_TRUE(form->ReadFileIntoForm(file));
  EXPECT_EQ(1, CurrentFlashTimes().pollPeriod);
  EXPECT_EQ(30000, CurrentFlashTimes().chipEraseTimeout);
}

TEST_F(Form, MissingFileSetsMinusOneWithoutTouchingTheForm) {
  EXPECT_FALSE(StartProgramming(1, 2, folder / "none.bin", ""));
  EXPECT_EQ(-1, ProgramingState::Status());
  EXPECT_EQ("here must be binaryfilename",
            testsupport::ControlText(form->Handle(), IDC_PANEL_FILE_NAME));
}

TEST_F(Form, JobStatusLine) {
  EXPECT_EQ("What: 15 \"OK, FlashProgram\", Status: 5000 (50.00%)",
            TFormBinProg::JobStatusText(5000u << 16 | 15));
  EXPECT_EQ("What: 17 \"ERROR, StopProcesses\", Status: 0 (0.00%)",
            TFormBinProg::JobStatusText(0xFFEF));
  EXPECT_EQ("What: 60 \"OK, ???\", Status: 10000 (100.00%)",
            TFormBinProg::JobStatusText(10000u << 16 | 60));
}

TEST_F(Form, EscDuringAWaitSetsTheStopRequest) {
  EXPECT_FALSE(IsStopRequested());
  PostMessageA(form->Control(IDC_MEMO_INFO), WM_KEYDOWN, VK_ESCAPE, 0);
  WaitWithProgress(100, 100, form->Events());
  EXPECT_TRUE(IsStopRequested());
}

// A wait's lines in memory and the positions its display shows of `maximum`.
class WaitEvents : public RunEvents {
 public:
  explicit WaitEvents(int maximum) : maximum_(maximum) {}
  int Ask(const Question&) override { return IDOK; }
  void LogLine(const std::string& line) override { lines.Add(line); }
  void ReplaceLastLines(int count, const std::string& line) override {
    tessaro::ReplaceLastLines(lines, count, line);
  }
  void Progress(int position, int maximum) override {
    if (maximum == maximum_) positions.push_back(position);
  }
  TMemoryLines lines;
  std::vector<int> positions;

 private:
  int maximum_;
};

TEST_F(Form, WaitWithProgressCountsStepsAndStopsWhenEnded) {
  WaitEvents events(250);
  TMemoryLines& lines = events.lines;
  std::vector<int>& positions = events.positions;
  WaitWithProgress(250, 100, &events);
  EXPECT_EQ(std::vector<std::string>({"  wait 250 ms (300 ms)"}), lines.Lines());
  EXPECT_EQ(std::vector<int>({0, 0, 100, 200, 300, 0}), positions);

  // A message handled during the first step ends the wait.
  HWND ender =
      CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  SetWindowLongPtrA(ender, GWLP_WNDPROC,
                    reinterpret_cast<LONG_PTR>(+[](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
                      if (m == WM_USER) SetWaitEnded(true);
                      return DefWindowProcA(h, m, w, l);
                    }));
  PostMessageA(ender, WM_USER, 0, 0);
  lines.Clear();
  WaitWithProgress(1000, 100, &events);
  EXPECT_EQ(std::vector<std::string>({"  stop of waiting 1000 ms (100 ms)"}), lines.Lines());
  DestroyWindow(ender);

  // A step of 0 counts as 1 ms and still ends.
  lines.Clear();
  WaitWithProgress(3, 0, &events);
  EXPECT_EQ(std::vector<std::string>({"  wait 3 ms (3 ms)"}), lines.Lines());
}

TEST_F(Form, LinesAddedRewrittenAndDeletedShowInTheirWindow) {
  auto joined = [](const std::vector<std::string>& lines) {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\r\n" : "") + lines[i];
    return text;
  };
  struct Row {
    const char* name;
    TLineList* list;
    std::function<std::string()> shown;
  } rows[] = {
      {"the Info window", &form->Info(),
       [&] { return testsupport::ControlText(form->Handle(), IDC_MEMO_INFO); }},
      {"the command list", &form->CommandLines(),
       [&] { return joined(ListLines(IDC_LB_COMMANDS)); }},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    TLineList& list = *r.list;
    list.Clear();
    for (const char* line : {"first", "second", "third"}) list.Add(line);
    list.DeleteLast();
    EXPECT_EQ("first\r\nsecond", r.shown());
    list.SetLine(1, "2nd");
    list.Add("last");
    EXPECT_EQ("first\r\n2nd\r\nlast", r.shown());
    for (int i = 0; i < 4; ++i) list.DeleteLast();
    EXPECT_EQ(0, list.Count());
    EXPECT_EQ("", r.shown());
    list.Add("again");
    EXPECT_EQ("again", r.shown());
  }
}

TEST_F(Form, ClosingAHiddenFormClearsTheReference) {
  EXPECT_TRUE(form->Close());
  EXPECT_EQ(nullptr, reference);
  EXPECT_EQ(nullptr, form->Handle());
}

namespace {

int g_refusedWindows = 0;

// A thread hook that lets no window of its thread be made.
LRESULT CALLBACK RefuseWindows(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    ++g_refusedWindows;
    return 1;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

TEST(FormCreation, AFormWithoutItsWindowLeavesTheReferenceEmpty) {
  g_refusedWindows = 0;
  HHOOK hook = SetWindowsHookExA(WH_CBT, &RefuseWindows, nullptr, GetCurrentThreadId());
  ASSERT_NE(nullptr, hook);
  TFormBinProg* reference = nullptr;
  TFormBinProg* form = TFormBinProg::CreateSelfDestroying(&reference);
  UnhookWindowsHookEx(hook);
  EXPECT_EQ(1, g_refusedWindows) << "the form's window was not refused";
  EXPECT_EQ(nullptr, form);
  // The freed form must not stay behind for the exports to call.
  EXPECT_EQ(nullptr, reference);
}

TEST(Utilities, WindowsVersionOfThisSystem) {
  std::string text = WindowsVersionText();
  EXPECT_EQ(0u, text.find("Microsoft Windows")) << text;
  EXPECT_NE(std::string::npos, text.find(" Build: ")) << text;
}

// Manual programming: the user picks a file, types a serial number, and
// cancels at the confirmation. Only the id fields were made read-only.
TEST_F(Form, ManualProgrammingCancelledAtTheConfirmation) {
  std::string file = folder / "manual.bin";
  tessaro_test::Bytes bytes = ProgramFileWriter::Write({});
  testsupport::WriteFile(file, std::string(bytes.begin(), bytes.end()));
  form->Show();
  std::atomic<bool> done{false};
  std::string confirmation, promptText;
  lm::Thread user([&] {
    HWND open = testsupport::WaitForWindow(
        "Open Binary file (e.c. *.bin file writen for this application)", GetCurrentProcessId());
    if (open) {
      // The file-name field is an edit (0x480) or a combo box (0x47C) by dialog style.
      HWND name = GetDlgItem(open, 0x480);
      if (!name) name = GetDlgItem(open, 0x47C);
      SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(file.c_str()));
      testsupport::ClickButton(open, IDOK);
    }
    HWND prompt = testsupport::WaitForMessageBox(
        "Tessaro", "write serial number to edit box and press enter", GetCurrentProcessId());
    if (prompt) {
      promptText = testsupport::MessageBoxText(prompt);
      testsupport::ClickButton(prompt, IDOK);
    }
    HWND serial = form->Control(IDC_TEST_SER_NB);
    for (int i = 0; i < 3000 && !IsWindowVisible(serial); ++i) Sleep(10);
    SendMessageA(serial, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("4711"));
    PostMessageA(serial, WM_KEYDOWN, VK_RETURN, 0);
    HWND box = testsupport::WaitForMessageBox("Confirm", "OK, Will loaded binary file",
                                              GetCurrentProcessId());
    if (box) {
      confirmation = testsupport::MessageBoxText(box);
      testsupport::ClickButton(box, IDCANCEL);
    }
    done = true;
  });
  PostMessageA(form->Handle(), WM_COMMAND, MAKEWPARAM(IDC_PANEL_FILE_NAME, STN_CLICKED),
               reinterpret_cast<LPARAM>(form->Control(IDC_PANEL_FILE_NAME)));
  while (!done) {
    ProcessMessages();
    Sleep(5);
  }
  EXPECT_TRUE(user.Join(testsupport::kUiWaitMs));
  ProcessMessages();
  EXPECT_EQ("write serial number to edit box and press enter", promptText);
  EXPECT_EQ("OK, Will loaded binary file \"" + file +
                "\",\r\nI try it whit VID:0xFFFF, PID:0xFFFF, s.n.:\"4711\"\r\n[Button \"No\" for "
                "change VID or PID in edits.]",
            confirmation);
  EXPECT_EQ("here must be binaryfilename",
            testsupport::ControlText(form->Handle(), IDC_PANEL_FILE_NAME));
  EXPECT_TRUE(GetWindowLongA(form->Control(IDC_VID), GWL_STYLE) & ES_READONLY);
  EXPECT_TRUE(GetWindowLongA(form->Control(IDC_PID), GWL_STYLE) & ES_READONLY);
  EXPECT_FALSE(IsWindowVisible(form->Control(IDC_TEST_SER_NB)));
  EXPECT_EQ(0, ProgramingState::Status());
}
