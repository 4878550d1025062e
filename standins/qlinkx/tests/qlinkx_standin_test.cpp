// qlinkx.dll from the program folder against bench devices: the device
// search by ids, device numbers, registers, interrupt transfers, raw string
// descriptors, and a device that leaves the bus.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "benchctl/bench_control.h"
#include "hwport/clock.h"
#include "hwport/port.h"
#include "lumetra/dll_functions.h"
#include "testsupport/testdir.h"

namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

constexpr int32_t kVendor = 0x0E7B;

// The seven functions, taken by name from the library in the program folder.
struct Qlinkx {
  int32_t(WINAPI* AssignDevice)(int32_t, int32_t, const char*, void*) = nullptr;
  int32_t(WINAPI* UnAssignDevice)(int32_t) = nullptr;
  int32_t(WINAPI* GetSerNrs)(int32_t, int32_t, char*) = nullptr;
  int32_t(WINAPI* GetRegister)(int32_t, int32_t, int32_t, void*, int32_t) = nullptr;
  int32_t(WINAPI* SetRegister)(int32_t, int32_t, int32_t, const void*, int32_t) = nullptr;
  int32_t(WINAPI* ReadIrpt)(int32_t, void*, int32_t*) = nullptr;
  int32_t(WINAPI* GetStringDescriptor)(int32_t, int32_t, void*, int32_t*) = nullptr;
};

const Qlinkx& Library() {
  static Qlinkx q = [] {
    Qlinkx l;
    HMODULE m = LoadLibraryA((testsupport::ProgramDir() + "\\qlinkx.dll").c_str());
    if (!m) return l;
    lm::BindFunctions(m, {{"AssignDevice", &l.AssignDevice},
                          {"UnAssignDevice", &l.UnAssignDevice},
                          {"GetSerNrs", &l.GetSerNrs},
                          {"GetRegister", &l.GetRegister},
                          {"SetRegister", &l.SetRegister},
                          {"ReadIrpt", &l.ReadIrpt},
                          {"GetStringDescriptor", &l.GetStringDescriptor}});
    return l;
  }();
  return q;
}

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) { return U16(p) | static_cast<uint32_t>(U16(p + 2)) << 16; }

std::string Ascii(const uint8_t* descriptor, int32_t size) {
  std::string text;
  for (int32_t i = 2; i + 1 < size; i += 2) text += static_cast<char>(descriptor[i]);
  return text;
}

class QlinkxStandinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const Qlinkx& l = Library();
    ASSERT_TRUE(l.AssignDevice && l.UnAssignDevice && l.GetSerNrs && l.GetRegister &&
                l.SetRegister && l.ReadIrpt && l.GetStringDescriptor)
        << "qlinkx.dll or one of its seven functions missing";
  }
  void TearDown() override {
    // Device numbers live in the library across tests; each test starts without any.
    for (int32_t n = 0; n < 64; ++n) q.UnAssignDevice(n);
  }
  void Use(const benchctl::BenchSpec& spec) {
    file_ = benchctl::UseBench(folder_.Path(), spec);
    ASSERT_FALSE(file_.empty()) << hwport::BenchLoadError();
  }
  static benchctl::BenchSpec Bench() {
    benchctl::BenchSpec s;
    s.TimeScale(100);
    return s;
  }
  // The supply in slot 0 and a TR440 in slot 1.
  static benchctl::BenchSpec SupplyAndInstrument() {
    benchctl::BenchSpec s = Bench();
    s.Supply(16, "0000004711").Instrument(5, "0000001001");
    return s;
  }
  std::string SerNrs(int32_t vendor, int32_t pid, int32_t* count) {
    std::vector<char> text(2048, 'X');
    *count = q.GetSerNrs(vendor, pid, text.data());
    return text.data();
  }

  const Qlinkx& q = Library();
  testsupport::TestFolder folder_;
  std::string file_;
};

