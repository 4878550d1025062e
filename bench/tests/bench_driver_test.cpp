// The bench's driver on its own, through the port: device objects, every
// I/O control with its size checks and statuses, pipes, overlapped
// transfers, removal and the device-change notices.
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h
#include <dbt.h>

#include <cstring>

#include "bench_test_support.h"
#include "benchctl/bench_control.h"
#include "hwport/clock.h"
#include "hwport/port.h"
#include "hwport/usb_driver.h"
#include "testsupport/testdir.h"

namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

using benchtest::Configure1;
using benchtest::Ioctl;
using benchtest::VendorRecord;

const GUID kDriverGuid = {
    0x7A3C51E2, 0x4B90, 0x4D1F, {0xA6, 0xE8, 0x2C, 0x5B, 0x9D, 0x04, 0xF7, 0x13}};

class BenchDriver : public ::testing::Test {
 protected:
  void Use(const benchctl::BenchSpec& spec) {
    file_ = benchctl::UseBench(folder_.Path(), spec);
    ASSERT_FALSE(file_.empty()) << hwport::BenchLoadError();
  }
  HANDLE Open(int n = 0) {
    return hwport::DriverOpen(("\\\\.\\USBDRV_Device" + std::to_string(n)).c_str());
  }
  testsupport::TestFolder folder_;
  std::string file_;
};

// Reads one transfer from the pipe into buf: false when the read failed or
// nothing came within 10 s (the read is cancelled then).
bool ReadTransfer(HANDLE h, uint8_t* buf, DWORD size, DWORD* got) {
  OVERLAPPED ov{};
  ov.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  BOOL ok = hwport::DriverRead(h, buf, size, got, &ov);
  if (!ok && GetLastError() == ERROR_IO_PENDING) {
    if (WaitForSingleObject(ov.hEvent, 10000) != WAIT_OBJECT_0) hwport::DriverCancelIo(h);
    ok = hwport::DriverOverlappedResult(h, &ov, got, TRUE);
  }
  CloseHandle(ov.hEvent);
  return ok;
}

benchctl::BenchSpec OneInstrument() {
  benchctl::BenchSpec s;
  s.TimeScale(1000).Instrument(5, "1001");
  return s;
}

TEST_F(BenchDriver, DeviceObjectsAreNumberedByPresentDevices) {
  Use(benchctl::BenchSpec()
          .TimeScale(1000)
          .Instrument(5, "1")
          .Instrument(6, "2")
          .With("Present", "0")
          .Instrument(16, "3"));
  HANDLE a = Open(0), b = Open(1), c = Open(2);
  EXPECT_NE(INVALID_HANDLE_VALUE, a);
  EXPECT_NE(INVALID_HANDLE_VALUE, b);
  EXPECT_EQ(INVALID_HANDLE_VALUE, c);
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  auto lines = benchctl::CallRecord("CreateFile");
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ("CreateFile \\\\.\\USBDRV_Device1 -> h2 device 2", lines[1]);
  hwport::DriverClose(a);
  hwport::DriverClose(b);
}

TEST_F(BenchDriver, InterfaceListIsASnapshot) {
  Use(benchctl::BenchSpec().TimeScale(1000).Instrument(5, "1").Instrument(6, "2").With("Present",
                                                                                       "0"));
  HDEVINFO set = hwport::InterfaceListOpen(&kDriverGuid);
  ASSERT_NE(INVALID_HANDLE_VALUE, set);
  benchctl::ArriveDevice(1);  // arrives after the snapshot
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  EXPECT_TRUE(hwport::InterfaceListEnum(set, &kDriverGuid, 0, &data));
  EXPECT_FALSE(hwport::InterfaceListEnum(set, &kDriverGuid, 1, &data));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), GetLastError());
  ASSERT_TRUE(hwport::InterfaceListEnum(set, &kDriverGuid, 0, &data));
  DWORD required = 0;
  EXPECT_FALSE(hwport::InterfaceListDetail(set, &data, nullptr, 0, &required));
  std::vector<char> mem(required);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(mem.data());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  ASSERT_TRUE(hwport::InterfaceListDetail(set, &data, detail, required, nullptr));
  EXPECT_STREQ("\\\\?\\usb#vid_0e7b&pid_0005#1#{7a3c51e2-4b90-4d1f-a6e8-2c5b9d04f713}",
               detail->DevicePath);
  HANDLE h = hwport::DriverOpen(detail->DevicePath);
  EXPECT_NE(INVALID_HANDLE_VALUE, h);
  hwport::DriverClose(h);
  EXPECT_TRUE(hwport::InterfaceListClose(set));
}

