// The device table against the bench: the maker's devices with their
// power supplies, the refresh under the mutex "CorvelDll", and the driver
// API version the library works with.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "benchctl/bench_control.h"
#include "benchctl/faults_fired.h"
#include "corvel_dll.h"
#include "hwport/port.h"
#include "lumetra/sync.h"
#include "session_fixture.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"

namespace corvel_test {
namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

struct Row {
  DWORD vendorId, productId, serial, supplyId;
  bool operator==(const Row&) const = default;
};

std::string Describe(const Row& r) {
  char text[100];
  wsprintfA(text, "{0x%X, %u, %u, 0x%X}", r.vendorId, r.productId, r.serial, r.supplyId);
  return text;
}

class DeviceList : public ::testing::Test {
 protected:
  void TearDown() override { benchctl::ExpectFaultsFired(file_); }
  // Every fault rule of the bench replaced has fired.
  void Use(const benchctl::BenchSpec& spec) {
    benchctl::ExpectFaultsFired(file_);
    file_ = benchctl::UseBench(folder_.Path(), spec);
    ASSERT_FALSE(file_.empty()) << hwport::BenchLoadError();
    ASSERT_TRUE(dll_.Bound());
  }
  std::vector<Row> Rows() {
    std::vector<Row> rows;
    int count = dll_.GetDeviceCount();
    for (int i = 0; i < count; ++i) {
      Row r{};
      EXPECT_EQ(0, dll_.GetDeviceInfo(i, &r.vendorId, &r.productId, &r.serial, &r.supplyId)) << i;
      rows.push_back(r);
    }
    return rows;
  }
  testsupport::TestFolder folder_;
  std::string file_;
  CorvelDll dll_;
};

TEST_F(DeviceList, ListsTheMakersDevicesWithTheSupplyThatCarriesThem) {
  struct Case {
    const char* name;
    benchctl::BenchSpec bench;
    std::vector<Row> rows;
  };
  std::vector<Case> cases;
  cases.push_back({"SupplyWithTwoInstrumentsInItsModuleTable",
                   benchctl::BenchSpec()
                       .Supply(16, "P700")
                       .With("SupplyId", "0x1234")
                       .With("Module0", "1,12345,1.5")
                       .With("Module3", "1,678,2.5")
                       .Instrument(8, "A12345")
                       .With("Parent", "0")
                       .Instrument(5, "B678")
                       .With("Parent", "0"),
                   {{0xE7B, 16, 700, 0x1234}, {0xE7B, 8, 12345, 0x1234}, {0xE7B, 5, 678, 0x1234}}});
  cases.push_back({"EmptyModuleSlotOrUnknownSerialGivesNoSupply",
                   benchctl::BenchSpec()
                       .Supply(9, "Q5")
                       .With("SupplyId", "77")
                       .With("Module0", "0,12345,1.5")
                       .With("Module1", "1,999,1.5")
                       .Instrument(8, "A12345")
                       .Instrument(6, "C41"),
                   {{0xE7B, 9, 5, 77}, {0xE7B, 8, 12345, 0}, {0xE7B, 6, 41, 0}}});
  cases.push_back(
      {"OtherMakersDeviceIsLeftOut",
       benchctl::BenchSpec().Instrument(5, "A1").With("VendorId", "0x1234").Instrument(41, "A2"),
       {{0xE7B, 41, 2, 0}}});
  cases.push_back({"SupplyWithoutModuleTableIsLeftOut",
                   benchctl::BenchSpec().Supply(16, "P1").Instrument(7, "A3").Fault(
                       "Device=0 Operation=VendorRequestIn FacId=0x2200 Action=Status "
                       "Status=0xE0000004 Times=0"),
                   {{0xE7B, 7, 3, 0}}});
  cases.push_back(
      {"DeviceNotOnTheBusIsLeftOut",
       benchctl::BenchSpec().Instrument(40, "A4").With("Present", "0").Instrument(5, "A5"),
       {{0xE7B, 5, 5, 0}}});
  cases.push_back({"EmptyBus", benchctl::BenchSpec(), {}});
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    Use(c.bench);
    ASSERT_EQ(0, dll_.LibInit());
    std::vector<Row> rows = Rows();
    EXPECT_EQ(c.rows.size(), rows.size()) << c.name;
    for (size_t i = 0; i < rows.size() && i < c.rows.size(); ++i)
      EXPECT_EQ(Describe(c.rows[i]), Describe(rows[i])) << c.name << " entry " << i;
    // A refresh gives the same table again.
    EXPECT_EQ(0, dll_.UpdateDeviceList()) << c.name;
    EXPECT_EQ(c.rows.size(), Rows().size()) << c.name;
    dll_.LibExit();
  }
}

