#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <functional>
#include <memory>
#include <ostream>

#include "config/ini_values.h"
#include "config/update_config.h"
#include "environment/system_environment.h"
#include "kestor_process.h"
#include "lumetra/sync.h"
#include "package_builder.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"

namespace {

using kestortest::PackageBuilder;

enum class Icon { None, Exclamation, Error, Other };

void PrintTo(Icon icon, std::ostream* out) {
  static const char* const names[] = {"no icon", "exclamation", "error", "another icon"};
  *out << names[static_cast<int>(icon)];
}

// What one message box of the reader showed.
struct BoxSeen {
  std::string caption;
  std::string text;
  Icon icon = Icon::None;
  std::vector<std::string> buttons;
};

Icon IconOf(HWND box) {
  // The message box's icon control holds the shared system icon it was given.
  const auto icon = reinterpret_cast<HICON>(SendDlgItemMessageA(box, 0x440, STM_GETICON, 0, 0));
  if (icon == nullptr) return Icon::None;
  if (icon == LoadIconA(nullptr, IDI_EXCLAMATION)) return Icon::Exclamation;
  if (icon == LoadIconA(nullptr, IDI_HAND)) return Icon::Error;
  return Icon::Other;
}

// Builds the configuration of the package in appFolder on a thread of its
// own, as the main thread does at start-up, and records every message box it
// shows before answering it with OK.
std::unique_ptr<UpdateConfig> BuildConfig(const std::string& appFolder,
                                          std::vector<BoxSeen>* seen) {
  std::unique_ptr<UpdateConfig> config;
  std::atomic<bool> done{false};
  lm::Thread builder([&] {
    config = std::make_unique<UpdateConfig>(appFolder);
    done = true;
  });
  while (!done) {
    HWND box = testsupport::WaitForMessageBox("", "", GetCurrentProcessId(), 50);
    if (box == nullptr) continue;
    BoxSeen b;
    b.caption = testsupport::WindowText(box);
    b.text = testsupport::MessageBoxText(box);
    b.icon = IconOf(box);
    for (const auto& c : testsupport::Controls(box)) {
      if (c.className == "Button" && c.visible) b.buttons.push_back(c.text);
    }
    seen->push_back(b);
    testsupport::ClickButton(box, IDOK);
    testsupport::WaitForWindowGone(box);
  }
  EXPECT_TRUE(builder.Join(testsupport::kUiWaitMs));
  return config;
}

struct ConfigRow {
  std::string proves;
  std::function<void(PackageBuilder&)> describe;
  bool invalid;
  std::string message;  // text of the one message box shown ("@" is the app folder); "" for none
  Icon icon;
  std::function<void(UpdateConfig&, const std::string& app)> check;
};

void ModulePackage(PackageBuilder& p) {
  p.Package("TR440", "1.3")
      .Step("Module",
            {{"Name", "MODULE"}, {"Rev", "2.10"}, {"FWPROGNORM", "mod_fw.bin"}, {"FWPROG", "1"}});
}

void NoCheck(UpdateConfig&, const std::string&) {}

// A release record of Rev `rev`, Beta `beta` and Date `date` ("": no key).
void ReleasePackage(PackageBuilder& p, const std::string& rev, const std::string& beta,
                    const std::string& date = "24.12.2005") {
  kestortest::KeyValues keys = {{"Name", "SET REVISION"}};
  if (!date.empty()) keys.push_back({"Date", date});
  if (!rev.empty()) keys.push_back({"Rev", rev});
  if (!beta.empty()) keys.push_back({"Beta", beta});
  p.Package("TR440", "1.3").Step("Rev", keys);
}

// The release record is taken: its values as the supply stores them.
ConfigRow ReleaseRow(const std::string& rev, const std::string& beta, int16_t releaseTimesTen,
                     int16_t betaNumber) {
  return {"Rev=" + rev + " Beta=" + beta + " is taken",
          [=](PackageBuilder& p) { ReleasePackage(p, rev, beta); },
          false,
          "",
          Icon::None,
          [=](UpdateConfig& c, const std::string&) {
            ASSERT_EQ(c.StepCount(), 1);
            EXPECT_EQ(c.GetStep(0).releaseTimesTen, releaseTimesTen);
            EXPECT_EQ(c.GetStep(0).betaNumber, betaNumber);
            EXPECT_EQ(c.GetStep(0).beta, std::to_string(betaNumber));
            EXPECT_EQ(c.GetStep(0).packedDate, 24 + 32 * 12 + 512 * 5);
          }};
}

// The release date is taken packed as the supply stores it.
ConfigRow DateRow(const std::string& date, uint16_t packedDate) {
  return {"Date=" + date + " is taken",
          [=](PackageBuilder& p) { ReleasePackage(p, "1.3", "", date); },
          false,
          "",
          Icon::None,
          [=](UpdateConfig& c, const std::string&) {
            ASSERT_EQ(c.StepCount(), 1);
            EXPECT_EQ(c.GetStep(0).packedDate, packedDate);
          }};
}

// The release record is refused: the box names the key and its value, and
// the package is invalid with no step.
ConfigRow RefusedRelease(const std::string& rev, const std::string& key, const std::string& value) {
  const bool beta = key == "Beta";
  const bool date = key == "Date";
  return {key + "=" + value + " is refused",
          [=](PackageBuilder& p) {
            ReleasePackage(p, rev, beta ? value : "", date ? value : "24.12.2005");
          },
          true,
          "Invalid package value [Rev] " + key + "=" + value + ": " +
              (beta   ? "a beta number is -32768 to 32767"
               : date ? "a date is dd.mm.yyyy in the years 2000 to 2063"
                      : "a release is 0.0 to 3276.7 with at most one decimal"),
          Icon::Error,
          [](UpdateConfig& c, const std::string&) { EXPECT_EQ(c.StepCount(), 0); }};
}

// The customer product id is refused: the box names it, the reading stops
// before the steps and the device search gets no extra id.
ConfigRow RefusedCustomerPid(const std::string& value) {
  return {"CustPID=" + value + " is refused",
          [=](PackageBuilder& p) {
            ModulePackage(p);
            p.Set("Kestor", "CustPID", value);
          },
          true,
          "Invalid package value [Kestor] CustPID=" + value +
              ": a customer product id is not a power supply's",
          Icon::Error,
          [](UpdateConfig& c, const std::string&) {
            EXPECT_EQ(c.StepCount(), 0);
            EXPECT_EQ(customerPid, 0);
            EXPECT_EQ(customerDeviceName, "unchanged");
          }};
}

const ConfigRow kRows[] = {
    {"keys 0, 1, 3 give two steps: the missing key 2 ends the list",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Set("UpdateSteps", "0", "MMI")
           .Set("UpdateSteps", "1", "Rev")
           .Set("UpdateSteps", "3", "Later")
           .Set("MMI", "Name", "MMI")
           .Set("Rev", "Name", "SET REVISION")
           .Set("Rev", "Rev", "1.3")
           .Set("Rev", "Date", "24.12.2005")
           .Set("Later", "Name", "NEVER READ");
     },
     false, "", Icon::None,
     [](UpdateConfig& c, const std::string&) {
       ASSERT_EQ(c.StepCount(), 2);
       EXPECT_EQ(c.GetStep(0).name, "MMI");
       EXPECT_EQ(c.GetStep(1).name, "SET REVISION");
     }},
    {"firmware parts, the release record and a file list are read into their records",
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
           .Step("rev",
                 {{"Name", "SET REVISION"}, {"Rev", "1.3"}, {"Beta", "-3"}, {"Date", "24.12.2005"}})
           .Step("Mmi", {{"Name", "MMI"},
                         {"File1", "a.mmi"},
                         {"StepSize1", "40"},
                         {"PreCom1", "stop"},
                         {"File2", "b.mmi"},
                         {"PostCom2", "5"}});
     },
     false, "", Icon::None,
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
       EXPECT_EQ(c.GetStep(2).beta, "-3");
       EXPECT_EQ(c.GetStepRow(2).beta, "-3");
       EXPECT_EQ(c.GetStep(2).releaseTimesTen, 13);
       EXPECT_EQ(c.GetStep(2).betaNumber, -3);
       EXPECT_EQ(c.GetStep(2).date, "24.12.2005");
       EXPECT_FALSE(c.GetStep(2).hasFileList);
       const UpdateStep mmi = c.GetStep(3);
       ASSERT_TRUE(mmi.hasFileList);
       ASSERT_EQ(mmi.fileList.size(), 2u);
       EXPECT_EQ(mmi.fileList[0].path, app + "outfile\\a.mmi");
       EXPECT_EQ(mmi.fileList[0].stepSize, 40);
       EXPECT_EQ(mmi.fileList[0].preCom, "stop");
       EXPECT_EQ(mmi.fileList[0].postCom, "0") << "PostCom defaults to 0";
       EXPECT_EQ(mmi.fileList[1].path, app + "outfile\\b.mmi");
       EXPECT_EQ(mmi.fileList[1].stepSize, 0);
       EXPECT_EQ(mmi.fileList[1].preCom, "");
       EXPECT_EQ(mmi.fileList[1].postCom, "5");
       EXPECT_EQ(mmi.beta, "") << "only the release record has a beta number";
       EXPECT_FALSE(c.GetStep(0).hasFileList);
     }},
    {"flags are true for any non-zero value and the verify mode adds twice the check key",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Step("Modul", {{"FWPROG", "7"},
                           {"FWGOSUSB", "-1"},
                           {"FWVER", "1"},
                           {"FWCHECK", "2"},
                           {"BLVER", "0"},
                           {"BLCHECK", "1"},
                           {"BLGOSUSB", "0"},
                           {"REBOOT", "2"}})
           .Set("DEBUG", "RebootPSafterSUSBstart", "3");
     },
     false, "", Icon::None,
     [](UpdateConfig& c, const std::string&) {
       const FirmwarePart& module = c.FirmwareParts()[0];
       EXPECT_TRUE(module.firmware.prog);
       EXPECT_TRUE(module.firmware.goSusb);
       EXPECT_EQ(module.firmware.verifyMode, 5);
       EXPECT_EQ(module.bootloader.verifyMode, 2);
       EXPECT_FALSE(module.bootloader.goSusb);
       EXPECT_FALSE(module.bootloader.prog);
       EXPECT_FALSE(module.blFirst);
       EXPECT_TRUE(module.reboot);
       EXPECT_TRUE(module.rebootAfterUpdateModeStart);
       EXPECT_TRUE(rebootPsAfterSusbStart);
     }},
    {"the verify mode of huge key values wraps in 32 bits and keeps the VER bit",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Step("Module", {{"FWVER", "1"},
                            {"FWCHECK", "2147483647"},
                            {"BLVER", "2147483647"},
                            {"BLCHECK", "1"}});
     },
     false, "", Icon::None,
     [](UpdateConfig& c, const std::string&) {
       EXPECT_EQ(c.FirmwareParts()[0].firmware.verifyMode, -1);
       EXPECT_EQ(c.FirmwareParts()[0].bootloader.verifyMode, -2147483647);
     }},
    {"a later firmware section of the same kind replaces the earlier one, starting empty",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Step("MODULE", {{"FWPROGNORM", "first.bin"}, {"FWPROG", "1"}})
           .Step("POWERSUPPLY", {{"BLPROGNORM", "ps.bin"}, {"BLPROG", "1"}})
           .Step("modul", {{"FWPROGSUSB", "second.bin"}});
     },
     false, "", Icon::None,
     [](UpdateConfig& c, const std::string& app) {
       EXPECT_EQ(c.StepCount(), 3);
       const FirmwarePart& module = c.FirmwareParts()[0];
       EXPECT_EQ(module.firmware.progNormFile, "");
       EXPECT_FALSE(module.firmware.prog);
       EXPECT_EQ(module.firmware.progSusbFile, app + "outfile\\second.bin");
       EXPECT_EQ(c.FirmwareParts()[1].bootloader.progNormFile, app + "outfile\\ps.bin");
     }},
    {"a step's own keys are read and cut to their widths",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Step("Set Revision", {{"Name", "SET UPDATE REVISION WITH A LONG TAIL"},
                                  {"Rev", "1.2345678901"},
                                  {"Size", "12"},
                                  {"Index", "3"},
                                  {"File", "setrev.bat"},
                                  {"PreCommand", "pre"},
                                  {"PostCommand", "post"},
                                  {"Method", "COPYALL"},
                                  {"MD5", "0123456789abcdef0123456789abcdef"}})
           .Missing("setrev.bat");
     },
     false, "", Icon::None,
     [](UpdateConfig& c, const std::string&) {
       ASSERT_EQ(c.StepCount(), 1);
       const UpdateStep s = c.GetStep(0);
       EXPECT_EQ(s.name, "SET UPDATE REVISION WITH A LO");
       EXPECT_EQ(s.rev, "1.2345678");
       EXPECT_EQ(s.size, 12);
       EXPECT_EQ(s.index, 3);
       EXPECT_EQ(s.file, "setrev.bat") << "the step's File key names no file to check";
       EXPECT_EQ(s.preCommand, "pre");
       EXPECT_EQ(s.postCommand, "post");
       EXPECT_EQ(s.method, "COPY");
       EXPECT_EQ(s.md5, "0123456789abcdef0123456789abcde");
       EXPECT_TRUE(s.hasFileList);
       EXPECT_TRUE(s.fileList.empty());
       EXPECT_EQ(s.state, STEP_READY);
       EXPECT_EQ(s.deviceVersion, "");
     }},
    {"a release record without Beta shows beta 0",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Step("REV", {{"Name", "SET REVISION"}, {"Rev", "1.3"}, {"Date", "24.12.2005"}});
     },
     false, "", Icon::None,
     [](UpdateConfig& c, const std::string&) {
       ASSERT_EQ(c.StepCount(), 1);
       EXPECT_EQ(c.GetStepRow(0).beta, "0");
       EXPECT_EQ(c.GetStep(0).betaNumber, 0);
     }},
    // The release and the beta go to the supply as 16-bit numbers, the
    // release times ten: what does not fit is refused before any step runs.
    ReleaseRow("1.3", "", 13, 0),
    ReleaseRow("4.1", "2", 41, 2),
    ReleaseRow("3276.7", "32767", 32767, 32767),
    ReleaseRow("0.0", "-32768", 0, -32768),
    ReleaseRow(" 12 ", "", 120, 0),
    RefusedRelease("3276.8", "Rev", "3276.8"),
    RefusedRelease("6553.8", "Rev", "6553.8"),
    RefusedRelease("-0.1", "Rev", "-0.1"),
    RefusedRelease("1.38", "Rev", "1.38"),
    RefusedRelease("1.", "Rev", "1."),
    RefusedRelease("", "Rev", ""),
    RefusedRelease("1.3", "Beta", "32768"),
    RefusedRelease("1.3", "Beta", "-32769"),
    RefusedRelease("1.3", "Beta", "70000"),
    // The date goes to the supply packed in 16 bits; one that does not pack
    // would fail the release write after every other step was programmed.
    DateRow("31.12.2063", 31 + 32 * 12 + 512 * 63),
    DateRow("01/01/2000", 1 + 32 * 1),
    RefusedRelease("1.3", "Date", ""),
    RefusedRelease("1.3", "Date", "24.13.2005"),
    RefusedRelease("1.3", "Date", "24.12.05"),
    RefusedRelease("1.3", "Date", "24.12.1999"),
    RefusedRelease("1.3", "Date", "2005-12-24"),
    // Only the release record has a release to write: a release step of
    // another section would write 0.0 of no date, its log naming the Rev.
    {"a release step outside the release record is refused",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Step("Set Revision", {{"Name", "set update revision"}, {"Rev", "1.3"}});
     },
     true,
     "Invalid package value [Set Revision] Name=set update revision: only the [REV] section "
     "holds a release",
     Icon::Error, [](UpdateConfig& c, const std::string&) { EXPECT_EQ(c.StepCount(), 0); }},
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
     false, "", Icon::None,
     [](UpdateConfig& c, const std::string&) {
       EXPECT_EQ(c.ExcludedDevSerials, (std::vector<std::string>{"100", "200", "900", "1000"}))
           << "serials compare as integers: 900..1000 stays";
       EXPECT_EQ(c.ExcludedRevs, (std::vector<std::string>{"1.0", "1.10"}));
       EXPECT_EQ(c.ExcludedPSSerials, (std::vector<std::string>{"5", "5"}));
       EXPECT_TRUE(c.ExcludedModSerials.empty());
     }},
    {"releases compare as decimal numbers, a text without a number as 0",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Set("Excluded Revs", "min1", "9")
           .Set("Excluded Revs", "max1", "10")
           .Set("Excluded Revs", "min2", "2")
           .Set("Excluded Revs", "max2", "x")
           .Set("Excluded Revs", "min3", "abc")
           .Set("Excluded Revs", "max3", "0.5")
           .Set("Excluded ModSerials", "min1", "7")
           .Set("Excluded ModSerials", "max1", "x")
           .Set("Excluded ModSerials", "min2", "x")
           .Set("Excluded ModSerials", "max2", "12ab");
     },
     false, "", Icon::None,
     [](UpdateConfig& c, const std::string&) {
       EXPECT_EQ(c.ExcludedRevs, (std::vector<std::string>{"9", "10", "abc", "0.5"}));
       EXPECT_EQ(c.ExcludedModSerials, (std::vector<std::string>{"x", "12ab"}));
     }},
    {"exclusion values are cut to their widths before they are compared",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Set("Excluded Revs", "min1", "1.055")
           .Set("Excluded Revs", "max1", "1.100")
           .Set("Excluded DevSerials", "min1", "12345678901")
           .Set("Excluded DevSerials", "max1", "1234567890");
     },
     false, "", Icon::None,
     [](UpdateConfig& c, const std::string&) {
       EXPECT_EQ(c.ExcludedRevs, (std::vector<std::string>{"1.05", "1.10"}));
       EXPECT_EQ(c.ExcludedDevSerials, (std::vector<std::string>{"1234567890", "1234567890"}));
     }},
    {"a missing min1 leaves the list empty although min2 is there",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Set("Excluded ModSerials", "max1", "200")
           .Set("Excluded ModSerials", "min2", "1")
           .Set("Excluded ModSerials", "max2", "9");
     },
     false, "", Icon::None,
     [](UpdateConfig& c, const std::string&) { EXPECT_TRUE(c.ExcludedModSerials.empty()); }},
    {"a hexadecimal customer id without prefix",
     [](PackageBuilder& p) { p.Package("TRX9", "1.3").Set("Kestor", "CustPID", "1F"); }, false, "",
     Icon::None,
     [](UpdateConfig&, const std::string&) {
       EXPECT_EQ(customerPid, 31);
       EXPECT_EQ(customerDeviceName, "TRX9");
     }},
    {"a hexadecimal customer id with 0x prefix",
     [](PackageBuilder& p) { p.Package("TRX9", "1.3").Set("Kestor", "CustPID", "0x1F"); }, false,
     "", Icon::None,
     [](UpdateConfig&, const std::string&) {
       EXPECT_EQ(customerPid, 31);
       EXPECT_EQ(customerDeviceName, "TRX9");
     }},
    {"the customer id ends at the first character that is no hex digit",
     [](PackageBuilder& p) { p.Package("TRX9", "1.3").Set("Kestor", "CustPID", "1fz2"); }, false,
     "", Icon::None, [](UpdateConfig&, const std::string&) { EXPECT_EQ(customerPid, 31); }},
    {"the customer id is cut to nine characters before it is parsed",
     [](PackageBuilder& p) { p.Package("TRX9", "1.3").Set("Kestor", "CustPID", "000000001F"); },
     false, "", Icon::None, [](UpdateConfig&, const std::string&) { EXPECT_EQ(customerPid, 1); }},
    {"a negative customer id names no device",
     [](PackageBuilder& p) { p.Package("TRX9", "1.3").Set("Kestor", "CustPID", "-1F"); }, false, "",
     Icon::None,
     [](UpdateConfig&, const std::string&) {
       EXPECT_EQ(customerPid, -31);
       EXPECT_EQ(customerDeviceName, "unchanged");
     }},
    // The device search would take a supply found under the customer's id
    // for the instrument and program the module's firmware into it.
    RefusedCustomerPid("10"),
    RefusedCustomerPid("9"),
    RefusedCustomerPid("0x10"),
    {"customer id 0 adds no product id and leaves the device name alone",
     [](PackageBuilder& p) { p.Package("TRX9", "1.3").Set("Kestor", "CustPID", "0"); }, false, "",
     Icon::None,
     [](UpdateConfig&, const std::string&) {
       EXPECT_EQ(customerPid, 0);
       EXPECT_EQ(customerDeviceName, "unchanged");
     }},
    {"a missing customer id adds no product id and leaves the device name alone",
     [](PackageBuilder& p) { p.Package("TRX9", "1.3"); }, false, "", Icon::None,
     [](UpdateConfig&, const std::string&) {
       EXPECT_EQ(customerPid, 0);
       EXPECT_EQ(customerDeviceName, "unchanged");
     }},
    {"a missing firmware file names its path and stops the reading; earlier steps stay stored",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Step("MMI", {{"Name", "MMI"}, {"File1", "ok.mmi"}})
           .Step("Modul", {{"Name", "MODUL"}, {"FWPROGNORM", "gone.bin"}})
           .Step("Later", {{"Name", "LATER"}})
           .Missing("gone.bin");
     },
     true, "UpdateFile @outfile\\gone.bin not found!!!", Icon::Error,
     [](UpdateConfig& c, const std::string&) {
       EXPECT_EQ(c.StepCount(), 0);
       EXPECT_EQ(c.GetStep(0).name, "MMI");
       EXPECT_EQ(c.GetStep(2).name, "") << "no step after the failure is read";
       EXPECT_FALSE(c.SetStepStatus(0, STEP_UPDATING)) << "a stored step past the count";
     }},
    {"the firmware files are checked bootloader first, whatever the file's order",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Step("Module", {{"REBOOTFILE", "reboot_gone.bin"},
                            {"FWVERIFYNORM", "fw_gone.bin"},
                            {"BLPROGSUSB", "bl_gone.bin"}})
           .Missing("reboot_gone.bin")
           .Missing("fw_gone.bin")
           .Missing("bl_gone.bin");
     },
     true, "UpdateFile @outfile\\bl_gone.bin not found!!!", Icon::Error, NoCheck},
    {"the go-to-update-mode file is checked before the reboot file",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Step("PWR SUPPLY", {{"REBOOTFILE", "reboot_gone.bin"}, {"GOSUSB", "go_gone.bin"}})
           .Missing("reboot_gone.bin")
           .Missing("go_gone.bin");
     },
     true, "UpdateFile @outfile\\go_gone.bin not found!!!", Icon::Error, NoCheck},
    {"a missing file of a file-list step names its path",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Step("MMI", {{"Name", "MMI"}, {"File1", "here.mmi"}, {"File2", "gone.mmi"}})
           .Missing("gone.mmi");
     },
     true, "UpdateFile @outfile\\gone.mmi not found!!!", Icon::Error,
     [](UpdateConfig& c, const std::string&) { EXPECT_EQ(c.StepCount(), 0); }},
    {"a missing KEST.ini makes the package invalid and keeps the defaults",
     [](PackageBuilder& p) {
       ModulePackage(p);
       p.Set("DEBUG", "MMI_WAIT", "7").WithoutIni();
     },
     true, "Could not find initialisation-file", Icon::Exclamation,
     [](UpdateConfig& c, const std::string&) {
       EXPECT_EQ(c.StepCount(), 0);
       EXPECT_EQ(c.SupportedDevice(), "");
       EXPECT_EQ(c.mmiWait, 50);
       EXPECT_EQ(c.rebootWait, 90000);
       std::vector<std::string> names;
       EXPECT_FALSE(c.GetLanguages(names));
     }},
    {"a package that romtest rejects is invalid without a message of its own",
     [](PackageBuilder& p) {
       ModulePackage(p);
       p.RomtestSays("0 broken\r\n").RomtestRecords();
     },
     true, "", Icon::None,
     [](UpdateConfig& c, const std::string& app) {
       EXPECT_EQ(c.StepCount(), 0);
       EXPECT_EQ(testsupport::ReadFileOr(app + "romtest.cmdline"),
                 "\"" + app + "romtest.exe\" \"" + app + "configfiles\\kest.ini\"");
     }},
    {"a package without romtest is invalid without a message",
     [](PackageBuilder& p) {
       ModulePackage(p);
       p.WithoutRomtest();
     },
     true, "", Icon::None,
     [](UpdateConfig& c, const std::string&) { EXPECT_EQ(c.SupportedDevice(), ""); }},
    {"a missing KEST.ini does not start romtest",
     [](PackageBuilder& p) { p.WithoutIni().RomtestRecords(); }, true,
     "Could not find initialisation-file", Icon::Exclamation,
     [](UpdateConfig&, const std::string& app) {
       EXPECT_FALSE(testsupport::FileExists(app + "romtest.cmdline"));
     }},
    {"an empty KEST.ini that the package check lets pass is a package without steps",
     [](PackageBuilder& p) { p.RomtestSays("1"); }, false, "", Icon::None,
     [](UpdateConfig& c, const std::string&) {
       EXPECT_EQ(c.StepCount(), 0);
       EXPECT_EQ(c.UpdateRevision(), "");
       EXPECT_EQ(c.mmiWait, 50);
       EXPECT_EQ(c.rebootWait, 90000);
       EXPECT_FALSE(rebootPsAfterSusbStart);
     }},
    {"an empty path key names no file instead of the outfile folder",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Step("Module", {{"Name", "MODULE"}, {"FWPROGNORM", ""}, {"FWPROG", "1"}});
     },
     false, "", Icon::None,
     [](UpdateConfig& c, const std::string&) {
       EXPECT_EQ(c.FirmwareParts()[0].firmware.progNormFile, "");
       EXPECT_FALSE(FileExists(c.FirmwareParts()[0].firmware.progNormFile));
       EXPECT_TRUE(c.FirmwareParts()[0].firmware.prog);
     }},
    {"ten steps fill the step table",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3");
       for (int i = 0; i < 10; ++i)
         p.Step("Step" + std::to_string(i), {{"Name", "S" + std::to_string(i)}});
     },
     false, "", Icon::None,
     [](UpdateConfig& c, const std::string&) {
       ASSERT_EQ(c.StepCount(), 10);
       EXPECT_EQ(c.GetStep(9).name, "S9");
     }},
    {"an eleventh step makes the package invalid: it could never run",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3");
       for (int i = 0; i < 12; ++i)
         p.Step("Step" + std::to_string(i), {{"Name", "S" + std::to_string(i)}});
     },
     true, "Invalid package value [UpdateSteps] 10=Step10: a package holds at most 10 steps",
     Icon::Error, [](UpdateConfig& c, const std::string&) { EXPECT_EQ(c.StepCount(), 0); }},
    {"texts are cut to their width and the waits have their defaults",
     [](PackageBuilder& p) {
       p.Package("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "1.234567890").Set("DEBUG", "MMI_WAIT", "75");
     },
     false, "", Icon::None,
     [](UpdateConfig& c, const std::string&) {
       EXPECT_EQ(c.SupportedDevice(), "ABCDEFGHIJKLMNOPQRS");
       EXPECT_EQ(c.UpdateRevision(), "1.2345678");
       EXPECT_EQ(c.mmiWait, 75);
       EXPECT_EQ(c.rebootWait, 90000);
       EXPECT_FALSE(rebootPsAfterSusbStart);
     }},
    {"malformed numbers read as 0 or their leading digits",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Set("DEBUG", "MMI_WAIT", "abc")
           .Set("DEBUG", "REBOOT_WAIT", "12x")
           .Step("MMI", {{"File1", "a.mmi"}, {"StepSize1", "many"}});
     },
     false, "", Icon::None,
     [](UpdateConfig& c, const std::string&) {
       EXPECT_EQ(c.mmiWait, 0);
       EXPECT_EQ(c.rebootWait, 12);
       ASSERT_EQ(c.GetStep(0).fileList.size(), 1u);
       EXPECT_EQ(c.GetStep(0).fileList[0].stepSize, 0);
     }},
    {"the language list ends at the first empty name",
     [](PackageBuilder& p) {
       p.Package("TR440", "1.3")
           .Language("Deutsch", "deutsch.ini", {})
           .Language("Francais", "fr.ini", {})
           .Set("Language List", "4", "Hidden");
     },
     false, "", Icon::None,
     [](UpdateConfig& c, const std::string&) {
       std::vector<std::string> names;
       EXPECT_TRUE(c.GetLanguages(names));
       EXPECT_EQ(names, (std::vector<std::string>{"Deutsch", "Francais"}));
       EXPECT_EQ(c.GetLanguageFile(0), "");
       EXPECT_EQ(c.GetLanguageFile(2), "fr.ini");
       EXPECT_EQ(c.GetLanguageFile(3), "");
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
  kestortest::KestorProcess process;
  process.Build(std::make_unique<SystemEnvironment>());
  int n = 0;
  for (const ConfigRow& row : kRows) {
    SCOPED_TRACE(row.proves);
    PackageBuilder package(folder / ("package" + std::to_string(n++)));
    row.describe(package);
    ASSERT_TRUE(package.Write());
    process.Customer(0, "unchanged");
    process.RebootSupplyAfterUpdateModeStart(false);
    std::vector<BoxSeen> seen;
    const auto config = BuildConfig(package.AppFolder(), &seen);
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(config->packageInvalid, row.invalid);
    if (!row.message.empty()) {
      // A row without its box goes on to the next: every row tells.
      EXPECT_EQ(seen.size(), 1u);
      if (seen.size() != 1u) continue;
      EXPECT_EQ(seen[0].text, Expand(row.message, package.AppFolder()));
      EXPECT_EQ(seen[0].caption, "Kestor");
      EXPECT_EQ(seen[0].icon, row.icon);
      EXPECT_EQ(seen[0].buttons, std::vector<std::string>{"OK"});
    } else {
      EXPECT_TRUE(seen.empty()) << seen[0].text;
    }
    row.check(*config, package.AppFolder());
  }
}

// Which record a step section fills, by its name.
enum class Kind { Module, PowerSupply, Release, FileList };

TEST(UpdateConfig, ClassifiesStepSectionsByTheirNameInAnyCase) {
  const struct {
    const char* section;
    Kind kind;
  } rows[] = {{"MODUL", Kind::Module},
              {"modul", Kind::Module},
              {"Module", Kind::Module},
              {"mODULE", Kind::Module},
              {"POWERSUPPLY", Kind::PowerSupply},
              {"PowerSupply", Kind::PowerSupply},
              {"pwr supply", Kind::PowerSupply},
              {"Pwr Supply", Kind::PowerSupply},
              {"rev", Kind::Release},
              {"Rev", Kind::Release},
              {"REV", Kind::Release},
              {"Revision", Kind::FileList},
              {"PwrSupply", Kind::FileList},
              {"Power Supply", Kind::FileList},
              {"Modules", Kind::FileList},
              {"MMI", Kind::FileList}};
  testsupport::TestFolder folder;
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.section);
    PackageBuilder package(folder / ("package" + std::to_string(n++)));
    package.Package("TR440", "1.3")
        .Step(row.section, {{"Name", "X"},
                            {"Rev", "1.3"},
                            {"FWPROGNORM", "fw.bin"},
                            {"File1", "list.bin"},
                            {"Beta", "5"},
                            {"Date", "24.12.2005"}});
    ASSERT_TRUE(package.Write());
    std::vector<BoxSeen> seen;
    const auto config = BuildConfig(package.AppFolder(), &seen);
    EXPECT_TRUE(seen.empty());
    ASSERT_EQ(config->StepCount(), 1);
    const UpdateStep step = config->GetStep(0);
    const std::string fw = package.AppFolder() + "outfile\\fw.bin";
    EXPECT_EQ(config->FirmwareParts()[0].firmware.progNormFile, row.kind == Kind::Module ? fw : "");
    EXPECT_EQ(config->FirmwareParts()[1].firmware.progNormFile,
              row.kind == Kind::PowerSupply ? fw : "");
    EXPECT_EQ(step.beta, row.kind == Kind::Release ? "5" : "");
    EXPECT_EQ(step.hasFileList, row.kind == Kind::FileList);
    EXPECT_EQ(step.fileList.size(), row.kind == Kind::FileList ? 1u : 0u);
  }
}

