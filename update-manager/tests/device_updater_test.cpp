// The device updater over the qlinkx stand-in and the bench: the search over
// bus layouts, the update mode, the register reads and writes, the string
// descriptors and the revision info.
#include <gtest/gtest.h>

#include "config/update_config.h"
#include "device_bench.h"
#include "lumetra/wire.h"

namespace {

using kestortest::DeviceBenchTest;
using kestortest::SupplyWithTr440;

struct LayoutRow {
  const char* name;
  benchctl::BenchSpec spec;
  int customer;
  bool found;
  const char* supplyName;
  int deviceId;
  const char* deviceName;
  const char* traceEnd;  // how the search's trace ends
};

class FindDevicesTest : public DeviceBenchTest {};

TEST_F(FindDevicesTest, BusLayouts) {
  benchctl::BenchSpec two;
  two.TimeScale(100).Supply(16, "1").Supply(16, "2").Instrument(5, "3");
  benchctl::BenchSpec oldOnly;
  oldOnly.TimeScale(100).Supply(9, "0000000077");
  benchctl::BenchSpec oldWith;
  oldWith.TimeScale(100).Supply(9, "0000000077").Instrument(5, "0000001001");
  benchctl::BenchSpec several;
  several.TimeScale(100)
      .Supply(16, "0000004711")
      .Instrument(5, "11")
      .Instrument(5, "12")
      .Instrument(6, "0000000013");
  benchctl::BenchSpec customer;
  customer.TimeScale(100).Supply(16, "0000004711").Instrument(0x77, "0000000099");
  benchctl::BenchSpec none;
  none.TimeScale(100).Supply(16, "0000004711");
  const LayoutRow rows[] = {
      {"supply 16 with a TR440", SupplyWithTr440(), 0, true, "Powersupply", 5, "TR440",
       "TR440          0000001001\n"},
      {"supply 9 only", oldOnly, 0, false, "", 0, "", "Aborting - No Device found!\n\n"},
      {"supply 9 with a TR440", oldWith, 0, true, "Powersupply(old)", 5, "TR440",
       "TR440          0000001001\n"},
      {"two supplies", two, 0, false, "", 0, "", ""},
      {"two TR440 and a TR410", several, 0, true, "Powersupply", 6, "TR410",
       "TR410          0000000013\n"},
      {"a customer product id", customer, 0x77, true, "Powersupply", 0x77, "TRX99",
       "TRX99          0000000099\n"},
      {"no instrument", none, 0, false, "", 0, "", "Aborting - No Device found!\n\n"},
  };
  for (const LayoutRow& row : rows) {
    SCOPED_TRACE(row.name);
    customerPid = row.customer;
    customerDeviceName = row.customer ? "TRX99" : "";
    DeleteFileA((folder_ / "LM_Logfile.txt").c_str());
    Use(row.spec, {"-d1"});
    EXPECT_EQ(updater_->FindDevices(), row.found);
    const DeviceRecord& r = updater_->Record();
    if (row.found) {
      EXPECT_EQ(r.powerSupply.name, row.supplyName);
      EXPECT_EQ(r.device.productId, row.deviceId);
      EXPECT_EQ(r.device.name, row.deviceName);
      EXPECT_EQ(r.powerSupply.deviceNumber, -1);
      EXPECT_EQ(r.device.deviceNumber, -1);
    } else {
      EXPECT_EQ(r.device.productId, 0) << "a failed search keeps the old record";
    }
    const std::string trace = Trace();
    EXPECT_EQ(trace.substr(0, 24), "\n\nSearching Devices ...\n") << trace;
    EXPECT_EQ(trace.substr(trace.size() - std::string(row.traceEnd).size()), row.traceEnd) << trace;
    updater_.reset();
  }
  customerPid = 0;
  customerDeviceName.clear();
}

TEST_F(FindDevicesTest, UpdateModeFromLettersInTheSerialNumber) {
  benchctl::BenchSpec spec = SupplyWithTr440();
  Use(spec);
  ASSERT_TRUE(updater_->FindDevices());
  EXPECT_EQ(updater_->CheckUpdateMode(16), 0);
  EXPECT_EQ(updater_->CheckUpdateMode(5), 0);
  EXPECT_FALSE(updater_->AnyInUpdateMode());
  EXPECT_EQ(updater_->CheckUpdateMode(7), -1004) << "no such device: not 'present, normal'";
  EXPECT_EQ(updater_->CheckUpdateMode(33), -1004);

  benchctl::BenchSpec susb;
  susb.TimeScale(100).Supply(16, "0000004711").Instrument(5, "SUSB001001");
  Use(susb);
  ASSERT_TRUE(updater_->FindDevices());
  EXPECT_EQ(updater_->CheckUpdateMode(5), 1);
  EXPECT_TRUE(updater_->AnyInUpdateMode());
  EXPECT_EQ(updater_->Record().device.serialNumber, "SUSB001001") << "the first serial stays";
  EXPECT_EQ(updater_->Record().device.updateModeSerial, "SUSB001001");
}

TEST_F(FindDevicesTest, ReadAllDevDataFillsTheRevisionInfo) {
  UseFound(SupplyWithTr440());
  EXPECT_TRUE(updater_->ReadAllDevData());
  const RevisionInfo info = updater_->GetRevisionInfo();
  EXPECT_EQ(info.release, "1.2");
  EXPECT_EQ(info.serialNumber, "4711");
  EXPECT_EQ(info.deviceName, "TR440");
  EXPECT_EQ(info.deviceRevision, "2.10");
  EXPECT_EQ(info.psRevision, "3.10");
  EXPECT_EQ(info.mmiRevision, "1.02");
  EXPECT_EQ(info.beta, "0");
  EXPECT_EQ(info.releaseDate, "12/24/2006");
  EXPECT_EQ(info.moduleSerial, "5001234");
  EXPECT_EQ(updater_->Record().powerSupply.deviceNumber, -1) << "everything released";
  EXPECT_EQ(updater_->Record().device.deviceNumber, -1);
}

TEST_F(FindDevicesTest, AnUnreadableSupplyBlockGivesNoReleaseAndNoDate) {
  benchctl::BenchSpec spec = SupplyWithTr440();
  spec.Fault("Operation=VendorRequestIn FacId=0x2200 Action=Status Times=0");
  UseFound(spec);
  EXPECT_EQ(updater_->ReadPsRelease(), "");
  const RevisionInfo info = updater_->GetRevisionInfo();
  EXPECT_EQ(info.release, "");
  EXPECT_EQ(info.releaseDate, "") << "not 11/30/1999";
  EXPECT_EQ(ReleaseDateText(0), "");
  EXPECT_EQ(ReleaseDateText(24 + 32 * 12 + 512 * 6), "12/24/2006");
}

TEST_F(FindDevicesTest, WritePsReleaseUnlocksAndWritesTheWholeBlock) {
  UseFound(SupplyWithTr440());
  EXPECT_EQ(updater_->WritePsRelease(13, 2, 24 + 32 * 12 + 512 * 5), 1);
  const auto writes = benchctl::CallRecord("FacId=0x2210");
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_NE(writes[0].find("len=758"), std::string::npos) << writes[0];
  const auto unlocks = benchctl::CallRecord("FacId=0x2333");
  ASSERT_EQ(unlocks.size(), 1u);
  EXPECT_EQ(updater_->ReadPsRelease(), "1.3");
  EXPECT_EQ(updater_->GetRevisionInfo().beta, "2");
  EXPECT_EQ(updater_->GetRevisionInfo().releaseDate, "12/24/2005");
  EXPECT_EQ(updater_->GetRevisionInfo().moduleSerial, "5001234") << "the rest of the block stays";
  EXPECT_EQ(updater_->Record().powerSupply.deviceNumber, -1);
  EXPECT_NE(Trace().find("Writing Revisiondata:\nRev      : 13\nBeta     : 2\nDate(hex): 2968"),
            std::string::npos)
      << Trace();
}

TEST_F(FindDevicesTest, WritePsReleaseReportsEachFailureAndReleasesTheSupply) {
  struct Row {
    const char* name;
    const char* fault;
    int32_t expected;
  } rows[] = {
      {"block unreadable", "Operation=VendorRequestIn FacId=0x2200 Action=Status Times=0", -5030},
      {"unlock refused", "Operation=VendorRequestOut FacId=0x2333 Action=Status Times=0", -22},
      {"block write refused", "Operation=VendorRequestOut FacId=0x2210 Action=Status Times=0", -22},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    benchctl::BenchSpec spec = SupplyWithTr440();
    spec.Fault(row.fault);
    UseFound(spec);
    EXPECT_EQ(updater_->WritePsRelease(13, 0, 0), row.expected);
    EXPECT_EQ(updater_->Record().powerSupply.deviceNumber, -1) << "released";
  }
  // No supply to assign: its failure, nothing written.
  benchctl::BenchSpec gone = SupplyWithTr440();
  UseFound(gone);
  ASSERT_TRUE(benchctl::RemoveDevice(0));
  EXPECT_EQ(updater_->WritePsRelease(13, 0, 0), -1004);
  EXPECT_TRUE(benchctl::CallRecord("FacId=0x2210").empty());
}

TEST_F(FindDevicesTest, RebootPowerSupplyReportsAFailedAssignment) {
  UseFound(SupplyWithTr440());
  updater_->SetWaits(50, 3000);  // the supply is back within the reboot wait
  EXPECT_TRUE(updater_->RebootPowerSupply());
  EXPECT_EQ(benchctl::CallRecord("FacId=0x2222").size(), 1u);
  EXPECT_EQ(updater_->RebootAfterMmi(), 0) << "the supply is back: " << Trace();
  ASSERT_TRUE(benchctl::RemoveDevice(0));
  benchctl::ClearRecord();
  EXPECT_FALSE(updater_->RebootPowerSupply()) << "no supply to reboot";
  EXPECT_EQ(updater_->RebootAfterMmi(), -1004);
  EXPECT_TRUE(benchctl::CallRecord("FacId=0x2222").empty()) << "nothing written to device -1";
}

TEST_F(FindDevicesTest, GetDeviceStringBoundsTheDescriptor) {
  benchctl::BenchSpec spec = SupplyWithTr440();
  spec.WithDevice(1, "StringText4", "Modul TR440 B")
      .WithDevice(1, "String5", "02 03")         // a head only: no text
      .WithDevice(1, "String6", "FF 03 41 00");  // a length past the bytes sent
  UseFound(spec);
  EXPECT_EQ(updater_->GetDeviceString(5, 2), "TR440");
  EXPECT_EQ(updater_->GetDeviceString(5, 3), "0000001001");
  EXPECT_EQ(updater_->GetDeviceString(5, 4), "Modul TR440 B");
  EXPECT_EQ(updater_->GetDeviceString(5, 5), "");
  EXPECT_EQ(updater_->GetDeviceString(5, 6), "A");
  EXPECT_EQ(updater_->GetDeviceString(5, 7), "") << "a descriptor the device lacks";
  EXPECT_EQ(updater_->GetDeviceString(5, 8), "Error");
  EXPECT_EQ(updater_->GetDeviceString(5, 0), "Error");
  EXPECT_EQ(updater_->GetDeviceString(33, 1), "Error - couldnt open device!");
  EXPECT_EQ(updater_->Record().device.deviceNumber, -1) << "released after each";
}

TEST_F(FindDevicesTest, ProgressBookkeeping) {
  UseFound(SupplyWithTr440());
  const struct { int steps, width; } rows[] = {{0, 100}, {1, 100}, {2, 90}, {4, 30}, {10, 10}};
  for (const auto& r : rows) {
    updater_->SetProgressStepWidth(r.steps);
    EXPECT_EQ(updater_->ProgressStepWidth(), r.width) << r.steps << " steps";
  }
  updater_->SetStepCounter(3);
  updater_->SetStepCounter(-1);
  EXPECT_EQ(updater_->StepCounter(), 3);
  updater_->IncrementStepCounter();
  EXPECT_EQ(updater_->StepCounter(), 4);
}

}  // namespace