TEST_F(DeviceList, SessionsOpenTheDeviceTheyNameAlsoBehindLeftOutMembers) {
  // The left-out supply and the other maker's device stand before the
  // instrument in the driver's list: the session must still get its device.
  Use(benchctl::BenchSpec()
          .TimeScale(1000)
          .Supply(16, "P1")
          .Fault("Device=0 Operation=VendorRequestIn FacId=0x2200 Action=Status "
                 "Status=0xE0000004 Times=0")
          .Instrument(5, "A1")
          .With("VendorId", "0x1234")
          .Instrument(8, "A12345")
          .With("Product", "TR430"));
  ASSERT_EQ(0, dll_.LibInit());
  ASSERT_EQ(1, dll_.GetDeviceCount());
  benchctl::ClearRecord();
  LmSession session = nullptr;
  ASSERT_EQ(0, dll_.OpenDevice("USB::0xE7B::0x8::12345::INSTR", &session));
  std::vector<std::string> opens = benchctl::CallRecord("CreateFile");
  ASSERT_EQ(1u, opens.size());
  EXPECT_NE(std::string::npos, opens[0].find(" device 2")) << opens[0];
  EXPECT_EQ("TR430", dll_.Text(session, 7));
  EXPECT_EQ(0, dll_.CloseDevice(session));
}

