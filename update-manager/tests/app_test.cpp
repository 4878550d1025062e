// Kestor.exe driven as a user would drive it, on packages laid out by the
// package builder.
#include <gtest/gtest.h>

#include "eventually.h"
#include "package_builder.h"
#include "testsupport/process.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"

namespace {

// The bench's PC: a USB 1.1 and an enabled USB 2.0 controller (node 2).
const char kEhciTree[] =
    "[SetupTree]\r\nNodes=1,2\r\nHostControllerNames=\\\\.\\HCD0\r\n"
    "[Node.1]\r\nHardwareIds=PCI\\VEN_8086&DEV_24C2\r\nService=usbuhci\r\n"
    "[Node.2]\r\nHardwareIds=PCI\\VEN_8086&DEV_24CD\r\nService=usbehci\r\n";
const char kDisabledEhciTree[] =
    "[SetupTree]\r\nNodes=1,2\r\nHostControllerNames=\\\\.\\HCD0\r\n"
    "[Node.1]\r\nHardwareIds=PCI\\VEN_8086&DEV_24C2\r\nService=usbuhci\r\n"
    "[Node.2]\r\nHardwareIds=PCI\\VEN_8086&DEV_24CD\r\nService=usbehci\r\n"
    "Status=0x01802400\r\nProblem=22\r\n";
const char kNoHostTree[] = "[SetupTree]\r\nNodes=\r\nHostControllerNames=\\\\.\\HCD10\r\n";

const char kSwitchOff[] = "DIF_PROPERTYCHANGE Node.2 StateChange=2 Scope=2 HwProfile=0 Result=0";
const char kSwitchOnGlobal[] =
    "DIF_PROPERTYCHANGE Node.2 StateChange=1 Scope=1 HwProfile=0 Result=0";
const char kSwitchOn[] = "DIF_PROPERTYCHANGE Node.2 StateChange=1 Scope=2 HwProfile=0 Result=0";

constexpr int kStatusText = 1013;
constexpr int kExitButton = 1058;

// Polls a control until it shows `text`; a failure names the waiting line
// and what the control showed last.
::testing::AssertionResult ShowsText(HWND dialog, int id, const std::string& text,
                                     const char* file = __builtin_FILE(),
                                     int line = __builtin_LINE()) {
  std::string shown;
  ::testing::AssertionResult result = kestortest::Eventually(
      [&] {
        shown = testsupport::ControlText(dialog, id);
        return shown == text;
      },
      kestortest::kEventuallyMs, file, line);
  if (!result) result << ", shows: " << shown;
  return result;
}

// The mark a run of Kestor leaves under its registry key while the USB 2.0
// controller is off by its hand.
bool Usb2OffMarked() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Kestor\\Kestor", 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS)
    return false;
  DWORD value = 0, size = sizeof value;
  const bool found = RegQueryValueExA(key, "USB2SwitchedOff", nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS;
  RegCloseKey(key);
  return found && value != 0;
}

void ClearUsb2OffMark() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Kestor\\Kestor", 0, KEY_SET_VALUE, &key) ==
      ERROR_SUCCESS) {
    RegDeleteValueA(key, "USB2SwitchedOff");
    RegCloseKey(key);
  }
}

class KestorApp : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearUsb2OffMark();
    temp_ = folder_ / "temp";
    ASSERT_TRUE(testsupport::MakeFolders(temp_));
    UseTree(kEhciTree);
  }
  void UseTree(const std::string& tree) { ASSERT_TRUE(testsupport::WriteFile(bench_, tree)); }
  std::map<std::string, std::string> Environment() const {
    return {{"TEMP", temp_}, {"TMP", temp_}, {"LUMETRA_BENCH", bench_}};
  }
  // The class-installer calls Corvel made on the bench, in order.
  std::vector<std::string> Switches() const {
    std::vector<std::string> calls;
    const int count = GetPrivateProfileIntA("SetupCalls", "Count", 0, bench_.c_str());
    for (int i = 1; i <= count; ++i) {
      char call[512] = "";
      GetPrivateProfileStringA("SetupCalls", ("Call" + std::to_string(i)).c_str(), "", call,
                               sizeof call, bench_.c_str());
      calls.push_back(call);
    }
    return calls;
  }
  // Starts Kestor on the package (in `workDir`, when given) and waits for its
  // window.
  HWND Start(testsupport::ChildProcess& kestor, const kestortest::PackageBuilder& package,
             const std::string& workDir = {}) {
    EXPECT_TRUE(kestor.Start(package.KestorPath(), "", workDir, Environment()));
    return testsupport::WaitForWindow("Kestor", kestor.Pid());
  }
  // Leaves by the Exit button and waits for the process to end.
  void ExitAndWait(testsupport::ChildProcess& kestor, HWND dialog) {
    ASSERT_TRUE(testsupport::ClickButton(dialog, kExitButton));
    ASSERT_TRUE(kestor.Wait(60000)) << "Kestor did not end after Exit";
    EXPECT_EQ(kestor.ExitCode(), 0u);
  }
  std::string DebugLog() const { return testsupport::ReadFileOr(temp_ + "\\LM_Logfile.txt"); }
  std::string UpdateLog() const {
    return testsupport::ReadFileOr(temp_ + "\\Kestor_log\\Kestor.log");
  }

  testsupport::TestFolder folder_;
  std::string temp_;
  std::string bench_ = folder_ / "bench.ini";
};