TEST_F(QlinkxStandinTest, GetSerNrsCountsTheDevicesOfAnIdPairAndListsTheirSerials) {
  benchctl::BenchSpec s = Bench();
  s.Supply(16, "0000004711")
      .Instrument(5, "0000001001")
      .Instrument(6, "2001")
      .Instrument(6, "2002")
      .Instrument(7, "0000007001")
      .With("Mode", "safe")
      .Instrument(8, "");
  Use(s);
  struct Row {
    const char* what;
    int32_t vendor, pid, count;
    const char* text;
  } rows[] = {
      {"power supply", kVendor, 16, 1, ";0000004711"},
      {"instrument", kVendor, 5, 1, ";0000001001"},
      {"two of one kind", kVendor, 6, 2, ";2001      ;2002      "},
      {"update mode: letters in the serial", kVendor, 7, 1, ";safety mode"},
      {"no serial-number string", kVendor, 8, 1, ";          "},
      {"no such product", kVendor, 41, 0, ""},
      {"another vendor", 0x1234, 5, 0, ""},
  };
  for (const Row& r : rows) {
    int32_t count = -99;
    EXPECT_EQ(r.text, SerNrs(r.vendor, r.pid, &count)) << r.what;
    EXPECT_EQ(r.count, count) << r.what;
  }
  int32_t count = 0;
  EXPECT_EQ("0000004711", SerNrs(kVendor, 16, &count).substr(1, 10))
      << "characters 1 to 10 are the serial number";
}

TEST_F(QlinkxStandinTest, AssignDeviceGivesDeviceNumbersAndFillsTheBlockWithTheDeviceDescriptor) {
  Use(SupplyAndInstrument());
  uint8_t block[18];
  std::memset(block, 0xEE, sizeof block);
  EXPECT_EQ(0, q.AssignDevice(kVendor, 16, "", block));
  const uint8_t supplyDescriptor[18] = {18,   1,  0x10, 0x01, 0,    0, 0, 64, 0x7B,
                                        0x0E, 16, 0,    0x00, 0x01, 1, 2, 3,  1};
  EXPECT_EQ(0, std::memcmp(block, supplyDescriptor, sizeof block));
  EXPECT_EQ(1, q.AssignDevice(kVendor, 5, "", block));
  EXPECT_EQ(5, block[10]);
  EXPECT_EQ(0, q.AssignDevice(kVendor, 16, "", nullptr)) << "an assigned device keeps its number";
  EXPECT_EQ(-1, q.AssignDevice(kVendor, 41, "", block)) << "no such device";
  EXPECT_EQ(-1, q.AssignDevice(kVendor, 5, "0000001002", block)) << "no such serial number";
  EXPECT_EQ(0, q.UnAssignDevice(0));
  EXPECT_EQ(-20, q.UnAssignDevice(0)) << "released already";
  EXPECT_EQ(1, q.AssignDevice(kVendor, 5, "0000001001", nullptr))
      << "the serial number names the instrument assigned already";
  EXPECT_EQ(1, q.UnAssignDevice(1));
  EXPECT_EQ(0, q.AssignDevice(kVendor, 5, "0000001001", nullptr)) << "the lowest free number";
}

TEST_F(QlinkxStandinTest, OfTwoDevicesOfOneKindTheSerialNumberChoosesAndEmptyTakesTheFirst) {
  benchctl::BenchSpec s = Bench();
  s.Instrument(6, "2001").Instrument(6, "2002");
  Use(s);
  int32_t second = q.AssignDevice(kVendor, 6, "2002", nullptr);
  int32_t first = q.AssignDevice(kVendor, 6, nullptr, nullptr);
  ASSERT_GE(second, 0);
  ASSERT_GE(first, 0);
  EXPECT_NE(first, second);
  uint8_t d[256];
  int32_t size = sizeof d;
  ASSERT_EQ(0, q.GetStringDescriptor(second, 3, d, &size));
  EXPECT_EQ("2002", Ascii(d, size));
  size = sizeof d;
  ASSERT_EQ(0, q.GetStringDescriptor(first, 3, d, &size));
  EXPECT_EQ("2001", Ascii(d, size));
}

