// The package check end to end: the stand-in romtest.exe copied into a
// package folder, started by CheckPackage as Kestor starts it. The bench
// clock runs fast, so waits of seconds pass in milliseconds.
#include "package_check/package_check.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "hwport/clock.h"
#include "hwport/port.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"

using namespace testsupport;

namespace {

constexpr int kScale = 50;

class BenchEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    file_ =
        std::string(temp) + "package_check_bench_" + std::to_string(GetCurrentProcessId()) + ".ini";
    WriteFile(file_, "[Bench]\r\nTimeScale=" + std::to_string(kScale) + "\r\n");
    // romtest inherits it and finds the bench beside itself, so its own waits
    // run on the same clock.
    SetEnvironmentVariableA("LUMETRA_BENCH", file_.c_str());
  }
  void TearDown() override { DeleteFileA(file_.c_str()); }

 private:
  std::string file_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new BenchEnvironment);

const char kValidIni[] =
    "[Kestor]\r\nSuppDevice=TR440\r\nVersion=5.1\r\n"
    "[UpdateSteps]\r\n0=MMI\r\n"
    "[MMI]\r\nName=MMI\r\nRev=3.2\r\n";

// A package folder ("Update Package\", blank included) with romtest.exe.
class PackageFolder {
 public:
  explicit PackageFolder(const TestFolder& test) : folder_(test / "Update Package\\") {
    MakeFolders(test / "Update Package");
    EXPECT_TRUE(CopyFileTo(ProgramDir() + "\\romtest.exe", folder_ + "romtest.exe"));
    EXPECT_TRUE(PlaceBenchIn(folder_));
  }
  const std::string& Folder() const { return folder_; }
  void WriteIni(const std::string& text) const {
    WriteFile(folder_ + "configfiles\\KEST.ini", text);
  }
  void Control(const std::string& settings) const {
    WriteFile(folder_ + "romtest.ini", "[Romtest]\r\n" + settings);
  }
  void Answer(const std::string& output) const { WriteFile(folder_ + "romtest.out", output); }

 private:
  std::string folder_;
};

std::vector<std::string> g_log;
void Collect(const std::string& entry) { g_log.push_back(entry); }

// Each printed verdict in a folder of its own: the leading number decides.
struct VerdictRow {
  const char* name;
  const char* output;
  bool valid;
};

class PrintedVerdict : public ::testing::TestWithParam<VerdictRow> {};

