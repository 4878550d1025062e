// The device connection end to end on the bench: construction and
// destruction as the ordered record of driver calls, the operations,
// what reaches the clients, removal, destruction while a reader waits.
#include "tessaro/gdi.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "benchctl/bench_control.h"
#include "benchctl/faults_fired.h"
#include "hwport/clock.h"
#include "hwport/port.h"
#include "recording_client.h"
#include "tessaro/device_error.h"
#include "tessaro/main_thread.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"

namespace tessaro {
namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

void ToList(void* list, const std::string& text, TStrings*) {
  static_cast<TStringList*>(list)->Add(text);
}

class GdiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DriverApiState() = DriverApiPolicyState{};
    TDevice::DefaultLog().method = &ToList;
    TDevice::DefaultLog().object = &log_;
  }
  void TearDown() override {
    benchctl::ExpectFaultsFired(file_);
    TDevice::DefaultLog().Clear();
  }
  // Every fault rule of the bench replaced has fired.
  void Use(const benchctl::BenchSpec& spec) {
    benchctl::ExpectFaultsFired(file_);
    file_ = benchctl::UseBench(folder_.Path(), spec);
    ASSERT_FALSE(file_.empty()) << hwport::BenchLoadError();
  }
  static benchctl::BenchSpec Bus(const char* endpoints = "81 02 83") {
    benchctl::BenchSpec s;
    s.TimeScale(1000).Instrument(5, "1001").With("Endpoints", endpoints);
    return s;
  }
  static TDeviceInfo Info(uint16_t number = 0, const char* serial = "1001") {
    TDeviceInfo info(number, 0x0E7B, 5);
    info.SerialNumber = serial;
    return info;
  }
  // Lets the main thread serve the readers until `done` holds. The bound is
  // wall time: the bench clock runs a thousand times faster, and a busy
  // machine may not schedule the readers within its minute.
  template <typename F>
  static bool PumpUntil(F done) {
    DWORD start = GetTickCount();
    while (!done()) {
      if (GetTickCount() - start > 30000) return false;
      PumpingWait(10);
    }
    return true;
  }
  // The main thread's driver calls: without the readers' own lines and
  // without the data bytes.
  static std::vector<std::string> MainCalls() {
    std::vector<std::string> out;
    for (std::string l : benchctl::CallRecord()) {
      if (l.find(" Read ") != std::string::npos || l.find("CancelIo") != std::string::npos)
        continue;
      size_t arrow = l.find(" -> ");
      size_t data = arrow == std::string::npos ? arrow : l.find(": ", arrow);
      if (data != std::string::npos) l.resize(data);
      size_t pathEnd = l.find("#{");
      if (pathEnd != std::string::npos)
        l.erase(l.find("\\\\?\\"), l.find("}") - l.find("\\\\?\\") + 1);
      out.push_back(l);
    }
    return out;
  }
  testsupport::TestFolder folder_;
  std::string file_;
  TStringList log_;
};

