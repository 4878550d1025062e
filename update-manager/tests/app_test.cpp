// Kestor.exe driven as a user would drive it, on packages laid out by the
// package builder.
#include <gtest/gtest.h>

#include "package_builder.h"
#include "testsupport/process.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"

namespace {

constexpr int kStatusText = 1013;
constexpr int kExitButton = 1058;

// Polls a control until it shows `text`; returns what it showed last.
std::string WaitForControlText(HWND dialog, int id, const std::string& text) {
  std::string shown;
  for (int i = 0; i < 300; ++i) {
    shown = testsupport::ControlText(dialog, id);
    if (shown == text) break;
    Sleep(100);
  }
  return shown;
}

class KestorApp : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_ = folder_ / "temp";
    ASSERT_TRUE(testsupport::MakeFolders(temp_));
  }
  std::map<std::string, std::string> Environment() const {
    return {{"TEMP", temp_}, {"TMP", temp_}};
  }
  // Starts Kestor on the package and waits for its window.
  HWND Start(testsupport::ChildProcess& kestor, const kestortest::PackageBuilder& package) {
    EXPECT_TRUE(kestor.Start(package.KestorPath(), "", "", Environment()));
    return testsupport::WaitForWindow("Kestor", kestor.Pid());
  }
  // Leaves by the Exit button and waits for the process to end.
  void ExitAndWait(testsupport::ChildProcess& kestor, HWND dialog) {
    ASSERT_TRUE(testsupport::ClickButton(dialog, kExitButton));
    ASSERT_TRUE(kestor.Wait(60000)) << "Kestor did not end after Exit";
    EXPECT_EQ(kestor.ExitCode(), 0u);
  }
  std::string DebugLog() const { return testsupport::ReadFileOr(temp_ + "\\LM_Logfile.txt"); }

  testsupport::TestFolder folder_;
  std::string temp_;
};

TEST_F(KestorApp, SecondInstanceIsRefusedOnceAndLeavesTheFirstAlone) {
  kestortest::PackageBuilder package(folder_ / "package");
  package.Package("TR440", "1.3");
  ASSERT_TRUE(package.WriteWithKestor());

  testsupport::ChildProcess first;
  HWND dialog = Start(first, package);
  ASSERT_NE(dialog, nullptr);
  ASSERT_EQ(WaitForControlText(dialog, kStatusText, "Searching for device..."),
            "Searching for device...");
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
                     "application to finish the update!Updater Closed!"),
            std::string::npos)
      << log;

  // The first instance closed its mutex: a new one starts normally.
  testsupport::ChildProcess third;
  HWND again = Start(third, package);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(WaitForControlText(again, kStatusText, "Searching for device..."),
            "Searching for device...");
  ExitAndWait(third, again);
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
  EXPECT_EQ(WaitForControlText(dialog, kStatusText, invalid), invalid);
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
  for (const auto& b : seen) std::printf("BOX [%s] [%s]\n", b.caption.c_str(), b.text.c_str());
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "UpdateFile " + package.AppFolder() + "outfile\\gone.bin not found!!!");
  const std::string log = DebugLog();
  EXPECT_NE(log.find("following Error occured:\r\nError - Update file invalid: Please reinstall "
                     "the application!Updater Closed!"),
            std::string::npos)
      << log;
}

}  // namespace
