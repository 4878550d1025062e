// Tessaro.dll as the update manager uses it: loaded by name from a host's
// folder, its exports bound by name and by ordinal, every call logged.
#include <gtest/gtest.h>

#include <algorithm>

#include "host_fixture.h"
#include "testsupport/uidriver.h"

using namespace tessaro_e2e;
using tessaro_test::ProgramFileSpec;
using tessaro_test::ProgramFileWriter;
using Results = std::vector<std::pair<std::string, std::string>>;

namespace {

const char kAttach[] =
    ">>> dll_Process_Attach after TFormBinProg.CreateSelfDestroying( Application, @FormBinProg ) "
    "0=>1";

std::vector<std::string> WithoutThreadLines(std::vector<std::string> lines) {
  std::erase_if(lines, [](const std::string& l) { return l.find("dll_Thread_") == 0; });
  return lines;
}

}  // namespace

TEST(TessaroDll, LoadsBindsByNameAndOrdinalAndReportsStatusZero) {
  HostFolder host;
  Results r = host.Run({"load", "bind", "status", "statusbyordinal", "free"});
  EXPECT_EQ(Results({{"load", "1"},
                     {"LogFile", "same"},
                     {"CloseIt", "same"},
                     {"GetStatus", "same"},
                     {"Programing", "same"},
                     {"ShowIt", "same"},
                     {"status", "00000000"},
                     {"status", "00000000"},
                     {"free", "1"},
                     {"end", "1"}}),
            r);
  std::vector<std::string> log = WithoutThreadLines(host.LogTexts("Tessaro.log"));
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ("", log[0]);
  EXPECT_EQ(std::string(59, '*'), log[1]);
  EXPECT_EQ(0u, log[2].find("***** Tessaro.log file open at ")) << log[2];
  EXPECT_EQ(std::string(59, '*'), log[3]);
  EXPECT_TRUE(InOrder(
      log, {kAttach, "<<< dll_Process_Attach 1", ">>> <<< DllMain() end of function",
            ">>> GetStatus() start of function", "<<< GetStaus() end of function, result = 0 ",
            ">>> GetStatus() start of function", "<<< GetStaus() end of function, result = 0 ",
            ">>> dll_Process_Detach 1", ">>> CloseIt() start of function ",
            "<<< CloseIt() end of function", "<<< dll_Process_Detach 1=>0"}));
  // The second log gets the same lines.
  EXPECT_TRUE(InOrder(host.LogTexts("ZP2.log"), {kAttach, "<<< dll_Process_Detach 1=>0"}));
  // Every line carries the time-stamped prefix.
  std::string raw = testsupport::ReadFileOr(host / "Tessaro.log");
  size_t at = raw.find("M[");
  ASSERT_NE(std::string::npos, at);
  std::string stamp = raw.substr(at, 25);
  EXPECT_EQ('.', stamp[4]);
  EXPECT_EQ('.', stamp[7]);
  EXPECT_EQ(' ', stamp[10]);
  EXPECT_EQ(':', stamp[13]);
  EXPECT_EQ(':', stamp[16]);
  EXPECT_EQ(',', stamp[19]);
  EXPECT_EQ("] ", stamp.substr(23, 2));
}

TEST(TessaroDll, EachLoadFreesTheHandlesItMade) {
  // The update manager loads the library once per firmware part. What the
  // C++ runtime itself leaves per load is not the library's (the 32-bit
  // runtime's unwinder keeps a semaphore of each load under Wine): a C++
  // library of nothing, built as Tessaro is, loaded and freed as often in the
  // same host, shows how many that is.
  HostFolder host;
  testsupport::CopyFileTo(testsupport::TestDir() + "\\RuntimeControl.dll",
                          host / "RuntimeControl.dll");
  std::vector<std::string> actions = {"control", "handles"};
  for (int i = 0; i < 5; ++i) actions.push_back("control");
  actions.insert(actions.end(), {"handles", "load", "free", "handles"});
  for (int i = 0; i < 5; ++i) actions.insert(actions.end(), {"load", "free"});
  actions.push_back("handles");
  // On the machine's own devices: a bench that a load binds stays in the host
  // with what it opened, which no technician's machine has.
  char bench[MAX_PATH] = "";
  DWORD benchFile = GetEnvironmentVariableA("LUMETRA_BENCH", bench, sizeof bench);
  SetEnvironmentVariableA("LUMETRA_BENCH", nullptr);
  host.Run(actions);
  if (benchFile) SetEnvironmentVariableA("LUMETRA_BENCH", bench);
  EXPECT_EQ(std::vector<std::string>(6, "1"), host.Values("control"));
  std::vector<std::string> counts = host.Values("handles");
  ASSERT_EQ(4u, counts.size());
  ASSERT_EQ(0, std::count(counts.begin(), counts.end(), "?"));
  int controlLeft = std::stoi(counts[1]) - std::stoi(counts[0]);
  int tessaroLeft = std::stoi(counts[3]) - std::stoi(counts[2]);
  EXPECT_LE(tessaroLeft, controlLeft)
      << "the events and semaphores after one load and after six: Tessaro " << counts[2] << ", "
      << counts[3] << "; the C++ library of nothing " << counts[0] << ", " << counts[1];
}