TEST_F(QlinkxStandinTest, RegistersAreVendorRequestsByFacIdOnTheGivenChannel) {
  benchctl::BenchSpec s = Bench();
  s.Supply(16, "0000004711")
      .With("Release", "12")
      .With("ReleaseDate", "2968")
      .With("Beta", "3")
      .With("SupplyId", "77")
      .With("Module2", "1,123456,1362500900")
      .With("Version", "2.7")
      .Fault("Operation=VendorRequestIn FacId=0x2200 After=2 Action=Short Bytes=400");
  Use(s);
  int32_t n = q.AssignDevice(kVendor, 16, "", nullptr);
  ASSERT_EQ(0, n);

  // A read gives the bytes that came.
  std::vector<uint8_t> block(758, 0xEE);
  EXPECT_EQ(758, q.GetRegister(n, 0x2200, 0, block.data(), 758));
  EXPECT_EQ(12, U16(&block[298]));
  EXPECT_EQ(2968, U16(&block[300]));
  EXPECT_EQ(3, U16(&block[302]));
  EXPECT_EQ(1, block[332 + 2]);
  EXPECT_EQ(123456u, U32(&block[382 + 8]));
  double part = 0;
  std::memcpy(&part, &block[414 + 16], 8);
  EXPECT_EQ(1362500900.0, part);
  EXPECT_EQ(77u, U32(&block[560]));

  uint8_t version[4] = {};
  EXPECT_EQ(4, q.GetRegister(n, 0x1010, 0, version, 4));
  EXPECT_EQ(2, U16(version));
  EXPECT_EQ(7, U16(version + 2));

  const uint8_t zeros[2] = {0, 0};
  EXPECT_EQ(0, q.SetRegister(n, 0x2333, 0, zeros, 2));
  block[298] = 13;
  EXPECT_EQ(0, q.SetRegister(n, 0x2210, 0, block.data(), 758));
  std::vector<uint8_t> packet(2048, 0);
  packet[0] = 0x34;
  EXPECT_EQ(0, q.SetRegister(n, 0x2180, 0, packet.data(), 2048));
  EXPECT_EQ(4, q.GetRegister(n, 0x1010, 1, version, 4));
  EXPECT_EQ(0, q.SetRegister(n, 0x2345, 0, zeros, 2));

  // The supply keeps the block it was given; any other register keeps what
  // was written.
  std::vector<uint8_t> again(758, 0);
  EXPECT_EQ(758, q.GetRegister(n, 0x2200, 0, again.data(), 758));
  EXPECT_EQ(13, again[298]);
  EXPECT_EQ("00 00", benchctl::ReadState(file_, "Device0", "Reg.2345.0"));
  auto has = [](const std::string& part) {
    return benchctl::CallRecord(part).size() == 1 ? testing::AssertionSuccess()
                                                  : testing::AssertionFailure() << part;
  };
  EXPECT_EQ(
      2u,
      benchctl::CallRecord("VendorRequestIn FacId=0x2200 wIndex=0 len=758 -> 00000000 758").size());
  EXPECT_TRUE(has("VendorRequestOut FacId=0x2180 wIndex=0 len=2048"))
      << "a string packet passes through as it is";
  EXPECT_TRUE(has("VendorRequestIn FacId=0x1010 wIndex=1 len=4 -> 00000000 4"));

  EXPECT_EQ(-22, q.GetRegister(n, 0x0300, 0, version, 4)) << "a register the device lacks stalls";
  EXPECT_EQ(400, q.GetRegister(n, 0x2200, 0, again.data(), 758)) << "a short reply's count";
  EXPECT_EQ("1", benchctl::ReadState(file_, "Fault1", "Fired"));
}

TEST_F(QlinkxStandinTest, ReadIrptHandsOverTheInterruptTransfersOneByOne) {
  Use(SupplyAndInstrument());
  int32_t n = q.AssignDevice(kVendor, 16, "", nullptr);
  ASSERT_EQ(0, n);
  uint8_t buffer[512];
  int32_t length = 128;
  EXPECT_EQ(0, q.ReadIrpt(n, buffer, &length));
  EXPECT_EQ(0, length) << "nothing sent yet";

  const uint8_t zeros[2] = {0, 0};
  ASSERT_EQ(0, q.SetRegister(n, 0x2333, 0, zeros, 2));
  std::vector<uint8_t> reply = {18, 0,    0x00, 0x01, 0, 0, 0, 0,    0,
                                0,  0x70, 0x61, 0,    0, 0, 0, 0xC4, 0};
  ASSERT_TRUE(benchctl::QueueTransfer(0, 0x83, reply));
  std::vector<uint8_t> big(300, 0x5A);
  ASSERT_TRUE(benchctl::QueueTransfer(0, 0x83, big));
  ASSERT_TRUE(benchctl::QueueTransfer(0, 0x83, big));

  length = 128;
  EXPECT_EQ(0, q.ReadIrpt(n, buffer, &length));
  const uint8_t ack[10] = {10, 0, 0xFF, 0x67, 0, 0, 0, 0, 0x33, 0x23};
  ASSERT_EQ(10, length) << "the acknowledgement of the register write comes first";
  EXPECT_EQ(0, std::memcmp(buffer, ack, 10));

  length = 128;
  EXPECT_EQ(0, q.ReadIrpt(n, buffer, &length));
  ASSERT_EQ(18, length);
  EXPECT_EQ(0, std::memcmp(buffer, reply.data(), 18));

  length = 128;
  EXPECT_EQ(0, q.ReadIrpt(n, buffer, &length));
  EXPECT_EQ(128, length) << "a transfer longer than the buffer is cut to it";
  length = 512;
  EXPECT_EQ(0, q.ReadIrpt(n, buffer, &length));
  EXPECT_EQ(300, length);
  EXPECT_EQ(0x5A, buffer[299]);

  length = 512;
  EXPECT_EQ(0, q.ReadIrpt(n, buffer, &length));
  EXPECT_EQ(0, length);
}

