// The UI test driver against real message boxes: one shown by a thread of
// this test, one by another process.
#include "testsupport/uidriver.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "lumetra/sync.h"
#include "testsupport/process.h"
#include "testsupport/testdir.h"

using namespace testsupport;

TEST(UiDriver, AnswersABoxOfThisProcessFromTheScript) {
  MessageBoxAnswerer answerer({{"Same Process", "second line", IDNO}}, GetCurrentProcessId());
  int pressed = 0;
  lm::Thread shower(
      [&] { pressed = MessageBoxA(nullptr, "first line\nsecond line", "Same Process", MB_YESNO); });
  EXPECT_TRUE(shower.Join(testsupport::kUiWaitMs));
  EXPECT_EQ(IDNO, pressed);
  auto seen = answerer.Seen();
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ("Same Process", seen[0].caption);
  EXPECT_EQ("first line\nsecond line", seen[0].text);
  EXPECT_EQ(IDNO, seen[0].buttonId);
}

TEST(UiDriver, ReadsAndClicksABoxOfAnotherProcess) {
  ChildProcess child;
  ASSERT_TRUE(child.Start(TestDir() + "\\msgbox_child.exe", "Hello from the child"));
  HWND box = WaitForMessageBox("Child Caption", "Hello from", child.Pid());
  ASSERT_NE(nullptr, box);
  EXPECT_EQ("Hello from the child", MessageBoxText(box));
  EXPECT_TRUE(ClickButtonByText(box, "&Yes"));
  ASSERT_TRUE(child.Wait());
  EXPECT_EQ(static_cast<DWORD>(IDYES), child.ExitCode());
}

TEST(UiDriver, BoxThatNoLineMatchesIsRecordedAndAnsweredByTheFallback) {
  MessageBoxAnswerer answerer({{"", "never shown", IDYES}}, GetCurrentProcessId(), IDCANCEL);
  int pressed = MessageBoxA(nullptr, "unexpected", "Other", MB_OKCANCEL);
  EXPECT_EQ(IDCANCEL, pressed);
  auto seen = answerer.Seen();
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ("unexpected", seen[0].text);
}

TEST(UiDriver, AQuestionWithoutTheFallbackButtonIsDeclined) {
  // An OK fallback on a Yes/No question: No, rather than a box left open.
  MessageBoxAnswerer answerer({}, GetCurrentProcessId(), IDOK);
  int pressed = MessageBoxA(nullptr, "unexpected question", "Other", MB_YESNO);
  EXPECT_EQ(IDNO, pressed);
  auto seen = answerer.Seen();
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ("unexpected question", seen[0].text);
  EXPECT_EQ(IDNO, seen[0].buttonId);
}

TEST(UiDriver, AnswererLeavesOrdinaryDialogsAlone) {
  // A dialog of class #32770 that is not a message box: the answerer must
  // neither record nor press anything in it.
  MessageBoxAnswerer answerer({{"", "", IDOK}}, GetCurrentProcessId(), IDOK);
  HWND dialog = CreateWindowExA(0, "#32770", "Plain Dialog", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                200, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ(dialog, WaitForWindow("Plain Dialog", GetCurrentProcessId()));
  // The answerer goes through the windows it found, then looks again: the
  // look that finds the second box comes after the one that found the first
  // box and the dialog together.
  EXPECT_EQ(IDOK, MessageBoxA(nullptr, "first box", "Other", MB_OK));
  EXPECT_EQ(IDOK, MessageBoxA(nullptr, "second box", "Other", MB_OK));
  std::vector<std::string> texts;
  for (const AnsweredBox& box : answerer.Seen()) texts.push_back(box.text);
  EXPECT_EQ((std::vector<std::string>{"first box", "second box"}), texts);
  EXPECT_FALSE(IsMessageBox(dialog));
  DestroyWindow(dialog);
}
