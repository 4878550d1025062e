// The device-control flows on the bench, inside the test process: the
// unplug wait's bound, the search's round line, the reboot times a failed
// reboot test leaves, the ready wait's failed reopens, and the device list in
// the form's tree.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on
#include "tessaro/device_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <regex>

#include "benchctl/bench_control.h"
#include "benchctl/faults_fired.h"
#include "form_binprog.h"
#include "hwport/port.h"
#include "tessaro/device_list.h"
#include "tessaro/flash_operations.h"
#include "tessaro/flash_settings.h"
#include "tessaro/module_data.h"
#include "tessaro/plugins.h"
#include "tessaro/program_status.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"

using namespace tessaro;

namespace {

const bool kBench = benchctl::BenchFromTheStart();

// Events whose log is a line list, as the job's is.
class ListEvents : public RunEvents {
 public:
  explicit ListEvents(TLineList& lines) : lines_(lines) {}
  int Ask(const Question& question) override { return LibraryAsk(question); }
  void LogLine(const std::string& line) override { lines_.Add(line); }
  void ReplaceLastLines(int count, const std::string& line) override {
    tessaro::ReplaceLastLines(lines_, count, line);
  }

 private:
  TLineList& lines_;
};

// Events that answer the flows' questions without a box.
class Answering : public ListEvents {
 public:
  Answering(TLineList& lines, std::function<int(const Question&)> answer)
      : ListEvents(lines), answer_(std::move(answer)) {}
  int Ask(const Question& question) override { return answer_(question); }

 private:
  std::function<int(const Question&)> answer_;
};

void ToList(void*, const std::string& text, TStrings* list) {
  if (list) list->Add(text);
}

class DeviceControl : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetControlSettings();
    LogHooks().plugin.method = &ToList;
    FlashLog().method = &ToList;
    view_.events = &events_;
    view_.lines = LogList{&log_};
  }
  void TearDown() override {
    LogHooks().plugin.Clear();
    FlashLog().Clear();
    ResetControlSettings();
  }
  void Use(const benchctl::BenchSpec& spec) {
    file_ = benchctl::UseBench(folder_.Path(), spec);
    ASSERT_FALSE(file_.empty()) << hwport::BenchLoadError();
    log_.Clear();
  }
  static benchctl::BenchSpec Tr410() {
    benchctl::BenchSpec s;
    s.TimeScale(1000).Instrument(6, "2001").With("FlashSize", "0x10000");
    return s;
  }
  // The identity of the listed device with this serial.
  DeviceIdentity Listed(const std::string& serial) {
    DeviceIdentity found;
    EXPECT_TRUE(FindDevice({0x0E7B, 6, "", "", serial}, {}, view_, nullptr, &found)) << serial;
    return found;
  }
  std::vector<std::string> Holding(const std::string& part) const {
    std::vector<std::string> out;
    for (const std::string& l : log_.Lines())
      if (l.find(part) != std::string::npos) out.push_back(l);
    return out;
  }

  testsupport::TestFolder folder_;
  std::string file_;
  TMemoryLines log_;
  ListEvents events_{log_};
  ControlView view_;
};

