// The device requests beside the batch operations: flash status, suspend,
// idle wait, firmware version, markers, reboot and kill.
#include <type_traits>

#include "flash_fixture.h"

namespace tessaro {
namespace {

// The log list and the transfer list are both the form's line lists: only
// their role types keep a swapped or unwrapped call from compiling.
static_assert(std::is_invocable_v<decltype(&ReadFirmwareVersion), TDevice*, FirmwareVersion&, bool,
                                  LogList, TransferList>);
static_assert(!std::is_invocable_v<decltype(&ReadFirmwareVersion), TDevice*, FirmwareVersion&, bool,
                                   TransferList, LogList>);
static_assert(!std::is_invocable_v<decltype(&ReadFirmwareVersion), TDevice*, FirmwareVersion&, bool,
                                   TLineList*, TLineList*>);
// FlashProgram has two forms: a call through this asks them both.
constexpr auto kFlashProgram = [](auto&&... a) -> decltype(FlashProgram(a...)) {
  return FlashProgram(a...);
};
static_assert(
    std::is_invocable_v<decltype(kFlashProgram), TDevice*, TSelectableList&, const ProgramBlocks&,
                        uint32_t, const FlashRecord&, LogList, TransferList>);
static_assert(
    !std::is_invocable_v<decltype(kFlashProgram), TDevice*, TSelectableList&, const ProgramBlocks&,
                         uint32_t, const FlashRecord&, TransferList, LogList>);

TEST_F(FlashTest, FlashStatusRightAfterAutoselectShowsTheChip) {
  Use(Bench({{"FlashProtection", "0x01"}}));
  ASSERT_TRUE(FlashAutoselect(Device(), Chip(), 0, 0xAAA, Log(), Transfer()));
  log_.Clear();
  EXPECT_TRUE(GetFlashStatus(Device(), Log(), Transfer()));
  EXPECT_EQ((std::vector<std::string>{
                "=====   Get FlashStatus   ===== \n\r  status: \"ok_respond_autoselect\" \n\r  "
                "ManufactureID: 0x01 \n\r  DeviceID: 0x2258 \n\r  SectorProtection: 0x01 "}),
            Lines());
}

TEST_F(FlashTest, FlashStatusAfterAutoselectJudgesTheReplyJustRead) {
  // The read after the autoselect's own polls answers an error.
  Use(Bench().Fault("Operation=VendorRequestIn FacId=0x0300 After=2 Action=Malformed Data=" +
                    Answer(0x0013, 0x44332211)));
  ASSERT_TRUE(FlashAutoselect(Device(), Chip(), 0, 0xAAA, Log(), Transfer()));
  log_.Clear();
  EXPECT_TRUE(GetFlashStatus(Device(), Log(), Transfer()));
  EXPECT_EQ((std::vector<std::string>{"", "--- Get FlashStatus --- ",
                                      "  status: \"error_autoselect\" (0x0013(19)) ",
                                      "  0x11, 0x22, 0x33, 0x44, CRC16: 0x5709  "}),
            Lines());
  EXPECT_EQ(0x2258, Flash().FoundDeviceID) << "the chip ids found stay";
  EXPECT_EQ(0x01, Flash().FoundManufactureID);
}

TEST_F(FlashTest, FlashStatusAnswers) {
  struct Row {
    const char* name;
    std::string fault;
    bool result;
    std::vector<std::string> lines;
  } rows[] = {
      {"an idle device",
       "",
       true,
       {"", "--- Get FlashStatus --- ", "  status: \"flash_idle\" (0x0009(9)) ",
        "  0x00, 0x00, 0x00, 0x00, CRC16: 0xE248  "}},
      {"a short answer",
       "Operation=VendorRequestIn FacId=0x0300 Action=Short Bytes=6",
       false,
       {"--- error Get FlashStatus, readen bad length of data ( 6 B, must be 8 B) ---"}},
      {"a bad CRC",
       "Operation=VendorRequestIn FacId=0x0300 Action=Malformed Data=0900000000000000",
       false,
       {"--- error Get FlashStatus, Bad CRC ( 0x0000 , must be 0xE248) ---"}},
  };
  for (const Row& r : rows) {
    ROW_TRACE(r.name);
    benchctl::BenchSpec spec = Bench();
    if (!r.fault.empty()) spec.Fault(r.fault);
    Use(spec);
    EXPECT_EQ(r.result, GetFlashStatus(Device(), Log(), Transfer()));
    EXPECT_EQ(r.lines, Lines());
  }
}

TEST_F(FlashTest, SuspendAndIdleWait) {
  const char* readFailed =
      " Error in reading status from device (Command Status is working only on FW, not on "
      "SafeMode).";
  struct Row {
    const char* name;
    bool idle;  // WaitForIdle, else SuspendDevice
    std::vector<std::pair<const char*, const char*>> keys;
    std::string fault;
    bool result;
    std::vector<std::string> lines;
  } rows[] = {
      {"suspended after one request",
       false,
       {},
       "",
       true,
       {" OK, read status 0 (0x00000000) from device", " OK, send command Suspend to device",
        " sleep 100ms.", " OK, read status 128 (0x00000080) from device",
        " OK, device is suspended (status=128)"}},
      {"already suspended",
       false,
       {{"Status", "129"}},
       "",
       true,
       {" OK, read status 129 (0x00000081) from device", " OK, device is suspended (status=129)"}},
      {"no status in safe mode",
       false,
       {},
       "Operation=VendorRequestIn FacId=0x0200 Action=Status",
       false,
       {readFailed, " Error in suspending of device."}},
      {"idle after two busy reads",
       true,
       {{"StatusSequence", "5 3 1"}},
       "",
       true,
       {" OK, read status 5 (0x00000005) from device", " sleep 100ms.",
        " OK, read status 3 (0x00000003) from device", " sleep 100ms.",
        " OK, read status 1 (0x00000001) from device", " OK, device is in IDLE (status=1)"}},
      {"no status read while waiting",
       true,
       {{"StatusSequence", "2"}},
       "Operation=VendorRequestIn FacId=0x0200 Action=Short Bytes=1 After=1",
       false,
       {" OK, read status 2 (0x00000002) from device", " sleep 100ms.", readFailed,
        " Error in waiting for IDLE of device."}},
  };
  for (const Row& r : rows) {
    ROW_TRACE(r.name);
    benchctl::BenchSpec spec = Bench();
    for (auto& kv : r.keys) spec.With(kv.first, kv.second);
    if (!r.fault.empty()) spec.Fault(r.fault);
    Use(spec);
    bool result = r.idle ? WaitForIdle(Device(), Log(), Transfer(), nullptr)
                         : SuspendDevice(Device(), Log(), Transfer(), nullptr);
    EXPECT_EQ(r.result, result);
    EXPECT_EQ(r.lines, Lines());
  }
}

TEST_F(FlashTest, IdleWaitGivesUpAfter3000Rounds) {
  Use(Bench({{"Status", "2"}}));
  EXPECT_FALSE(WaitForIdle(Device(), Log(), Transfer(), nullptr));
  std::vector<std::string> lines = Lines();
  EXPECT_EQ(1u + 3000 * 2 + 1, lines.size());
  EXPECT_EQ(" Error in waiting for IDLE of device.", lines.back());
}

TEST_F(FlashTest, SuspendGivesUpAfter500Requests) {
  Use(Bench({{"SuspendedStatus", "7"}}));
  EXPECT_FALSE(SuspendDevice(Device(), Log(), Transfer(), nullptr));
  EXPECT_EQ(500u, benchctl::CallRecord("FacId=0x3800").size());
  EXPECT_EQ(" Error in suspending of device.", Lines().back());
}

TEST_F(FlashTest, FirmwareVersionChecks) {
  struct Row {
    const char* name;
    const char* version;  // empty: the read fails
    uint32_t limit;
    bool below;
    std::string line;
    std::string text;
  } rows[] = {
      {"1.9 is below 2.0", "1.9", 0x00020000, true, " OK, version \"1.9\" is less than 2.0",
       "Version of FW in device [1.9], First off limits FW in binary [2.0]"},
      {"2.0 is not below 2.0", "2.0", 0x00020000, false, " ERROR, version \"2.0\" is less than 2.0",
       "Version of FW in device [2.0], First off limits FW in binary [2.0]"},
      {"2.1 is not below 2.0", "2.1", 0x00020000, false, " ERROR, version \"2.1\" is less than 2.0",
       "Version of FW in device [2.1], First off limits FW in binary [2.0]"},
      {"no version read", "", 0x00030004, false,
       " ERROR, cannot read version from device( test: version is less than 3.4",
       "Version of FW in device [Cannot read version from device], First off limits FW in binary "
       "[3.4]"},
  };
  for (const Row& r : rows) {
    ROW_TRACE(r.name);
    benchctl::BenchSpec spec = Bench();
    if (*r.version)
      spec.With("Version", r.version);
    else
      spec.Fault("Operation=VendorRequestIn FacId=0x1010 Action=Short Bytes=2");
    Use(spec);
    std::string text;
    EXPECT_EQ(r.below, FirmwareVersionBelow(Device(), r.limit, Log(), Transfer(), &text));
    EXPECT_EQ(r.line, Lines().back());
    EXPECT_EQ(r.text, text);
  }
}

TEST_F(FlashTest, FirmwareVersionReadAndList) {
  Use(Bench({{"Version", "3.12"}}));
  FirmwareVersion v;
  EXPECT_TRUE(ReadFirmwareVersion(Device(), v, false, Log(), Transfer()));
  EXPECT_EQ(3, v.major);
  EXPECT_EQ(12, v.minor);
  EXPECT_EQ(" OK, read version 3.12  (0x000C0003) from device", Lines().back());
  EXPECT_TRUE(ReadFirmwareVersion(Device(), v, true, Log(), Transfer()));
  EXPECT_EQ(
      " WARNING, device is in safe mode, will use last information: version 3.12  (0x000C0003)",
      Lines().back());
  std::vector<uint32_t> list = {0x00010000, 0x0003000C, 0x00040000};
  EXPECT_TRUE(FirmwareVersionInList(Device(), list, 2, Log(), Transfer()));
  EXPECT_EQ(" OK, version \"3.12\" is in list of versions", Lines().back());
  EXPECT_FALSE(FirmwareVersionInList(Device(), list, 0, Log(), Transfer()))
      << "only the entries up to the highest index count";
  EXPECT_EQ(" Error, version \"3.12\" isn't in list of versions", Lines().back());
}

TEST_F(FlashTest, MarkersAndKill) {
  // A device that stays on the bus when told to reboot: the requests alone.
  Use(Bench({{"RebootFault", "Stays"}, {"RebootFaultTimes", "0"}}));
  EXPECT_TRUE(SetMarker(Device(), true, Log(), Transfer()));
  EXPECT_EQ("1", benchctl::ReadState(file_, "Device0", "RebootMarker"));
  EXPECT_TRUE(ClearMarker(Device(), false, Log(), Transfer()));
  EXPECT_EQ("0", benchctl::ReadState(file_, "Device0", "RebootMarker"));
  EXPECT_FALSE(RestartByMarker(Device(), true, Log(), Transfer())) << "it never waits";
  EXPECT_TRUE(CommandKill(Device(), true, Log(), Transfer()));
  EXPECT_EQ((std::vector<std::string>{
                "", "=====   CMD_MARKER_REBOOT: SetRebootMarker =====", "  waiting: .",
                "  OK CMD_MARKER_REBOOT SetRebootMarker, (200 ms)", "  waiting: .",
                "  OK CMD_MARKER_REBOOT ClearRebootMarker, (200 ms)", "",
                "=====   CMD_MARKER_REBOOT: Reboot =====",
                " Reboot (this command don't wait on a respond)",
                "=====   command KILL =====", " OK, to device was successfully sent command kill"}),
            Lines());
  std::vector<std::string> sent = benchctl::CallRecord("VendorRequestOut FacId=0x0316");
  ASSERT_EQ(3u, sent.size());
  EXPECT_NE(std::string::npos, sent[0].find("len=4: 01 00 ")) << sent[0];
  EXPECT_EQ(1u, benchctl::CallRecord("VendorRequestOut FacId=0x3040 wIndex=0 len=0").size());
}

TEST_F(FlashTest, MarkerAnswers) {
  struct Row {
    const char* name;
    std::vector<std::pair<const char*, const char*>> keys;
    std::string last;
  } rows[] = {
      {"the device's error status",
       {{"FlashAnswer.0316", "0x0103"}},
       "  ERROR CMD_MARKER_REBOOT SetRebootMarker, Device sent respond \"error_marker_reboot\" "
       "(200ms)"},
      {"busy past the autoselect time-out",
       {{"FlashBusyPolls.0316", "100"}},
       "  ERROR, CMD_MARKER_REBOOT SetRebootMarker, TIMEOUT (600ms)"},
  };
  for (const Row& r : rows) {
    ROW_TRACE(r.name);
    benchctl::BenchSpec spec = Bench();
    for (auto& kv : r.keys) spec.With(kv.first, kv.second);
    Use(spec);
    EXPECT_FALSE(SetMarker(Device(), false, Log(), Transfer()));
    EXPECT_EQ(r.last, Lines().back());
  }
}

TEST_F(FlashTest, RebootRequestProbesThenRebootsAndAsksWhetherTheDeviceIsGone) {
  for (bool gone : {true, false}) {
    ROW_TRACE(gone ? "the device left the bus" : "the device stayed");
    Use(Bench({{"RebootFault", "Stays"}, {"RebootFaultTimes", "0"}}));
    EXPECT_EQ(gone, RebootRequest(Device(), &log_, [gone] { return !gone; }));
    std::vector<std::string> sent = benchctl::CallRecord("VendorRequestOut FacId=0x03");
    ASSERT_EQ(2u, sent.size());
    EXPECT_NE(std::string::npos, sent[0].find("FacId=0x0310 wIndex=0 len=4: 64 00 ")) << sent[0];
    EXPECT_NE(std::string::npos, sent[1].find("FacId=0x0316 wIndex=0 len=4: 03 00 ")) << sent[1];
    EXPECT_EQ((std::vector<std::string>{" try read respond"}), Lines());
  }
}

}  // namespace
}  // namespace tessaro

namespace tessaro {
namespace {

TEST_F(FlashTest, ARequestTheDeviceDidNotTakeFailsItsOperation) {
  // The second marker request and the kill are refused by the driver: the
  // first request's success must not pass for theirs.
  Use(Bench()
          .Fault("Operation=VendorRequestOut FacId=0x0316 After=1 Action=Status Status=0xE0000004")
          .Fault("Operation=VendorRequestOut FacId=0x3040 Action=Status Status=0xE0000004")
          .Fault("Operation=VendorRequestOut FacId=0x0330 After=1 Action=Status "
                 "Status=0xE0000004"));
  EXPECT_TRUE(SetMarker(Device(), false, Log(), Transfer()));
  EXPECT_FALSE(ClearMarker(Device(), false, Log(), Transfer()));
  EXPECT_EQ("1", benchctl::ReadState(file_, "Device0", "RebootMarker")) << "the marker stays set";
  EXPECT_FALSE(CommandKill(Device(), false, Log(), Transfer()));
  EXPECT_TRUE(FlashEraseChip(Device(), Chip(), 0, Log(), Transfer()));
  EXPECT_FALSE(FlashEraseChip(Device(), Chip(), 0, Log(), Transfer()));
}

}  // namespace
}  // namespace tessaro