TEST_F(QlinkxStandinTest, AnInterruptReadWaitsForATransferOnThePortClock) {
  benchctl::BenchSpec s;
  s.TimeScale(100).Supply(16, "0000004711");
  Use(s);
  int32_t n = q.AssignDevice(kVendor, 16, "", nullptr);
  ASSERT_EQ(0, n);
  uint8_t buffer[128];
  int32_t length = 128;
  DWORD start = hwport::TickCount();
  EXPECT_EQ(0, q.ReadIrpt(n, buffer, &length));
  DWORD waited = hwport::TickCount() - start;
  EXPECT_EQ(0, length);
  // 100 ms of the bench clock; on the wall clock it would have been 10000 of them.
  EXPECT_GE(waited, 100u);
  EXPECT_LT(waited, 5000u);
}

TEST_F(QlinkxStandinTest, GetStringDescriptorGivesTheRawDescriptor) {
  Use(SupplyAndInstrument());
  int32_t n = q.AssignDevice(kVendor, 5, "", nullptr);
  ASSERT_GE(n, 0);
  uint16_t units[512];
  std::memset(units, 0xEE, sizeof units);
  int32_t size = 512;
  EXPECT_EQ(0, q.GetStringDescriptor(n, 3, units, &size));
  ASSERT_EQ(22, size);
  const auto* bytes = reinterpret_cast<const uint8_t*>(units);
  EXPECT_EQ(22, bytes[0]);
  EXPECT_EQ(3, bytes[1]);
  EXPECT_EQ("0000001001", Ascii(bytes, size));
  size = 512;
  EXPECT_EQ(0, q.GetStringDescriptor(n, 2, units, &size));
  EXPECT_EQ("TR440", Ascii(bytes, size));
  size = 512;
  EXPECT_EQ(-22, q.GetStringDescriptor(n, 7, units, &size)) << "no descriptor 7";
  EXPECT_EQ(0, size);
}

TEST_F(QlinkxStandinTest, ADeviceThatLeftGivesMinus20UntilItsNumberIsReleased) {
  Use(SupplyAndInstrument());
  int32_t n = q.AssignDevice(kVendor, 16, "", nullptr);
  ASSERT_EQ(0, n);
  ASSERT_TRUE(benchctl::RemoveDevice(0));
  uint8_t buffer[128];
  int32_t length = 128;
  const uint8_t zeros[2] = {0, 0};
  EXPECT_EQ(-20, q.ReadIrpt(n, buffer, &length));
  EXPECT_EQ(0, length);
  EXPECT_EQ(-20, q.GetRegister(n, 0x1010, 0, buffer, 4));
  EXPECT_EQ(-20, q.SetRegister(n, 0x2333, 0, zeros, 2));
  length = 128;
  EXPECT_EQ(-20, q.GetStringDescriptor(n, 3, buffer, &length));
  EXPECT_EQ(0, length);
  int32_t count = -1;
  EXPECT_EQ("", SerNrs(kVendor, 16, &count));
  EXPECT_EQ(0, count);
  EXPECT_EQ(-1, q.AssignDevice(kVendor, 16, "", nullptr));
  EXPECT_EQ(n, q.UnAssignDevice(n));
  length = 128;
  EXPECT_EQ(-20, q.ReadIrpt(n, buffer, &length)) << "released";

  ASSERT_TRUE(benchctl::ArriveDevice(0));
  n = q.AssignDevice(kVendor, 16, "", nullptr);
  ASSERT_EQ(0, n);
  EXPECT_EQ(4, q.GetRegister(n, 0x1010, 0, buffer, 4));
}

