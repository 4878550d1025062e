// Manual programming through the library's window in a host process: the
// user clicks the file-name panel, takes the proposed file, types the serial
// number, confirms, and the file's whole command list runs on the bench.
// clang-format off
#include <windows.h>
// clang-format on
#include <gtest/gtest.h>

#include "form_binprog.h"
#include "programing_fixture.h"

using namespace tessaro_e2e;

namespace {

const bool kBench = benchctl::BenchFromTheStart();

class FormManual : public ProgramingFixture {};

TEST_F(FormManual, TheUserRunsAFilesWholeCommandList) {
  Use(Tr410(100));
  // The window proposes "test.bin" in the program's folder.
  std::string file = File(ListOf(kWholeUpdate), "test.bin");
  testsupport::ChildProcess child;
  ASSERT_TRUE(
      host_->Start(child, {"load", "show", "manual:" + std::to_string(tessaro::IDC_PANEL_FILE_NAME),
                           "status", "tree:" + std::to_string(tessaro::IDC_TV_USB_DEV),
                           "text:" + std::to_string(tessaro::IDC_PANEL_FILE_NAME),
                           "selected:" + std::to_string(tessaro::IDC_LB_PROGRAM_BLOCKS), "free"}));
  HWND open = testsupport::WaitForWindow(
      "Open Binary file (e.c. *.bin file writen for this application)", child.Pid());
  ASSERT_NE(nullptr, open);
  EXPECT_TRUE(testsupport::ClickButton(open, IDOK));
  HWND prompt = testsupport::WaitForMessageBox("Tessaro", "", child.Pid());
  ASSERT_NE(nullptr, prompt);
  EXPECT_EQ("write serial number to edit box and press enter", testsupport::MessageBoxText(prompt));
  EXPECT_TRUE(testsupport::ClickButton(prompt, IDOK));
  HWND form = testsupport::WaitForWindow("Tessaro Glintor v1.1", child.Pid());
  ASSERT_NE(nullptr, form);
  HWND serial = GetDlgItem(form, tessaro::IDC_TEST_SER_NB);
  for (int i = 0; i < 1500 && !IsWindowVisible(serial); ++i) Sleep(20);
  ASSERT_TRUE(IsWindowVisible(serial)) << "the serial-number field shows";
  SendMessageA(serial, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("2001"));
  PostMessageA(serial, WM_KEYDOWN, VK_RETURN, 0);
  HWND confirm = testsupport::WaitForMessageBox("Confirm", "", child.Pid());
  ASSERT_NE(nullptr, confirm);
  EXPECT_EQ("OK, Will loaded binary file \"" + file +
                "\",\r\nI try it whit VID:0xFFFF, PID:0xFFFF, s.n.:\"2001\"\r\n[Button \"No\" for "
                "change VID or PID in edits.]",
            testsupport::MessageBoxText(confirm));
  EXPECT_TRUE(testsupport::ClickButton(confirm, IDYES));
  ASSERT_TRUE(child.Wait(120000));

  // The ids of the file as read, the serial number typed.
  EXPECT_EQ(std::vector<std::string>{"27100009"}, host_->Values("status"));
  EXPECT_EQ(std::vector<std::string>{"[" + file + "]"}, host_->Values("text"));
  EXPECT_EQ(std::vector<uint8_t>(32, 0xA5), FlashAt(0x0000, 32));
  // Each block verified was unselected in the block list as it was done.
  EXPECT_EQ(std::vector<std::string>{"2"}, host_->Values("lines"));
  EXPECT_EQ(std::vector<std::string>{}, host_->Values("selected"));
  EXPECT_EQ(std::vector<uint8_t>(16, 0x5A), FlashAt(0x4100, 16));
  EXPECT_EQ("0", benchctl::ReadState(bench_, "Device0", "RebootMarker"));
  EXPECT_EQ("", benchctl::ReadState(bench_, "Device0", "Mode"));
  EXPECT_TRUE(InOrder(
      Log(), {"#############################################start###",
              "Try programing bin file \"" + file + "\" ... ", "[UsbDevCtrl] OK, RebootTest.",
              "[UsbDevCtrl] OK, Reboot from to.", "[UsbDevCtrl] OK, Reboot from to.",
              "#############################################end#####"}));
  // The last flow that showed a device was the search for it coming back
  // into its firmware.
  EXPECT_EQ((std::vector<std::string>{"search device \"TR410\" [+]", "  VID=0x0E7B", "  PID=0x0006",
                                      "  Manufacturer=Vandrel", "  Product Name=TR410",
                                      "  Serial Number=2001"}),
            host_->Values("tree"));
}

}  // namespace