struct SizeCase {
  const char* name;
  DWORD code;
  DWORD inSize;
  DWORD outSize;
  bool configured;
  uint32_t status;
  DWORD bytes;
};

TEST_F(BenchDriver, EveryIoControlChecksItsSizesAndState) {
  const SizeCase cases[] = {
      {"descriptor request short", 0x80942006, 7, 18, false, 0xE0001001, 0},
      {"descriptor whole", 0x80942006, 8, 18, false, 0, 18},
      {"descriptor cut to the buffer", 0x80942006, 8, 8, false, 0, 8},
      {"configuration without output", 0x80942018, 0, 0, false, 0xE0001002, 0},
      {"configuration", 0x80942018, 0, 1, false, 0, 1},
      {"interface without number", 0x8094201C, 1, 1, true, 0xE0001001, 0},
      {"interface unconfigured", 0x8094201C, 2, 1, false, 0xE0001006, 0},
      {"interface", 0x8094201C, 2, 1, true, 0, 1},
      {"apply short record", 0x80942024, 259, 0, false, 0xE0001001, 0},
      {"apply twice", 0x80942024, 260, 0, true, 0xE0001005, 0},
      {"apply", 0x80942024, 260, 0, false, 0, 0},
      {"clear", 0x80942028, 0, 0, true, 0, 0},
      {"vendor in short record", 0x80942032, 17, 2, false, 0xE0001001, 0},
      {"vendor in", 0x80942032, 18, 2, false, 0, 2},
      {"vendor out", 0x80942035, 18, 2, false, 0, 2},
      {"driver info short", 0x8094206C, 0, 11, false, 0xE0001002, 0},
      {"driver info", 0x8094206C, 0, 12, false, 0, 12},
      {"bind without address", 0x80942078, 0, 0, true, 0xE0001001, 0},
      {"bind unconfigured", 0x80942078, 1, 0, false, 0xE0001006, 0},
      {"bind", 0x80942078, 1, 0, true, 0, 0},
      {"unbind unbound", 0x8094207C, 0, 0, true, 0xE0001009, 0},
      {"reset unbound", 0x80942080, 0, 0, true, 0xE0001009, 0},
      {"unknown code", 0x80942100, 0, 0, false, 0xE000100F, 0},
  };
  for (const SizeCase& c : cases) {
    Use(OneInstrument());
    HANDLE h = Open();
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    std::vector<uint8_t> config = Configure1();
    if (c.configured) {
      ASSERT_EQ(0u, Ioctl(h, 0x80942024, config.data(), 260, nullptr, 0)) << c.name;
    }
    std::vector<uint8_t> in(300, 0), out(300, 0);
    if (c.code == 0x80942006) in[4] = 1;  // device descriptor
    if (c.code == 0x80942024) in = config, in.resize(300);
    if (c.code == 0x80942032 || c.code == 0x80942035) {
      in = VendorRecord(0x0200);
      in.resize(300);
    }
    if (c.code == 0x80942078) in[0] = 0x81;
    DWORD bytes = 99;
    EXPECT_EQ(c.status, Ioctl(h, c.code, in.data(), c.inSize, out.data(), c.outSize, &bytes))
        << c.name;
    EXPECT_EQ(c.bytes, bytes) << c.name;
    hwport::DriverClose(h);
  }
}

