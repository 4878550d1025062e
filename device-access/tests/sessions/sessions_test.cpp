// Sessions against the bench: opening by resource name or registry alias,
// sharing a device, the session table's limit, and devices that leave.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "benchctl/bench_control.h"
#include "corvel_dll.h"
#include "hwport/port.h"
#include "testsupport/testdir.h"

namespace corvel_test {
namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

class Sessions : public ::testing::Test {
 protected:
  void SetUp() override {
    // Slot 0 a supply carrying slot 1; slot 2 stands alone.
    Use(benchctl::BenchSpec()
            .TimeScale(10000)
            .Supply(16, "P700")
            .With("SupplyId", "0x55")
            .With("Module0", "1,12345,1.5")
            .Instrument(8, "A12345")
            .With("Parent", "0")
            .Instrument(5, "B42"));
    ASSERT_EQ(0, dll_.LibInit());
    ASSERT_EQ(3, dll_.GetDeviceCount());
  }
  void Use(const benchctl::BenchSpec& spec) {
    file_ = benchctl::UseBench(folder_.Path(), spec);
    ASSERT_FALSE(file_.empty()) << hwport::BenchLoadError();
    ASSERT_TRUE(dll_.Bound());
  }
  testsupport::TestFolder folder_;
  std::string file_;
  CorvelDll dll_;
};

const char kInstrument[] = "USB::0xE7B::0x8::12345::INSTR";

TEST_F(Sessions, OpenByResourceNameOrAlias) {
  AliasKey module("CorvelTestModule", kInstrument);
  AliasKey lower("CorvelTestLower", "USB::0xe7b::0x8::12345::INSTR");
  AliasKey gone("CorvelTestGone", "USB::0xE7B::0x8::999::INSTR");
  AliasKey empty("CorvelTestNoResource", nullptr);
  struct Case {
    const char* name;
    int status;
    const char* resource;  // attribute 2 of the session opened
  };
  const std::vector<Case> cases = {
      {kInstrument, 0, kInstrument},
      {"USB::0xE7B::0x10::700::INSTR", 0, "USB::0xE7B::0x10::700::INSTR"},
      {"USB::E7B::5::42", 0, "USB::0xE7B::0x5::42::INSTR"},
      {"CorvelTestModule", 0, kInstrument},
      {"CorvelTestLower", 0, kInstrument},
      {"USB::0xE7B::0x8::999::INSTR", Status(LM_ERROR_RSRC_NFOUND), nullptr},
      {"USB::0xE7B::0x9::12345::INSTR", Status(LM_ERROR_RSRC_NFOUND), nullptr},
      {"CorvelTestGone", Status(LM_ERROR_RSRC_NFOUND), nullptr},
      {"USB::0xE7B::0x8", Status(LM_ERROR_INV_RSRC_NAME), nullptr},
      {"GPIB::USB::0xE7B::0x8::12345::INSTR", Status(LM_ERROR_INV_RSRC_NAME), nullptr},
      {"CorvelTestNoResource", Status(LM_ERROR_INV_RSRC_NAME), nullptr},
      {"CorvelTestNoSuchAlias", Status(LM_ERROR_INV_RSRC_NAME), nullptr},
      {"", Status(LM_ERROR_INV_RSRC_NAME), nullptr},
  };
  for (const Case& c : cases) {
    LmSession session = nullptr;
    EXPECT_EQ(c.status, dll_.OpenDevice(c.name, &session)) << c.name;
    if (c.status != 0) {
      EXPECT_EQ(nullptr, session) << c.name;
      continue;
    }
    EXPECT_EQ(c.resource, dll_.Text(session, 2)) << c.name;
    EXPECT_EQ(0, dll_.CloseDevice(session)) << c.name;
  }
}

TEST_F(Sessions, TwoSessionsShareOneDeviceObjectUntilTheLastCloses) {
  benchctl::ClearRecord();
  LmSession first = nullptr, second = nullptr;
  ASSERT_EQ(0, dll_.OpenDevice(kInstrument, &first));
  ASSERT_EQ(0, dll_.OpenDevice("USB::0xE7B::0x8::12345::INSTR", &second));
  EXPECT_NE(first, second);
  EXPECT_EQ(1u, benchctl::CallRecord("CreateFile").size());
  EXPECT_EQ(1u, benchctl::CallRecord("ApplyConfiguration").size());
  EXPECT_EQ(0, dll_.CloseDevice(first));
  EXPECT_TRUE(benchctl::CallRecord("CloseHandle").empty());
  EXPECT_EQ("USB::0xE7B::0x8::12345::INSTR", dll_.Text(second, 2));
  EXPECT_EQ(0, dll_.CloseDevice(second));
  EXPECT_EQ(1u, benchctl::CallRecord("CloseHandle").size());
  // A closed session is unknown.
  EXPECT_EQ(Status(LM_ERROR_INV_OBJECT), dll_.CloseDevice(second));
}

TEST_F(Sessions, The257thSessionIsRefusedAndLeavesTheDeviceAsBefore) {
  std::vector<LmSession> sessions(256, nullptr);
  for (size_t i = 0; i < sessions.size(); ++i)
    ASSERT_EQ(0, dll_.OpenDevice(kInstrument, &sessions[i])) << i;
  LmSession extra = nullptr;
  EXPECT_EQ(Status(LM_ERROR_TOO_MANY_OPEN_SESSIONS), dll_.OpenDevice(kInstrument, &extra));
  EXPECT_EQ(nullptr, extra);
  benchctl::ClearRecord();
  for (size_t i = 0; i + 1 < sessions.size(); ++i) ASSERT_EQ(0, dll_.CloseDevice(sessions[i])) << i;
  EXPECT_TRUE(benchctl::CallRecord("CloseHandle").empty()) << "one session still uses it";
  EXPECT_EQ(0, dll_.CloseDevice(sessions.back()));
  EXPECT_EQ(1u, benchctl::CallRecord("CloseHandle").size()) << "the last close ends the object";
}

TEST_F(Sessions, DeviceRemovedBetweenRefreshAndOpenIsNotFound) {
  ASSERT_TRUE(benchctl::RemoveDevice(2));
  LmSession session = nullptr;
  EXPECT_EQ(Status(LM_ERROR_RSRC_NFOUND), dll_.OpenDevice("USB::0xE7B::0x5::42::INSTR", &session));
  EXPECT_EQ(nullptr, session);
  // The table still lists it until the next refresh.
  EXPECT_EQ(3, dll_.GetDeviceCount());
  EXPECT_EQ(0, dll_.UpdateDeviceList());
  EXPECT_EQ(2, dll_.GetDeviceCount());
}

TEST_F(Sessions, SessionOfARemovedDeviceIsDisconnectedUntilItReturns) {
  LmSession instrument = nullptr, alone = nullptr;
  ASSERT_EQ(0, dll_.OpenDevice(kInstrument, &instrument));
  ASSERT_EQ(0, dll_.OpenDevice("USB::0xE7B::0x5::42::INSTR", &alone));
  ASSERT_EQ(0, dll_.SetAttribute(instrument, 1, 0xCAFE));
  // The supply leaves and takes its instrument with it.
  ASSERT_TRUE(benchctl::RemoveDevice(0));
  // Before the refresh the product string read finds the device gone.
  EXPECT_EQ("<status 0xBFFF003E>", dll_.Text(instrument, 7));
  ASSERT_EQ(0, dll_.UpdateDeviceList());
  EXPECT_EQ(1, dll_.GetDeviceCount());
  DWORD value = 0;
  const int disconnected = Status(LM_ERROR_DEVICE_DISCONNECTED);
  EXPECT_EQ(disconnected, dll_.GetAttribute(instrument, 1, &value));
  EXPECT_EQ(disconnected, dll_.SetAttribute(instrument, 1, 1));
  // The other session moved to the device's new place in the table.
  EXPECT_EQ("USB::0xE7B::0x5::42::INSTR", dll_.Text(alone, 2));

  ASSERT_TRUE(benchctl::ArriveDevice(0));
  ASSERT_EQ(0, dll_.UpdateDeviceList());
  EXPECT_EQ(3, dll_.GetDeviceCount());
  EXPECT_EQ(0, dll_.GetAttribute(instrument, 1, &value));
  EXPECT_EQ(0xCAFEu, value) << "the session kept its attributes";
  benchctl::ClearRecord();
  EXPECT_EQ(0, dll_.CloseDevice(instrument));
  // (The change window's own refresh after the notices may close more.)
  EXPECT_LE(1u, benchctl::CallRecord("CloseHandle").size()) << "re-attached to a device object";
  EXPECT_EQ(0, dll_.CloseDevice(alone));
}

TEST_F(Sessions, EndOfTheLibraryClosesTheSessions) {
  LmSession session = nullptr;
  ASSERT_EQ(0, dll_.OpenDevice(kInstrument, &session));
  benchctl::ClearRecord();
  EXPECT_EQ(0, dll_.LibExit());
  EXPECT_EQ(1u, benchctl::CallRecord("CloseHandle").size());
  EXPECT_EQ(0, dll_.GetDeviceCount());
  EXPECT_EQ(Status(LM_ERROR_INV_OBJECT), dll_.CloseDevice(session));
}

TEST_F(Sessions, SessionOfAGoneDeviceClosesAndFreesItsSlot) {
  // Every slot taken by a session of the device that then leaves.
  std::vector<LmSession> sessions(256, nullptr);
  for (size_t i = 0; i < sessions.size(); ++i)
    ASSERT_EQ(0, dll_.OpenDevice("USB::0xE7B::0x5::42::INSTR", &sessions[i])) << i;
  ASSERT_TRUE(benchctl::RemoveDevice(2));
  ASSERT_EQ(0, dll_.UpdateDeviceList());
  EXPECT_EQ(Status(LM_ERROR_DEVICE_DISCONNECTED), dll_.SetAttribute(sessions[0], 1, 1));
  for (size_t i = 0; i < sessions.size(); ++i) ASSERT_EQ(0, dll_.CloseDevice(sessions[i])) << i;
  EXPECT_EQ(Status(LM_ERROR_INV_OBJECT), dll_.CloseDevice(sessions[0]));
  // The slots are free again.
  LmSession session = nullptr;
  EXPECT_EQ(0, dll_.OpenDevice(kInstrument, &session));
  EXPECT_EQ(0, dll_.CloseDevice(session));
}

TEST_F(Sessions, EndOfTheLibraryClosesASessionOfAGoneDeviceToo) {
  LmSession session = nullptr;
  ASSERT_EQ(0, dll_.OpenDevice("USB::0xE7B::0x5::42::INSTR", &session));
  ASSERT_TRUE(benchctl::RemoveDevice(2));
  ASSERT_EQ(0, dll_.UpdateDeviceList());
  EXPECT_EQ(0, dll_.LibExit());
  EXPECT_EQ(Status(LM_ERROR_INV_OBJECT), dll_.CloseDevice(session));
}

TEST_F(Sessions, OpenWithoutASessionPointerIsRefusedAndOpensNothing) {
  benchctl::ClearRecord();
  EXPECT_EQ(Status(LM_ERROR_PARAMETER2), dll_.OpenDevice(kInstrument, nullptr));
  EXPECT_TRUE(benchctl::CallRecord("CreateFile").empty());
  // Nothing left behind: the device's only session opens and closes it.
  LmSession session = nullptr;
  ASSERT_EQ(0, dll_.OpenDevice(kInstrument, &session));
  EXPECT_EQ(0, dll_.CloseDevice(session));
  EXPECT_EQ(1u, benchctl::CallRecord("CloseHandle").size());
}

TEST_F(Sessions, OpenFailuresAndAttributeReadsAreTraced) {
  AliasKey other("CorvelTestOther", kInstrument);
  LmSession session = nullptr;
  dll_.OpenDevice("CorvelTestNoSuchAlias", &session);
  dll_.OpenDevice("USB::bad", &session);
  dll_.OpenDevice("USB::0xE7B::0x8::1::INSTR", &session);
  ASSERT_EQ(0, dll_.OpenDevice(kInstrument, &session));
  dll_.GetAttribute(session, 1, nullptr);
  dll_.CloseDevice(session);
  dll_.LibExit();
  std::string log = testsupport::ReadFileOr("c:\\Corvel.log", "<no log>");
  const std::string refresh =
      "In LmUpdateDeviceList:\r\n"
      "   Device found: VID: 0xe7b, PID: 0x10, SerialNumber: 0x2bc\r\n"
      "   Device found: VID: 0xe7b, PID: 0x8, SerialNumber: 0x3039\r\n"
      "   Device found: VID: 0xe7b, PID: 0x5, SerialNumber: 0x2a\r\n"
      "   Return value LM_SUCCESS\r\n\r\n";
  EXPECT_EQ(refresh +
                "   ERROR: RegOpenKey(reg_key, ResourceName, &alias_key) != ERROR_SUCCESS, "
                "return\r\n\r\n"
                "   ERROR: sscanf(new_resource, \"USB::x::x::u\", &vendor_id, &product_id, "
                "&serial_number) < 3, return\r\n\r\n"
                "   ERROR: LM_ERROR_RSRC_NFOUND, return\r\n\r\n"
                "   Return value LM_SUCCESS\r\n\r\n"
                "In LmGetAttribute:\r\n"
                "   ERROR: LM_ERROR_PARAMETER3, return\r\n\r\n",
            log);
}

}  // namespace
}  // namespace corvel_test