TEST_F(DeviceList, DeviceInfoTakesNullPointersAndRefusesAnIndexPastTheEnd) {
  Use(benchctl::BenchSpec().Instrument(8, "A12345"));
  ASSERT_EQ(0, dll_.LibInit());
  DWORD productId = 0;
  EXPECT_EQ(0, dll_.GetDeviceInfo(0, nullptr, &productId, nullptr, nullptr));
  EXPECT_EQ(8u, productId);
  EXPECT_EQ(Status(LM_ERROR_PARAMETER1), dll_.GetDeviceInfo(1, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(Status(LM_ERROR_PARAMETER1),
            dll_.GetDeviceInfo(0xFFFFFFFF, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(DeviceList, TraceNamesEveryDeviceFound) {
  Use(benchctl::BenchSpec().Instrument(8, "A12345").Instrument(5, "A1").With("VendorId", "0x1234"));
  ASSERT_EQ(0, dll_.LibInit());
  EXPECT_EQ(Status(LM_ERROR_PARAMETER1), dll_.GetDeviceInfo(3, nullptr, nullptr, nullptr, nullptr));
  dll_.LibExit();
  EXPECT_EQ(
      "In LmUpdateDeviceList:\r\n"
      "   Device found: VID: 0xe7b, PID: 0x8, SerialNumber: 0x3039\r\n"
      "   Return value LM_SUCCESS\r\n\r\n"
      "In LmGetDeviceInfo:\r\n"
      "   ERROR: LM_ERROR_PARAMETER1, return\r\n\r\n",
      testsupport::ReadFileOr("c:\\Corvel.log", "<no log>"));
}

TEST_F(DeviceList, WithoutTheDriversInterfaceListTheTableIsEmpty) {
  Use(benchctl::BenchSpec()
          .Instrument(8, "A12345")
          .Fault("Operation=InterfaceList Times=0 Action=Status Status=13"));
  ASSERT_EQ(0, dll_.LibInit());
  EXPECT_EQ(0, dll_.UpdateDeviceList());
  EXPECT_EQ(0, dll_.GetDeviceCount());
  EXPECT_TRUE(benchctl::CallRecord("CreateFile").empty()) << "no device is opened by number";
}

TEST_F(DeviceList, BeforeTheStartTheRefreshFailsAndTheTableIsEmpty) {
  Use(benchctl::BenchSpec().Instrument(8, "A12345"));
  EXPECT_EQ(Status(LM_ERROR_SYSTEM_ERROR), dll_.UpdateDeviceList());
  EXPECT_EQ(0, dll_.GetDeviceCount());
  EXPECT_TRUE(benchctl::CallRecord().empty());
}

TEST_F(DeviceList, OnlyDriverApiVersion0141IsAccepted) {
  struct Case {
    uint16_t api;
    int count;
    int open;
  };
  const std::vector<Case> cases = {
      {0x0141, 1, 0},
      {0x0130, 0, Status(LM_ERROR_RSRC_NFOUND)},
      {0x0142, 0, Status(LM_ERROR_RSRC_NFOUND)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.api);
    Use(benchctl::BenchSpec().TimeScale(1000).Driver(c.api).Instrument(8, "A12345"));
    // A refused version asks nobody: the start returns.
    ASSERT_EQ(0, dll_.LibInit());
    EXPECT_EQ(c.count, dll_.GetDeviceCount());
    LmSession session = nullptr;
    EXPECT_EQ(c.open, dll_.OpenDevice("USB::0xE7B::0x8::12345::INSTR", &session));
    if (c.open == 0) dll_.CloseDevice(session);
    EXPECT_EQ(c.count == 0, benchctl::CallRecord("ReadDescriptor").empty())
        << "a refused driver is not used";
    dll_.LibExit();
  }
}

// Holds the mutex "CorvelDll" on a thread of its own until told to let go.
class MutexHolder {
 public:
  MutexHolder() {
    thread_.Start([this] {
      HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, "CorvelDll");
      WaitForSingleObject(m, INFINITE);
      SetEvent(held_);
      WaitForSingleObject(release_, INFINITE);
      ReleaseMutex(m);
      CloseHandle(m);
    });
    WaitForSingleObject(held_, 10000);
  }
  ~MutexHolder() {
    SetEvent(release_);
    EXPECT_TRUE(thread_.Join(testsupport::kUiWaitMs));
    CloseHandle(held_);
    CloseHandle(release_);
  }

 private:
  HANDLE held_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE release_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  lm::Thread thread_;
};

TEST_F(DeviceList, RefreshWaitsAtMostOneSecondForTheMutex) {
  Use(benchctl::BenchSpec().TimeScale(1000).Instrument(8, "A12345"));
  ASSERT_EQ(0, dll_.LibInit());
  {
    MutexHolder other;
    benchctl::ClearRecord();
    DWORD start = GetTickCount();
    EXPECT_EQ(Status(LM_ERROR_TMO), dll_.UpdateDeviceList());
    EXPECT_GE(GetTickCount() - start, 984u) << "a second of the wall clock";
    EXPECT_TRUE(benchctl::CallRecord().empty()) << "no device is touched without the mutex";
    // The table stays as the last refresh left it.
    EXPECT_EQ(1, dll_.GetDeviceCount());
  }
  EXPECT_EQ(0, dll_.UpdateDeviceList());
}

TEST_F(DeviceList, RefreshHoldsTheMutexWhileItReadsTheDevices) {
  // The supply's module table comes late: the refresh is inside its device
  // reads for two seconds.
  Use(benchctl::BenchSpec()
          .Instrument(8, "A12345")
          .Supply(16, "P1")
          .Fault(
              "Device=1 Operation=VendorRequestIn FacId=0x2200 Action=Late DelayMs=2000 Times=0"));
  ASSERT_EQ(0, dll_.LibInit());
  benchctl::ClearRecord();
  int result = -1;
  lm::Thread refresh([&] { result = dll_.UpdateDeviceList(); });
  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "CorvelDll");
  ASSERT_NE(nullptr, mutex);
  // The bench records the fault as the late request starts; the refresh is
  // inside it for the next two seconds.
  EXPECT_TRUE(Eventually([] { return !benchctl::CallRecord(" Late").empty(); }))
      << "the supply's module table was never asked for";
  DWORD during = WaitForSingleObject(mutex, 0);
  if (during == WAIT_OBJECT_0) ReleaseMutex(mutex);
  EXPECT_TRUE(refresh.Join(testsupport::kUiWaitMs));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), during) << "the refresh let go of the mutex";
  EXPECT_EQ(0, result);
  EXPECT_EQ(2, dll_.GetDeviceCount());
  // Released at the end.
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(mutex, 0));
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}

}  // namespace
}  // namespace corvel_test