TEST_F(KestorApp, SecondInstanceIsRefusedOnceAndLeavesTheFirstAlone) {
  kestortest::PackageBuilder package(folder_ / "package");
  package.Package("TR440", "1.3").WithCorvel();
  ASSERT_TRUE(package.WriteWithKestor());

  testsupport::ChildProcess first;
  HWND dialog = Start(first, package);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(ShowsText(dialog, kStatusText, "Searching for device..."));
  EXPECT_EQ(testsupport::ControlText(dialog, 1002), "TR440");
  EXPECT_EQ(testsupport::ControlText(dialog, 1004), "1.3");

  {
    testsupport::ChildProcess second;
    ASSERT_TRUE(second.Start(package.KestorPath(), "", "", Environment()));
    testsupport::MessageBoxAnswerer answerer({{"Kestor", "", IDOK}}, second.Pid());
    ASSERT_TRUE(second.Wait(60000)) << "the second instance did not end";
    const auto seen = answerer.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, "Kestor is running already!");
    EXPECT_EQ(seen[0].buttonId, IDOK);
  }
  EXPECT_TRUE(first.Running());
  EXPECT_TRUE(testsupport::WindowExists(dialog));
  EXPECT_EQ(testsupport::ControlText(dialog, kStatusText), "Searching for device...");

  ExitAndWait(first, dialog);
  const std::string log = DebugLog();
  EXPECT_NE(log.find("Exit pressed!checking\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\r\nfollowing Error occured:\r\nUpdate cancelled by user: Please restart the "
                     "application to finish the update!\r\nReactivating USB2 :Success\r\n\r\n"
                     "Updater Closed!"),
            std::string::npos)
      << log;
  EXPECT_EQ(Switches(), (std::vector<std::string>{kSwitchOff, kSwitchOnGlobal, kSwitchOn}))
      << "USB 2.0 off for the run and on again at Exit";

  // The first instance closed its mutex: a new one starts normally.
  testsupport::ChildProcess third;
  HWND again = Start(third, package);
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(ShowsText(again, kStatusText, "Searching for device..."));
  ExitAndWait(third, again);

  // Each run's debug log reached the update log once, with CR LF line ends.
  const std::string archived = UpdateLog();
  size_t headers = 0;
  for (size_t at = archived.find("Kestor Logfile\r\n"); at != std::string::npos;
       at = archived.find("Kestor Logfile\r\n", at + 1))
    ++headers;
  EXPECT_EQ(headers, 2u) << archived;
  for (size_t i = 0; i < archived.size(); ++i) {
    if (archived[i] == '\n') {
      ASSERT_TRUE(i > 0 && archived[i - 1] == '\r') << "at " << i;
    }
  }
  EXPECT_NE(archived.find("\r\nUSB Installed       : yes\r\nUSB 2.0             : yes\r\n"
                          "USB2 activated      : yes\r\n"),
            std::string::npos)
      << archived;
}

