// The package's checks of a device: serial-number pairs, and the device's
// revisions against the package after an update run.
#include "state/device_checks.h"

#include <gtest/gtest.h>

#include "config/update_config.h"
#include "device_bench.h"
#include "environment/system_environment.h"
#include "package_builder.h"

namespace {

using kestortest::DeviceBenchTest;
using kestortest::SupplyWithTr440;

class DeviceChecksTest : public DeviceBenchTest {
 protected:
  void SetUp() override {
    DeviceBenchTest::SetUp();
    SetEnvironmentVariableA("TEMP", folder_.Path().c_str());
    auto environment = std::make_unique<SystemEnvironment>();  // its debug log in TEMP
    environment_ = environment.get();
    process_.Build(std::move(environment));
  }
  void TearDown() override {
    process_.Release();
    DeviceBenchTest::TearDown();
  }
  std::string DebugLog() {
    return kestortest::Plain(testsupport::ReadFileOr(environment_->DebugLogPath()));
  }
  SystemEnvironment* environment_ = nullptr;
};

TEST_F(DeviceChecksTest, SerialPairs) {
  const std::vector<std::string> list = {"100", "199", "4000000000", "4999999999", "7"};
  const struct {
    const char* serial;
    bool excluded;
  } rows[] = {{"99", false},  {"100", true},        {"199", true},        {"0000000150", true},
              {"200", false}, {"4500000000", true}, {"4999999999", true}, {"5000000000", false},
              {"7", false},   {"", false}};
  for (const auto& row : rows)
    EXPECT_EQ(IsSerialExcluded(process_.Context(), row.serial, list), row.excluded)
        << "serial " << row.serial;
  EXPECT_FALSE(IsSerialExcluded(process_.Context(), "100", {}));
  EXPECT_NE(DebugLog().find("\nSerial Number (4500000000) is in excluded area 4000000000 - "
                            "4999999999 for this"),
            std::string::npos)
      << DebugLog();
}

TEST_F(DeviceChecksTest, RevisionsAfterTheUpdate) {
  kestortest::PackageBuilder package(folder_ / "package");
  package.Package("TR440", "1.3")
      .Step("Ps", {{"Name", "PWR SUPPLY"}, {"Rev", "3.10"}})
      .Step("Module", {{"Name", "MODULE"}, {"Rev", "2.1"}})
      .Step("MMI", {{"Name", "MMI"}, {"Rev", "1.05"}, {"File1", "front.mmi"}})
      .Step("Rev", {{"Name", "SET REVISION"}, {"Rev", "1.3"}, {"Date", "24.12.2005"}});
  ASSERT_TRUE(package.Write());
  UpdateConfig config(package.AppFolder());
  UseFound(SupplyWithTr440());
  EXPECT_FALSE(VerifyRevisionsAfterUpdate(process_.Context(), *updater_, config))
      << "the panel still runs 1.02";
  EXPECT_EQ(config.GetStepRow(0).deviceVersion, "");
  EXPECT_EQ(config.GetStepRow(1).deviceVersion, "2.10(err)")
      << "firmware 2.10 is not 2.1, though both read as the same decimal number";
  EXPECT_EQ(config.GetStepRow(2).deviceVersion, "1.02(err)");
  EXPECT_NE(DebugLog().find("Error comparing Modul-Revisions after update!\nModul on Device : "
                            "2.10\nModul in Update : 2.1\n\n"),
            std::string::npos)
      << DebugLog();
  EXPECT_NE(DebugLog().find("Error comparing MMI-Revisions after update!\nMMI on Device : 1.02\n"
                            "MMI in Update : 1.05\n\n"),
            std::string::npos)
      << DebugLog();
  EXPECT_EQ(DebugLog().find("Powersupply-Revisions"), std::string::npos);
}

}  // namespace