TEST(UpdateConfig, StepStatusAndDetailKeepTheirRanges) {
  testsupport::TestFolder folder;
  PackageBuilder package(folder / "package");
  ModulePackage(package);
  ASSERT_TRUE(package.Write());
  UpdateConfig config(package.AppFolder());
  ASSERT_EQ(config.StepCount(), 1);
  EXPECT_TRUE(config.SetStepDetail(0, "2.00"));
  EXPECT_FALSE(config.SetStepStatus(0, 5));
  EXPECT_FALSE(config.SetStepStatus(0, -1));
  EXPECT_FALSE(config.SetStepStatus(1, STEP_ERROR));
  EXPECT_FALSE(config.SetStepStatus(-1, STEP_ERROR));
  EXPECT_FALSE(config.SetStepDetail(-1, "x"));
  EXPECT_FALSE(config.SetStepDetail(1, "x"));
  StepRow row = config.GetStepRow(0);
  EXPECT_EQ(row.name, "MODULE");
  EXPECT_EQ(row.status, "Ready for update") << "a refused state changes nothing";
  EXPECT_EQ(row.deviceVersion, "2.00");
  EXPECT_EQ(row.rev, "2.10");

  const struct {
    StepState state;
    const char* text;
    const char* deviceVersion;
  } states[] = {{STEP_UPDATING, "Updating...", "2.00"},
                {STEP_ERROR, "Update error", "2.00"},
                {STEP_CANCELED, "Update canceled", "2.00"},
                {STEP_READY, "Ready for update", "2.00"},
                {STEP_FINISHED, "Update finished", "2.10"}};
  for (const auto& s : states) {
    EXPECT_TRUE(config.SetStepStatus(0, s.state));
    row = config.GetStepRow(0);
    EXPECT_EQ(row.status, s.text) << "state " << s.state;
    EXPECT_EQ(row.deviceVersion, s.deviceVersion)
        << "state " << s.state << ": a finished step shows the package version";
    EXPECT_EQ(config.GetStep(0).state, s.state);
  }
}

}  // namespace

