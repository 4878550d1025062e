// The device updater over the qlinkx stand-in and the bench: the search over
// bus layouts, the update mode, the register reads and writes, the string
// descriptors and the revision info.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>

#include "config/update_config.h"
#include "device_bench.h"
#include "hwport/clock.h"
#include "lumetra/sync.h"
#include "lumetra/wire.h"

namespace {

using kestortest::DeviceBenchTest;
using kestortest::RecordingUpdater;
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
    process_.Customer(row.customer, row.customer ? "TRX99" : "");
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

// A register that fails, or that answers fewer bytes than it has, gives no
// value: no release and no date from the supply's block, no revision from
// 0x1010 (not "2.0" from the first word of 2.10). The other reads go on.
TEST_F(FindDevicesTest, ARegisterNotReadWholeGivesNoValue) {
  const struct {
    const char* name;
    const char* fault;
    const char* release;
    const char* releaseDate;
    const char* deviceRevision;
    const char* psRevision;
    const char* traced;
  } rows[] = {
      {"the supply's block unreadable",
       "Operation=VendorRequestIn FacId=0x2200 Action=Status Times=0", "", "", "2.10", "3.10", ""},
      {"400 of the block's 758 bytes",
       "Operation=VendorRequestIn FacId=0x2200 Action=Short Bytes=400 Times=0", "", "", "2.10",
       "3.10", "Powersupply block read short: 400 of 758 bytes\n"},
      {"2 of the module revision's 4 bytes",
       "Device=1 Operation=VendorRequestIn FacId=0x1010 Action=Short Bytes=2 Times=0", "1.2",
       "12/24/2006", "", "3.10", "Revision (5) read short: 2 of 4 bytes\n"},
      {"3 of the supply revision's 4 bytes",
       "Device=0 Operation=VendorRequestIn FacId=0x1010 Action=Short Bytes=3 Times=0", "1.2",
       "12/24/2006", "2.10", "", "Revision (16) read short: 3 of 4 bytes\n"},
      {"the module's revision unreadable",
       "Device=1 Operation=VendorRequestIn FacId=0x1010 Action=Status Times=0", "1.2", "12/24/2006",
       "", "3.10", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    benchctl::BenchSpec spec = SupplyWithTr440();
    spec.Fault(row.fault);
    UseFound(spec);
    DeleteFileA((folder_ / "LM_Logfile.txt").c_str());
    EXPECT_TRUE(updater_->ReadAllDevData());
    const RevisionInfo info = updater_->GetRevisionInfo();
    EXPECT_EQ(info.release, row.release);
    EXPECT_EQ(info.releaseDate, row.releaseDate) << "not 11/30/1999";
    EXPECT_EQ(info.deviceRevision, row.deviceRevision);
    EXPECT_EQ(info.psRevision, row.psRevision);
    EXPECT_EQ(updater_->ReadPsRelease(), row.release);
    EXPECT_NE(Trace().find(row.traced), std::string::npos) << Trace();
    EXPECT_EQ(updater_->Record().powerSupply.deviceNumber, -1) << "released";
    EXPECT_EQ(updater_->Record().device.deviceNumber, -1);
  }
  EXPECT_EQ(ReleaseDateText(0), "");
  EXPECT_EQ(ReleaseDateText(24 + 32 * 12 + 512 * 6), "12/24/2006");
}

TEST_F(FindDevicesTest, WritePsReleaseUnlocksAndWritesTheWholeBlock) {
  UseFound(SupplyWithTr440());
  updater_->ReadPsRelease();
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

// A SupplyBlock of the bench's supply as its fault rule sends it: release
// 1.2 and the supply id given, the rest zeros.
std::string BlockHex(uint32_t supplyId) {
  std::vector<uint8_t> block(wire::SupplyBlock::kSize, 0);
  le::PutI16(&block[298], 12);
  le::PutU32(&block[560], supplyId);
  std::string hex;
  char pair[4];
  for (uint8_t b : block) {
    std::snprintf(pair, sizeof pair, "%02X", b);
    hex += pair;
  }
  return hex;
}

TEST_F(FindDevicesTest, WritePsReleaseReportsEachFailureAndReleasesTheSupply) {
  // The supply's block is read once as the device data are (its supply id
  // known from then on), then twice for the write and, once written, back
  // again.
  struct Row {
    std::string name;
    std::string fault;
    int32_t expected;
    size_t writes;  // block writes sent
    const char* traced = "";
    bool dataRead = true;  // the device data were read before
  } rows[] = {
      {"block unreadable", "Operation=VendorRequestIn FacId=0x2200 Action=Status Times=0", -5030,
       0},
      {"unlock refused", "Operation=VendorRequestOut FacId=0x2333 Action=Status Times=0", -22, 0},
      {"block write refused", "Operation=VendorRequestOut FacId=0x2210 Action=Status Times=0", -22,
       1},
      {"400 of its 758 bytes read",
       "Operation=VendorRequestIn FacId=0x2200 After=1 Action=Short Bytes=400", -5030, 0,
       "Powersupply block read short: 400 of 758 bytes\n"},
      {"the block of another supply",
       "Operation=VendorRequestIn FacId=0x2200 After=1 Action=Malformed Data=" + BlockHex(4712),
       -5030, 0,
       "Powersupply block holds supply id 4712, the supply found has 4711: Revisiondata not "
       "written!\n"},
      {"the supply's id never read", "", -5030, 0,
       "Powersupply block holds supply id 4711, the supply found has none", false},
      // The supply's id, and no module in its table: the supply's own table
      // stays.
      {"a block garbled with the supply's id intact",
       "Operation=VendorRequestIn FacId=0x2200 After=1 Action=Malformed Data=" + BlockHex(4711),
       -5030, 0, "Powersupply block differs between two reads: Revisiondata not written!\n"},
      {"the old block read back",
       "Operation=VendorRequestIn FacId=0x2200 After=3 Action=Malformed Data=" + BlockHex(4711),
       -5030, 1, "Powersupply block read back differs from the one written!\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    benchctl::BenchSpec spec = SupplyWithTr440();
    if (!row.fault.empty()) spec.Fault(row.fault);
    UseFound(spec);
    benchctl::ClearRecord();
    DeleteFileA((folder_ / "LM_Logfile.txt").c_str());
    if (row.dataRead) updater_->ReadPsRelease();
    EXPECT_EQ(updater_->WritePsRelease(13, 0, 0), row.expected);
    EXPECT_EQ(updater_->Record().powerSupply.deviceNumber, -1) << "released";
    EXPECT_EQ(benchctl::FaultsNotFired(bench_), std::vector<std::string>{});
    EXPECT_EQ(benchctl::CallRecord("FacId=0x2210").size(), row.writes);
    EXPECT_NE(Trace().find(row.traced), std::string::npos) << Trace();
    if (row.writes == 0) {
      EXPECT_EQ(benchctl::ReadState(bench_, "Device0", "SupplyBlock"), "") << "nothing written";
    }
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

// n UTF-16 units of the characters 'A', 'B', ... in turn, as hex pairs.
std::string Units(int n) {
  std::string hex;
  for (int i = 0; i < n; ++i) {
    char unit[8];
    std::snprintf(unit, sizeof unit, " %02X 00", 'A' + i % 26);
    hex += unit;
  }
  return hex;
}

std::string Letters(int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += static_cast<char>('A' + i % 26);
  return text;
}

TEST_F(FindDevicesTest, GetDeviceStringReadsNoMoreThanItsBufferTakes) {
  // The descriptor is asked for with 512 bytes: a longer one arrives cut to
  // them and gives 255 characters, the head skipped; a last half unit is
  // dropped.
  const struct {
    const char* name;
    const char* key;
    std::string value;
    std::string expected;
    int delivered;  // bytes the device sent for the request
  } rows[] = {
      {"a text of 300 characters", "StringText4", Letters(300), Letters(255), 512},
      {"a raw descriptor of 602 bytes", "String4", "FF 03" + Units(300), Letters(255), 512},
      {"a raw descriptor of 514 bytes", "String4", "FF 03" + Units(256), Letters(255), 512},
      {"exactly 512 bytes", "String4", "FF 03" + Units(255), Letters(255), 512},
      {"511 bytes", "String4", "FF 03" + Units(254) + " 5A", Letters(254), 511},
      {"510 bytes", "String4", "FE 03" + Units(254), Letters(254), 510},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    benchctl::BenchSpec spec = SupplyWithTr440();
    spec.WithDevice(1, row.key, row.value);
    UseFound(spec);
    benchctl::ClearRecord();
    const std::string text = updater_->GetDeviceString(5, 4);
    EXPECT_EQ(text.size(), row.expected.size());
    EXPECT_EQ(text, row.expected);
    const auto reads = benchctl::CallRecord("type=3 index=4");
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_NE(reads[0].find("len=512 -> 00000000 " + std::to_string(row.delivered)),
              std::string::npos)
        << reads[0];
    EXPECT_EQ(updater_->Record().device.deviceNumber, -1) << "released";
  }
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

// ReadAllDevData over the front panel's revision read: its retries, the
// cancel points, the step progress it posts and its trace entries.
class ReadAllDevDataTest : public DeviceBenchTest {
 protected:
  // The supply carrying its TR440, answering the panel's revision queries
  // with `replies` (empty: as a running panel does).
  static benchctl::BenchSpec Panel(const std::string& replies, int scale = 100) {
    benchctl::BenchSpec spec = SupplyWithTr440(scale);
    if (!replies.empty()) spec.WithDevice(0, "Replies.4041", replies);
    return spec;
  }
  // The bench with the devices found, the record and the trace log cleared.
  void Found(const benchctl::BenchSpec& spec, std::vector<std::string> args = {}) {
    process_.TraceLevel(0);
    process_.StringTrace(false);
    Use(spec, args);
    ASSERT_TRUE(updater_->FindDevices()) << Trace();
    benchctl::ClearRecord();
    DeleteFileA((folder_ / "LM_Logfile.txt").c_str());
  }
  std::vector<WPARAM> StepPosts() const {
    std::vector<WPARAM> posts;
    for (const RecordingUpdater::Message& m : updater_->posted) {
      EXPECT_EQ(m.message, WM_UPDATE_STEP_PROGRESS);
      EXPECT_EQ(m.lParam, 107) << "the device check's step status";
      posts.push_back(m.wParam);
    }
    return posts;
  }
  static size_t FirmwareReads() { return benchctl::CallRecord("FacId=0x1010").size(); }
  // The trace with each entry's milliseconds ("\n  (123)\t") written as
  // "(ms)"; the milliseconds in order in `stamps`.
  static std::string Stamped(const std::string& trace, std::vector<int>* stamps) {
    std::string out;
    size_t at = 0;
    while (at < trace.size()) {
      const size_t open = trace.find("\n  (", at);
      if (open == std::string::npos) break;
      size_t digits = open + 4;
      size_t end = digits;
      while (end < trace.size() && std::isdigit(static_cast<unsigned char>(trace[end]))) ++end;
      out += trace.substr(at, digits - at);
      if (end > digits && end + 1 < trace.size() && trace[end] == ')' && trace[end + 1] == '\t') {
        stamps->push_back(std::stoi(trace.substr(digits, end - digits)));
        out += "ms";
        at = end;
      } else {
        at = digits;
      }
    }
    return out + trace.substr(at);
  }
};

constexpr const char* kMmiRetry = "    Error reading MMI Revision (0) reading again!\n";

TEST_F(ReadAllDevDataTest, TheMmiRevisionIsReadAgainUpToThreeTimes) {
  const struct {
    const char* name;
    const char* replies;
    const char* panelRevision;
    const char* expected;
    std::vector<const char*> newReads;  // the revision of each new read
    size_t queries;
  } rows[] = {
      {"read at once", "", "1.02", "1.02", {}, 1},
      {"refused once", "C1 33", "1.02", "1.02", {"1.02"}, 2},
      {"refused twice", "C1 C1 33", "1.02", "1.02", {"0", "1.02"}, 3},
      {"refused three times", "C1*3 33", "1.02", "1.02", {"0", "0", "1.02"}, 4},
      {"refused always", "C1", "1.02", "0", {"0", "0", "0"}, 4},
      {"a fifth query would be answered", "C1*4 33", "1.02", "0", {"0", "0", "0"}, 4},
      // Each query of the string protocol is sent again while the panel boots.
      {"booting through the first read", "C6*6 33", "1.02", "1.02", {"1.02"}, 7},
      {"never answered", "--", "1.02", "0", {"0", "0", "0"}, 24},
      {"a panel without a revision", "", "0", "0", {"0", "0", "0"}, 4},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    benchctl::BenchSpec spec = Panel(row.replies);
    spec.WithDevice(0, "PanelRevision", row.panelRevision);
    Found(spec);
    EXPECT_TRUE(updater_->ReadAllDevData()) << "an unread revision is no cancel";
    EXPECT_EQ(Sends(), row.queries);
    EXPECT_EQ(updater_->Record().mmiRevision, row.expected);
    EXPECT_EQ(updater_->GetRevisionInfo().mmiRevision, row.expected);
    EXPECT_EQ(updater_->GetRevisionInfo().psRevision, "3.10") << "the other reads go on";
    EXPECT_EQ(updater_->GetRevisionInfo().release, "1.2");
    // Without a trace level the retries are all the trace holds.
    std::string retries;
    for (const char* revision : row.newReads)
      retries += std::string(kMmiRetry) + "    Revision from new Read : " + revision + "\n";
    EXPECT_EQ(Trace(), retries);
    EXPECT_EQ(updater_->Record().powerSupply.deviceNumber, -1) << "released after the reads";
    EXPECT_EQ(updater_->Record().device.deviceNumber, -1);
  }
}

TEST_F(ReadAllDevDataTest, StepProgressAndCancelPoints) {
  const struct {
    const char* name;
    const char* replies;
    int state;     // the cancel state at the call
    int cancelAt;  // cancel at the post of this progress, -1 never
    bool result;
    std::vector<WPARAM> posts;
    size_t firmwareReads;
    size_t queries;
    bool recordKept;  // the reads so far are dropped
  } rows[] = {
      {"running", "", CANCEL_STATE_RUNNING, -1, true, {0, 2500, 5000}, 2, 1, false},
      {"running, revision read again twice",
       "C1 C1 33",
       CANCEL_STATE_RUNNING,
       -1,
       true,
       {0, 2500, 5000},
       2,
       3,
       false},
      {"idle: no progress", "", CANCEL_STATE_IDLE, -1, true, {}, 2, 1, false},
      {"cancelled after the supply's firmware",
       "",
       CANCEL_STATE_RUNNING,
       2500,
       false,
       {0, 2500},
       1,
       0,
       true},
      {"cancelled after the instrument's firmware",
       "",
       CANCEL_STATE_RUNNING,
       5000,
       false,
       {0, 2500, 5000},
       2,
       0,
       true},
      {"cancelled before the call", "", CANCEL_STATE_REQUESTED, -1, false, {}, 1, 0, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Found(Panel(row.replies));
    updater_->SetProgressStepWidth(4);
    updater_->SetStepCounter(2);
    updater_->SetCancelState(row.state);
    updater_->onPost = [&](const RecordingUpdater::Message& m) {
      if (static_cast<int>(m.wParam) == row.cancelAt)
        updater_->SetCancelState(CANCEL_STATE_REQUESTED);
    };
    EXPECT_EQ(updater_->ReadAllDevData(), row.result);
    EXPECT_EQ(StepPosts(), row.posts);
    EXPECT_EQ(FirmwareReads(), row.firmwareReads);
    EXPECT_EQ(Sends(), row.queries) << "revision queries";
    const DeviceRecord& record = updater_->Record();
    EXPECT_EQ(record.psRevision, row.recordKept ? "" : "3.10");
    EXPECT_EQ(record.deviceRevision, row.recordKept ? "" : "2.10");
    EXPECT_EQ(record.mmiRevision, row.recordKept ? "" : "1.02");
    EXPECT_EQ(record.psRelease, row.recordKept ? "" : "1.2");
    EXPECT_EQ(updater_->ProgressStepWidth(), 30) << "the run's bookkeeping stays";
    EXPECT_EQ(updater_->StepCounter(), 2);
    EXPECT_EQ(record.powerSupply.deviceNumber, -1);
    EXPECT_EQ(record.device.deviceNumber, -1);
  }
}

TEST_F(ReadAllDevDataTest, ACancelDuringTheMmiReadIsHonouredAfterTheRelease) {
  // The panel refuses every revision query: the reads and their retries take
  // seconds of the wall on a clock ten times its speed. The cancel comes from
  // another thread, as the dialog's does, once the first query went out.
  Found(Panel("C1", 10), {"-d2"});
  updater_->SetCancelState(CANCEL_STATE_RUNNING);
  lm::Event cancelled;
  size_t queriesAtCancel = 0;
  lm::Thread dialog([&] {
    const DWORD start = hwport::TickCount();
    while (Sends() < 1 && hwport::TickCount() - start < 60000) hwport::Sleep(10);
    queriesAtCancel = Sends();
    updater_->SetCancelState(CANCEL_STATE_REQUESTED);
    cancelled.Set();
  });
  EXPECT_FALSE(updater_->ReadAllDevData());
  ASSERT_TRUE(dialog.Join(10000));
  ASSERT_TRUE(cancelled.IsSet());
  EXPECT_GE(queriesAtCancel, 1u);
  EXPECT_LT(queriesAtCancel, 4u) << "the cancel came while the revision was read";
  EXPECT_EQ(Sends(), 4u) << "the read and its three retries are not cut short";
  EXPECT_EQ(StepPosts(), (std::vector<WPARAM>{0, 2500, 5000}));
  // What was read is kept, the release too; the update-mode checks are not made.
  const RevisionInfo info = updater_->GetRevisionInfo();
  EXPECT_EQ(info.psRevision, "3.10");
  EXPECT_EQ(info.deviceRevision, "2.10");
  EXPECT_EQ(info.mmiRevision, "0");
  EXPECT_EQ(info.release, "1.2");
  const std::string trace = Trace();
  EXPECT_EQ(Count(trace, kMmiRetry), 3u) << trace;
  EXPECT_NE(trace.find("\t\tCalling ReadRevision(PS)\n"), std::string::npos) << trace;
  EXPECT_EQ(trace.find("leaving ReadAllDevData(PS)"), std::string::npos) << trace;
  EXPECT_EQ(updater_->Record().powerSupply.deviceNumber, -1);
}

TEST_F(ReadAllDevDataTest, EntriesWithTheSecondTraceLevelOrTheStringTrace) {
  const std::vector<std::string> entries = {
      "\n----------------------------------------\n  (ms)\tFunction ReadAllDevData\n",
      "\n  (ms)\t\tCalling GetPSModRev(PS)\n",
      "\n  (ms)\t\tCalling GetPSModRev(Dev)\n",
      "\n  (ms)\t\tCalling GetMMIRev(PS)\n",
      kMmiRetry,
      "    Revision from new Read : 1.02\n",
      "\n  (ms)\t\tCalling ReadRevision(PS)\n",
      "\n  (ms)\t\tleaving ReadAllDevData(PS)\n----------------------------------------\n",
  };
  const struct {
    std::vector<std::string> args;
    bool written;
  } rows[] = {
      {{}, false}, {{"-d1"}, false}, {{"-d2"}, true}, {{"-D5"}, true}, {{"-s2p"}, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << (row.args.empty() ? "no argument" : row.args[0]));
    Found(Panel("C1 33"), row.args);
    EXPECT_TRUE(updater_->ReadAllDevData());
    std::vector<int> stamps;
    const std::string trace = Stamped(Trace(), &stamps);
    const size_t retry = trace.find(kMmiRetry);
    EXPECT_NE(retry, std::string::npos) << "the retry is always traced";
    EXPECT_NE(trace.find("    Revision from new Read : 1.02\n", retry), std::string::npos) << trace;
    if (!row.written) {
      EXPECT_TRUE(stamps.empty()) << trace;
      EXPECT_EQ(trace.find("ReadAllDevData"), std::string::npos) << trace;
      continue;
    }
    size_t at = 0;
    for (const std::string& entry : entries) {
      const size_t found = trace.find(entry, at);
      ASSERT_NE(found, std::string::npos) << entry << "\nin\n" << trace;
      at = found + entry.size() - 1;  // an entry's line break may start the next
    }
    ASSERT_EQ(stamps.size(), 6u) << trace;
    for (size_t i = 1; i < stamps.size(); ++i)
      EXPECT_LE(stamps[i - 1], stamps[i]) << "milliseconds since the call began";
  }
}

}  // namespace