TEST_F(QlinkxStandinTest, ADeviceThatCameBackIsAssignedAnewUnderItsOldNumber) {
  Use(SupplyAndInstrument());
  ASSERT_EQ(0, q.AssignDevice(kVendor, 16, "", nullptr));
  ASSERT_EQ(1, q.AssignDevice(kVendor, 5, "", nullptr));
  ASSERT_TRUE(benchctl::RemoveDevice(0));
  ASSERT_TRUE(benchctl::ArriveDevice(0));
  uint8_t version[4];
  EXPECT_EQ(-20, q.GetRegister(0, 0x1010, 0, version, 4)) << "the old handle ended";
  EXPECT_EQ(0, q.AssignDevice(kVendor, 16, "", nullptr));
  EXPECT_EQ(4, q.GetRegister(0, 0x1010, 0, version, 4));
  EXPECT_EQ(4, q.GetRegister(1, 0x1010, 0, version, 4)) << "the instrument stayed";
}

TEST_F(QlinkxStandinTest, HandlesTheDriverEndedCountAsADeviceGone) {
  Use(SupplyAndInstrument());
  ASSERT_EQ(0, q.AssignDevice(kVendor, 16, "", nullptr));
  // Opening the bench again ends every handle of this process, as a driver
  // restart would.
  ASSERT_TRUE(benchctl::Activate(file_));
  uint8_t buffer[128];
  int32_t length = 128;
  EXPECT_EQ(-20, q.ReadIrpt(0, buffer, &length));
  EXPECT_EQ(-20, q.GetRegister(0, 0x1010, 0, buffer, 4));
  EXPECT_EQ(0, q.AssignDevice(kVendor, 16, "", nullptr));
  EXPECT_EQ(4, q.GetRegister(0, 0x1010, 0, buffer, 4));
}

TEST_F(QlinkxStandinTest, WrongNumbersAndArgumentsAreRefused) {
  Use(SupplyAndInstrument());
  uint8_t buffer[128];
  int32_t length = 128;
  const struct {
    const char* what;
    int32_t device;
  } numbers[] = {{"never assigned", 3}, {"negative", -1}, {"past the table", 64}};
  for (const auto& r : numbers) {
    EXPECT_EQ(-20, q.ReadIrpt(r.device, buffer, &length)) << r.what;
    EXPECT_EQ(-20, q.GetRegister(r.device, 0x1010, 0, buffer, 4)) << r.what;
    EXPECT_EQ(-20, q.SetRegister(r.device, 0x2333, 0, buffer, 2)) << r.what;
    EXPECT_EQ(-20, q.GetStringDescriptor(r.device, 3, buffer, &length)) << r.what;
    EXPECT_EQ(-20, q.UnAssignDevice(r.device)) << r.what;
  }
  int32_t n = q.AssignDevice(kVendor, 16, "", nullptr);
  ASSERT_EQ(0, n);
  EXPECT_EQ(-21, q.GetSerNrs(kVendor, 16, nullptr));
  EXPECT_EQ(-21, q.ReadIrpt(n, buffer, nullptr));
  EXPECT_EQ(-21, q.ReadIrpt(n, nullptr, &length));
  EXPECT_EQ(-21, q.GetRegister(n, 0x1010, 0, nullptr, 4));
  EXPECT_EQ(-21, q.GetRegister(n, 0x1010, 0, buffer, -1));
  EXPECT_EQ(-21, q.SetRegister(n, 0x2333, 0, nullptr, 2));
  EXPECT_EQ(-21, q.GetStringDescriptor(n, 3, buffer, nullptr));
}

TEST_F(QlinkxStandinTest, ADeviceWithoutInterruptEndpointAnswersRegistersButNoInterruptReads) {
  benchctl::BenchSpec s = Bench();
  s.Supply(16, "0000004711").With("Endpoints", "81 02");
  Use(s);
  int32_t n = q.AssignDevice(kVendor, 16, "", nullptr);
  ASSERT_EQ(0, n);
  uint8_t buffer[128];
  EXPECT_EQ(4, q.GetRegister(n, 0x1010, 0, buffer, 4));
  int32_t length = 128;
  EXPECT_EQ(-22, q.ReadIrpt(n, buffer, &length));
  EXPECT_EQ(0, length);
}

}  // namespace