TEST(TessaroDll, ThreadAttachAndDetachAreCounted) {
  HostFolder host;
  host.Run({"load", "thread", "free"});
  EXPECT_TRUE(InOrder(host.LogTexts("Tessaro.log"),
                      {kAttach, "dll_Thread_Attach 0=>1", "dll_Thread_Detach 1=>0"}));
}

TEST(TessaroDll, ProgramingWithMissingFileFailsWithStatusMinusOne) {
  HostFolder host;
  std::string file = host / "none.bin";
  Results r = host.Run({"load", "prog:0x0E7B:5:123456:" + file, "status", "free"});
  EXPECT_EQ(std::vector<std::string>({"0"}), host.Values("prog"));
  EXPECT_EQ(std::vector<std::string>({"0000FFFF"}), host.Values("status"));
  EXPECT_TRUE(InOrder(
      host.LogTexts("Tessaro.log"),
      {">>> Programing(e7b,5,123456," + file + ") start of function ",
       "<<< Programing(e7b,5,123456," + file + ") end of function, result = 0 ",
       ">>> GetStatus() start of function", "<<< GetStaus() end of function, result = ffff "}));
}

TEST(TessaroDll, ProgramingReadsAValidFileAndFailsAtOpenDeviceWithoutTheDevice) {
  HostFolder host;
  std::string file = host.WriteProgramFile("job.bin", ProgramFileWriter::Write({}));
  host.Run({"load", "prog:0x0E7B:5:123456:" + file, "status", "free"});
  // The file was read and accepted; its first command finds no device.
  EXPECT_EQ(std::vector<std::string>({"0"}), host.Values("prog"));
  EXPECT_EQ(std::vector<std::string>({"0000FFF6"}), host.Values("status"));
  EXPECT_TRUE(InOrder(
      host.LogTexts("Tessaro.log"),
      {">>> Programing(e7b,5,123456," + file + ") start of function ", "",
       "#############################################start###",
       "Try programing bin file \"" + file + "\" ...",
       "[ProgramingCtrls] **********************************",
       "[ProgramingCtrls] ***   Opened file \"" + file + "\".",
       "[ProgramingCtrls] **********************************",
       ">> OK, Selected flash \"AM29F400BB\"", "ERROR, Programing bin file \"" + file + "\"",
       "#############################################end#####", "",
       "<<< Programing(e7b,5,123456," + file + ") end of function, result = 0 "}));
}

TEST(TessaroDll, ProgramingWithBrokenCrcLogsTheErrorAndLeavesStatusThree) {
  HostFolder host;
  ProgramFileSpec spec;
  spec.correctCrc = false;
  std::string file = host.WriteProgramFile("job.bin", ProgramFileWriter::Write(spec));
  host.Run({"load", "prog:0x0E7B:5:1:" + file, "status", "free"});
  EXPECT_EQ(std::vector<std::string>({"0"}), host.Values("prog"));
  EXPECT_EQ(std::vector<std::string>({"00000003"}), host.Values("status"));
  EXPECT_TRUE(InOrder(host.LogTexts("Tessaro.log"),
                      {"exception Programing(e7b,5,1," + file + "): Error CRC16",
                       "<<< Programing(e7b,5,1," + file + ") end of function, result = 0 "}));
}

TEST(TessaroDll, ProgramingWithOtherFormatVersionAsksTheUserAndRejects) {
  HostFolder host;
  ProgramFileSpec spec;
  spec.formatMinor = 2;
  std::string file = host.WriteProgramFile("job.bin", ProgramFileWriter::Write(spec));
  testsupport::MessageBoxAnswerer answerer({{"", "Diferent verion", IDOK}});
  host.Run({"load", "prog:0x0E7B:5:1:" + file, "status", "free"});
  auto seen = answerer.Seen();
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ("Diferent verion: Glintor 1.1, File 1.2 ", seen[0].text);
  EXPECT_EQ(std::vector<std::string>({"0000FFFE"}), host.Values("status"));
}