// The INI number readers give the same value on the 32-bit and the native
// build: hexadecimal values are 32-bit unsigned, decimal ones 32-bit signed.
TEST(IniValues, NumbersAreReadIn32BitsOnEveryBuild) {
  struct HexRow {
    const char* text;
    uint32_t expected;
  } hexRows[] = {
      {"0xFFFFFFFF", 0xFFFFFFFFu},
      {"FFFFFFFF", 0xFFFFFFFFu},
      {"0x100000000", 0xFFFFFFFFu},
      {"  0x1F", 0x1Fu},
      {"1fz2", 0x1Fu},
      {"-1F", 0xFFFFFFE1u},
      {"0x", 0u},
      {"0xg", 0u},
      {"", 0u},
      {"+7fffffff", 0x7FFFFFFFu},
      {"0X80000000", 0x80000000u},
  };
  for (const HexRow& r : hexRows)
    EXPECT_EQ(r.expected, HexValue(r.text)) << "HexValue(\"" << r.text << "\")";
  struct DecimalRow {
    const char* text;
    long expected;
  } decimalRows[] = {
      {"3000000000", 2147483647L},
      {"-3000000000", -2147483647L - 1},
      {" 42abc", 42L},
      {"x", 0L},
  };
  for (const DecimalRow& r : decimalRows)
    EXPECT_EQ(r.expected, LeadingInteger(r.text)) << "LeadingInteger(\"" << r.text << "\")";
}