TEST_F(BenchDriver, DescriptorsAreGeneratedFromTheBenchFile) {
  Use(benchctl::BenchSpec().Instrument(41, "").With("Endpoints", "81 02 83 87"));
  HANDLE h = Open();
  uint8_t request[8] = {0, 0, 0, 0, 1, 0, 0, 0};
  uint8_t d[64] = {};
  DWORD n = 0;
  ASSERT_EQ(0u, Ioctl(h, 0x80942006, request, 8, d, sizeof d, &n));
  ASSERT_EQ(18u, n);
  EXPECT_EQ(0x0E7B, d[8] | d[9] << 8);
  EXPECT_EQ(41, d[10] | d[11] << 8);
  EXPECT_EQ(0, d[16]) << "no serial-number string";
  request[4] = 3;
  request[5] = 2;
  ASSERT_EQ(0u, Ioctl(h, 0x80942006, request, 8, d, sizeof d, &n));
  EXPECT_EQ(std::string("\x0C\x03T\0R\08\0001\0000\0", 12),
            std::string(reinterpret_cast<char*>(d), n));
  request[5] = 3;
  EXPECT_EQ(0xE0000004u, Ioctl(h, 0x80942006, request, 8, d, sizeof d, &n)) << "no serial stalls";
  request[4] = 2;
  request[5] = 0;
  uint8_t config[256];
  ASSERT_EQ(0u, Ioctl(h, 0x80942006, request, 8, config, sizeof config, &n));
  EXPECT_EQ(n, static_cast<DWORD>(config[2] | config[3] << 8));
  EXPECT_EQ(4, config[4]) << "four interfaces";
  hwport::DriverClose(h);
}

TEST_F(BenchDriver, VendorRequestsAnswerByFacIdAndAreAcknowledgedOnTheEventPipe) {
  Use(benchctl::BenchSpec()
          .TimeScale(1000)
          .Supply(16, "77")
          .With("Status", "0x1234")
          .With("Version", "1.24")
          .With("SupplyId", "4711")
          .With("Module2", "1,1001,1362500900")
          .With("Release", "125"));
  HANDLE h = Open();
  std::vector<uint8_t> config = Configure1();
  ASSERT_EQ(0u, Ioctl(h, 0x80942024, config.data(), 260, nullptr, 0));
  uint8_t out[800] = {};
  DWORD n = 0;
  auto status = VendorRecord(0x0200);
  ASSERT_EQ(0u, Ioctl(h, 0x80942032, status.data(), 18, out, 2, &n));
  EXPECT_EQ(0x1234, out[0] | out[1] << 8);
  auto version = VendorRecord(0x1010);
  ASSERT_EQ(0u, Ioctl(h, 0x80942032, version.data(), 18, out, 4, &n));
  EXPECT_EQ(4u, n);
  EXPECT_EQ(1, out[0] | out[1] << 8);
  EXPECT_EQ(24, out[2] | out[3] << 8);
  auto block = VendorRecord(0x2200);
  ASSERT_EQ(0u, Ioctl(h, 0x80942032, block.data(), 18, out, sizeof out, &n));
  EXPECT_EQ(758u, n);
  EXPECT_EQ(125, out[298] | out[299] << 8);
  EXPECT_EQ(1, out[334]);
  EXPECT_EQ(1001u, out[390] | out[391] << 8);
  double part;
  std::memcpy(&part, out + 414 + 16, 8);
  EXPECT_EQ(1362500900.0, part);
  EXPECT_EQ(4711, out[560] | out[561] << 8);
  auto unknown = VendorRecord(0x4444);
  EXPECT_EQ(0xE0000004u, Ioctl(h, 0x80942032, unknown.data(), 18, out, 2, &n));
  uint8_t value[2] = {7, 9};
  ASSERT_EQ(0u, Ioctl(h, 0x80942035, unknown.data(), 18, value, 2, &n));
  ASSERT_EQ(0u, Ioctl(h, 0x80942032, unknown.data(), 18, out, 8, &n));
  EXPECT_EQ(2u, n);
  EXPECT_EQ(7, out[0]);

  // Five finished requests, five acknowledgements waiting on 0x83.
  uint8_t ep = 0x83;
  ASSERT_EQ(0u, Ioctl(h, 0x80942078, &ep, 1, nullptr, 0));
  const uint16_t expected[] = {0x0200, 0x1010, 0x2200, 0x4444, 0x4444};
  for (uint16_t facId : expected) {
    uint8_t buf[64] = {};
    DWORD got = 0;
    ASSERT_TRUE(ReadTransfer(h, buf, sizeof buf, &got));
    EXPECT_EQ(10u, got);
    EXPECT_EQ(0x67FF, buf[2] | buf[3] << 8);
    EXPECT_EQ(facId, buf[8] | buf[9] << 8);
  }
  hwport::DriverClose(h);
}