TEST_F(KestorApp, ControllerLeftOffByAKilledRunIsSwitchedOnByTheNextRun) {
  kestortest::PackageBuilder package(folder_ / "package");
  package.Package("TR440", "1.3").WithCorvel();
  ASSERT_TRUE(package.WriteWithKestor());
  const std::string searching = "Searching for device...";
  {
    testsupport::ChildProcess killed;
    HWND dialog = Start(killed, package);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(ShowsText(dialog, kStatusText, searching));
    EXPECT_TRUE(Usb2OffMarked());
    killed.Kill();
    ASSERT_FALSE(killed.Running());
  }
  EXPECT_EQ(Switches(), (std::vector<std::string>{kSwitchOff})) << "the killed run left it off";
  EXPECT_TRUE(Usb2OffMarked());

  testsupport::ChildProcess next;
  HWND dialog = Start(next, package);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(ShowsText(dialog, kStatusText, searching));
  EXPECT_EQ(Switches(), (std::vector<std::string>{kSwitchOff})) << "off for the whole run";
  ExitAndWait(next, dialog);
  EXPECT_EQ(Switches(), (std::vector<std::string>{kSwitchOff, kSwitchOnGlobal, kSwitchOn}));
  EXPECT_FALSE(Usb2OffMarked());
  const std::string log = DebugLog();
  EXPECT_NE(log.find("USB2 was switched off by an earlier run of Kestor; it is switched on at "
                     "the end\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Reactivating USB2 :Success\r\n"), std::string::npos) << log;

  // A controller found off without the mark stays off.
  UseTree(kDisabledEhciTree);
  testsupport::ChildProcess third;
  HWND again = Start(third, package);
  ASSERT_NE(again, nullptr);
  ASSERT_TRUE(ShowsText(again, kStatusText, searching));
  ExitAndWait(third, again);
  EXPECT_TRUE(Switches().empty());
}

struct InitializeRow {
  const char* pc;
  const char* tree;
  bool corvel;
  const char* verdict;  // what romtest prints; null: it judges the package
  const char* status;
  const char* logPart;
  std::vector<std::string> switches;
  // Kestor runs in a folder that holds a working qlinkx.dll; its own holds none.
  bool qlinkxInCurrentFolder = false;
  // The debug log an earlier run left, with a file where the update log's
  // folder should be.
  const char* earlierLog = nullptr;
};

TEST_F(KestorApp, InitializeOnTheBench) {
  const std::string searching = "Searching for device...";
  const InitializeRow rows[] = {
      {"USB 2.0 already disabled: left alone",
       kDisabledEhciTree,
       true,
       nullptr,
       "Searching for device...",
       "USB2 activated      : no\r\n",
       {}},
      {"no USB host: Info with index 3",
       kNoHostTree,
       true,
       nullptr,
       "Error - No USB port found!",
       "\r\nUpdate canceled!\r\nError - No USB port found!Updater Closed!",
       {}},
      {"Corvel missing: no USB host",
       kEhciTree,
       false,
       nullptr,
       "Error - No USB port found!",
       "Corvel.dll could not be loaded (error 126): no USB host\r\n",
       {}},
      {"package rejected by romtest: Error with index 1",
       kEhciTree,
       true,
       "0 rejected",
       "Error - Update file invalid: Please reinstall the application!",
       "\r\nfollowing Error occured:\r\nError - Update file invalid: Please reinstall the "
       "application!Updater Closed!",
       {}},
      {"romtest accepting with \" 2 words\"",
       kDisabledEhciTree,
       true,
       " 2 words",
       "Searching for device...",
       "Supported Device    : TR440\r\n",
       {}},
      {"qlinkx.dll only in the current folder: not loaded",
       kDisabledEhciTree,
       true,
       nullptr,
       "Searching for device...",
       "qlinkx.dll could not be loaded (error 126)\r\n",
       {},
       true},
      // The earlier log is kept and this run's goes on behind it; neither
      // can be archived at Exit, and the log says so for the next start.
      {"a file where the update log's folder should be",
       kDisabledEhciTree,
       true,
       nullptr,
       "Searching for device...",
       "Updater Closed!\r\nThe log above could not be archived in ",
       {},
       false,
       "Kestor Logfile\r\nA run that died\r\n"},
  };
  const std::string current = folder_ / "current";
  ASSERT_TRUE(testsupport::MakeFolders(current));
  ASSERT_TRUE(testsupport::CopyFileTo(testsupport::ProgramDir() + "\\qlinkx.dll",
                                      current + "\\qlinkx.dll"));
  ASSERT_TRUE(testsupport::PlaceBenchIn(current));
  int n = 0;
  for (const InitializeRow& row : rows) {
    SCOPED_TRACE(row.pc);
    UseTree(row.tree);
    DeleteFileA((temp_ + "\\LM_Logfile.txt").c_str());
    const std::string notFolder = temp_ + "\\Kestor_log";
    if (row.earlierLog) {
      // The folder the rows before made goes, and a file takes its place.
      DeleteFileA((notFolder + "\\Kestor.log").c_str());
      RemoveDirectoryA(notFolder.c_str());
      ASSERT_TRUE(testsupport::WriteFile(temp_ + "\\LM_Logfile.txt", row.earlierLog));
      ASSERT_TRUE(testsupport::WriteFile(notFolder, "not a folder"));
    }
    kestortest::PackageBuilder package(folder_ / ("package" + std::to_string(n++)));
    package.Package("TR440", "1.3");
    if (row.corvel) package.WithCorvel();
    if (row.verdict) package.RomtestSays(row.verdict);
    ASSERT_TRUE(package.WriteWithKestor());
    testsupport::ChildProcess kestor;
    HWND dialog = Start(kestor, package, row.qlinkxInCurrentFolder ? current : std::string());
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(ShowsText(dialog, kStatusText, row.status));
    EXPECT_EQ(testsupport::ControlText(dialog, 1002), row.status == searching ? "TR440" : "");
    ExitAndWait(kestor, dialog);
    const std::string log = DebugLog();
    EXPECT_NE(log.find(row.logPart), std::string::npos) << log;
    EXPECT_EQ(Switches(), row.switches);
    if (row.earlierLog) {
      const std::string kept = std::string(row.earlierLog) +
                               "\r\nThe log above could not be archived in " + notFolder +
                               "\\Kestor.log\r\n";
      EXPECT_EQ(log.substr(0, kept.size()), kept);
      EXPECT_NE(log.find("Kestor Logfile\r\n", kept.size()), std::string::npos) << log;
      EXPECT_EQ(UpdateLog(), "");
      DeleteFileA(notFolder.c_str());
    }
  }
}