const std::vector<std::string> kOpen = {
    "InterfaceList -> 1 members",
    "CreateFile  -> h1 device 0",
    "h1 QueryDriverInfo -> 00000000 12",
    "h1 ReadDescriptor type=2 index=0 lang=0 len=256 -> 00000000 123",
    "h1 GetConfiguration -> 00000000 1",
    "h1 ReadDescriptor type=2 index=1 lang=0 len=256 -> E0000004",
    "h1 GetConfiguration -> 00000000 1",
};

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(GdiTest, ConstructionAndDestructionByConfigurationKind) {
  struct Row {
    const char* name;
    uint8_t kind, dataIn, dataOut, eventIn;
    std::vector<std::string> calls;
  } rows[] = {
      {"kind 0: nothing configured, nothing bound", 0, 0, 0, 0,
       Concat(kOpen, {"h1 ClearConfiguration -> 00000000", "h1 CloseHandle"})},
      {"kind 1 with the event pipe", 1, 0, 0, 1,
       Concat(kOpen, {"h1 ApplyConfiguration index=0 interfaces=1 {0,0,4096} -> 00000000",
                      "CreateFile  -> h2 device 0", "h2 QueryDriverInfo -> 00000000 12",
                      "h2 BindEndpoint 0x83 -> 00000000", "h2 ResetEndpoint -> 00000000",
                      "h2 UnbindEndpoint -> 00000000", "h1 ClearConfiguration -> 00000000",
                      "h1 CloseHandle", "h2 CloseHandle"})},
      {"kind 1 with data in, data out and events", 1, 1, 1, 1,
       Concat(kOpen, {"h1 ApplyConfiguration index=0 interfaces=1 {0,0,4096} -> 00000000",
                      "CreateFile  -> h2 device 0",
                      "h2 QueryDriverInfo -> 00000000 12",
                      "h2 BindEndpoint 0x81 -> 00000000",
                      "h2 ResetEndpoint -> 00000000",
                      "CreateFile  -> h3 device 0",
                      "h3 QueryDriverInfo -> 00000000 12",
                      "h3 BindEndpoint 0x02 -> 00000000",
                      "h3 ResetEndpoint -> 00000000",
                      "CreateFile  -> h4 device 0",
                      "h4 QueryDriverInfo -> 00000000 12",
                      "h4 BindEndpoint 0x83 -> 00000000",
                      "h4 ResetEndpoint -> 00000000",
                      "h2 UnbindEndpoint -> 00000000",
                      "h4 UnbindEndpoint -> 00000000",
                      "h3 UnbindEndpoint -> 00000000",
                      "h1 ClearConfiguration -> 00000000",
                      "h1 CloseHandle",
                      "h2 CloseHandle",
                      "h3 CloseHandle",
                      "h4 CloseHandle"})},
      {"kind 2: four interfaces, alternate 1", 2, 0, 0, 1,
       Concat(kOpen, {"h1 ApplyConfiguration index=0 interfaces=4 {0,1,4096} {1,1,4096} "
                      "{2,1,4096} {3,1,4096} -> 00000000",
                      "CreateFile  -> h2 device 0", "h2 QueryDriverInfo -> 00000000 12",
                      "h2 BindEndpoint 0x83 -> 00000000", "h2 ResetEndpoint -> 00000000",
                      "h2 UnbindEndpoint -> 00000000", "h1 ClearConfiguration -> 00000000",
                      "h1 CloseHandle", "h2 CloseHandle"})},
  };
  for (const Row& r : rows) {
    Use(Bus());
    {
      TGDI gdi(Info(), r.kind, r.dataIn, r.dataOut, r.eventIn, 0, 0);
      EXPECT_EQ(r.eventIn != 0, gdi.HasReader(0x83)) << r.name;
      EXPECT_EQ(1, gdi.ConfigurationCount) << r.name;
    }
    EXPECT_EQ(r.calls, MainCalls()) << r.name;
  }
}

TEST_F(GdiTest, ALateControlAnswerLeavesNothingPendingForTheTeardown) {
  struct Row {
    const char* name;
    const char* fault;
  } rows[] = {
      {"late bind", "Operation=BindEndpoint Endpoint=0x02 Action=Late DelayMs=2000"},
      {"late reset", "Operation=ResetEndpoint Action=Late DelayMs=2000"},
  };
  for (const Row& r : rows) {
    Use(Bus().Fault(r.fault));
    {
      // The data-out pipe has no reader whose cancel would sweep the handle.
      TGDI gdi(Info(), 1, 0, 1, 0, 0, 0);
      uint8_t b[1] = {7};
      gdi.WriteData(3, b, 1);
    }
    EXPECT_EQ(std::vector<std::string>{"h2 UnbindEndpoint -> 00000000"},
              benchctl::CallRecord("UnbindEndpoint"))
        << r.name;
    EXPECT_EQ(std::vector<std::string>{"h1 ClearConfiguration -> 00000000"},
              benchctl::CallRecord("ClearConfiguration"))
        << r.name;
  }
}