TEST_F(BenchDriver, PipesBindOnlyToEndpointsTheDeviceHas) {
  Use(OneInstrument());
  HANDLE h = Open(), h2 = Open();
  std::vector<uint8_t> config = Configure1();
  ASSERT_EQ(0u, Ioctl(h, 0x80942024, config.data(), 260, nullptr, 0));
  uint8_t ep = 0x87;
  EXPECT_EQ(0xE0001013u, Ioctl(h, 0x80942078, &ep, 1, nullptr, 0)) << "missing endpoint";
  ep = 0x02;
  EXPECT_EQ(0u, Ioctl(h, 0x80942078, &ep, 1, nullptr, 0));
  EXPECT_EQ(0xE0001008u, Ioctl(h, 0x80942078, &ep, 1, nullptr, 0)) << "bound twice";
  uint8_t buf[8];
  DWORD n = 0;
  OVERLAPPED ov{};
  ov.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  EXPECT_FALSE(hwport::DriverRead(h, buf, sizeof buf, &n, &ov));
  EXPECT_EQ(0xE0001010u, GetLastError()) << "read on an OUT pipe";
  EXPECT_FALSE(hwport::DriverWrite(h2, buf, sizeof buf, &n, &ov));
  EXPECT_EQ(0xE0001009u, GetLastError()) << "unbound handle";
  EXPECT_EQ(0xE0001007u, Ioctl(h2, 0x80942028, nullptr, 0, nullptr, 0)) << "clear with open pipe";
  EXPECT_EQ(0u, Ioctl(h, 0x8094207C, nullptr, 0, nullptr, 0));
  EXPECT_EQ(0u, Ioctl(h2, 0x80942028, nullptr, 0, nullptr, 0));
  CloseHandle(ov.hEvent);
  hwport::DriverClose(h);
  hwport::DriverClose(h2);
}

class PipeFixture : public BenchDriver {
 protected:
  void Bound(uint8_t ep, const benchctl::BenchSpec& spec = OneInstrument()) {
    Use(spec);
    h_ = Open();
    std::vector<uint8_t> config = Configure1();
    ASSERT_EQ(0u, Ioctl(h_, 0x80942024, config.data(), 260, nullptr, 0));
    ASSERT_EQ(0u, Ioctl(h_, 0x80942078, &ep, 1, nullptr, 0));
    ov_.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  }
  void TearDown() override {
    if (h_) hwport::DriverClose(h_);
    if (ov_.hEvent) CloseHandle(ov_.hEvent);
  }
  HANDLE h_ = nullptr;
  OVERLAPPED ov_{};
  uint8_t buf_[64] = {};
};

TEST_F(PipeFixture, ReadWaitsForTheDeviceAndSignalsTheCallersEvent) {
  Bound(0x81);
  DWORD n = 0;
  EXPECT_FALSE(hwport::DriverRead(h_, buf_, sizeof buf_, &n, &ov_));
  EXPECT_EQ(static_cast<DWORD>(ERROR_IO_PENDING), GetLastError());
  EXPECT_FALSE(hwport::DriverOverlappedResult(h_, &ov_, &n, FALSE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_IO_INCOMPLETE), GetLastError());
  ASSERT_TRUE(benchctl::QueueTransfer(0, 0x81, {6, 0, 9, 0, 0xAB, 0xCD}));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ov_.hEvent, 5000));
  EXPECT_TRUE(hwport::DriverOverlappedResult(h_, &ov_, &n, FALSE));
  EXPECT_EQ(6u, n);
  EXPECT_EQ(0xCD, buf_[5]);
}