TEST(TessaroDll, GetStatusFromAnotherThreadNeverWaitsForTheJob) {
  HostFolder host;
  ProgramFileSpec spec;
  spec.formatMinor = 2;  // the job waits in a message box while the file is read
  std::string file = host.WriteProgramFile("job.bin", ProgramFileWriter::Write(spec));
  host.Run({"load", "poll:0x0E7B:5:1:" + file, "status", "free"});
  // At least 50 answers came back while Programing was still inside the job:
  // the job could not end before the poller had seen them.
  EXPECT_EQ(std::vector<std::string>({"1"}), host.Values("answered"));
  ASSERT_EQ(1u, host.Values("readingPolls").size());
  EXPECT_GE(std::stoi(host.Values("readingPolls")[0]), 50);
  ASSERT_EQ(1u, host.Values("values").size());
  std::string values = host.Values("values")[0];
  for (const char* v : {"00000000", "00000001", "00000003", "0000FFFE"}) {
    size_t at = values.find(v);
    if (at != std::string::npos) values.erase(at, std::string(v).size());
  }
  std::erase(values, ',');
  EXPECT_EQ("", values) << "torn or unexpected status words: " << host.Values("values")[0];
  EXPECT_EQ(std::vector<std::string>({"0000FFFE"}), host.Values("status"));
}

TEST(TessaroDll, LogFileWithUnknownParameterShowsBoxAndReturnsZero) {
  HostFolder host;
  testsupport::MessageBoxAnswerer answerer({{"", "Unknon parameter", IDOK}});
  host.Run({"load", "logfile:3", "free"});
  EXPECT_EQ(std::vector<std::string>({"0"}), host.Values("logfile"));
  // Tests of other programs may show boxes meanwhile: only the library's count.
  auto seen = answerer.Seen();
  std::erase_if(seen, [](const auto& box) { return box.text.find("Unknon") == std::string::npos; });
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ("Unknon parameter 3 in function LogFile()", seen[0].text);
  EXPECT_TRUE(
      InOrder(host.LogTexts("Tessaro.log"), {">>> LogFile(WhatDo:3) start of function",
                                             "<<< LogFile(WhatDo:3) end of function, result = 0"}));
}

TEST(TessaroDll, LogFileDeleteStartsANewLogWithBanner) {
  HostFolder host;
  host.Run({"load", "logfile:2", "free"});
  EXPECT_EQ(std::vector<std::string>({"-1"}), host.Values("logfile"));
  std::vector<std::string> log = host.LogTexts("Tessaro.log");
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(0u, log[2].find("***** Tessaro.log file open at "));
  EXPECT_EQ("<<< LogFile(WhatDo:2) end of function, result = -1", log[4]);
  EXPECT_TRUE(Holding(log, kAttach).empty());
  // The second log keeps everything.
  EXPECT_TRUE(
      InOrder(host.LogTexts("ZP2.log"), {kAttach, ">>> LogFile(WhatDo:2) start of function",
                                         "<<< LogFile(WhatDo:2) end of function, result = -1"}));
}

TEST(TessaroDll, MarkerFileStopsTheSecondLog) {
  HostFolder host;
  testsupport::WriteFile(host / "NoLogFile2", "");
  host.Run({"load", "status", "free"});
  EXPECT_FALSE(testsupport::FileExists(host / "ZP2.log"));
  EXPECT_TRUE(InOrder(host.LogTexts("Tessaro.log"), {kAttach, "<<< dll_Process_Detach 1=>0"}));
}

TEST(TessaroDll, ShowItTogglesAndCloseItClosesForGood) {
  HostFolder host;
  host.Run({"load", "visible", "show", "visible", "show", "visible", "show", "close", "visible",
            "show", "logfile:2", "free"});
  EXPECT_EQ(std::vector<std::string>({"0", "1", "0", "gone"}), host.Values("visible"));
  std::vector<std::string> log = host.LogTexts("ZP2.log");
  EXPECT_TRUE(InOrder(log, {">>> CloseIt() start of function ", "<<< CloseIt() end of function",
                            ">>> ShowIt() start of function",
                            "exception ShowIt(): The window of the library is closed.",
                            "<<< ShowIt() end of function",
                            // LogFile needs no window.
                            ">>> LogFile(WhatDo:2) start of function",
                            "<<< LogFile(WhatDo:2) end of function, result = -1"}));
}