TEST_F(GdiTest, ASafeModeDeviceGetsNoConfigurationAndNoPipesButAnswers) {
  Use(Bus().With("Mode", "safe").With("Status", "0x0042"));
  TGDI gdi(Info(0, "safety mode"), 1, 1, 1, 1, 0, 0);
  EXPECT_FALSE(gdi.HasReader(0x81));
  EXPECT_TRUE(benchctl::CallRecord("ApplyConfiguration").empty());
  EXPECT_TRUE(benchctl::CallRecord("BindEndpoint").empty());
  EXPECT_EQ(0x0042, gdi.GetStatus(0));
}

TEST_F(GdiTest, AFailedOpenRaisesAndLeavesNothingOpen) {
  Use(Bus());
  try {
    TGDI gdi(Info(3), 1, 1, 1, 1, 0, 0);
    FAIL() << "no error";
  } catch (const EDeviceError& e) {
    EXPECT_EQ(
        "Device(Hnd:00000000): Error code E0001104: No such device instance. Use a different "
        "device number.\r\n",
        e.Message());
  }
  EXPECT_EQ(std::vector<std::string>{"InterfaceList -> 1 members"}, MainCalls());
}

TEST_F(GdiTest, AMissingEndpointIsLoggedAndSkipped) {
  Use(Bus("81 02 83"));
  TGDI gdi(Info(), 2, 0, 0, 1, 0, 1);
  EXPECT_TRUE(gdi.HasReader(0x83));
  EXPECT_FALSE(gdi.HasReader(0x87));
  ASSERT_EQ(1u, log_.Lines().size());
  EXPECT_EQ(0u, log_.Lines()[0].rfind("Pipe 0x87 is already open\r\nDevice(Hnd:", 0));
  EXPECT_NE(std::string::npos, log_.Lines()[0].find("): Error code E0001013: Pipe not found.\r\n"));
}

TEST_F(GdiTest, OperationsAsControlRequests) {
  Use(Bus().With("Status", "0x0102"));
  TGDI gdi(Info(), 1, 0, 0, 0, 0, 0);
  benchctl::ClearRecord();
  EXPECT_EQ(0x0102, gdi.GetStatus(1));
  gdi.SendCommand(0x0301, 7);
  uint8_t data[3] = {1, 2, 3};
  gdi.SetRegister(0x4000, 0, 3, data);
  uint8_t back[8] = {};
  EXPECT_EQ(3, gdi.GetRegister(0x4000, 0, 8, back));
  gdi.SetFacilityData(0x2333, 0, 2, data);
  EXPECT_EQ(2, gdi.GetFacilityData(0x2333, 0, 8, back));
  gdi.SetFlashData(5, data, 1);
  EXPECT_EQ(1, gdi.GetFlashData(5, back, 8));
  EXPECT_EQ(4, gdi.GetVendorData(0x1010, 0, 8, back));
  EXPECT_EQ((std::vector<std::string>{
                "h1 VendorRequestIn FacId=0x0200 wIndex=1 len=2 -> 00000000 2",
                "h1 VendorRequestOut FacId=0x0301 wIndex=7 len=2: 00 00 -> 00000000 2",
                "h1 VendorRequestOut FacId=0x4000 wIndex=0 len=3: 01 02 03 -> 00000000 3",
                "h1 VendorRequestIn FacId=0x4000 wIndex=0 len=8 -> 00000000 3",
                "h1 VendorRequestOut FacId=0x2333 wIndex=0 len=2: 01 02 -> 00000000 2",
                "h1 VendorRequestIn FacId=0x2333 wIndex=0 len=8 -> 00000000 2",
                "h1 VendorRequestOut FacId=0x0300 wIndex=5 len=1: 01 -> 00000000 1",
                "h1 VendorRequestIn FacId=0x0300 wIndex=5 len=8 -> 00000000 1",
                "h1 VendorRequestIn FacId=0x1010 wIndex=0 len=8 -> 00000000 4",
            }),
            MainCalls());
}