TEST_P(PrintedVerdict, DecidesThePackage) {
  TestFolder test;
  PackageFolder package(test);
  package.WriteIni(kValidIni);
  package.Answer(GetParam().output);
  EXPECT_EQ(GetParam().valid, kestor::CheckPackage(package.Folder()))
      << "romtest printed \"" << GetParam().output << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Romtest, PrintedVerdict,
    ::testing::Values(VerdictRow{"One", "1", true}, VerdictRow{"Half", "0.5", true},
                      VerdictRow{"BlankTwoWords", " 2 words", true}, VerdictRow{"Zero", "0", false},
                      VerdictRow{"ZeroPointZero", "0.0", false}, VerdictRow{"Nothing", "", false},
                      VerdictRow{"WordOK", "OK", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PackageCheck, StandInAcceptsACompletePackage) {
  TestFolder test;
  PackageFolder package(test);
  package.WriteIni(kValidIni);
  EXPECT_TRUE(kestor::CheckPackage(package.Folder()));
}

TEST(PackageCheck, StandInRejectsAPackageWithoutItsStepSection) {
  TestFolder test;
  PackageFolder package(test);
  package.WriteIni("[Kestor]\r\nSuppDevice=TR440\r\nVersion=5.1\r\n[UpdateSteps]\r\n0=MMI\r\n");
  g_log.clear();
  EXPECT_FALSE(kestor::CheckPackage(package.Folder(), Collect));
  EXPECT_EQ(std::vector<std::string>{"Package check: romtest rejected the package\n"}, g_log);
}

TEST(PackageCheck, AbsentRomtestIsInvalidWithoutAnyMessage) {
  TestFolder test;
  PackageFolder package(test);
  package.WriteIni(kValidIni);
  DeleteFileA((package.Folder() + "romtest.exe").c_str());
  MessageBoxAnswerer answerer({}, GetCurrentProcessId(), IDOK);
  g_log.clear();
  EXPECT_FALSE(kestor::CheckPackage(package.Folder(), Collect));
  EXPECT_TRUE(answerer.Seen().empty());
  ASSERT_EQ(1u, g_log.size());
  EXPECT_EQ(0u, g_log[0].find("Package check: romtest could not be started (error ")) << g_log[0];
}

TEST(PackageCheck, StartsRomtestWithBothPathsQuoted) {
  TestFolder test;
  PackageFolder package(test);
  package.WriteIni(kValidIni);
  package.Control("Record=1\r\n");
  EXPECT_TRUE(kestor::CheckPackage(package.Folder()));
  const std::string expected =
      "\"" + package.Folder() + "romtest.exe\" \"" + package.Folder() + "configfiles\\kest.ini\"";
  EXPECT_EQ(expected, kestor::RomtestCommandLine(package.Folder()));
  EXPECT_EQ(expected, ReadFileOr(package.Folder() + "romtest.cmdline", "<not started>"));
}

TEST(PackageCheck, ProgramNamedAfterTheFolderBeforeTheBlankIsNotStarted) {
  // Unquoted, "<test>\Update Package\romtest.exe" would start "<test>\Update.exe".
  TestFolder test;
  PackageFolder package(test);
  package.WriteIni("[Kestor]\r\n");  // the real romtest rejects this
  ASSERT_TRUE(CopyFileTo(ProgramDir() + "\\romtest.exe", test / "Update.exe"));
  WriteFile(test / "romtest.out", "1 decoy");
  WriteFile(test / "romtest.ini", "[Romtest]\r\nRecord=1\r\n");
  EXPECT_FALSE(kestor::CheckPackage(package.Folder()));
  EXPECT_FALSE(FileExists(test / "romtest.cmdline"));
}

TEST(PackageCheck, WaitsForASlowRomtestInPolls) {
  TestFolder test;
  PackageFolder package(test);
  package.WriteIni(kValidIni);
  package.Control("DelayMs=6000\r\n");
  ASSERT_TRUE(hwport::BenchActive()) << hwport::BenchLoadError();
  const DWORD start = hwport::TickCount();
  EXPECT_TRUE(kestor::CheckPackage(package.Folder()));
  EXPECT_GE(hwport::TickCount() - start, 6000u);
}

TEST(PackageCheck, FloodOnStandardErrorDoesNotStallTheCheck) {
  TestFolder test;
  PackageFolder package(test);
  package.WriteIni(kValidIni);
  package.Control("StderrBytes=1000000\r\n");
  EXPECT_TRUE(kestor::CheckPackage(package.Folder()));
}

TEST(PackageCheck, FloodOnStandardOutputAfterTheVerdictDoesNotStallTheCheck) {
  TestFolder test;
  PackageFolder package(test);
  package.WriteIni(kValidIni);
  package.Control("StdoutBytes=1000000\r\n");
  EXPECT_TRUE(kestor::CheckPackage(package.Folder()));
}

TEST(PackageCheck, OnlyTheFirst4096BytesOfTheOutputDecide) {
  struct Row {
    size_t blanks;
    bool valid;
  };
  for (Row r : {Row{4095, true}, Row{4096, false}}) {
    TestFolder test;
    PackageFolder package(test);
    package.WriteIni(kValidIni);
    package.Answer(std::string(r.blanks, ' ') + "1");
    EXPECT_EQ(r.valid, kestor::CheckPackage(package.Folder())) << r.blanks << " blanks before 1";
  }
}

}  // namespace