TEST_F(PipeFixture, CancelCompletesAPendingReadAsAborted) {
  Bound(0x83);
  // The bind itself was no control request to acknowledge: nothing waits.
  DWORD n = 0;
  ASSERT_FALSE(hwport::DriverRead(h_, buf_, sizeof buf_, &n, &ov_));
  ASSERT_EQ(static_cast<DWORD>(ERROR_IO_PENDING), GetLastError());
  EXPECT_TRUE(hwport::DriverCancelIo(h_));
  EXPECT_FALSE(hwport::DriverOverlappedResult(h_, &ov_, &n, TRUE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_OPERATION_ABORTED), GetLastError());
}

TEST_F(PipeFixture, RemovalFailsPendingTransfersAndEveryLaterCall) {
  Bound(0x81);
  DWORD n = 0;
  ASSERT_FALSE(hwport::DriverRead(h_, buf_, sizeof buf_, &n, &ov_));
  ASSERT_TRUE(benchctl::RemoveDevice(0));
  EXPECT_FALSE(hwport::DriverOverlappedResult(h_, &ov_, &n, TRUE));
  EXPECT_EQ(0xE000100Au, GetLastError());
  EXPECT_EQ(0xE000100Au, Ioctl(h_, 0x80942018, nullptr, 0, buf_, 1));
  EXPECT_FALSE(hwport::DriverRead(h_, buf_, sizeof buf_, &n, &ov_));
  EXPECT_EQ(0xE000100Au, GetLastError());
  // The device returns as a new device: the old handle stays dead.
  ASSERT_TRUE(benchctl::ArriveDevice(0));
  EXPECT_EQ(0xE000100Au, Ioctl(h_, 0x80942018, nullptr, 0, buf_, 1));
  HANDLE again = Open();
  EXPECT_EQ(0u, Ioctl(again, 0x80942018, nullptr, 0, buf_, 1));
  EXPECT_EQ(0, buf_[0]) << "a returning device is unconfigured";
  hwport::DriverClose(again);
}

TEST_F(PipeFixture, APowerSupplyTakesItsInstrumentsWithIt) {
  Bound(0x81, benchctl::BenchSpec().TimeScale(1000).Supply(16, "77").Instrument(5, "1").With(
                  "Parent", "0"));
  HANDLE child = Open(1);
  ASSERT_TRUE(benchctl::RemoveDevice(0));
  EXPECT_EQ(0xE000100Au, Ioctl(child, 0x80942018, nullptr, 0, buf_, 1));
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(0));
  hwport::DriverClose(child);
}

// A window that keeps the device-change notices it gets.
struct NoticeLog {
  std::vector<std::pair<WPARAM, std::string>> seen;
};

LRESULT CALLBACK NoticeProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_DEVICECHANGE) {
    auto* log = reinterpret_cast<NoticeLog*>(GetWindowLongPtrA(w, GWLP_USERDATA));
    auto* b = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(lp);
    if (b && b->dbcc_devicetype == DBT_DEVTYP_DEVICEINTERFACE)
      log->seen.emplace_back(wp, b->dbcc_name);
    return TRUE;
  }
  return DefWindowProcA(w, m, wp, lp);
}

TEST_F(BenchDriver, RegisteredWindowsGetRemovalAndArrivalNotices) {
  Use(benchctl::BenchSpec().TimeScale(1000).Bench("CycleMs", "2000").Instrument(5, "1001"));
  WNDCLASSA wc{};
  wc.lpfnWndProc = NoticeProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "BenchNoticeWindow";
  RegisterClassA(&wc);
  HWND w =
      CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
  NoticeLog log;
  SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&log));
  const GUID usbDevice = {
      0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
  HDEVNOTIFY n = hwport::RegisterInterfaceNotices(w, &usbDevice);
  ASSERT_NE(nullptr, n);

  // CyclePort: the device leaves and returns after the bench's cycle time.
  HANDLE h = Open();
  EXPECT_EQ(0u, Ioctl(h, 0x80942070, nullptr, 0, nullptr, 0));
  DWORD start = hwport::TickCount();
  // Bounded by wall time: the bench's minute is 60 ms of a busy machine.
  DWORD wallStart = GetTickCount();
  while (log.seen.size() < 2 && GetTickCount() - wallStart < 30000) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    hwport::Sleep(10);
  }
  ASSERT_EQ(2u, log.seen.size());
  std::string name = "\\\\?\\usb#vid_0e7b&pid_0005#1001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
  EXPECT_EQ(static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE), log.seen[0].first);
  EXPECT_EQ(name, log.seen[0].second);
  EXPECT_EQ(static_cast<WPARAM>(DBT_DEVICEARRIVAL), log.seen[1].first);
  EXPECT_GE(hwport::TickCount() - start, 1900u)
      << "returns after the cycle time of the bench clock";
  EXPECT_TRUE(hwport::UnregisterInterfaceNotices(n));
  hwport::DriverClose(h);
  DestroyWindow(w);
}

}  // namespace