TEST_F(GdiTest, ShortTransfersRaiseTheOperationsText) {
  struct Row {
    const char* fault;
    const char* text;
  } rows[] = {
      {"Operation=VendorRequestIn Action=Short Bytes=1", "TGDI.GetStatus() failed"},
      {"Operation=VendorRequestOut FacId=0x0301 Action=Short Bytes=1", "TGDI.SendCommand() failed"},
      {"Operation=VendorRequestOut FacId=0x4000 Action=Short Bytes=1", "TGDI.SetRegister() failed"},
      {"Operation=VendorRequestIn Action=Status Status=0xE0000004",
       "Error code E0000004: HC Error: stall PID.\r\n"},
  };
  for (const Row& r : rows) {
    Use(Bus().Fault(r.fault));
    TGDI gdi(Info(), 1, 0, 0, 0, 0, 0);
    uint8_t data[2] = {};
    try {
      gdi.GetStatus(0);
      gdi.SendCommand(0x0301, 0);
      gdi.SetRegister(0x4000, 0, 2, data);
      ADD_FAILURE() << "no error: " << r.fault;
    } catch (const EDeviceError& e) {
      std::string m = e.Message();
      EXPECT_EQ(m.size() - std::strlen(r.text), m.rfind(r.text)) << r.fault << ": " << m;
    }
  }
}

TEST_F(GdiTest, LoggedFacilityAccessThroughTheConnection) {
  struct Row {
    const char* name;
    const char* fault;  // may be empty
    int read;           // what the read returns
    const char* errorEnd;
    const char* request;  // the write's record line
  } rows[] = {
      {"a write of nothing still sends the request", "", 2, "untouched",
       "h1 VendorRequestOut FacId=0x0310 wIndex=0 len=0 -> 00000000"},
      {"a short read is no error", "Operation=VendorRequestIn FacId=0x2333 Action=Short Bytes=1", 1,
       "untouched", "h1 VendorRequestOut FacId=0x0310 wIndex=0 len=0 -> 00000000"},
      {"a failed read is -1 and text",
       "Operation=VendorRequestIn FacId=0x2333 Action=Status Status=0xE0000004", -1,
       "): Error code E0000004: HC Error: stall PID.\r\n\") !!! ",
       "h1 VendorRequestOut FacId=0x0310 wIndex=0 len=0 -> 00000000"},
      {"a failed write is text", "Operation=VendorRequestOut Action=Status Status=0xE0000005", 2,
       "): Error code E0000005: HC Error: Device not responding.\r\n\") !!! ",
       "h1 VendorRequestOut FacId=0x0310 wIndex=0 len=0 -> E0000005"},
  };
  for (const Row& r : rows) {
    benchctl::BenchSpec spec = Bus().With("Reg.2333.0", "0A 0B");
    if (*r.fault) spec.Fault(r.fault);
    Use(spec);
    TGDI gdi(Info(), 1, 0, 0, 0, 0, 0);
    std::string error = "untouched";
    Dev_SetFacilityData(&gdi, 0x0310, 0, &error, nullptr, 0, "");
    uint8_t buffer[8] = {};
    int n = Dev_GetFacilityData(&gdi, 0x2333, 0, &error, nullptr, 8, buffer);
    EXPECT_EQ(r.read, n) << r.name;
    EXPECT_EQ(error.size() - std::strlen(r.errorEnd), error.rfind(r.errorEnd))
        << r.name << ": " << error;
    EXPECT_EQ(std::vector<std::string>{r.request}, benchctl::CallRecord("FacId=0x0310")) << r.name;
  }
}

