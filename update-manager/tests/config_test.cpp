#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "config/update_config.h"
#include "environment/log_writer.h"
#include "environment/system_environment.h"
#include "package_builder.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"

namespace {

using kestortest::PackageBuilder;

struct ConfigRow {
  const char* proves;
  std::function<void(PackageBuilder&)> describe;
  bool invalid;
  const char* message;  // part of the one message box shown; "" for none
  std::function<void(UpdateConfig&, const std::string& app)> check;
};

void ModulePackage(PackageBuilder& p) {
  p.Package("TR440", "1.3")
      .Step("Module",
            {{"Name", "MODULE"}, {"Rev", "2.10"}, {"FWPROGNORM", "mod_fw.bin"}, {"FWPROG", "1"}});
}

const ConfigRow kRows[] = {
    {"keys 0, 1, 3 give two steps: the missing key 2 ends the list",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Set("UpdateSteps", "0", "MMI")
           .Set("UpdateSteps", "1", "Set Revision")
           .Set("UpdateSteps", "3", "Later")
           .Set("MMI", "Name", "MMI")
           .Set("Set Revision", "Name", "SET REVISION")
           .Set("Later", "Name", "NEVER READ");
     },
     false, "",
     [](UpdateConfig& c, const std::string&) {
       ASSERT_EQ(c.StepCount(), 2);
       EXPECT_EQ(c.GetStep(0).name, "MMI");
       EXPECT_EQ(c.GetStep(1).name, "SET REVISION");
     }},
    {"section kinds are found in any case: Module, pwr supply, rev, and file lists",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Step("Module", {{"Name", "MODULE"},
                            {"FWPROGNORM", "m.bin"},
                            {"FWCHECK", "1"},
                            {"FWVER", "1"},
                            {"BLFIRST", "1"}})
           .Step("pwr supply", {{"Name", "PWR SUPPLY"},
                                {"BLPROGSUSB", "ps_bl.bin"},
                                {"BLPROG", "1"},
                                {"REBOOTFILE", "ps_reboot.bin"}})
           .Step("rev", {{"Name", "SET REVISION"},
                         {"Rev", "1.3"},
                         {"Beta", "70000"},
                         {"Date", "24.12.2005"}})
           .Step("Mmi", {{"Name", "MMI"},
                         {"File1", "a.mmi"},
                         {"StepSize1", "40"},
                         {"PreCom1", "stop"},
                         {"File2", "b.mmi"}});
     },
     false, "",
     [](UpdateConfig& c, const std::string& app) {
       ASSERT_EQ(c.StepCount(), 4);
       const FirmwarePart& module = c.FirmwareParts()[0];
       EXPECT_EQ(module.firmware.progNormFile, app + "outfile\\m.bin");
       EXPECT_EQ(module.firmware.verifyMode, 3);
       EXPECT_TRUE(module.blFirst);
       EXPECT_EQ(module.rebootFile, "") << "an empty key names no file";
       const FirmwarePart& supply = c.FirmwareParts()[1];
       EXPECT_EQ(supply.bootloader.progSusbFile, app + "outfile\\ps_bl.bin");
       EXPECT_TRUE(supply.bootloader.prog);
       EXPECT_EQ(supply.rebootFile, app + "outfile\\ps_reboot.bin");
       EXPECT_EQ(c.GetStep(2).beta, "4464") << "Beta is taken as a signed 16-bit number";
       EXPECT_EQ(c.GetStep(2).date, "24.12.2005");
       const UpdateStep mmi = c.GetStep(3);
       ASSERT_TRUE(mmi.hasFileList);
       ASSERT_EQ(mmi.fileList.size(), 2u);
       EXPECT_EQ(mmi.fileList[0].path, app + "outfile\\a.mmi");
       EXPECT_EQ(mmi.fileList[0].stepSize, 40);
       EXPECT_EQ(mmi.fileList[0].preCom, "stop");
       EXPECT_EQ(mmi.fileList[1].postCom, "0") << "PostCom defaults to 0";
       EXPECT_FALSE(c.GetStep(0).hasFileList);
     }},
    {"a reversed pair is dropped and the pairs after it are still read",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Set("Excluded DevSerials", "min1", "100")
           .Set("Excluded DevSerials", "max1", "200")
           .Set("Excluded DevSerials", "min2", "300")
           .Set("Excluded DevSerials", "max2", "200")
           .Set("Excluded DevSerials", "min3", "900")
           .Set("Excluded DevSerials", "max3", "1000")
           .Set("Excluded Revs", "min1", "1.5")
           .Set("Excluded Revs", "max1", "1.2")
           .Set("Excluded Revs", "min2", "1.0")
           .Set("Excluded Revs", "max2", "1.10")
           .Set("Excluded PSSerials", "min1", "5")
           .Set("Excluded PSSerials", "max1", "5");
     },
     false, "",
     [](UpdateConfig& c, const std::string&) {
       EXPECT_EQ(c.ExcludedDevSerials, (std::vector<std::string>{"100", "200", "900", "1000"}))
           << "serials compare as integers: 900..1000 stays";
       EXPECT_EQ(c.ExcludedRevs, (std::vector<std::string>{"1.0", "1.10"}));
       EXPECT_EQ(c.ExcludedPSSerials, (std::vector<std::string>{"5", "5"}));
       EXPECT_TRUE(c.ExcludedModSerials.empty());
     }},
    {"a missing min1 leaves the list empty although min2 is there",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Set("Excluded ModSerials", "max1", "200")
           .Set("Excluded ModSerials", "min2", "1")
           .Set("Excluded ModSerials", "max2", "9");
     },
     false, "",
     [](UpdateConfig& c, const std::string&) { EXPECT_TRUE(c.ExcludedModSerials.empty()); }},
    {"a hexadecimal customer id without prefix",
     [](PackageBuilder& p) { p.Package("TRX9", "1.3").Set("Kestor", "CustPID", "1F"); }, false, "",
     [](UpdateConfig&, const std::string&) {
       EXPECT_EQ(customerPid, 31);
       EXPECT_EQ(customerDeviceName, "TRX9");
     }},
    {"a hexadecimal customer id with 0x prefix",
     [](PackageBuilder& p) { p.Package("TRX9", "1.3").Set("Kestor", "CustPID", "0x1F"); }, false,
     "",
     [](UpdateConfig&, const std::string&) {
       EXPECT_EQ(customerPid, 31);
       EXPECT_EQ(customerDeviceName, "TRX9");
     }},
    {"customer id 0 adds no product id and leaves the device name alone",
     [](PackageBuilder& p) { p.Package("TRX9", "1.3").Set("Kestor", "CustPID", "0"); }, false, "",
     [](UpdateConfig&, const std::string&) {
       EXPECT_EQ(customerPid, 0);
       EXPECT_EQ(customerDeviceName, "unchanged");
     }},
    {"a missing firmware file names its path and stops the reading",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Step("MMI", {{"Name", "MMI"}, {"File1", "ok.mmi"}})
           .Step("Modul", {{"Name", "MODUL"}, {"FWPROGNORM", "gone.bin"}})
           .Missing("gone.bin");
     },
     true, "UpdateFile @outfile\\gone.bin not found!!!",
     [](UpdateConfig& c, const std::string&) { EXPECT_EQ(c.StepCount(), 0); }},
    {"a missing file of a file-list step names its path",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Step("MMI", {{"Name", "MMI"}, {"File1", "gone.mmi"}})
           .Missing("gone.mmi");
     },
     true, "UpdateFile @outfile\\gone.mmi not found!!!",
     [](UpdateConfig& c, const std::string&) { EXPECT_EQ(c.StepCount(), 0); }},
    {"a missing KEST.ini makes the package invalid",
     [](PackageBuilder& p) {
       ModulePackage(p);
       p.WithoutIni();
     },
     true, "Could not find initialisation-file",
     [](UpdateConfig& c, const std::string&) { EXPECT_EQ(c.StepCount(), 0); }},
    {"an empty path key names no file instead of the outfile folder",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Step("Module", {{"Name", "MODULE"}, {"FWPROGNORM", ""}, {"FWPROG", "1"}});
     },
     false, "",
     [](UpdateConfig& c, const std::string&) {
       EXPECT_EQ(c.FirmwareParts()[0].firmware.progNormFile, "");
       EXPECT_FALSE(FileExists(c.FirmwareParts()[0].firmware.progNormFile));
       EXPECT_TRUE(c.FirmwareParts()[0].firmware.prog);
     }},
    {"steps past the tenth are refused with a log line",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3");
       for (int i = 0; i < 12; ++i)
         p.Step("Step" + std::to_string(i), {{"Name", "S" + std::to_string(i)}});
     },
     false, "",
     [](UpdateConfig& c, const std::string&) {
       ASSERT_EQ(c.StepCount(), 10);
       EXPECT_EQ(c.GetStep(9).name, "S9");
       // The reader's lines wait for the debug log that Initialize settles.
       SetTraceLogPath(theEnvironment->DebugLogPath());
       FlushStartupLog();
       const std::string log = testsupport::ReadFileOr(theEnvironment->DebugLogPath());
       EXPECT_NE(log.find("UpdateSteps: step 10 (Step10) ignored, a package holds at most 10 "
                          "steps\r\nUpdateSteps: step 11 (Step11) ignored"),
                 std::string::npos)
           << log;
     }},
    {"texts are cut to their width and the waits have their defaults",
     [](PackageBuilder& p) {
       p.Package("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "1.234567890").Set("DEBUG", "MMI_WAIT", "75");
     },
     false, "",
     [](UpdateConfig& c, const std::string&) {
       EXPECT_EQ(c.SupportedDevice(), "ABCDEFGHIJKLMNOPQRS");
       EXPECT_EQ(c.UpdateRevision(), "1.2345678");
       EXPECT_EQ(c.mmiWait, 75);
       EXPECT_EQ(c.rebootWait, 90000);
       EXPECT_FALSE(rebootPsAfterSusbStart);
     }},
    {"the language list ends at the first empty name",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Language("Deutsch", "deutsch.ini", {})
           .Language("Francais", "fr.ini", {})
           .Set("Language List", "4", "Hidden");
     },
     false, "",
     [](UpdateConfig& c, const std::string&) {
       std::vector<std::string> names;
       EXPECT_TRUE(c.GetLanguages(names));
       EXPECT_EQ(names, (std::vector<std::string>{"Deutsch", "Francais"}));
       EXPECT_EQ(c.GetLanguageFile(0), "");
       EXPECT_EQ(c.GetLanguageFile(2), "fr.ini");
     }},
};

