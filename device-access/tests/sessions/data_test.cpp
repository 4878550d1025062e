// Bulk data packets against the bench: the packet written, the id filter,
// any packet, the user buffer, a packet after the time-out, the dump file,
// endpoint binding and a device that leaves during a transfer.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "benchctl/bench_control.h"
#include "corvel_dll.h"
#include "data_packets.h"
#include "hwport/port.h"
#include "lumetra/sync.h"
#include "session_fixture.h"
#include "testsupport/testdir.h"

namespace corvel_test {
namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();
const char* const kResource = kInstrumentResource;
const char kDumpFile[] = "c:\\lmerror.log";

TEST(Packet, DeliveryByIdAndSize) {
  struct Case {
    const char* name;
    std::vector<uint8_t> packet;  // as received
    uint16_t id;
    uint32_t size;
    int result;
    std::vector<uint8_t> delivered;
  };
  const int userBuf = Status(LM_ERROR_USER_BUF), violation = Status(LM_ERROR_RAW_RD_PROT_VIOL);
  const std::vector<uint8_t> ten = DataPacket(7, {1, 2, 3, 4, 5, 6});
  const std::vector<Case> cases = {
      {"the id: payload", ten, 7, 64, 6, {1, 2, 3, 4, 5, 6}},
      {"any id: the whole packet", ten, 0xFFFF, 64, 10, ten},
      {"payload longer than the buffer", ten, 7, 4, userBuf, {1, 2, 3, 4}},
      {"whole packet longer than the buffer", ten, 0xFFFF, 4, userBuf, {10, 0, 7, 0}},
      {"PacketSize past the bytes received", {12, 0, 7, 0, 1, 2}, 7, 64, violation, {}},
      {"PacketSize 3", {3, 0, 7, 0}, 7, 64, violation, {}},
      {"PacketSize 1, any id", {1, 0, 7, 0}, 0xFFFF, 64, violation, {}},
      {"empty payload", {4, 0, 7, 0}, 7, 64, 0, {}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> packet = c.packet;
    packet.resize(corvel::kDataReadSize);
    ASSERT_TRUE(corvel::IsWantedPacket(packet.data(), c.id)) << c.name;
    uint8_t buffer[80];
    std::memset(buffer, 0xCC, sizeof buffer);
    EXPECT_EQ(c.result,
              corvel::DeliverPacket(packet.data(), uint32_t(c.packet.size()), c.id, buffer, c.size))
        << c.name;
    EXPECT_EQ(c.delivered, std::vector<uint8_t>(buffer, buffer + c.delivered.size())) << c.name;
    EXPECT_EQ(0xCC, buffer[c.delivered.size()]) << c.name << ": nothing written past";
  }
}

TEST(Packet, WantedIsANonEmptyPacketOfTheIdOrAny) {
  std::vector<uint8_t> packet = DataPacket(7, {1});
  packet.resize(corvel::kDataReadSize);
  EXPECT_TRUE(corvel::IsWantedPacket(packet.data(), 7));
  EXPECT_TRUE(corvel::IsWantedPacket(packet.data(), 0xFFFF));
  EXPECT_FALSE(corvel::IsWantedPacket(packet.data(), 8));
  packet[0] = packet[1] = 0;
  EXPECT_FALSE(corvel::IsWantedPacket(packet.data(), 0xFFFF)) << "PacketSize 0";
}

class Data : public SessionTest {
 protected:
  void Open(const benchctl::BenchSpec& spec) {
    DeleteFileA(kDumpFile);
    SessionTest::Open(spec);
    // Ten minutes of the bench clock: ample for a read that skips a packet
    // on a busy machine; silent reads set time-outs of their own.
    ASSERT_EQ(0, dll_.SetAttribute(session_, 3, 600000));
  }
  void QueueIn(const std::vector<uint8_t>& packet, uint8_t endpoint = 0x81) {
    ASSERT_TRUE(benchctl::QueueTransfer(0, endpoint, packet));
  }
  // LmReadData's result and the bytes it delivered.
  std::pair<int, std::vector<uint8_t>> Read(WORD id, DWORD size) {
    std::vector<uint8_t> buffer(size + 16, 0xCC);
    int result = dll_.ReadData(session_, id, buffer.data(), size);
    size_t n = result >= 0 ? size_t(result) : result == Status(LM_ERROR_USER_BUF) ? size : 0;
    EXPECT_EQ(0xCC, buffer[size]) << "nothing written past the buffer";
    return {result, std::vector<uint8_t>(buffer.begin(), buffer.begin() + n)};
  }
  // The record's binds and unbinds.
  static std::vector<std::string> Binds() { return Calls("indEndpoint"); }
};

using Bytes = std::vector<uint8_t>;
using Result = std::pair<int, Bytes>;

TEST_F(Data, WriteOfTenBytesIsOneFourteenBytePacket) {
  Open(Instrument());
  const uint8_t data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(0, dll_.WriteData(session_, 0x0123, data, sizeof data));
  EXPECT_EQ((Bytes{14, 0, 0x23, 0x01, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}), benchctl::PacketTaken(0, 0));
  EXPECT_EQ(
      (std::vector<std::string>{"BindEndpoint 0x02 -> 00000000", "UnbindEndpoint -> 00000000"}),
      Binds());
  dll_.LibExit();
  EXPECT_NE(std::string::npos,
            TraceLogText().find("In LmWriteData:\r\n   Return value: 0x0\r\n\r\n"))
      << TraceLogText();
}

TEST_F(Data, WriteSizeIsBoundByWhatOnePacketHolds) {
  Open(Instrument());
  std::vector<uint8_t> data(4093, 0x5A);
  EXPECT_EQ(Status(LM_ERROR_PARAMETER4), dll_.WriteData(session_, 1, data.data(), 4093));
  EXPECT_EQ(Status(LM_ERROR_PARAMETER4), dll_.WriteData(session_, 1, data.data(), 0x10000));
  EXPECT_EQ(Status(LM_ERROR_PARAMETER3), dll_.WriteData(session_, 1, nullptr, 2));
  EXPECT_TRUE(benchctl::CallRecord("Endpoint").empty()) << "nothing bound";
  EXPECT_EQ(0, dll_.WriteData(session_, 1, data.data(), 4092));
  Bytes packet = benchctl::PacketTaken(0, 0);
  ASSERT_EQ(4096u, packet.size());
  EXPECT_EQ((Bytes{0x00, 0x10, 1, 0, 0x5A}), Bytes(packet.begin(), packet.begin() + 5));
}

TEST_F(Data, WriteFailures) {
  struct Case {
    const char* name;
    benchctl::BenchSpec bench;
    int status;
  };
  const std::vector<Case> cases = {
      {"no bulk OUT endpoint", Instrument().With("Endpoints", "81 83"), Status(LM_ERROR_NSUP_BULK)},
      // The open's event read resets first.
      {"reset fails",
       Instrument().Fault("Operation=ResetEndpoint Action=Status Status=0xE0000004 After=1"),
       Status(LM_ERROR_SYSTEM_ERROR)},
      {"write not answered", Instrument().Fault("Operation=Write Action=NoAnswer"),
       Status(LM_ERROR_TMO)},
      {"write fails", Instrument().Fault("Operation=Write Action=Status Status=0xE0000004"),
       Status(LM_ERROR_SYSTEM_ERROR)},
      {"packet taken in part", Instrument().Fault("Operation=Write Action=Short Bytes=4"),
       Status(LM_ERROR_SYSTEM_ERROR)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    End();
    Open(c.bench);
    ASSERT_EQ(0, dll_.SetAttribute(session_, 3, 1000));
    const uint8_t data[2] = {1, 2};
    EXPECT_EQ(c.status, dll_.WriteData(session_, 1, data, 2));
    // Whatever happened, the endpoint is free again: the next write binds.
    if (c.status != Status(LM_ERROR_NSUP_BULK)) {
      EXPECT_EQ(0, dll_.WriteData(session_, 1, data, 2));
    } else {
      End();
      EXPECT_NE(std::string::npos, TraceLogText().find("In LmWriteData:\r\n   ERROR: status == "
                                                       "USBDRV_ERR_PIPE_NOT_FOUND, return\r\n\r\n"))
          << TraceLogText();
    }
  }
}

TEST_F(Data, ReadTakesThePacketOfTheIdAndDropsTheOthers) {
  Open(Instrument());
  QueueIn(DataPacket(5, {0xAA}));
  QueueIn(DataPacket(7, {0xBB, 0xCC}));
  QueueIn(DataPacket(9, {0xDD}));
  EXPECT_EQ(Result(2, {0xBB, 0xCC}), Read(7, 64));
  EXPECT_EQ(Result(5, {5, 0, 9, 0, 0xDD}), Read(0xFFFF, 64));
}

TEST_F(Data, PacketTooLongForTheBufferIsReportedAndTheNextOneKept) {
  Open(Instrument());
  QueueIn(DataPacket(7, {1, 2, 3, 4, 5, 6}));
  QueueIn(DataPacket(7, {9, 8}));
  EXPECT_EQ(Result(Status(LM_ERROR_USER_BUF), {1, 2, 3, 4}), Read(7, 4));
  EXPECT_EQ(Result(2, {9, 8}), Read(7, 64));
}

TEST_F(Data, ReadFromTheEventEndpointWhenAttribute10IsSet) {
  Open(Instrument());
  ASSERT_EQ(0, dll_.SetAttribute(session_, 10, 1));
  QueueIn(DataPacket(7, {0x42}), 0x83);
  EXPECT_EQ(Result(1, {0x42}), Read(7, 64));
  EXPECT_EQ(
      (std::vector<std::string>{"BindEndpoint 0x83 -> 00000000", "UnbindEndpoint -> 00000000"}),
      Binds());
}

TEST_F(Data, PacketThatComesAfterTheTimeOutIsDelivered) {
  // Each packet takes 2 s to come: the wanted one ends 4 s into a read
  // that may take 3 s. (A slower clock: these spans are wall time too.)
  Open(Instrument().TimeScale(10).Fault(
      "Operation=Read Endpoint=0x81 Action=Late DelayMs=2000 Times=0"));
  ASSERT_EQ(0, dll_.SetAttribute(session_, 3, 3000));
  QueueIn(DataPacket(5, {0xAA}));
  QueueIn(DataPacket(7, {0xBB}));
  EXPECT_EQ(Result(1, {0xBB}), Read(7, 64));
}

TEST_F(Data, UnwantedPacketsUntilTheTimeOut) {
  Open(Instrument());
  ASSERT_EQ(0, dll_.SetAttribute(session_, 3, 500));
  QueueIn(DataPacket(5, {0xAA}));
  EXPECT_EQ(Result(Status(LM_ERROR_TMO), {}), Read(7, 64));
  // The packet read on the way is gone.
  QueueIn(DataPacket(7, {0xBB}));
  EXPECT_EQ(Result(5, {5, 0, 7, 0, 0xBB}), Read(0xFFFF, 64));
}

TEST_F(Data, EveryReadIsNotedInTheDumpFile) {
  Open(Instrument());
  QueueIn(DataPacket(5, {0xAB}));
  QueueIn(DataPacket(7, {0x01, 0xCD}));
  EXPECT_EQ(Result(2, {0x01, 0xCD}), Read(7, 64));
  ASSERT_EQ(0, dll_.SetAttribute(session_, 3, 500));
  EXPECT_EQ(Result(Status(LM_ERROR_TMO), {}), Read(7, 64));
  EXPECT_EQ(
      "Status: 0x0\r\nData: 0x5 0x0 0x5 0x0 0xab \r\n"
      "Status: 0x0\r\nData: 0x6 0x0 0x7 0x0 0x1 0xcd \r\n"
      "Status: 0xe000100c\r\n"
      "Status: 0xe000100c\r\n",
      testsupport::ReadFileOr(kDumpFile, "<no dump file>"));
  dll_.LibExit();
  std::string log = TraceLogText();
  EXPECT_NE(std::string::npos, log.find("In LmReadData:\r\n   Return value: 0x2\r\n\r\n"
                                        "In LmReadData:\r\n   Return value: 0xbfff0015\r\n\r\n"))
      << log;
}

TEST_F(Data, ResetFailureUnbindsTheEndpoint) {
  // The open's event read resets first.
  Open(Instrument().Fault(
      "Operation=ResetEndpoint Action=Status Status=0xE0000004 After=1 Times=2"));
  QueueIn(DataPacket(7, {0x11}));
  uint8_t buffer[8];
  // Both reads of the call fail at the reset; each unbinds.
  EXPECT_EQ(Status(LM_ERROR_SYSTEM_ERROR), dll_.ReadData(session_, 7, buffer, sizeof buffer));
  EXPECT_EQ(Result(1, {0x11}), Read(7, 64));
}

TEST_F(Data, NullBufferWithASizeIsRefused) {
  Open(Instrument());
  EXPECT_EQ(Status(LM_ERROR_PARAMETER3), dll_.ReadData(session_, 7, nullptr, 4));
  EXPECT_TRUE(benchctl::CallRecord("Endpoint").empty());
}

// Waits (bounded) until the bench has a read of the endpoint pending.
bool ReadPending(const char* endpoint) {
  std::string pending = std::string("Read ") + endpoint + " len=4096 -> pending";
  return Eventually([&] { return !benchctl::CallRecord(pending).empty(); });
}

TEST_F(Data, RefreshDuringAReadKeepsTheReadsDeviceObject) {
  Open(Instrument());
  int result = 0;
  std::vector<uint8_t> buffer(64);
  lm::Thread reader(
      [&] { result = dll_.ReadData(session_, 7, buffer.data(), DWORD(buffer.size())); });
  ASSERT_TRUE(ReadPending("0x81"));
  ASSERT_EQ(0, dll_.UpdateDeviceList());
  // The refresh re-attached the session to a new object; the read goes on
  // with the old one, which closes when the read is done.
  QueueIn(DataPacket(7, {0x77}));
  reader.Join(INFINITE);
  EXPECT_EQ(1, result);
  EXPECT_EQ(0x77, buffer[0]);
  benchctl::ClearRecord();
  EXPECT_EQ(0, dll_.CloseDevice(session_));
  EXPECT_EQ(1u, benchctl::CallRecord("CloseHandle").size());
  session_ = nullptr;
}

TEST_F(Data, SessionClosedDuringAReadEndsWhenTheReadIsDone) {
  Open(Instrument());
  int result = 0;
  uint8_t buffer[64] = {};
  lm::Thread reader([&] { result = dll_.ReadData(session_, 7, buffer, sizeof buffer); });
  ASSERT_TRUE(ReadPending("0x81"));
  EXPECT_EQ(0, dll_.CloseDevice(session_));
  EXPECT_EQ(Status(LM_ERROR_INV_OBJECT), dll_.GetStatus(session_));
  EXPECT_TRUE(benchctl::CallRecord("CloseHandle").empty()) << "the read still uses the object";
  QueueIn(DataPacket(7, {0x5C}));
  reader.Join(INFINITE);
  EXPECT_EQ(1, result);
  EXPECT_EQ(0x5C, buffer[0]);
  EXPECT_EQ(1u, benchctl::CallRecord("CloseHandle").size());
  session_ = nullptr;
}

TEST_F(Data, RefreshesWhileTransfersRun) {
  // Refreshes on one thread, the status word and packets on another: every
  // transfer either passes the gate or times out at it, none finds its
  // session's device taken away.
  Open(Instrument().TimeScale(100));
  std::vector<int> refreshes, transfers;
  lm::Thread refresher([&] {
    for (int i = 0; i < 20; ++i) refreshes.push_back(dll_.UpdateDeviceList());
  });
  for (int i = 0; i < 40; ++i) {
    transfers.push_back(dll_.GetStatus(session_));
    const uint8_t data[2] = {1, 2};
    transfers.push_back(dll_.WriteData(session_, 1, data, sizeof data));
  }
  refresher.Join(INFINITE);
  EXPECT_EQ(std::vector<int>(20, 0), refreshes);
  for (size_t i = 0; i < transfers.size(); ++i)
    EXPECT_TRUE(transfers[i] == 0 || transfers[i] == Status(LM_ERROR_TMO))
        << "transfer " << i << ": 0x" << std::hex << transfers[i];
  EXPECT_EQ(0, dll_.GetStatus(session_));
}

TEST_F(Data, DeviceRemovedAndReplugedDuringAReadIsReportedAndTheSessionCloses) {
  Open(Instrument());
  int result = 0;
  uint8_t buffer[64];
  lm::Thread reader([&] { result = dll_.ReadData(session_, 7, buffer, sizeof buffer); });
  ASSERT_TRUE(ReadPending("0x81"));
  ASSERT_TRUE(benchctl::RemoveDevice(0));
  reader.Join(INFINITE);
  EXPECT_EQ(Status(LM_ERROR_DEVICE_DISCONNECTED), result);
  ASSERT_EQ(0, dll_.UpdateDeviceList());
  EXPECT_EQ(Status(LM_ERROR_DEVICE_DISCONNECTED), dll_.ReadData(session_, 7, buffer, 64));
  ASSERT_TRUE(benchctl::ArriveDevice(0));
  ASSERT_EQ(0, dll_.UpdateDeviceList());
  EXPECT_EQ(0, dll_.CloseDevice(session_));
  session_ = nullptr;
  LmSession fresh = nullptr;
  ASSERT_EQ(0, dll_.OpenDevice(kResource, &fresh));
  QueueIn(DataPacket(7, {0x31}));
  EXPECT_EQ(1, dll_.ReadData(fresh, 7, buffer, sizeof buffer));
  EXPECT_EQ(0, dll_.CloseDevice(fresh));
}

}  // namespace
}  // namespace corvel_test