TEST_F(GdiTest, WriteDataSendsOnePacketAndRefusesMoreThan4092Bytes) {
  Use(Bus());
  TGDI gdi(Info(), 1, 0, 1, 0, 0, 0);
  std::vector<uint8_t> payload(4093, 0x5A);
  EXPECT_THROW(gdi.WriteData(9, payload.data(), 4093), EDeviceError);
  EXPECT_TRUE(benchctl::CallRecord(" Write ").empty()) << "nothing sent";
  gdi.WriteData(9, payload.data(), 4092);
  std::vector<uint8_t> sent = benchctl::PacketTaken(0, 0);
  ASSERT_EQ(4096u, sent.size());
  EXPECT_EQ(0x00, sent[0]);
  EXPECT_EQ(0x10, sent[1]);
  EXPECT_EQ(9, sent[2]);
  EXPECT_EQ(0x5A, sent[4095]);
}

TEST_F(GdiTest, AWriteTheDeviceNeverTakesEndsAfterItsTimeOut) {
  Use(Bus().Fault("Operation=Write Action=NoAnswer"));
  TGDI gdi(Info(), 1, 0, 1, 0, 0, 0);
  DWORD start = hwport::TickCount();
  uint8_t b[2] = {};
  try {
    gdi.WriteData(1, b, 2);
    FAIL() << "no error";
  } catch (const EDeviceError& e) {
    EXPECT_NE(std::string::npos, e.Message().find("Error code 000003E3: ")) << e.Message();
  }
  EXPECT_GE(hwport::TickCount() - start, TGDI::kWriteTimeoutMs - 1000);
}

TEST_F(GdiTest, EventsAndPacketsReachEveryClientInOrder) {
  Use(Bus());
  TGDI gdi(Info(), 1, 1, 0, 1, 0, 0);
  std::vector<std::string> first, second;
  new RecordingClient(&gdi, &first);
  new RecordingClient(&gdi, &second);
  gdi.SendCommand(0x0305, 0);  // acknowledged on 0x83
  ASSERT_TRUE(benchctl::QueueTransfer(0, 0x81, {6, 0, 2, 0, 0xAB, 0xCD, 0xAA}));
  ASSERT_TRUE(benchctl::QueueTransfer(0, 0x81, {5, 0, 3, 0, 0xEF}));
  ASSERT_TRUE(PumpUntil([&] { return first.size() >= 3; }));
  PumpingWait(100);
  std::vector<std::string> packets, events;
  for (auto& c : first) (c.rfind("packet", 0) == 0 ? packets : events).push_back(c);
  EXPECT_EQ(
      (std::vector<std::string>{"packet 81 id=0002 len=2: AB CD", "packet 81 id=0003 len=1: EF"}),
      packets);
  EXPECT_EQ((std::vector<std::string>{"event 83 id=67FF l=0 w=773"}), events);
  EXPECT_EQ(first, second);
  EXPECT_NE(std::string::npos, ApplicationTitle().find('\\'));
}

TEST_F(GdiTest, ARemovalDuringAReadEndsTheReaderAndLaterRequestsRaise) {
  Use(Bus());
  TGDI gdi(Info(), 1, 1, 0, 1, 0, 0);
  ASSERT_TRUE(PumpUntil([] { return benchctl::CallRecord(" Read 0x83 len").size() >= 1; }));
  ASSERT_TRUE(benchctl::RemoveDevice(0));
  try {
    gdi.GetStatus(0);
    FAIL() << "no error";
  } catch (const EDeviceError& e) {
    EXPECT_EQ(0u, e.Message().rfind("Device(Hnd:"));
    EXPECT_NE(std::string::npos,
              e.Message().find("): Error code E000100A: Device is removed.\r\n"));
  }
  EXPECT_EQ(0xE000100Au, gdi.LastStatus);
  EXPECT_EQ(std::vector<std::string>{"h1 VendorRequestIn FacId=0x0200 wIndex=0 len=2 -> E000100A"},
            benchctl::CallRecord("FacId=0x0200"))
      << "the record decodes a call of a removed device too";
}

