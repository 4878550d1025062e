// The device states through Kestor's real window over the bench: a power
// supply with its TR440 found, read and checked against the package, the
// machine resting in Update Possible with the device's data shown, each
// refusal shown in the Error state, and Exit reaching the Exit state with
// the USB 2.0 controller switched on again.
#include <algorithm>

#include "benchctl/bench_flash.h"
#include "device/mmi_file.h"
#include "hwport/clock.h"
#include "kestor_on_bench.h"
#include "sample_package.h"

namespace {

const bool kBench = benchctl::BenchFromTheStart();

using testsupport::ControlText;

using namespace kestortest;

TEST_F(DeviceStates, FindsTheDeviceAndRestsInUpdatePossibleWithItsData) {
  Open(Tr440());
  EXPECT_EQ(ControlText(window_, IDC_DEV_TYPE), "TR440");
  EXPECT_EQ(ControlText(window_, IDC_DEV_SERIAL), "4711");
  EXPECT_EQ(ControlText(window_, IDC_DEV_REL), "1.2");
  EXPECT_TRUE(testsupport::ControlEnabled(window_, IDC_START_BUTTON));
  EXPECT_EQ(testsupport::WindowText(window_), "Kestor");
  const char* rows[3][4] = {{"MODULE", "Ready for update", "2.10", "2.10"},
                            {"MMI", "Ready for update", "1.02", "1.05"},
                            {"SET REVISION", "Ready for update", "1.2", "1.3"}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c)
      EXPECT_EQ(StepCell(r, c), rows[r][c]) << "row " << r << " column " << c;
  const std::string log = DebugLog();
  EXPECT_NE(log.find("DeviceSerNr    4711\nSTPC-SerNr     \n\n\nRevisions:\nPS   : 3.10\nMod  : "
                     "2.10\nMMI  : 1.02\nRev  : 1.2\n Date  : 12/24/2005\n"),
            std::string::npos)
      << log;
  ASSERT_TRUE(ExitAndClose());
  EXPECT_EQ(pc_.switches, (std::vector<std::string>{"off", "on"}));
  EXPECT_NE(DebugLog().find("Updater Closed!"), std::string::npos);
}

struct Refusal {
  const char* name;
  const char* section;
  const char* minimum;
  const char* maximum;
  const char* supplySerial;
  const char* status;
  const char* log;
  const char* fault = "";        // a bench fault rule ("": none)
  const char* secondTr440 = "";  // the serial number of a second TR440 on the supply ("": none)
};

const char kSeveralDevices[] =
    "Error - More than one Lumetra device found: Please connect only one instrument for the "
    "update!";

const char kSerialRefused[] =
    "Error - Update not possible: The serial number of the connected device is not supported.";

// The supply's block unread, once or at every read.
const char kBlockUnreadOnce[] =
    "Device=0 Operation=VendorRequestIn FacId=0x2200 Action=Status Status=0xE0000004";
const char kBlockUnread[] =
    "Device=0 Operation=VendorRequestIn FacId=0x2200 Action=Status Status=0xE0000004 Times=0";

const Refusal kRefusals[] = {
    {"ReleaseExcluded", "Excluded Revs", "1.0", "1.5", "0000004711",
     "Error - Update not possible: Installed release not supported by the update software.",
     "\nDevice Revision Number (1.2) is in excluded area 1 - 1.5!\n"},
    {"DeviceSerialExcluded", "Excluded DevSerials", "4700", "4711", "0000004711", kSerialRefused,
     "\nSerial Number (4711) is in excluded area 4700 - 4711 for this Device\n"},
    {"ModuleSerialExcluded", "Excluded ModSerials", "4711", "4800", "0000004711", kSerialRefused,
     "\nSerial Number (4711) is in excluded area 4711 - 4800 for this Modul\n"},
    {"TenDigitSupplySerialExcluded", "Excluded PSSerials", "4000000000", "4999999999", "4500000000",
     kSerialRefused,
     "\nSerial Number (4500000000) is in excluded area 4000000000 - 4999999999 for this "
     "Powersupply\n"},
    // The release and the device's serial number come from the supply's
    // block: one read that failed is made again before the lists are checked.
    {"ReleaseExcludedWithTheBlockReadTwice", "Excluded Revs", "1.0", "1.5", "0000004711",
     "Error - Update not possible: Installed release not supported by the update software.",
     "\nDevice Revision Number (1.2) is in excluded area 1 - 1.5!\n", kBlockUnreadOnce},
    {"DeviceSerialExcludedWithTheBlockReadTwice", "Excluded DevSerials", "4700", "4711",
     "0000004711", kSerialRefused,
     "\nSerial Number (4711) is in excluded area 4700 - 4711 for this Device\n", kBlockUnreadOnce},
    // A block that cannot be read at all is no basis for the lists.
    {"TheBlockNeverRead", "Excluded DevSerials", "4700", "4711", "0000004711",
     "Error - communication failure: Please check the USB connection!",
     "Powersupply block could not be read!\n", kBlockUnread},
    // The search passes over both: they are more than one device, as two
    // supplies are.
    {"TwoInstrumentsOfThePackagesType", "", "", "", "0000004711", kSeveralDevices,
     "following Error occured:\nError - More than one Lumetra device found", "", "0000001002"},
};

class DeviceRefusal : public DeviceStates, public ::testing::WithParamInterface<Refusal> {};

TEST_P(DeviceRefusal, EndsInTheErrorStateAndExitsWithUsbOn) {
  const Refusal& row = GetParam();
  if (*row.section)
    package_.Set(row.section, "min1", row.minimum).Set(row.section, "max1", row.maximum);
  benchctl::BenchSpec spec = Tr440();
  spec.WithDevice(0, "Serial", row.supplySerial);
  if (*row.fault) spec.Fault(row.fault);
  if (*row.secondTr440) spec.Instrument(5, row.secondTr440).With("Parent", "0");
  Open(spec, row.status);
  EXPECT_FALSE(testsupport::ControlEnabled(window_, IDC_START_BUTTON));
  EXPECT_NE(DebugLog().find(row.log), std::string::npos) << DebugLog();
  EXPECT_EQ(benchctl::FaultsNotFired(folder_ / "bench.ini"), std::vector<std::string>{});
  ASSERT_TRUE(ExitAndClose());
  EXPECT_EQ(pc_.switches, (std::vector<std::string>{"off", "on"}));
}

INSTANTIATE_TEST_SUITE_P(Lists, DeviceRefusal, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<Refusal>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(DeviceStates, WrongType) {
  package_.Set("Kestor", "SuppDevice", "TR410");
  Open(Tr440(),
       "Error - Wrong device type connected. Only the supported instrument type can be updated!");
  ASSERT_TRUE(ExitAndClose());
}

TEST_F(DeviceStates, AnInstrumentUnderThePackagesOwnProductIdIsFound) {
  package_.Package("TRX9", "1.3").Set("Kestor", "CustPID", "77");
  Open(OlderSupplyWithInstrument(100, 0x77, "0000001001"));
  EXPECT_EQ(ControlText(window_, IDC_DEV_TYPE), "TRX9");
  EXPECT_NE(DebugLog().find("TRX9           0000001001\n"), std::string::npos) << DebugLog();
  ASSERT_TRUE(ExitAndClose());
}

TEST_F(DeviceStates, SeveralSupplies) {
  benchctl::BenchSpec two = Tr440();
  two.Supply(16, "0000004712");
  Open(two, kSeveralDevices);
  ASSERT_TRUE(ExitAndClose());
}

TEST_F(DeviceStates, ANewerDeviceWarnsAndStillOffersTheUpdate) {
  package_.Set("Rev", "Rev", "1.1");
  Open(Tr440(),
       "Warning - Firmware is newer than the firmware in the update package. Downgrade is not "
       "recommended!");
  // The warning shows while the device is read; Start opens a moment later.
  EXPECT_TRUE(Eventually([&] { return testsupport::ControlEnabled(window_, IDC_START_BUTTON); }));
  ASSERT_TRUE(ExitAndClose());
}

TEST_F(DeviceStates, TheUpdateModeSkipsThePackagesChecks) {
  package_.Set("Excluded Revs", "min1", "0.0").Set("Excluded Revs", "max1", "9.9");
  Open(Tr440("SUSB001001"));
  EXPECT_TRUE(testsupport::ControlEnabled(window_, IDC_START_BUTTON));
  EXPECT_NE(DebugLog().find("Modul or Powersupply in shortUSB, starting with PS-Update..."),
            std::string::npos);
  ASSERT_TRUE(ExitAndClose());
}

TEST_F(DeviceStates, ExitWhileListeningReachesExit) {
  benchctl::BenchSpec none;
  none.TimeScale(100);
  Open(none, "Searching for device...");
  ASSERT_TRUE(ExitAndClose());
  EXPECT_EQ(pc_.switches, (std::vector<std::string>{"off", "on"}));
  EXPECT_NE(DebugLog().find("Update cancelled by user"), std::string::npos);
}

// Exit while USB Connect reads the device: an instrument as it runs, and one
// in its update mode, whose supply is still read.
struct ReadInterrupted {
  const char* name;
  const char* deviceSerial;
  bool updateMode;
};

const ReadInterrupted kReadsInterrupted[] = {
    {"AnInstrument", "0000001001", false},
    {"AnInstrumentInItsUpdateMode", "SUSB001001", true},
};

class ExitWhileReadingTheDevice : public DeviceStates,
                                  public ::testing::WithParamInterface<ReadInterrupted> {};

TEST_P(ExitWhileReadingTheDevice, ReachesExitPromptly) {
  const ReadInterrupted& row = GetParam();
  // The panel answers slowly, on a clock at wall speed: reading the device
  // takes seconds, and Exit comes while it is read.
  benchctl::BenchSpec slow = Tr440(row.deviceSerial);
  slow.TimeScale(1).WithDevice(0, "ReplyDelayMs", "2000");
  Open(slow, "Reading device data...");
  ASSERT_TRUE(ExitAndClose());
  EXPECT_EQ(pc_.switches, (std::vector<std::string>{"off", "on"}));
  // The cancel is seen right after the reads: no checks, no Update Possible.
  const std::string log = DebugLog();
  EXPECT_EQ(
      log.find("Modul or Powersupply in shortUSB, starting with PS-Update...") != std::string::npos,
      row.updateMode)
      << log;
  EXPECT_NE(log.find("following Error occured:\nUpdate cancelled by user"), std::string::npos)
      << log;
  EXPECT_EQ(log.find("DeviceSerNr"), std::string::npos) << log;
  EXPECT_NE(log.find("Updater Closed!"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Devices, ExitWhileReadingTheDevice, ::testing::ValuesIn(kReadsInterrupted),
                         [](const ::testing::TestParamInfo<ReadInterrupted>& info) {
                           return std::string(info.param.name);
                         });

// USB Listen asks the supply's front panel for its state before it passes the
// device on. The debug log's entries about it (written from trace level 1):
const char kWaitingForFiles[] = "Device waiting for MMI-Files ! Rebooting device!\n\n";
const char kPanelRebooting[] = "Device rebooting,waiting 10 sec.\n\n";
const char kPanelReady[] = "Device Ready!\n\n";
const char kBooting[] = "Device is booting...";

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The supply's reboots that Kestor asked for.
size_t SupplyReboots() { return benchctl::CallRecord("FacId=0x2222").size(); }

// How often the panel answered "not ready" (a reply event 0xC6).
size_t NotReadyAnswers() { return benchctl::CallRecord("70 61 00 00 00 00 C6 00").size(); }

using SupplyKeys = std::vector<std::pair<const char*, const char*>>;

// The TR440 whose supply has these keys.
benchctl::BenchSpec Tr440WithSupplyKeys(const SupplyKeys& keys,
                                        const std::string& deviceSerial = "0000001001") {
  benchctl::BenchSpec spec = Tr440(deviceSerial);
  for (const auto& [key, value] : keys) spec.WithDevice(0, key, value);
  return spec;
}

// How often each of the entries above is in the debug log.
struct LoggedAtListen {
  size_t waitingForFiles;
  size_t rebooting;
  size_t ready;
};

// A panel that comes to answer normally: the device reaches Update Possible.
struct PanelAtListen {
  const char* name;
  SupplyKeys keys;
  int traceLevel;
  LoggedAtListen logged;
  size_t reboots;
  bool answeredNotReady;  // the panel answered "not ready" at least once
  const char* mmiColumn;  // the front-panel step's device version
};

const PanelAtListen kPanelsAtListen[] = {
    {.name = "ARunningPanelIsReadyAtOnce",
     .keys = {},
     .traceLevel = 1,
     .logged = {.waitingForFiles = 0, .rebooting = 0, .ready = 1},
     .reboots = 0,
     .answeredNotReady = false,
     .mmiColumn = "1.02"},
    // Within the query's own resends the panel is done: no wait of 10 s.
    {.name = "ABriefBootEndsWhileTheQueryIsSentAgain",
     .keys = {{"PanelState", "booting"}, {"PanelBootMs", "500"}},
     .traceLevel = 1,
     .logged = {.waitingForFiles = 0, .rebooting = 0, .ready = 1},
     .reboots = 0,
     .answeredNotReady = true,
     .mmiColumn = "1.02"},
    // "Not ready" to all six sends of one query: 10 s, then asked again.
    {.name = "APanelBootingThroughAQueryIsAskedAgainAfterTheWait",
     .keys = {{"Replies.4041", "C6*6 33"}},
     .traceLevel = 1,
     .logged = {.waitingForFiles = 0, .rebooting = 1, .ready = 1},
     .reboots = 0,
     .answeredNotReady = true,
     .mmiColumn = "1.02"},
    // Waiting for files: the supply is rebooted, and the panel runs after it.
    {.name = "APanelWaitingForFilesIsRebootedOnce",
     .keys = {{"PanelState", "waiting"}},
     .traceLevel = 1,
     .logged = {.waitingForFiles = 1, .rebooting = 0, .ready = 1},
     .reboots = 1,
     .answeredNotReady = false,
     .mmiColumn = "1.02"},
    // Still waiting after that one reboot: passed on all the same, with no
    // revision read from the panel.
    {.name = "APanelStillWaitingAfterItsRebootIsPassedOn",
     .keys = {{"PanelState", "waiting"}, {"Replies.4041", "C3"}},
     .traceLevel = 1,
     .logged = {.waitingForFiles = 2, .rebooting = 0, .ready = 0},
     .reboots = 1,
     .answeredNotReady = false,
     .mmiColumn = "0"},
    {.name = "AtTraceLevelZeroNothingOfItIsLogged",
     .keys = {{"PanelState", "waiting"}},
     .traceLevel = 0,
     .logged = {.waitingForFiles = 0, .rebooting = 0, .ready = 0},
     .reboots = 1,
     .answeredNotReady = false,
     .mmiColumn = "1.02"},
};

class PanelStateAtListen : public DeviceStates,
                           public ::testing::WithParamInterface<PanelAtListen> {};

TEST_P(PanelStateAtListen, ReachesUpdatePossible) {
  const PanelAtListen& row = GetParam();
  process_.TraceLevel(row.traceLevel);
  Open(Tr440WithSupplyKeys(row.keys));
  EXPECT_TRUE(Eventually([&] { return testsupport::ControlEnabled(window_, IDC_START_BUTTON); }));
  EXPECT_EQ(StepCell(1, 0), "MMI");
  EXPECT_EQ(StepCell(1, 2), row.mmiColumn);
  EXPECT_EQ(SupplyReboots(), row.reboots);
  EXPECT_EQ(NotReadyAnswers() > 0, row.answeredNotReady) << NotReadyAnswers();
  ASSERT_TRUE(ExitAndClose());
  const std::string log = DebugLog();
  EXPECT_EQ(Occurrences(log, kWaitingForFiles), row.logged.waitingForFiles) << log;
  EXPECT_EQ(Occurrences(log, kPanelRebooting), row.logged.rebooting) << log;
  EXPECT_EQ(Occurrences(log, kPanelReady), row.logged.ready) << log;
  // The panel's last answer is the one the device goes on with.
  if (row.logged.ready > 0) {
    const size_t ready = log.find(kPanelReady);
    for (const char* earlier : {kWaitingForFiles, kPanelRebooting}) {
      const size_t at = log.rfind(earlier);
      if (at != std::string::npos) {
        EXPECT_LT(at, ready) << earlier;
      }
    }
  }
  EXPECT_EQ(log.find("Update cancelled by user"), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Panels, PanelStateAtListen, ::testing::ValuesIn(kPanelsAtListen),
                         [](const ::testing::TestParamInfo<PanelAtListen>& info) {
                           return std::string(info.param.name);
                         });

// A device that does not come ready: USB Listen shows that it boots and
// waits on until Exit.
struct PanelNotReady {
  const char* name;
  SupplyKeys keys;
  const char* logged;  // an entry of the debug log
  size_t reboots;
  // The wait lasts until the debug log holds this many more searches (0:
  // Exit at once); a search that finds what the last one found is logged
  // once a minute of the bench clock, not at every search.
  size_t searchesLogged = 0;
};

const PanelNotReady kPanelsNotReady[] = {
    {"APanelThatStaysBusy", {{"Replies.4041", "C6"}}, kPanelRebooting, 0},
    // Searched again after each 10 s of waiting, always with the same outcome.
    {"ASearchWithTheSameOutcomeIsLoggedOnceAMinute",
     {{"Replies.4041", "C6"}},
     kPanelRebooting,
     0,
     3},
    // The supply rebooted for a panel waiting for files does not come back.
    {"ASupplyThatStaysAwayAfterItsReboot",
     {{"PanelState", "waiting"}, {"RebootMs", "100000000"}},
     kWaitingForFiles,
     1},
};

class PanelNotReadyAtListen : public DeviceStates,
                              public ::testing::WithParamInterface<PanelNotReady> {};

TEST_P(PanelNotReadyAtListen, ShowsTheBootUntilExit) {
  const PanelNotReady& row = GetParam();
  process_.TraceLevel(1);
  // A clock that the host's own time moves little: the searches come from
  // the state's waits, not from a loaded host.
  Open(Tr440WithSupplyKeys(row.keys).TimeScale(row.searchesLogged ? 20 : 100), kBooting);
  EXPECT_EQ(testsupport::WindowText(window_), "Kestor");
  EXPECT_FALSE(testsupport::ControlEnabled(window_, IDC_START_BUTTON));
  if (row.searchesLogged) {
    auto searches = [&] { return Occurrences(DebugLog(), "Searching Devices ...\n"); };
    const DWORD from = hwport::TickCount();
    const size_t before = searches();
    size_t after = before;
    ASSERT_TRUE(Eventually([&] { return (after = searches()) >= before + row.searchesLogged; },
                           4 * kEventuallyMs))
        << DebugLog();
    const DWORD waited = hwport::TickCount() - from;
    EXPECT_LE(after - before, 1 + waited / 60000) << waited << " ms\n" << DebugLog();
  }
  EXPECT_EQ(SupplyReboots(), row.reboots);
  ASSERT_TRUE(ExitAndClose());
  EXPECT_EQ(pc_.switches, (std::vector<std::string>{"off", "on"}));
  const std::string log = DebugLog();
  EXPECT_NE(log.find(row.logged), std::string::npos) << log;
  EXPECT_EQ(log.find(kPanelReady), std::string::npos) << log;
  EXPECT_EQ(log.find("Modul or Powersupply in shortUSB"), std::string::npos) << log;
  EXPECT_NE(log.find("following Error occured:\nUpdate cancelled by user"), std::string::npos)
      << log;
}

INSTANTIATE_TEST_SUITE_P(Panels, PanelNotReadyAtListen, ::testing::ValuesIn(kPanelsNotReady),
                         [](const ::testing::TestParamInfo<PanelNotReady>& info) {
                           return std::string(info.param.name);
                         });

// The release the device box shows in Update Possible. A supply in its update
// mode is not read: with neither release nor beta known the box says so.
struct ReleaseShown {
  const char* name;
  SupplyKeys supplyKeys;
  const char* deviceSerial;
  const char* release;
  const char* serial;        // the device box's serial number
  const char* moduleColumn;  // the module step's device version
  bool updateMode;           // USB Connect took the update mode's way
};

const ReleaseShown kReleasesShown[] = {
    {"ASupplyInItsUpdateMode",
     {{"Mode", "safe"}},
     "0000001001",
     "The device is in the update mode",
     "0",
     "",
     true},
    {"AnInstrumentInItsUpdateMode", {}, "SUSB001001", "1.2", "4711", "2.10", true},
    {"ABetaRelease", {{"Beta", "3"}}, "0000001001", "1.2Beta3", "4711", "2.10", false},
};

class DeviceReleaseShown : public DeviceStates,
                           public ::testing::WithParamInterface<ReleaseShown> {};

TEST_P(DeviceReleaseShown, InTheDeviceBox) {
  const ReleaseShown& row = GetParam();
  Open(Tr440WithSupplyKeys(row.supplyKeys, row.deviceSerial));
  EXPECT_TRUE(Eventually([&] { return testsupport::ControlEnabled(window_, IDC_START_BUTTON); }));
  EXPECT_EQ(ControlText(window_, IDC_DEV_TYPE), "TR440");
  EXPECT_EQ(ControlText(window_, IDC_DEV_REL), row.release);
  EXPECT_EQ(ControlText(window_, IDC_DEV_SERIAL), row.serial);
  EXPECT_EQ(StepCell(0, 0), "MODULE");
  EXPECT_EQ(StepCell(0, 2), row.moduleColumn);
  ASSERT_TRUE(ExitAndClose());
  EXPECT_EQ(DebugLog().find("Modul or Powersupply in shortUSB, starting with PS-Update...") !=
                std::string::npos,
            row.updateMode)
      << DebugLog();
}

INSTANTIATE_TEST_SUITE_P(Devices, DeviceReleaseShown, ::testing::ValuesIn(kReleasesShown),
                         [](const ::testing::TestParamInfo<ReleaseShown>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(DeviceStates, APanelThatDoesNotAnswerInTimeShowsTheDialogsBox) {
  // The panel answers the file's only data packet "file exists" twice first:
  // the sender pauses 3 s each time, well past the data packet's 3 s timer.
  // The timer runs on the wall's clock: at the wall's pace a loaded machine
  // still shows the box before the exchange ends.
  benchctl::BenchSpec spec = Tr440();
  spec.TimeScale(1).WithDevice(0, "Replies.4022", "C7 C7 33");
  Open(spec);
  std::string file(1024 + 10, '\0');
  file.replace(0, 11, "TR440UPDATE");
  file.replace(21, 10, "\\front.bin");
  ASSERT_TRUE(testsupport::WriteFile(folder_ / "front.mmi", file));
  testsupport::MessageBoxAnswerer answerer({{"Kestor", "did not respond", IDOK}},
                                           GetCurrentProcessId());
  // The machine rests in Update Possible: the device is free for this call.
  MmiFileRecord record;
  record.Filename = folder_ / "front.mmi";
  ASSERT_EQ(theDeviceUpdater->stopMMI(), 0);
  EXPECT_EQ(theDeviceUpdater->UpdateMmiFile(record), 0);
  ASSERT_TRUE(answerer.WaitForCount(1));
  EXPECT_EQ(answerer.Seen()[0].text,
            "The device did not respond. You can wait or shut down the device");
  ASSERT_TRUE(ExitAndClose());
}

}  // namespace

// The update run through the same window: the module's firmware goes through
// Tessaro.dll into the bench's flash, the release is written to the supply.

namespace {

// The release step's progress (code 52) and its revision check (code 103).
constexpr LPARAM kReleaseProgress = 52;
constexpr LPARAM kRevisionCheck = 103;
using Progress = std::vector<std::pair<WPARAM, LPARAM>>;

// The release step's posts: its start; with a reboot of the supply, the 20 s
// after it in steps of 1 %, up to half the bar; the wait for the panel done,
// half the bar; the revision check, the whole bar.
Progress ReleaseProgress(bool reboot) {
  Progress posts = {{0, kReleaseProgress}};
  if (reboot)
    for (WPARAM p = 100; p <= 5000; p += 100) posts.emplace_back(p, kReleaseProgress);
  posts.emplace_back(5000, kReleaseProgress);
  posts.emplace_back(10000, kRevisionCheck);
  return posts;
}

std::string Text(const Progress& posts) {
  std::string text;
  for (const auto& [progress, code] : posts)
    text += std::to_string(progress) + "/" + std::to_string(code) + " ";
  return text;
}

}  // namespace

TEST_F(UpdateRunOnBench, ProgramsTheModuleAndWritesTheRelease) {
  Open(Tr440WithFlash());
  bench_ = folder_ / "bench.ini";
  StepProgressRecord progress(window_, {kReleaseProgress, kRevisionCheck});
  ASSERT_TRUE(progress.Hooked());
  Update("Update installed successfully! Press Exit to close the Kestor!");
  // The panel rebooted after its file is no reason for another reboot.
  EXPECT_TRUE(Eventually([&] { return progress.Posts() == ReleaseProgress(false); }))
      << Text(progress.Posts());
  const char* rows[3][4] = {{"MODULE", "Update finished", "2.11", "2.11"},
                            {"MMI", "Update finished", "1.05", "1.05"},
                            {"SET REVISION", "Update finished", "1.3", "1.3"}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c)
      EXPECT_EQ(StepCell(r, c), rows[r][c]) << "row " << r << " column " << c;
  EXPECT_EQ(ControlText(window_, IDC_DEV_REL), "1.3");
  const std::vector<uint8_t> flash = benchctl::ReadFlash(bench_, 1);
  ASSERT_GE(flash.size(), 0x104u);
  EXPECT_EQ(std::vector<uint8_t>(flash.begin(), flash.begin() + 32),
            std::vector<uint8_t>(32, 0xA5));
  EXPECT_EQ(std::vector<uint8_t>(flash.begin() + 0x100, flash.begin() + 0x104),
            (std::vector<uint8_t>{0x02, 0x00, 0x0B, 0x00}));
  EXPECT_TRUE(testsupport::ReadFileOr(bench_ + ".panel0\\_flash_front.bin") == panelPayload_)
      << "the panel holds the package's file";
  // Release 13, date 24.12.2005 packed, beta 0, as the supply stores them.
  EXPECT_EQ(SupplyBlockField(298, 6), "0D00980B0000");
  const std::string log = DebugLog();
  EXPECT_NE(log.find("All UpdateSteps successful! Writing new Revision 1.3\n"), std::string::npos)
      << log;
  ASSERT_TRUE(ExitAndClose());
  ExpectDialogMessages("ProgramsTheModuleAndWritesTheRelease");
}

// The module runs firmware 2.1 and the package brings 2.10: one number as a
// decimal, another version. The module is programmed, and the check after the
// run finds 2.10 in place before the release is written.
TEST_F(UpdateRunOnBench, AModuleOn21IsProgrammedWith210) {
  package_.Set("Module", "Rev", "2.10")
      .OutFile("tr440.bin", ProgramFileBytes(ModuleFirmwareSpec(false, 10)))
      .OutFile("tr440susb.bin", ProgramFileBytes(ModuleFirmwareSpec(true, 10)));
  benchctl::BenchSpec spec = Tr440WithFlash();
  spec.WithDevice(1, "Version", "2.1");
  Open(spec);
  bench_ = folder_ / "bench.ini";
  EXPECT_EQ(StepCell(0, 2), "2.1");
  Update(kInstalled);
  EXPECT_EQ(kestortest::FlashImageVersion(bench_, 1), "2.10") << "the module was programmed";
  EXPECT_TRUE(kestortest::FlashHolds(bench_, 1, ModuleFirmwareSpec(false, 10)));
  EXPECT_EQ(StepCell(0, 1), "Update finished");
  EXPECT_EQ(StepCell(0, 2), "2.10");
  EXPECT_EQ(SupplyBlockField(298, 6), "0D00980B0000");
  ASSERT_TRUE(ExitAndClose());
}

// The supply's firmware goes through Tessaro into the supply's own flash;
// after its reboot the supply reports the image's version, and the release
// check at the end finds every step's revision in place.
TEST_F(UpdateRunOnBench, ProgramsThePowerSupplyThroughTessaro) {
  WithSupplyStep();
  Open(kestortest::SupplyWithTr440OnFlash(100));
  bench_ = folder_ / "bench.ini";
  EXPECT_EQ(StepCell(1, 0), "PWR SUPPLY");
  EXPECT_EQ(StepCell(1, 2), "3.10");
  Update("Update installed successfully! Press Exit to close the Kestor!");
  const char* rows[4][4] = {{"MODULE", "Update finished", "2.11", "2.11"},
                            {"PWR SUPPLY", "Update finished", "3.11", "3.11"},
                            {"MMI", "Update finished", "1.05", "1.05"},
                            {"SET REVISION", "Update finished", "1.3", "1.3"}};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      EXPECT_EQ(StepCell(r, c), rows[r][c]) << "row " << r << " column " << c;
  EXPECT_TRUE(kestortest::FlashHolds(bench_, 0, kestortest::SupplyFirmwareSpec()))
      << "the supply's flash holds its image";
  EXPECT_EQ(kestortest::FlashImageVersion(bench_, 0), "3.11");
  EXPECT_TRUE(kestortest::FlashHolds(bench_, 1, kestortest::ModuleFirmwareSpec()))
      << "the module's flash holds its image";
  EXPECT_EQ(SupplyBlockField(298, 6), "0D00980B0000");
  // The supply went through its safe mode and back once.
  EXPECT_EQ(benchctl::ReadState(bench_, "Device0", "Mode"), "");
  const std::string log = DebugLog();
  EXPECT_NE(log.find("All UpdateSteps successful! Writing new Revision 1.3\n"), std::string::npos)
      << log;
  ASSERT_TRUE(ExitAndClose());
  // The sample package's run, its whole debug log.
  EXPECT_TRUE(DebugLogAsExpected(DebugLog(), "sample_run_debug_log.txt"));
}

const char kSameRelease[] =
    "Warning - The update package release and the installed release are identical: Update not "
    "necessary if all firmware parts identical! Install anyway?";

// How many of the boxes seen asked the same-release question (a slow machine
// may show the panel's informative box beside it).
size_t SameReleaseQuestions(const testsupport::MessageBoxAnswerer& answerer) {
  size_t n = 0;
  for (const testsupport::AnsweredBox& box : answerer.Seen()) n += box.text == kSameRelease;
  return n;
}

// The device holds the package's release already (1.2, beta 0): Kestor asks
// before it installs it again. No ends the run canceled with nothing sent;
// Yes installs the parts and leaves the release as it is.
TEST_F(UpdateRunOnBench, TheSameReleaseIsInstalledAgainOnlyOnYes) {
  package_.Set("Rev", "Rev", "1.2");
  {
    SCOPED_TRACE("No");
    testsupport::MessageBoxAnswerer answerer({{"Kestor", "identical", IDNO}},
                                             GetCurrentProcessId());
    Open(Tr440WithFlash());
    bench_ = folder_ / "bench.ini";
    Update("Update cancelled by user: Please restart the application to finish the update!");
    EXPECT_EQ(SameReleaseQuestions(answerer), 1u);
    EXPECT_EQ(ErrorTextIndex.load(), ERRTEXT_CANCELLED);
    for (int r = 0; r < 3; ++r) EXPECT_EQ(StepCell(r, 1), "Update canceled") << "row " << r;
    EXPECT_TRUE(benchctl::ReadFlash(bench_, 1).empty()) << "nothing programmed";
    EXPECT_EQ(testsupport::ReadFileOr(bench_ + ".panel0\\_flash_front.bin"), "")
        << "nothing sent to the panel";
    ASSERT_TRUE(ExitAndClose());
  }
  {
    SCOPED_TRACE("Yes");
    testsupport::MessageBoxAnswerer answerer({{"Kestor", "identical", IDYES}},
                                             GetCurrentProcessId());
    Open(Tr440WithFlash());
    Update("Update installed successfully! Press Exit to close the Kestor!");
    EXPECT_EQ(SameReleaseQuestions(answerer), 1u);
    EXPECT_TRUE(kestortest::FlashHolds(bench_, 1, kestortest::ModuleFirmwareSpec()));
    EXPECT_EQ(SupplyBlockField(298, 6), "(not written)");
    EXPECT_NE(DebugLog().find("All UpdateSteps successful! Revision 1.2 is actual\n"),
              std::string::npos)
        << DebugLog();
    ASSERT_TRUE(ExitAndClose());
  }
}

// Unattended runs (-a) by the package's release; each closes by itself.
// The same release is installed again without asking. A release or a date
// that the supply cannot store is refused as the package is read: the box
// names it, the run ends in the invalid package's error before any device is
// touched.
struct UnattendedRow {
  const char* name;
  const char* rev;
  const char* date;
  int errorIndex;
  const char* box;     // the one box of the package reader ("": none)
  const char* logged;  // a line of the debug log
  bool programmed;     // the module's flash holds the package's image
  // The [UpdateSteps] key of the release step; the keys between the panel's
  // step and it name steps that do nothing.
  int releaseKey = 2;
};

const char kRefusedRelease[] =
    "Invalid package value [Rev] Rev=3276.8: a release is 0.0 to 3276.7 with at most one decimal";

const char kRefusedDate[] =
    "Invalid package value [Rev] Date=24.13.2005: a date is dd.mm.yyyy in the years 2000 to 2063";

const char kRefusedSteps[] =
    "Invalid package value [UpdateSteps] 10=Rev: a package holds at most 10 steps";

const UnattendedRow kUnattended[] = {
    {"TheSameReleaseIsInstalledAgainWithoutAsking", "1.2", "24.12.2005", 0, "",
     "All UpdateSteps successful! Revision 1.2 is actual\n", true},
    {"TheSameReleaseWrittenWithALeadingZeroIsNotWrittenAgain", "01.2", "24.12.2005", 0, "",
     "All UpdateSteps successful! Revision 01.2 is actual\n", true},
    {"AReleaseTheSupplyCannotStoreIsRefusedWithNothingWritten", "3276.8", "24.12.2005",
     ERRTEXT_PACKAGE_INVALID, kRefusedRelease, kRefusedRelease, false},
    {"ADateTheSupplyCannotStoreIsRefusedWithNothingWritten", "1.3", "24.13.2005",
     ERRTEXT_PACKAGE_INVALID, kRefusedDate, kRefusedDate, false},
    {"TenStepsWithTheReleaseLastStillRun", "1.2", "24.12.2005", 0, "",
     "All UpdateSteps successful! Revision 1.2 is actual\n", true, 9},
    // Left out, the eleventh step would never run: the module and the panel
    // updated, the release not written, and the run an installed update.
    {"ElevenStepsAreRefusedWithNothingWritten", "1.3", "24.12.2005", ERRTEXT_PACKAGE_INVALID,
     kRefusedSteps, kRefusedSteps, false, 10},
};

class UnattendedRun : public UpdateRunOnBench,
                      public ::testing::WithParamInterface<UnattendedRow> {};

TEST_P(UnattendedRun, AsksNobodyAndClosesByItself) {
  const UnattendedRow& row = GetParam();
  package_.Set("Rev", "Rev", row.rev).Set("Rev", "Date", row.date);
  for (int key = 2; key < row.releaseKey; ++key) {
    const std::string section = "Note" + std::to_string(key);
    package_.Set("UpdateSteps", std::to_string(key), section).Set(section, "Name", "NOTE");
  }
  package_.Set("UpdateSteps", std::to_string(row.releaseKey), "Rev");
  process_.Automatic(true);
  testsupport::MessageBoxAnswerer answerer(
      {{"Kestor", "identical", IDNO}, {"Kestor", "Invalid package value", IDOK}},
      GetCurrentProcessId());
  Open(Tr440WithFlash(), "");
  bench_ = folder_ / "bench.ini";
  EXPECT_TRUE(Eventually([&] { return closed_.load(); })) << DebugLog();
  process_.Automatic(false);
  EXPECT_EQ(SameReleaseQuestions(answerer), 0u);
  std::vector<std::string> refusals;
  for (const testsupport::AnsweredBox& box : answerer.Seen())
    if (box.text.rfind("Invalid package value", 0) == 0) refusals.push_back(box.text);
  EXPECT_EQ(refusals, *row.box ? std::vector<std::string>{row.box} : std::vector<std::string>{});
  EXPECT_EQ(ErrorTextIndex.load(), row.errorIndex);
  EXPECT_EQ(kestortest::FlashHolds(bench_, 1, kestortest::ModuleFirmwareSpec()), row.programmed);
  EXPECT_EQ(testsupport::ReadFileOr(bench_ + ".panel0\\_flash_front.bin") == panelPayload_,
            row.programmed)
      << "the panel holds the package's file as the module its image";
  // The release the supply holds stays: no block goes to it.
  EXPECT_TRUE(benchctl::CallRecord("FacId=0x2210").empty());
  EXPECT_EQ(SupplyBlockField(298, 6), "(not written)");
  EXPECT_NE(DebugLog().find(row.logged), std::string::npos) << DebugLog();
}

INSTANTIATE_TEST_SUITE_P(Releases, UnattendedRun, ::testing::ValuesIn(kUnattended),
                         [](const ::testing::TestParamInfo<UnattendedRow>& info) {
                           return std::string(info.param.name);
                         });

// Another release beta is no same release: nobody is asked.
TEST_F(UpdateRunOnBench, AnotherBetaOfTheSameReleaseIsNoSameRelease) {
  package_.Set("Rev", "Rev", "1.2").Set("Rev", "Beta", "2");
  testsupport::MessageBoxAnswerer answerer({{"Kestor", "identical", IDNO}}, GetCurrentProcessId());
  Open(Tr440WithFlash());
  bench_ = folder_ / "bench.ini";
  Update("Update installed successfully! Press Exit to close the Kestor!");
  EXPECT_EQ(SameReleaseQuestions(answerer), 0u);
  // Release 12, beta 2.
  EXPECT_EQ(SupplyBlockField(298, 6), "0C00980B0200");
  ASSERT_TRUE(ExitAndClose());
}

const char kUpdateFailed[] =
    "Error - The update process was not successful: Please restart the application to finish the "
    "update!";

// A fault in a flash command of the module part ends the run in error 16 with
// the module step in error and the later ones canceled, no release written.
TEST_F(UpdateRunOnBench, AFlashFaultFailsTheRun) {
  const char* faults[] = {
      "Device=1 Operation=VendorRequestOut FacId=0x0340 Action=Status Status=0xE000100C Times=0",
      "Device=1 Operation=VendorRequestOut FacId=0x0331 Action=Status Status=0xE000100A Times=0"};
  for (const char* fault : faults) {
    SCOPED_TRACE(fault);
    Open(Tr440WithFlash().Fault(fault));
    bench_ = folder_ / "bench.ini";
    Update(kUpdateFailed);
    EXPECT_EQ(StepCell(0, 1), "Update error");
    EXPECT_EQ(StepCell(1, 1), "Update canceled");
    EXPECT_EQ(StepCell(2, 1), "Update canceled");
    EXPECT_EQ(ErrorTextIndex.load(), ERRTEXT_UPDATE_FAILED);
    EXPECT_EQ(benchctl::ReadState(bench_, "Device0", "SupplyBlock"), "") << "no release written";
    EXPECT_EQ(benchctl::FaultsNotFired(bench_), std::vector<std::string>{});
    ASSERT_TRUE(ExitAndClose());
  }
}

TEST_F(UpdateRunOnBench, ARefusedReleaseWriteIsAnError) {
  Open(
      Tr440WithFlash().Fault("Operation=VendorRequestOut FacId=0x2210 Action=Status "
                             "Status=0xE0000004 Times=0"));
  bench_ = folder_ / "bench.ini";
  Update(kUpdateFailed);
  EXPECT_EQ(StepCell(2, 1), "Update error");
  EXPECT_EQ(StepCell(0, 1), "Update finished");
  EXPECT_EQ(ErrorTextIndex.load(), ERRTEXT_UPDATE_FAILED);
  const std::string log = DebugLog();
  EXPECT_NE(log.find("Writing the new Revision failed ("), std::string::npos) << log;
  EXPECT_EQ(log.find("Update installed successfully"), std::string::npos) << log;
  EXPECT_EQ(benchctl::FaultsNotFired(bench_), std::vector<std::string>{});
  ASSERT_TRUE(ExitAndClose());
}

const char kSwitchOff[] =
    "Please switch off the device by the main powerswitch on the rear of the device and wait a "
    "few seconds before switching on again!";

// The instrument stays in its update mode to the end (its serial number reads
// in letters), its firmware and the panel's up to date: the release step
// reboots the supply, and once the run has succeeded the technician is asked
// to switch the device off and on. A supply that refuses the reboot fails the
// release step, and nobody is asked.
struct InUpdateModeRow {
  const char* name;
  const char* fault;  // a bench fault rule ("": none)
  const char* status;
  int errorIndex;
  const char* releaseStep;  // the release step's status at the end
  bool rebooted;            // the supply took the reboot
  const char* logged;       // a line of the debug log
  // How long the panel boots after the reboot, bench clock ("": its default):
  // past the release step's wait after the reboot it still reports that it
  // reboots (status 7).
  const char* panelBootMs = "";
  // The package ends with the supply's step, up to date: the recovery pass
  // finishes it, and Cancel is confirmed while the step reads the supply's
  // revision, so the pause after it sees the cancel at its first look.
  bool cancelAfterTheSupplyStep = false;
};

// The supply's revision read that follows the recovered supply step's panel
// wait (the one before it is USB Connect's), its answer held back far beyond
// any run.
const char kRecoveredRevisionHeld[] =
    "Device=0 Operation=VendorRequestIn FacId=0x1010 After=1 Action=Late DelayMs=2000000000";

const InUpdateModeRow kInUpdateMode[] = {
    {"AskedToSwitchTheDeviceOffAtTheEnd", "",
     "Update installed successfully! Press Exit to close the Kestor!", 0, "Update finished", true,
     "All UpdateSteps successful! Writing new Revision 1.3\n"},
    {"ARefusedRebootFailsTheReleaseStep",
     "Device=0 Operation=VendorRequestOut FacId=0x2222 Action=Status Status=0xE0000004 Times=0",
     kUpdateFailed, ERRTEXT_UPDATE_FAILED, "Update error", false,
     "Rebooting the power supply failed\n"},
    // The 20 s after the reboot are not enough for the panel: the step waits
    // for it 10 s at a time, its bar moving on.
    {"APanelStillRebootingIsWaitedFor10sAtATime", "",
     "Update installed successfully! Press Exit to close the Kestor!", 0, "Update finished", true,
     "MMIstat : 7 --> waiting 10 sec\n", "100000"},
    // The finished step stays finished; the steps after the pass never ran.
    {"ACancelAfterTheRecoveredLastStepLeavesItFinished", "",
     "Update cancelled by user: Please restart the application to finish the update!",
     ERRTEXT_CANCELLED, "Ready for update", false,
     "Device in update mode: power supply steps first\n", "", true},
};

// The release step's posts while it waits for a busy panel, between the half
// bar and the revision check: for each 10 s wait one each 100 ms, 5 a time,
// then 250 more for the pause before the next query; a full bar stays full
// however many waits a slow panel takes.
Progress PanelWaitProgress(size_t waits) {
  Progress posts;
  WPARAM p = 5000;
  auto add = [&](WPARAM step) {
    posts.emplace_back(p = std::min<WPARAM>(10000, p + step), kReleaseProgress);
  };
  for (size_t w = 0; w < waits; ++w) {
    for (int k = 0; k < 100; ++k) add(5);
    add(250);
  }
  return posts;
}

class InstrumentInUpdateMode : public UpdateRunOnBench,
                               public ::testing::WithParamInterface<InUpdateModeRow> {};

TEST_P(InstrumentInUpdateMode, TheReleaseStepRebootsTheSupplyAndTheEndAsksForASwitchOff) {
  const InUpdateModeRow& row = GetParam();
  benchctl::BenchSpec spec = Tr440("SUSB001001");
  spec.WithDevice(1, "Version", "2.11").WithDevice(0, "PanelRevision", "1.05");
  if (*row.fault) spec.Fault(row.fault);
  if (*row.panelBootMs) {
    // No REBOOT_WAIT, and a clock that the host's own time moves little: the
    // panel still boots when the step first asks for it.
    package_.Set("DEBUG", "REBOOT_WAIT", "0");
    spec.WithDevice(0, "PanelBootMs", row.panelBootMs).TimeScale(20);
    process_.TraceLevel(1);
  }
  if (row.cancelAfterTheSupplyStep) {
    package_.Step("Pwr Supply", {{"Name", "PWR SUPPLY"}, {"Rev", "3.10"}});
    // The supply's revision read after the step's panel wait is answered
    // when the test says so, however fast the machine: until then the run
    // stands before the step's end and the pause after it.
    spec.Fault(kRecoveredRevisionHeld);
  }
  testsupport::MessageBoxAnswerer answerer(
      {{"Kestor", "main powerswitch", IDOK}, {"", "cancel the Update", IDYES}},
      GetCurrentProcessId());
  Open(spec);
  bench_ = folder_ / "bench.ini";
  StepProgressRecord progress(window_, {kReleaseProgress, kRevisionCheck});
  ASSERT_TRUE(progress.Hooked());
  if (row.cancelAfterTheSupplyStep) {
    ASSERT_TRUE(testsupport::ClickButton(window_, IDC_START_BUTTON));
    // The run waits for the revision, the step not finished yet.
    ASSERT_TRUE(Eventually([] { return !benchctl::CallRecord("fault Fault1 Late").empty(); }))
        << DebugLog();
    EXPECT_TRUE(Eventually([&] { return StepCell(3, 1) == "Updating..."; }));
    ASSERT_TRUE(testsupport::ClickButtonByText(window_, "Cancel &Update"));
    ASSERT_TRUE(Eventually([] { return CancelState() == CANCEL_STATE_REQUESTED; }));
    EXPECT_EQ(benchctl::AnswerHeld(), 1u) << "the run waited for the revision";
    ASSERT_TRUE(Eventually([&] {
      return testsupport::ControlText(window_, IDC_DEV_STATUS) == row.status;
    })) << DebugLog();
    EXPECT_EQ(StepCell(3, 1), "Update finished");
  } else {
    Update(row.status);
  }
  EXPECT_EQ(ErrorTextIndex.load(), row.errorIndex);
  const char* before = row.cancelAfterTheSupplyStep ? "Ready for update" : "Update finished";
  EXPECT_EQ(StepCell(0, 1), before);
  EXPECT_EQ(StepCell(1, 1), before);
  EXPECT_EQ(StepCell(2, 1), row.releaseStep);
  const auto expected = [&](const Progress& posts) {
    if (row.cancelAfterTheSupplyStep) return Progress{};
    Progress e = row.rebooted ? ReleaseProgress(true) : Progress{{0, kReleaseProgress}};
    if (*row.panelBootMs) {
      // However many waits it took, one at least: the posts of that many.
      const size_t waits = posts.size() > e.size() ? (posts.size() - e.size()) / 101 : 0;
      const Progress waiting = PanelWaitProgress(std::max<size_t>(waits, 1));
      e.insert(e.end() - 1, waiting.begin(), waiting.end());
    }
    return e;
  };
  EXPECT_TRUE(Eventually([&] {
    const Progress posts = progress.Posts();
    return posts == expected(posts);
  })) << Text(progress.Posts());
  size_t asked = 0;
  for (const testsupport::AnsweredBox& box : answerer.Seen()) asked += box.text == kSwitchOff;
  EXPECT_EQ(asked, row.errorIndex == 0 ? 1u : 0u);
  EXPECT_EQ(SupplyBlockField(298, 6), row.errorIndex == 0 ? "0D00980B0000" : "(not written)");
  EXPECT_NE(DebugLog().find(row.logged), std::string::npos) << DebugLog();
  EXPECT_EQ(benchctl::FaultsNotFired(bench_), std::vector<std::string>{});
  ASSERT_TRUE(ExitAndClose());
}

INSTANTIATE_TEST_SUITE_P(Rows, InstrumentInUpdateMode, ::testing::ValuesIn(kInUpdateMode),
                         [](const ::testing::TestParamInfo<InUpdateModeRow>& info) {
                           return std::string(info.param.name);
                         });