TEST_F(DeviceControl, TheUnplugWaitEndsWhenItsRoundsHaveTakenTheLimit) {
  struct Row {
    const char* name;
    int32_t period, limit;
    size_t rounds;
    const char* lastRound;
  } rows[] = {
      {"500 ms rounds up to 3 s", 500, 3000, 7,
       "[UsbDevCtrl]   sleep 500ms & update device list & found devices: 1 (6x,3000ms) (ESC "
       "Storno)"},
      {"a limit between two rounds", 100, 250, 3,
       "[UsbDevCtrl]   sleep 100ms & update device list & found devices: 1 (2x,200ms) (ESC "
       "Storno)"},
      {"a period of 0 counts as 1 ms", 0, 3, 4,
       "[UsbDevCtrl]   sleep 1ms & update device list & found devices: 1 (3x,3ms) (ESC Storno)"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Use(Tr410());
    DeviceIdentity device = Listed("2001");
    log_.Clear();
    EXPECT_FALSE(WaitForUnplug(device, r.period, r.limit, view_));
    std::vector<std::string> rounds = Holding("update device list");
    EXPECT_EQ(r.rounds, rounds.size());
    if (!rounds.empty()) {
      EXPECT_EQ(r.lastRound, rounds.back());
    }
    EXPECT_EQ(r.rounds, Holding("[device what must be unplug]").size());
    EXPECT_EQ("[UsbDevCtrl] ERROR wait, will open same device", log_.Lines().back());
  }
}

TEST_F(DeviceControl, AGoneDeviceEndsTheUnplugWaitAfterOneRound) {
  Use(Tr410());
  DeviceIdentity gone = Listed("2001");
  gone.serial = "2002";
  EXPECT_TRUE(WaitForUnplug(gone, 500, 600000, view_));
  EXPECT_EQ(1u, Holding("update device list").size());
  EXPECT_EQ(
      "[UsbDevCtrl]   OK, device (vid:0x0E7B,pid:0x0006,prod.:\"TR410\",man.:\"Vandrel\",s.n.:"
      "\"2002\") was unplug",
      log_.Lines().back());
}

TEST_F(DeviceControl, AFailedRebootTestLeavesRebootTimesALaterRebootCanUse) {
  // Its boot code names itself with a serial the safe-mode rule does not
  // take: the test fails where it looks for the device in safe mode.
  Use(Tr410().With("SafeSerial", "safe2001"));
  DeviceIdentity safe, firmware;
  EXPECT_FALSE(RebootTest({0x0E7B, 6, "", "", "2001"}, safe, firmware, 0, view_));
  EXPECT_EQ(1u, Holding("[UsbDevCtrl] ERROR, device with vid:0x0E7B,pid:0x0006,s.n.: "
                        "...\"Safe\"... there isn't.")
                    .size());
  EXPECT_GT(ControlSettings().ToFirmwareRebootTime, 0);
  EXPECT_EQ("boot", benchctl::ReadState(file_, "Device0", "Mode"));

  // The technician's way back: clear the marker, reboot into the firmware.
  DeviceIdentity boot = Listed("safe2001");
  Connection connection;
  ASSERT_TRUE(OpenDevice(boot, connection, view_));
  ASSERT_TRUE(ClearMarker(connection.get(), false, LogList{&log_}, TransferList{}));
  log_.Clear();
  EXPECT_TRUE(RebootToMode(boot, {0x0E7B, 6, "", "", "2001"}, false, 1000, view_, connection));
  EXPECT_EQ("[UsbDevCtrl] OK, Reboot from to.", log_.Lines().back());
  connection.reset();
  EXPECT_EQ("", benchctl::ReadState(file_, "Device0", "Mode"));
}

TEST_F(DeviceControl, RebootTimesAtZeroOrBelowFallBackToTheSearchLimit) {
  for (int32_t time : {0, -1}) {
    SCOPED_TRACE("ToFirmwareRebootTime " + std::to_string(time));
    Use(Tr410());
    ControlSettings().ToFirmwareRebootTime = time;
    DeviceIdentity device = Listed("2001");
    Connection connection;
    EXPECT_TRUE(RebootToMode(device, device, false, 1000, view_, connection));
    EXPECT_NE(nullptr, connection.get());
    EXPECT_EQ(1u, Holding(" will find device (vid:0x0E7B,pid:0x0006), max.time:600000ms").size());
    EXPECT_EQ("[UsbDevCtrl] OK, Reboot from to.", log_.Lines().back());
    EXPECT_EQ("1", benchctl::ReadState(file_, "Device0", "Reboots"));
  }
}

TEST_F(DeviceControl, AReadyWaitWhoseReopenFailsSaysWhichAndFreesNothingTwice) {
  // The driver handles before the wait's: the open's look at the bus and the
  // open; the reopen with the event pipe takes the third (and the pipe's).
  struct Row {
    const char* name;
    const char* fault;
    int result;
    bool connection;  // a connection is left
    std::vector<std::string> lines;
  } rows[] = {
      {"the device cannot be opened with its event pipe",
       "Operation=CreateFile After=2 Action=Status",
       kIrptNoEventChannel,
       false,
       {"[UsbDevCtrl]   ERROR, WaitOnIrptCommand"}},
      {"the device refuses to bind the event pipe",
       "Operation=BindEndpoint Endpoint=0x83 Action=Status Status=0xE0000004",
       kIrptNoEventChannel,
       true,
       {"[UsbDevCtrl]   ERROR, no event pipe 0x83 on the reopened device",
        "[UsbDevCtrl]   ERROR, WaitOnIrptCommand"}},
      {"the reopen after the wait fails",
       "Operation=CreateFile After=4 Action=Status",
       kIrptNoReopen,
       false,
       {"[UsbDevCtrl]   OK, connect plugin", "[UsbDevCtrl]   OK, Device is READY",
        "[UsbDevCtrl]   OK, unconnect plugin", "[UsbDevCtrl]   ERROR, WaitOnIrptCommand"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Use(Tr410().With("BindEvents", "6020@100").Fault(r.fault));
    benchctl::ClearRecord();
    Connection connection;
    ASSERT_TRUE(OpenDevice({0x0E7B, 6, "", "", "2001"}, connection, view_));
    log_.Clear();
    EXPECT_EQ(r.result, WaitOnIrptCommand(connection, view_, 0x6020, 0x6F02, 60000, "DEVICE READY",
                                          "BAD BLOCK OF BAUGR.DATA", false, false));
    EXPECT_EQ(r.connection, connection != nullptr) << "no freed one for the run's end to free";
    EXPECT_EQ(r.connection ? 0u : 1u, Holding(" is possible that isn't open device...").size());
    // The wait's outcome lines: the pipe, the observer, the event, the end.
    std::vector<std::string> outcome;
    for (const std::string& l : log_.Lines())
      for (const char* part :
           {"event pipe 0x83", "connect plugin", "Device is READY", ", WaitOnIrptCommand"})
        if (l.find(part) != std::string::npos) outcome.push_back(l);
    EXPECT_EQ(r.lines, outcome);
    connection.reset();
    // Every driver handle the connections opened is closed, each once.
    std::map<std::string, int> closes;
    for (const std::string& l : benchctl::CallRecord("CreateFile ")) {
      size_t at = l.find(" -> h");
      if (at != std::string::npos) closes[l.substr(at + 4, l.find(' ', at + 4) - at - 4)] = 0;
    }
    for (const std::string& l : benchctl::CallRecord(" CloseHandle"))
      ++closes[l.substr(0, l.find(' '))];
    EXPECT_FALSE(closes.empty());
    for (const auto& [handle, n] : closes) EXPECT_EQ(1, n) << handle;
    benchctl::ExpectFaultsFired(file_);
  }
}

// Log lines that pull the second device off the bus once a round has
// listed it, and keep the most lines they ever held.
class ShrinkingBus : public TMemoryLines {
 public:
  void Add(const std::string& line) override {
    TMemoryLines::Add(line);
    most = std::max(most, Count());
    if (!pulled && line.rfind("[UsbDevCtrl]   - device[1] ", 0) == 0)
      pulled = benchctl::RemoveDevice(1);
  }
  bool pulled = false;
  int most = 0;
};

TEST_F(DeviceControl, TheSearchsRoundLineReplacesTheLastRoundsWithItsDevicesAlsoWhenFewer) {
  benchctl::BenchSpec s;
  s.TimeScale(1000).Instrument(6, "2001").Instrument(6, "2002");
  Use(s);
  ShrinkingBus lines;
  ListEvents events(lines);
  ControlView view;
  view.events = &events;
  view.lines = LogList{&lines};
  // Nothing on the bus is a TR410 of product id 5: the search takes all its rounds.
  EXPECT_FALSE(SearchDevice({0x0E7B, 5, "", "", ""}, 100, 100, 0, 1000, view));
  EXPECT_TRUE(lines.pulled);
  EXPECT_EQ(4, lines.most) << "a round listed both devices";
  EXPECT_EQ((std::vector<std::string>{
                "[UsbDevCtrl]  will find device (vid:0x0E7B,pid:0x0005), max.time:1000ms",
                " sleep 100ms & update device list & found devices: 1 (RebootTime:1100ms)",
                "[UsbDevCtrl]   - device[0] (vid:0x0E7B,pid:0x0006,prod.:\"TR410\",man.:"
                "\"Vandrel\",s.n.:\"2001\"",
                "[UsbDevCtrl] ERROR found (time:1100ms)"}),
            lines.Lines());
}

TEST_F(DeviceControl, TheUnplugWaitShowsTheBusInTheFormsDeviceTree) {
  ProgramingState::Reset();
  ResetFlashSettings();
  TFormBinProg* reference = nullptr;
  TFormBinProg* form = TFormBinProg::CreateSelfDestroying(&reference);
  ASSERT_NE(nullptr, form);
  HWND tree = form->Control(IDC_TV_USB_DEV);
  view_.events = form;
  struct Row {
    const char* name;
    bool devices;
    const char* count;
    std::vector<std::string> items;  // below the root
  } rows[] = {
      {"a supply and the instrument it carries",
       true,
       "2 devices [+]",
       {"  dev no.0 \"Power Supply\" [+]", "    VID=0x0E7B", "    PID=0x0010",
        "    Manufacturer=Vandrel", "    Product Name=Power Supply", "    Serial Number=0000004712",
        "  dev no.1 \"TR410\" [+]", "    VID=0x0E7B", "    PID=0x0006", "    Manufacturer=Vandrel",
        "    Product Name=TR410", "    Serial Number=2001"}},
      {"an empty bus", false, "0 devices", {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    benchctl::BenchSpec s;
    s.TimeScale(1000);
    if (r.devices) s.Supply(16, "0000004712").Instrument(6, "2001").With("Parent", "0");
    Use(s);
    EXPECT_TRUE(WaitForUnplug({0x0E7B, 6, "TR410", "Vandrel", "2002"}, 500, 3000, view_));
    std::vector<std::string> lines = testsupport::TreeViewLines(tree);
    ASSERT_FALSE(lines.empty());
    std::smatch m;
    EXPECT_TRUE(std::regex_match(lines[0], m, std::regex("DeviceList \\((.+)\\): (.*)")))
        << lines[0];
    EXPECT_EQ(r.count, m.size() == 3 ? m[2].str() : "");
    EXPECT_EQ(r.items, std::vector<std::string>(lines.begin() + 1, lines.end()));
    HTREEITEM root = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    EXPECT_EQ(root, reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0)))
        << "the list's root is selected";
  }
  delete form;
}

TEST_F(DeviceControl, ConnectionKindsBindTheirEndpoints) {
  struct Row {
    int kind;
    bool made;
    std::vector<std::string> binds;  // endpoints bound, in order
  } rows[] = {{0, true, {}},
              {1, true, {"0x83"}},
              {2, true, {"0x81", "0x83"}},
              {3, false, {}},
              {-1, false, {}}};
  for (const Row& r : rows) {
    SCOPED_TRACE("kind " + std::to_string(r.kind));
    Use(Tr410());
    benchctl::ClearRecord();
    TDeviceList list;
    ASSERT_EQ(1, list.Count());
    Connection connection = CreateDeviceConnection(*list.GetDevice(0), r.kind);
    EXPECT_EQ(r.made, connection != nullptr);
    std::vector<std::string> binds;
    for (const std::string& l : benchctl::CallRecord(" BindEndpoint ")) {
      std::smatch m;
      if (std::regex_search(l, m, std::regex("BindEndpoint (0x[0-9A-Fa-f]{2})")))
        binds.push_back(m[1].str());
    }
    EXPECT_EQ(r.binds, binds);
  }
}

TEST_F(DeviceControl, WithoutASupplyTheUserRebootsTheDeviceByHand) {
  struct Row {
    const char* name;
    int answer;
    bool switched;  // the user switches the device off and on
    bool result;
    const char* last;  // the flow's last log line
  } rows[] = {
      {"switched off and on", IDYES, true, true, "[UsbDevCtrl]   OK, Reboot via PowerSupply"},
      {"Yes, but the device stays on", IDYES, false, false,
       "[UsbDevCtrl]  Timeout on manually rebooting TR410"},
      {"No", IDNO, false, false,
       "[UsbDevCtrl]   UNSUCCESS, I don't find a PowerSypply via which is possible reboot TR410, "
       "and you don't want reboot manually."},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    // Switched off, the device is away for 30 s of the bench clock.
    Use(Tr410().Bench("CycleMs", "30000"));
    std::vector<std::string> asked;
    Answering events(log_, [&](const Question& q) {
      asked.push_back(q.text);
      if (r.switched) {
        TDeviceList list;
        Connection device = CreateDeviceConnection(*list.GetDevice(0), 0);
        device->CyclePort();
      }
      return r.answer;
    });
    view_.events = &events;
    Connection connection, supply;
    EXPECT_EQ(r.result, RebootViaPs({0x0E7B, 6, "", "", "2001"}, true, connection, view_, supply));
    view_.events = &events_;
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(0u, asked[0].find("I cannot find any PowerSupply (PS)")) << asked[0];
    EXPECT_EQ(r.last, log_.Lines().back());
    EXPECT_EQ(r.result, connection != nullptr);
    if (r.switched) {
      EXPECT_EQ(1u, Holding("[UsbDevCtrl]   the device is connected again (device: vid:0x0e7b, "
                            "pid:0x0006, s.n.:\"2001\")")
                        .size());
    }
  }
}

}  // namespace
