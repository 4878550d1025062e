// Registers, commands and the status word against the bench: the control
// request, the wait for the device's acknowledgement as the session's
// attributes steer it, the mutex gate and the trace lines.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "benchctl/bench_control.h"
#include "corvel_dll.h"
#include "hwport/clock.h"
#include "hwport/port.h"
#include "session_fixture.h"
#include "testsupport/process.h"
#include "testsupport/testdir.h"

namespace corvel_test {
namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();
const std::string kResource = kInstrumentResource;
// Every pipe read waits for the session's time-out; the silent pipe's rule.
const char kSilentEventPipe[] = "Operation=Read Endpoint=0x83 Action=NoAnswer Times=0";

class Registers : public SessionTest {
 protected:
  static benchctl::BenchSpec Instrument() {
    return SessionTest::Instrument().With("Status", "0x8001");
  }
  size_t EventReads() { return benchctl::CallRecord("Read 0x83 len=4090").size(); }
};

TEST_F(Registers, WriteSendsTheRequestAndTakesItsAcknowledgement) {
  Open(Instrument());
  const uint8_t data[] = {1, 2};
  EXPECT_EQ(0, dll_.SetRegister(session_, 0x1234, 3, data, sizeof data));
  EXPECT_EQ((std::vector<std::string>{
                "VendorRequestOut FacId=0x1234 wIndex=3 len=2: 01 02 -> 00000000 2"}),
            Calls("VendorRequestOut"));
  EXPECT_EQ(1u, EventReads());
  EXPECT_EQ("01 02", benchctl::ReadState(file_, "Device0", "Reg.1234.3"));
  // The acknowledgement was taken from the queue: no event is left.
  DWORD id = 0;
  EXPECT_EQ(Status(LM_ERROR_QUEUE_EMPTY), dll_.HandleEvent(session_, &id, nullptr, nullptr));
}

TEST_F(Registers, AcknowledgementWaitAsTheAttributesSay) {
  struct Case {
    const char* name;
    std::vector<std::pair<DWORD, DWORD>> attributes;
    const char* fault;
    DWORD reg;
    int status;
    size_t eventReads;
  };
  const int tmo = Status(LM_ERROR_TMO);
  const std::vector<Case> cases = {
      {"answered", {}, nullptr, 0x1234, 0, 1},
      {"not answered: the pipe read times out", {{3, 60000}}, kSilentEventPipe, 0x1234, tmo, 1},
      {"attribute 101 skips the wait", {{101, 1}}, kSilentEventPipe, 0x1234, 0, 0},
      {"attribute 8 = 0: one read whatever it brought",
       {{8, 0}, {9, 0x1111}},
       nullptr,
       0x1234,
       0,
       1},
      {"another acknowledgement id is waited for",
       {{3, 600000}, {9, 0x1111}},
       nullptr,
       0x1234,
       tmo,
       2},
      {"register 0 is never acknowledged", {{3, 600000}}, nullptr, 0, tmo, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    End();
    benchctl::BenchSpec spec = Instrument();
    if (c.fault) spec.Fault(c.fault);
    Open(spec);
    for (const auto& [id, value] : c.attributes)
      ASSERT_EQ(0, dll_.SetAttribute(session_, id, value));
    DWORD start = hwport::TickCount();
    EXPECT_EQ(c.status, dll_.SendCommand(session_, c.reg));
    DWORD took = hwport::TickCount() - start;
    EXPECT_EQ(c.eventReads, EventReads());
    // A wait that ends in a time-out lasted the session's time-out. (Rows
    // that count a second read give the first one ample time on a busy machine.)
    if (c.status == tmo) {
      EXPECT_GE(took, 60000u);
    }
  }
}

TEST_F(Registers, TimedOutRequestIsATimeOutEvenWithAStaleAcknowledgementQueued) {
  // The first request's acknowledgement stays on the pipe; the second
  // request to the register times out in the driver.
  Open(Instrument().Fault(
      "Operation=VendorRequestOut FacId=0x1234 Action=Status Status=0xE000100C After=1"));
  ASSERT_EQ(0, dll_.SetAttribute(session_, 101, 1));
  ASSERT_EQ(0, dll_.SendCommand(session_, 0x1234));
  ASSERT_EQ(0, dll_.SetAttribute(session_, 101, 0));
  EXPECT_EQ(Status(LM_ERROR_TMO), dll_.SendCommand(session_, 0x1234));
  EXPECT_EQ(0u, EventReads());
  dll_.LibExit();
  EXPECT_NE(std::string::npos,
            TraceLogText().find("In LmSetRegister:\r\n   Function return status = 0xbfff0015\r\n"))
      << TraceLogText();
}

TEST_F(Registers, FailedOrShortRequestIsASystemError) {
  struct Case {
    const char* name;
    const char* fault;
    int (*call)(CorvelDll&, LmSession);
    size_t eventReads;
    const char* line;  // in the trace, or null
  };
  const char failedLine[] =
      "In LmSetRegister:\r\n"
      "   ERROR: !((status == USBDRV_ERR_TIMEOUT) || (status == LM_SUCCESS))\r\n\r\n";
  const std::vector<Case> cases = {
      {"request fails", "Operation=VendorRequestOut Action=Status Status=0xE0000004",
       [](CorvelDll& d, LmSession s) { return d.SendCommand(s, 0x1234); }, 0, failedLine},
      // The device acknowledges what it took: the acknowledgement is taken.
      {"register written in part", "Operation=VendorRequestOut FacId=0x1234 Action=Short Bytes=1",
       [](CorvelDll& d, LmSession s) {
         const uint8_t data[] = {1, 2};
         return d.SetRegister(s, 0x1234, 0, data, sizeof data);
       },
       1, failedLine},
      {"status word in part", "Operation=VendorRequestIn FacId=0x0200 Action=Short Bytes=1",
       [](CorvelDll& d, LmSession s) { return d.GetStatus(s); }, 1, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    End();
    Open(Instrument().Fault(c.fault));
    EXPECT_EQ(Status(LM_ERROR_SYSTEM_ERROR), c.call(dll_, session_));
    EXPECT_EQ(c.eventReads, EventReads());
    DWORD id = 0;
    EXPECT_EQ(Status(LM_ERROR_QUEUE_EMPTY), dll_.HandleEvent(session_, &id, nullptr, nullptr))
        << "no acknowledgement is left queued";
    if (c.line) {
      End();
      EXPECT_NE(std::string::npos, TraceLogText().find(c.line)) << TraceLogText();
    }
  }
}

TEST_F(Registers, ReadFillsTheBufferAndWaitsForTheAcknowledgement) {
  Open(Instrument().With("Reg.0300.2", "0A 0B 0C"));
  uint8_t buffer[8];
  memset(buffer, 0xCC, sizeof buffer);
  EXPECT_EQ(0, dll_.GetRegister(session_, 0x0300, 2, buffer, 3));
  EXPECT_EQ((std::vector<uint8_t>{0x0A, 0x0B, 0x0C, 0xCC}),
            std::vector<uint8_t>(buffer, buffer + 4));
  EXPECT_EQ(1u, EventReads());
  // The device caps read gives the byte count the device answered.
  memset(buffer, 0xCC, sizeof buffer);
  EXPECT_EQ(3, dll_.GetDeviceCaps(session_, 0x0300, 2, buffer, sizeof buffer));
  EXPECT_EQ(0x0C, buffer[2]);
  EXPECT_EQ(0xCC, buffer[3]);
}

TEST_F(Registers, StatusWordIsNonNegativeAndTraced) {
  Open(Instrument());
  EXPECT_EQ(0x8001, dll_.GetStatus(session_));
  EXPECT_EQ((std::vector<std::string>{
                "VendorRequestIn FacId=0x0200 wIndex=0 len=2 -> 00000000 2: 01 80"}),
            Calls("VendorRequestIn"));
  dll_.LibExit();
  std::string log = TraceLogText();
  EXPECT_NE(std::string::npos, log.find("In LmGetStatus:\r\n"
                                        "In LmGetRegister:\r\n"
                                        "   Return value: 0x0\r\n\r\n"
                                        "   Return 0x8001\r\n\r\n"))
      << log;
}

TEST_F(Registers, DeviceCapsTraceTheByteCount) {
  Open(Instrument().With("Reg.0310.0", "01 02 03 04 05"));
  uint8_t buffer[16];
  EXPECT_EQ(5, dll_.GetDeviceCaps(session_, 0x0310, 0, buffer, sizeof buffer));
  dll_.LibExit();
  EXPECT_NE(std::string::npos,
            TraceLogText().find("In LmGetDeviceCaps:\r\n   Return Value byte_count: 0x5 \r\n\r\n"))
      << TraceLogText();
}

TEST_F(Registers, DeviceRemovedBeforeTheRefreshIsDisconnectedForReads) {
  Open(Instrument());
  ASSERT_TRUE(benchctl::RemoveDevice(0));
  const int disconnected = Status(LM_ERROR_DEVICE_DISCONNECTED);
  EXPECT_EQ(disconnected, dll_.GetStatus(session_));
  uint8_t buffer[4];
  EXPECT_EQ(disconnected, dll_.GetDeviceCaps(session_, 0x0200, 0, buffer, 2));
  // A write reports the driver's failure as it comes.
  EXPECT_EQ(Status(LM_ERROR_SYSTEM_ERROR), dll_.SendCommand(session_, 0x1234));
  ASSERT_EQ(0, dll_.UpdateDeviceList());
  EXPECT_EQ(disconnected, dll_.GetStatus(session_));
  EXPECT_EQ(disconnected, dll_.SendCommand(session_, 0x1234));
}

TEST_F(Registers, NullBuffersWithASizeAreRefused) {
  Open(Instrument());
  EXPECT_EQ(Status(LM_ERROR_PARAMETER4), dll_.SetRegister(session_, 0x1234, 0, nullptr, 2));
  EXPECT_EQ(Status(LM_ERROR_PARAMETER4), dll_.GetRegister(session_, 0x1234, 0, nullptr, 2));
  EXPECT_EQ(Status(LM_ERROR_PARAMETER4), dll_.GetDeviceCaps(session_, 0x1234, 0, nullptr, 2));
  EXPECT_TRUE(benchctl::CallRecord("VendorRequest").empty());
}

TEST_F(Registers, UnknownOrClosedSessionsAreRefused) {
  Open(Instrument());
  ASSERT_EQ(0, dll_.CloseDevice(session_));
  LmSession closed = session_;
  session_ = nullptr;
  benchctl::ClearRecord();
  const int invalid = Status(LM_ERROR_INV_OBJECT);
  uint8_t buffer[4];
  EXPECT_EQ(invalid, dll_.SetRegister(closed, 0x1234, 0, buffer, 2));
  EXPECT_EQ(invalid, dll_.GetRegister(closed, 0x1234, 0, buffer, 2));
  EXPECT_EQ(invalid, dll_.SendCommand(closed, 0x1234));
  EXPECT_EQ(invalid, dll_.GetStatus(closed));
  EXPECT_EQ(invalid, dll_.GetDeviceCaps(closed, 0x1234, 0, buffer, 2));
  EXPECT_EQ(invalid, dll_.GetStatus(nullptr));
  EXPECT_TRUE(benchctl::CallRecord().empty());
}

TEST_F(Registers, MutexHeldByAnotherProcessTimesOutAfterOneSecond) {
  Open(Instrument());
  struct Case {
    const char* name;
    int (*call)(CorvelDll&, LmSession);
    const char* line;
  };
  const std::vector<Case> cases = {
      {"LmSetRegister", [](CorvelDll& d, LmSession s) { return d.SendCommand(s, 0x1234); },
       "In LmSetRegister:\r\n   ERROR: WAIT_TIMEOUT, return\r\n\r\n"},
      {"LmGetRegister",
       [](CorvelDll& d, LmSession s) {
         uint8_t b[2];
         return d.GetRegister(s, 0x0200, 0, b, 2);
       },
       "In LmGetRegister:\r\n   ERROR: wait_result == WAIT_TIMEOUT, return\r\n\r\n"},
      {"LmWriteData",
       [](CorvelDll& d, LmSession s) {
         uint8_t b[2] = {};
         return d.WriteData(s, 1, b, 2);
       },
       "In LmWriteData:\r\n   ERROR: wait_result == WAIT_TIMEOUT, return\r\n\r\n"},
      {"LmReadData",
       [](CorvelDll& d, LmSession s) {
         uint8_t b[2];
         return d.ReadData(s, 1, b, 2);
       },
       "In LmReadData:\r\n   Return value: 0xbfff0015\r\n\r\n"},
      {"LmHandleEvent (a failed read leaves nothing to take)",
       [](CorvelDll& d, LmSession s) {
         DWORD id;
         return d.HandleEvent(s, &id, nullptr, nullptr);
       },
       nullptr},
  };
  {
    MutexOfAnotherProcess other;
    ASSERT_TRUE(other.Held());
    for (const Case& c : cases) {
      // A second of the wall clock, whatever the bench's clock runs at (less
      // the tick's granularity).
      DWORD start = GetTickCount();
      int result = c.call(dll_, session_);
      DWORD took = GetTickCount() - start;
      EXPECT_EQ(c.line ? Status(LM_ERROR_TMO) : Status(LM_ERROR_QUEUE_EMPTY), result) << c.name;
      EXPECT_GE(took, 984u) << c.name;
    }
    EXPECT_TRUE(benchctl::CallRecord().empty()) << "no transfer starts without the mutex";
  }
  EXPECT_EQ(0x8001, dll_.GetStatus(session_)) << "the gate opens again";
  dll_.LibExit();
  std::string log = TraceLogText();
  for (const Case& c : cases)
    if (c.line) {
      EXPECT_NE(std::string::npos, log.find(c.line)) << c.name << "\n" << log;
    }
}

TEST_F(Registers, CProgramLinkedAgainstTheImportLibraryReadsTheStatusWord) {
  file_ = benchctl::UseBench(folder_.Path(), Instrument());
  ASSERT_FALSE(file_.empty());
  std::string result = folder_ / "status.txt";
  EXPECT_EQ(0u,
            testsupport::RunProgram(testsupport::TestDir() + "\\corvel_link.exe",
                                    kResource + " \"" + result + "\"", testsupport::ProgramDir()));
  EXPECT_EQ("LmGetStatus=32769\r\n", testsupport::ReadFileOr(result, "<no result>"));
}

}  // namespace
}  // namespace corvel_test