TEST(TessaroDll, ClosingTheShownWindowAsksAndYesKeepsIt) {
  HostFolder host;
  testsupport::ChildProcess child;
  ASSERT_TRUE(
      host.Start(child, {"load", "show", "pumpuntilgone:60000", "visible", "show", "free"}));
  HWND form = testsupport::WaitForWindow("Tessaro Glintor v1.1", child.Pid());
  ASSERT_NE(nullptr, form);
  {
    testsupport::MessageBoxAnswerer keep({{"Confirm", "Now isn't good", IDYES}}, child.Pid());
    PostMessageA(form, WM_CLOSE, 0, 0);
    ASSERT_TRUE(keep.WaitForCount(1));
    EXPECT_EQ(
        "Now isn't good to close the aplication window!\r\nDo you want continue in the "
        "application?",
        keep.Seen()[0].text);
  }
  EXPECT_TRUE(testsupport::WindowExists(form));
  EXPECT_TRUE(IsWindowVisible(form));
  {
    testsupport::MessageBoxAnswerer close({{"Confirm", "Now isn't good", IDNO}}, child.Pid());
    PostMessageA(form, WM_CLOSE, 0, 0);
    ASSERT_TRUE(close.WaitForCount(1));
    EXPECT_TRUE(testsupport::WaitForWindowGone(form));
  }
  ASSERT_TRUE(child.Wait());
  EXPECT_EQ(std::vector<std::string>({"gone"}), host.Values("visible"));
  EXPECT_TRUE(InOrder(host.LogTexts("Tessaro.log"),
                      {"exception ShowIt(): The window of the library is closed."}));
}

TEST(TessaroDll, CloseDuringAJobIsRefused) {
  HostFolder host;
  ProgramFileSpec spec;
  spec.formatMinor = 2;  // holds the job in a message box
  std::string file = host.WriteProgramFile("job.bin", ProgramFileWriter::Write(spec));
  testsupport::ChildProcess child;
  ASSERT_TRUE(host.Start(child, {"load", "show", "prog:0x0E7B:5:1:" + file, "visible", "free"}));
  HWND box = testsupport::WaitForMessageBox("", "Diferent verion", child.Pid());
  ASSERT_NE(nullptr, box);
  HWND form = testsupport::WaitForWindow("Tessaro Glintor v1.1", child.Pid());
  ASSERT_NE(nullptr, form);
  testsupport::MessageBoxAnswerer question({{"Confirm", "Now isn't good", IDNO}}, child.Pid());
  DWORD_PTR ignored = 0;
  // Handled inside the box's message loop before it returns.
  EXPECT_NE(0, SendMessageTimeoutA(form, WM_CLOSE, 0, 0, SMTO_NORMAL, 20000, &ignored));
  EXPECT_TRUE(question.Seen().empty());
  EXPECT_TRUE(testsupport::ClickButton(box, IDOK));
  ASSERT_TRUE(child.Wait());
  EXPECT_EQ(std::vector<std::string>({"1"}), host.Values("visible"));
}

namespace {

struct CaptionSearch {
  std::string part;
  HWND found = nullptr;
};

// EnumWindows calls back with the stdcall convention.
BOOL CALLBACK MatchCaption(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<CaptionSearch*>(p);
  char text[512] = {};
  GetWindowTextA(w, text, sizeof text);
  if (IsWindowVisible(w) && std::string(text).find(s->part) != std::string::npos) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

// A top-level window of another program whose caption holds `part`.
HWND WaitForCaptionPart(const std::string& part) {
  CaptionSearch search{part};
  for (int i = 0; i < 300 && !search.found; ++i) {
    EnumWindows(&MatchCaption, reinterpret_cast<LPARAM>(&search));
    if (!search.found) Sleep(100);
  }
  return search.found;
}

}  // namespace

TEST(TessaroDll, LogFileOpensTheLogInTheTextViewer) {
  HostFolder host;
  host.Run({"load", "logfile:1", "free"});
  EXPECT_EQ(std::vector<std::string>({"-1"}), host.Values("logfile"));
  HWND viewer = WaitForCaptionPart("Tessaro.log");
  ASSERT_NE(nullptr, viewer) << "no viewer window showed the log";
  PostMessageA(viewer, WM_CLOSE, 0, 0);
  EXPECT_TRUE(testsupport::WaitForWindowGone(viewer));
  EXPECT_TRUE(InOrder(host.LogTexts("Tessaro.log"),
                      {">>> LogFile(WhatDo:1) start of function",
                       "<<< LogFile(WhatDo:1) end of function, result = -1"}));
}