TEST_F(KestorApp, MissingConfigurationEndsInTheErrorState) {
  kestortest::PackageBuilder package(folder_ / "package");
  package.Package("TR440", "1.3").WithoutIni();
  ASSERT_TRUE(package.WriteWithKestor());

  testsupport::ChildProcess kestor;
  ASSERT_TRUE(kestor.Start(package.KestorPath(), "", "", Environment()));
  // The box comes before the window, which carries the same caption.
  testsupport::MessageBoxAnswerer answerer({{"Kestor", "", IDOK}}, kestor.Pid());
  ASSERT_TRUE(answerer.WaitForCount(1));
  HWND dialog = testsupport::WaitForWindow("Kestor", kestor.Pid());
  ASSERT_NE(dialog, nullptr);
  ASSERT_FALSE(testsupport::IsMessageBox(dialog));
  const std::string invalid = "Error - Update file invalid: Please reinstall the application!";
  EXPECT_TRUE(ShowsText(dialog, kStatusText, invalid));
  const auto seen = answerer.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "Could not find initialisation-file");
  EXPECT_FALSE(testsupport::ControlEnabled(dialog, 1034)) << "Start stays disabled";
  ExitAndWait(kestor, dialog);
}

TEST_F(KestorApp, AutomaticModeClosesByItselfAfterTheErrorState) {
  kestortest::PackageBuilder package(folder_ / "package");
  package.Package("TR440", "1.3")
      .Step("Modul", {{"Name", "MODUL"}, {"FWPROGNORM", "gone.bin"}})
      .Missing("gone.bin");
  ASSERT_TRUE(package.WriteWithKestor());

  testsupport::ChildProcess kestor;
  ASSERT_TRUE(kestor.Start(package.KestorPath(), "-a", "", Environment()));
  testsupport::MessageBoxAnswerer answerer({{"Kestor", "", IDOK}}, kestor.Pid());
  ASSERT_TRUE(kestor.Wait(60000)) << "Kestor -a did not close after the Error state";
  EXPECT_EQ(kestor.ExitCode(), 0u);
  const auto seen = answerer.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "UpdateFile " + package.AppFolder() + "outfile\\gone.bin not found!!!");
  const std::string log = DebugLog();
  EXPECT_NE(log.find("following Error occured:\r\nError - Update file invalid: Please reinstall "
                     "the application!Updater Closed!"),
            std::string::npos)
      << log;
}

}  // namespace
