// The module table: the part-number rows and masks, the firmware version
// rule, and the table read from a bench power supply through the device
// connection and matched to a module's vendor and product id.
#include "tessaro/supply_modules.h"

#include <gtest/gtest.h>

#include <map>
#include <type_traits>

#include "benchctl/bench_control.h"
#include "benchctl/faults_fired.h"
#include "hwport/port.h"
#include "tessaro/gdi.h"
#include "testsupport/testdir.h"

namespace tessaro {
namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

// The table read's transfer lines cannot swap places with the unit's lines.
static_assert(!std::is_invocable_v<decltype(&FindModuleSerial), uint16_t, uint16_t, TDevice*,
                                   TransferList, TStringList*, int32_t&>);

void ToList(void*, const std::string& text, TStrings* list) {
  if (list) list->Add(text);
}

TEST(PartNumbers, TextAndMaskPerProductId) {
  struct Row {
    const char* name;
    uint16_t vid, pid;
    bool found;
    const char* text;
    uint16_t mask;
  } rows[] = {
      {"TR410 has row 0", 0x0E7B, 6, true, "[1362500100,]", 0x0001},
      {"TR440 has row 2", 0x0E7B, 5, true, "[1362500300,]", 0x0004},
      {"TR430 has rows 3 and 4", 0x0E7B, 8, true, "[1362500400,1362500500,]", 0x0018},
      {"TR810 has row 6", 0x0E7B, 41, true, "[1362500700,]", 0x0040},
      {"power supply has row 7", 0x0E7B, 16, true, "[1362500800,]", 0x0080},
      {"older power supply has row 8", 0x0E7B, 9, true, "[1362500800,]", 0x0100},
      {"unknown product id has none", 0x0E7B, 99, false, "[]", 0},
      {"another vendor has none", 0x1234, 5, false, "[]", 0},
  };
  for (const Row& r : rows) {
    std::string text = "old";
    uint16_t mask = 0xFFFF;
    EXPECT_EQ(r.found, PartNumbersText(r.vid, r.pid, text)) << r.name;
    EXPECT_EQ(r.text, text) << r.name;
    EXPECT_EQ(r.found, PartMaskForPid(r.vid, r.pid, mask)) << r.name;
    EXPECT_EQ(r.mask, mask) << r.name;
  }
}

TEST(PartNumbers, MaskPerPartNumber) {
  struct Row {
    const char* name;
    double partNo;
    bool found;
    uint16_t mask;
  } rows[] = {
      {"TR420's part number is row 1", 1362500200, true, 0x0002},
      {"the supplies' part number is rows 7 and 8", 1362500800, true, 0x0180},
      {"a part number off by a fraction is no row", 1362500800.5, false, 0},
      {"zero is no row", 0, false, 0},
  };
  for (const Row& r : rows) {
    uint16_t mask = 0xFFFF;
    EXPECT_EQ(r.found, PartMaskForPartNo(mask, r.partNo)) << r.name;
    EXPECT_EQ(r.mask, mask) << r.name;
  }
}

TEST(PsVersion, SupportedFromZeroPointSeven) {
  struct Row {
    uint16_t major, minor;
    bool supported;
  } rows[] = {{0, 6, false}, {0, 0, false}, {0, 7, true}, {0, 12, true}, {1, 0, true}};
  for (const Row& r : rows)
    EXPECT_EQ(r.supported, PsVersionSupported(r.major, r.minor)) << r.major << "." << r.minor;
}

class ModuleTable : public ::testing::Test {
 protected:
  void SetUp() override {
    LogHooks().supply.method = &ToList;
    TDevice::DefaultLog().method = &ToList;
  }
  void TearDown() override {
    benchctl::ExpectFaultsFired(file_);
    LogHooks().supply.Clear();
    TDevice::DefaultLog().Clear();
  }
  // A power supply (product id 16, slot 0) with these ModuleN keys; the
  // fault of the bench it replaces has fired.
  void UseSupply(const std::map<int, std::string>& modules, const std::string& fault = {}) {
    benchctl::ExpectFaultsFired(file_);
    benchctl::BenchSpec spec;
    spec.TimeScale(1000).Supply(16, "5001").With("Version", "1.0").With("SupplyId", "77");
    for (auto& [pos, value] : modules) spec.With("Module" + std::to_string(pos), value);
    if (!fault.empty()) spec.Fault(fault);
    file_ = benchctl::UseBench(folder_.Path(), spec);
    ASSERT_FALSE(file_.empty()) << hwport::BenchLoadError();
  }
  bool Find(uint16_t vid, uint16_t pid, int32_t& serial) {
    TGDI supply(TDeviceInfo(0, 0x0E7B, 16), 0, 0, 0, 0, 0, 0);
    return FindModuleSerial(vid, pid, &supply, &lines_, TransferList{&readLog_}, serial);
  }
  testsupport::TestFolder folder_;
  std::string file_;
  TStringList readLog_;
  TStringList lines_;
};

TEST_F(ModuleTable, MatchesAModuleByPartNumber) {
  struct Row {
    const char* name;
    std::map<int, std::string> modules;
    uint16_t pid;
    bool found;
    int32_t serial;
  } rows[] = {
      {"TR430 by row 3's part number", {{2, "1,7003,1362500400"}}, 8, true, 7003},
      {"TR430 by row 4's part number", {{5, "1,7005,1362500500"}}, 8, true, 7005},
      {"power supply 16 by the shared part number", {{0, "1,9001,1362500800"}}, 16, true, 9001},
      {"power supply 9 by the shared part number", {{0, "1,9001,1362500800"}}, 9, true, 9001},
      {"installed byte 2 is never taken", {{0, "2,1111,1362500400"}}, 8, false, -1},
      {"a position without a module is not taken", {{0, "0,1111,1362500400"}}, 8, false, -1},
      {"two of the kind: the lower position",
       {{4, "1,2004,1362500300"}, {1, "1,2001,1362500300"}},
       5,
       true,
       2001},
      {"a module of another kind is not taken", {{0, "1,3000,1362500100"}}, 5, false, -1},
      {"a part number outside the table is not taken", {{0, "1,3000,1362509999"}}, 5, false, -1},
      {"the last position counts", {{7, "1,4007,1362500700"}}, 41, true, 4007},
      {"a serial number above 2^31 comes back as it is stored",
       {{3, "1,4294967295,1362500600"}},
       40,
       true,
       -1},
  };
  for (const Row& r : rows) {
    UseSupply(r.modules);
    int32_t serial = 12345;
    EXPECT_EQ(r.found, Find(0x0E7B, r.pid, serial)) << r.name;
    EXPECT_EQ(r.serial, serial) << r.name;
    EXPECT_EQ(10u, lines_.Lines().size()) << r.name;
    lines_.Clear();
  }
}

TEST_F(ModuleTable, LogsEveryPositionAndTakesOnlyTheFirst) {
  UseSupply({{1, "1,2001,1362500300"}, {4, "1,2004,1362500300"}, {6, "2,6,1362500300"}});
  int32_t serial = 0;
  ASSERT_TRUE(Find(0x0E7B, 5, serial));
  EXPECT_EQ(2001, serial);
  const std::vector<std::string> expected = {
      "    part numbers [1362500300,] for Dev(vid:0x0e7b,pid:0x0005)",
      "   read structure with istalled modules form PS",
      "   pos. 0. Installed_Modules:0, Module_Part_No: 0.00, Module_Ser_No: 0, NO",
      "   pos. 1. Installed_Modules:1, Module_Part_No: 1362500300.00, Module_Ser_No: 2001, YES",
      "   pos. 2. Installed_Modules:0, Module_Part_No: 0.00, Module_Ser_No: 0, NO",
      "   pos. 3. Installed_Modules:0, Module_Part_No: 0.00, Module_Ser_No: 0, NO",
      "   pos. 4. Installed_Modules:1, Module_Part_No: 1362500300.00, Module_Ser_No: 2004, NO",
      "   pos. 5. Installed_Modules:0, Module_Part_No: 0.00, Module_Ser_No: 0, NO",
      "   pos. 6. Installed_Modules:2, Module_Part_No: 1362500300.00, Module_Ser_No: 6, NO",
      "   pos. 7. Installed_Modules:0, Module_Part_No: 0.00, Module_Ser_No: 0, NO",
  };
  EXPECT_EQ(expected, lines_.Lines());
  // The table read logs its own lines to the read log: the request and the
  // 758 bytes received.
  ASSERT_EQ(2u, readLog_.Lines().size());
  EXPECT_EQ("GetFacilityData( FacId: 0x2200, Ch: A+B, buf, Size: 758 )", readLog_.Lines()[0]);
  EXPECT_EQ(0u, readLog_.Lines()[1].find("GetFacilityData, readen 758B (dt:"));
  // One request for the whole block, channel 0.
  auto reads = benchctl::CallRecord("VendorRequestIn");
  ASSERT_EQ(1u, reads.size());
  EXPECT_NE(std::string::npos, reads[0].find("FacId=0x2200 wIndex=0 len=758")) << reads[0];
}

TEST_F(ModuleTable, AnUnknownDeviceIsNotLookedFor) {
  struct Row {
    const char* name;
    uint16_t vid, pid;
    const char* line;
  } rows[] = {
      {"unknown product id", 0x0E7B, 99,
       "    cannot find part number for Dev(vid:0x0e7b,pid:0x0063)"},
      {"another vendor", 0x1234, 5, "    cannot find part number for Dev(vid:0x1234,pid:0x0005)"},
  };
  for (const Row& r : rows) {
    UseSupply({{0, "1,1,1362500300"}});
    benchctl::ClearRecord();
    int32_t serial = 0;
    EXPECT_FALSE(Find(r.vid, r.pid, serial)) << r.name;
    EXPECT_EQ(-1, serial) << r.name;
    EXPECT_EQ(std::vector<std::string>{r.line}, lines_.Lines()) << r.name;
    EXPECT_TRUE(benchctl::CallRecord("VendorRequestIn").empty()) << r.name;
    lines_.Clear();
  }
}

TEST_F(ModuleTable, AFailedOrShortReadLooksAtNoPosition) {
  struct Row {
    const char* name;
    const char* fault;
    const char* readLine;
  } rows[] = {
      {"one byte short", "Operation=VendorRequestIn FacId=0x2200 Action=Short Bytes=757",
       "GetFacilityData, readen 757B"},
      {"nothing at all", "Operation=VendorRequestIn FacId=0x2200 Action=Short Bytes=0",
       "GetFacilityData, readen 0B"},
      {"the request fails",
       "Operation=VendorRequestIn FacId=0x2200 Action=Status Status=0xE0000004",
       "GetFacilityData, readen -1B"},
  };
  for (const Row& r : rows) {
    UseSupply({{0, "1,2001,1362500300"}}, r.fault);
    int32_t serial = 0;
    EXPECT_FALSE(Find(0x0E7B, 5, serial)) << r.name;
    EXPECT_EQ(-1, serial) << r.name;
    const std::vector<std::string> expected = {
        "    part numbers [1362500300,] for Dev(vid:0x0e7b,pid:0x0005)",
        "   read structure with istalled modules form PS"};
    EXPECT_EQ(expected, lines_.Lines()) << r.name;
    ASSERT_EQ(2u, readLog_.Lines().size()) << r.name;
    EXPECT_EQ(0u, readLog_.Lines()[1].find(r.readLine)) << r.name << ": " << readLog_.Lines()[1];
    lines_.Clear();
    readLog_.Clear();
  }
}

TEST_F(ModuleTable, NoConnectionFindsNothing) {
  int32_t serial = 0;
  EXPECT_FALSE(FindModuleSerial(0x0E7B, 5, nullptr, &lines_, TransferList{}, serial));
  EXPECT_EQ(-1, serial);
  EXPECT_EQ(2u, lines_.Lines().size());
}

}  // namespace
}  // namespace tessaro