TEST_F(GdiTest, DestructionEndsWhileReadersWaitToHandOver) {
  Use(Bus("81 02 83 85 87"));
  std::vector<std::string> calls;
  {
    TGDI gdi(Info(), 2, 1, 0, 1, 1, 1);
    new RecordingClient(&gdi, &calls);
    ASSERT_TRUE(benchctl::QueueTransfer(0, 0x81, {5, 0, 1, 0, 1}));
    ASSERT_TRUE(benchctl::QueueTransfer(0, 0x85, {5, 0, 1, 0, 1}));
    ASSERT_TRUE(benchctl::QueueTransfer(0, 0x87, {3, 0, 1}));
    // Every reader has its transfer and waits for the main thread, which
    // does not serve them but destroys the connection.
    MainThreadSync& sync = MainThreadSync::Instance();
    DWORD start = GetTickCount();
    while (sync.Waiting() < 3 && GetTickCount() - start < 10000) Sleep(5);
    ASSERT_EQ(3u, sync.Waiting()) << "readers that wait to hand over";
  }
  EXPECT_EQ(0u, MainThreadSync::Instance().Waiting()) << "the destruction withdrew every job";
  // A job left behind would reach the client here.
  MainThreadSync::Instance().CheckSynchronize();
  EXPECT_TRUE(calls.empty()) << "no client call after destruction began";
  PumpingWait(50);
}

// A client whose event handler holds the main thread until the connection's
// destruction on another thread has begun.
class HoldingClient : public TClient {
 public:
  HoldingClient(TDevice* device, HANDLE destructionBegun, HANDLE inHandler)
      : TClient(device), destructionBegun_(destructionBegun), inHandler_(inHandler) {}
  void OnDeviceEvent(uint8_t, uint16_t, uint32_t, uint16_t) override {
    SetEvent(inHandler_);
    WaitForSingleObject(destructionBegun_, INFINITE);
    Sleep(200);  // lets the destruction reach the reader's stop signal
  }

 private:
  HANDLE destructionBegun_, inHandler_;
};

TEST_F(GdiTest, DestructionOnAnotherThreadWhileTheMainThreadRunsAHandlerEnds) {
  Use(Bus());
  HANDLE begun = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE inHandler = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  auto* gdi = new TGDI(Info(), 1, 0, 0, 1, 0, 0);
  new HoldingClient(gdi, begun, inHandler);
  gdi->SendCommand(0x0305, 0);  // acknowledged on 0x83
  struct Destroyer {
    TGDI* gdi;
    HANDLE inHandler, begun;
    static DWORD WINAPI Run(void* p) {
      auto* d = static_cast<Destroyer*>(p);
      WaitForSingleObject(d->inHandler, INFINITE);
      SetEvent(d->begun);
      delete d->gdi;
      return 0;
    }
  } destroyer{gdi, inHandler, begun};
  HANDLE thread = CreateThread(nullptr, 0, &Destroyer::Run, &destroyer, 0, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return WaitForSingleObject(inHandler, 0) == WAIT_OBJECT_0; }));
  // The handler has returned; the destruction must end now.
  bool ended = WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0;
  EXPECT_TRUE(ended) << "the reader went back to reading and the destruction waits for it";
  if (ended) CloseHandle(thread);
  CloseHandle(begun);
  CloseHandle(inHandler);
}

// A client whose event handler raises something that is no library error.
class RaisingClient : public TClient {
 public:
  explicit RaisingClient(TDevice* device) : TClient(device) {}
  void OnDeviceEvent(uint8_t, uint16_t, uint32_t, uint16_t) override { throw 42; }
};

TEST_F(GdiTest, AHandlerThatRaisesStillReleasesItsReader) {
  Use(Bus());
  auto* gdi = new TGDI(Info(), 1, 0, 0, 1, 0, 0);
  new RaisingClient(gdi);
  gdi->SendCommand(0x0305, 0);  // acknowledged on 0x83
  // Served straight, not through a window procedure the exception would
  // have to cross.
  bool raised = false;
  DWORD start = GetTickCount();
  while (!raised && GetTickCount() - start < 10000) {
    try {
      MainThreadSync::Instance().CheckSynchronize();
    } catch (int) {
      raised = true;
    }
    Sleep(1);
  }
  ASSERT_TRUE(raised);
  struct Destroyer {
    static DWORD WINAPI Run(void* p) {
      delete static_cast<TGDI*>(p);
      return 0;
    }
  };
  HANDLE thread = CreateThread(nullptr, 0, &Destroyer::Run, gdi, 0, nullptr);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000))
      << "the reader still waits for the hand-over";
  CloseHandle(thread);
}