namespace {

// Each deliverable carries its own copy of the port; a library loaded later in
// the process attaches to the bench the first module opened, and must not end
// what that module holds.
TEST_F(BenchDriver, ALaterModuleAttachingKeepsTheHandlesOfTheFirst) {
  Use(OneInstrument());
  HANDLE h = Open();
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  auto attach = hwport::BenchFunction<int (*)(const char*)>("BenchAttach");
  ASSERT_NE(nullptr, attach);
  EXPECT_EQ(1, attach(file_.c_str()));
  uint8_t request[8] = {0, 0, 0, 0, 1, 0, 0, 0};
  uint8_t d[64] = {};
  DWORD n = 0;
  EXPECT_EQ(0u, Ioctl(h, 0x80942006, request, 8, d, sizeof d, &n)) << "handle ended by the attach";
  EXPECT_EQ(18u, n);
  EXPECT_TRUE(hwport::DriverClose(h));
}

// A supply whose panel answers a revision query with `reply`, `delayMs` of
// the bench clock late.
benchctl::BenchSpec LateSupply(const char* reply, const char* delayMs) {
  benchctl::BenchSpec s;
  s.TimeScale(1000).Supply(16, "77").With("Replies.4041", reply).With("ReplyDelayMs", delayMs);
  return s;
}

// The reply code of the first reply event (0x6170) on the device's event
// pipe, reading at most `reads` transfers; -1 when none came.
int FirstReply(HANDLE h, int reads) {
  for (int i = 0; i < reads; ++i) {
    uint8_t buf[64] = {};
    DWORD got = 0;
    if (!ReadTransfer(h, buf, sizeof buf, &got)) return -1;
    if (got >= 10 && (buf[2] | buf[3] << 8) == 0x6170) return buf[8];
  }
  return -1;
}

TEST_F(BenchDriver, WhatTheLastFilesDevicesStillOwedNeverReachesTheNextFile) {
  std::vector<uint8_t> query(2048, 0);
  query[0] = 8;
  query[6] = 0x41;
  query[7] = 0x40;
  auto request = VendorRecord(0x2180);
  std::vector<uint8_t> config = Configure1();
  // The first file's supply owes its reply for 300 ms of the wall when the
  // bench is opened on the next.
  Use(LateSupply("C1", "300000"));
  HANDLE h = Open();
  ASSERT_EQ(0u, Ioctl(h, 0x80942024, config.data(), 260, nullptr, 0));
  ASSERT_EQ(0u, Ioctl(h, 0x80942035, request.data(), 18, query.data(), 2048));
  hwport::DriverClose(h);
  // The next file's supply in the same slot answers later still: the first
  // reply on its event pipe is its own.
  Use(LateSupply("C4", "400000"));
  h = Open();
  ASSERT_EQ(0u, Ioctl(h, 0x80942024, config.data(), 260, nullptr, 0));
  uint8_t ep = 0x83;
  ASSERT_EQ(0u, Ioctl(h, 0x80942078, &ep, 1, nullptr, 0));
  ASSERT_EQ(0u, Ioctl(h, 0x80942035, request.data(), 18, query.data(), 2048));
  EXPECT_EQ(FirstReply(h, 3), 0xC4);
  hwport::DriverClose(h);
}

}  // namespace