std::string Expand(const std::string& text, const std::string& app) {
  std::string out = text;
  size_t at = out.find('@');
  if (at != std::string::npos) out.replace(at, 1, app);
  return out;
}

TEST(UpdateConfig, ReadsEveryCaseOfThePackageTable) {
  testsupport::TestFolder folder;
  SetEnvironmentVariableA("TEMP", folder.Path().c_str());
  SystemEnvironment environment;
  theEnvironment = &environment;
  int n = 0;
  for (const ConfigRow& row : kRows) {
    SCOPED_TRACE(row.proves);
    PackageBuilder package(folder / ("package" + std::to_string(n++)));
    row.describe(package);
    ASSERT_TRUE(package.Write());
    customerPid = 0;
    customerDeviceName = "unchanged";
    testsupport::MessageBoxAnswerer answerer({{"Kestor", "", IDOK}}, GetCurrentProcessId());
    UpdateConfig config(package.AppFolder());
    EXPECT_EQ(config.packageInvalid, row.invalid);
    const auto seen = answerer.Seen();
    if (*row.message) {
      ASSERT_EQ(seen.size(), 1u);
      EXPECT_EQ(seen[0].text, Expand(row.message, package.AppFolder()));
    } else {
      EXPECT_TRUE(seen.empty()) << seen[0].text;
    }
    row.check(config, package.AppFolder());
  }
  theEnvironment = nullptr;
}

TEST(UpdateConfig, StepStatusAndDetailKeepTheirRanges) {
  testsupport::TestFolder folder;
  PackageBuilder package(folder / "package");
  ModulePackage(package);
  ASSERT_TRUE(package.Write());
  UpdateConfig config(package.AppFolder());
  ASSERT_EQ(config.StepCount(), 1);
  EXPECT_FALSE(config.SetStepStatus(0, 5));
  EXPECT_FALSE(config.SetStepStatus(1, STEP_ERROR));
  EXPECT_FALSE(config.SetStepDetail(-1, "x"));
  StepRow row = config.GetStepRow(0);
  EXPECT_EQ(row.status, "Ready for update");
  EXPECT_EQ(row.deviceVersion, "");
  EXPECT_TRUE(config.SetStepDetail(0, "2.00"));
  EXPECT_TRUE(config.SetStepStatus(0, STEP_FINISHED));
  row = config.GetStepRow(0);
  EXPECT_EQ(row.status, "Update finished");
  EXPECT_EQ(row.deviceVersion, "2.10") << "a finished step shows the package version";
  EXPECT_EQ(row.rev, "2.10");
}

}  // namespace