// Serials and revisions read the same under a user locale with a decimal
// comma: "1.5" stays one and a half, not one.
TEST(IniValues, NumbersDoNotDependOnTheUserLocale) {
  struct LocaleGuard {
    std::string saved = std::setlocale(LC_ALL, nullptr);
    ~LocaleGuard() { std::setlocale(LC_ALL, saved.c_str()); }
  } guard;
  ASSERT_NE(std::setlocale(LC_ALL, "German"), nullptr);
  ASSERT_STREQ(std::localeconv()->decimal_point, ",") << "the locale must use a decimal comma";
  struct NumberRow {
    const char* text;
    double expected;
  } numberRows[] = {
      {"1.5", 1.5}, {"  2.10", 2.1}, {"\t0.05 beta", 0.05}, {"1,5", 1.0}, {"+3.25", 3.25},
  };
  for (const NumberRow& r : numberRows)
    EXPECT_DOUBLE_EQ(r.expected, LeadingNumber(r.text)) << "LeadingNumber(\"" << r.text << "\")";
  struct SerialRow {
    const char* text;
    int64_t expected;
  } serialRows[] = {
      {"123456789012", 123456789012LL},
      {"  9000000000000000000", 9000000000000000000LL},
      {" 4294967296x", 4294967296LL},
      {"1.234", 1LL},
  };
  for (const SerialRow& r : serialRows)
    EXPECT_EQ(r.expected, LeadingSerial(r.text)) << "LeadingSerial(\"" << r.text << "\")";
  // Firmware versions are two words: 2.10 is the tenth minor version, newer
  // than 2.9 and not 2.1. A text that is no pair of words compares by value.
  struct VersionRow {
    const char* a;
    const char* b;
    int order;  // the sign of CompareFirmwareVersions(a, b)
  } versionRows[] = {
      {"2.1", "2.10", -1}, {"2.10", "2.1", 1},    {"2.9", "2.10", -1},       {"2.10", "2.10", 0},
      {"3.11", "2.99", 1}, {" 3.11 ", "3.11", 0}, {"65535.1", "2.65535", 1}, {"2", "2.0", 0},
      {"2.1b", "2.10", 0}, {"", "0.0", 0},        {"2,5", "2.5", -1},
  };
  for (const VersionRow& r : versionRows) {
    const int order = CompareFirmwareVersions(r.a, r.b);
    EXPECT_EQ(r.order, (order > 0) - (order < 0))
        << "CompareFirmwareVersions(\"" << r.a << "\", \"" << r.b << "\")";
  }
}