TEST_F(GdiTest, CyclePortByDriverVersion) {
  Use(Bus().Bench("CycleMs", "1000"));
  {
    TGDI gdi(Info(), 0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(gdi.CyclePort());
    EXPECT_EQ(1u, benchctl::CallRecord("device 0 removed").size());
  }
  Use(Bus().Fault("Operation=CyclePort Action=Status Status=0xE0000005"));
  {
    testsupport::MessageBoxAnswerer answerer({{"Error", "", IDOK}}, GetCurrentProcessId());
    TGDI gdi(Info(), 0, 0, 0, 0, 0, 0);
    EXPECT_FALSE(gdi.CyclePort());
    ASSERT_EQ(1u, answerer.Seen().size());
    EXPECT_EQ("Error code E0000005: HC Error: Device not responding.", answerer.Seen()[0].text);
  }
  benchctl::BenchSpec old = Bus();
  old.Driver(0x0130);
  Use(old);
  testsupport::MessageBoxAnswerer answerer(
      {{"Warning", "", IDNO}, {"Error", "This Driver version not support", IDOK}},
      GetCurrentProcessId());
  TGDI gdi(Info(), 0, 0, 0, 0, 0, 0);
  EXPECT_FALSE(gdi.CyclePort());
  ASSERT_EQ(2u, answerer.Seen().size());
  EXPECT_EQ("This Driver version not support function CyclePort.", answerer.Seen()[1].text);
  EXPECT_TRUE(benchctl::CallRecord("CyclePort").empty());
}

TEST_F(GdiTest, TheDescriptorWalkTrustsNoLengthPastTheBytesAndNoEndpointBeforeAnInterface) {
  Use(Bus().With("ConfigDescriptor",
                 "09 02 22 00 01 01 00 C0 32  07 05 81 02 40 00 00  09 04 00 00 01 FF 00 00 00  "
                 "07 05 83 03 40 00 01  09 05 02"));
  TGDI gdi(Info(), 0, 0, 0, 0, 0, 0);
  ASSERT_EQ(2u, gdi.Configurations.size());
  const GdiConfiguration& c = gdi.Configurations[1];
  ASSERT_EQ(1u, c.Interfaces.size());
  ASSERT_EQ(1u, c.Interfaces[0].size());
  ASSERT_EQ(1u, c.Interfaces[0][0].Endpoints.size());
  EXPECT_EQ(0x83, c.Interfaces[0][0].Endpoints[0][2]);
  EXPECT_TRUE(c.Others.empty());
}

TEST_F(GdiTest, AMalformedTransferFromTheDeviceReachesTheClientsAsText) {
  Use(Bus().Fault(
      "Operation=Read Endpoint=0x83 Action=Malformed Data=0E00050000000000000000000000"));
  TGDI gdi(Info(), 1, 0, 0, 1, 0, 0);
  std::vector<std::string> calls;
  new RecordingClient(&gdi, &calls);
  gdi.SendCommand(0x0305, 0);  // its acknowledgement arrives malformed
  ASSERT_TRUE(PumpUntil([&] { return !calls.empty(); }));
  EXPECT_EQ(
      "text GDI.host: Corrupt interrupt(83) DATA!!! sizeof(Msg's) <> multiple 8B "
      "(SizeOfMsg's=12B( Buffer.BufferSize:14B, really readen for channel:14B),Buffer.EventId:"
      "0x0005)",
      calls[0]);
}

}  // namespace
}  // namespace tessaro
