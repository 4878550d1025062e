// The environment's host-controller operations over a PC in memory and over
// a Corvel that is missing, and the release date and trace levels it offers.
#include <gtest/gtest.h>

#include "environment/log_writer.h"
#include "environment/release_date.h"
#include "environment/system_environment.h"
#include "fake_usb_host.h"
#include "kestor_process.h"
#include "testsupport/testdir.h"

namespace {

TEST(UsbHost, SearchSetsTheUsbVersion) {
  struct Row {
    const char* pc;
    bool host, extended;
    bool found;
    int version;
  } rows[] = {{"no host", false, true, false, 0},
              {"USB 1.1 host", true, false, true, 11},
              {"USB 2.0 host", true, true, true, 20}};
  for (const Row& row : rows) {
    UsbHostPc pc{row.host, row.extended, false, {}};
    SystemEnvironment environment;
    UseUsbHostPc(environment, pc);
    EXPECT_EQ(environment.FindUsbHost(), row.found) << row.pc;
    EXPECT_EQ(environment.UsbVersion(), row.version) << row.pc;
  }
}

TEST(UsbHost, EnabledControllerIsSwitchedOffAndOnAgain) {
  UsbHostPc pc;
  SystemEnvironment environment;
  UseUsbHostPc(environment, pc);
  EXPECT_NE(environment.QueryUsb2Host(), 0);
  EXPECT_EQ(environment.QueryUsb2HostDisabled(), 0);
  EXPECT_TRUE(environment.Usb2HostEnabled());
  EXPECT_TRUE(environment.SuspendUsb2Host());
  EXPECT_TRUE(environment.Usb2HostSuspended());
  EXPECT_TRUE(environment.RestoreUsb2Host());
  EXPECT_TRUE(environment.RestoreUsb2Host()) << "a second restore enables again";
  EXPECT_EQ(pc.switches, (std::vector<std::string>{"off", "on", "on"}));
  EXPECT_FALSE(environment.EnsureUsb2HostRestored()) << "switched on already";
  EXPECT_EQ(pc.switches.size(), 3u);
}

TEST(UsbHost, DisabledOrMissingControllerIsLeftAlone) {
  for (bool extended : {true, false}) {
    UsbHostPc pc{true, extended, extended, {}};
    SystemEnvironment environment;
    UseUsbHostPc(environment, pc);
    EXPECT_FALSE(environment.SuspendUsb2Host());
    EXPECT_FALSE(environment.RestoreUsb2Host());
    EXPECT_FALSE(environment.EnsureUsb2HostRestored());
    EXPECT_TRUE(pc.switches.empty()) << "USB 2.0 present: " << extended;
  }
}

TEST(UsbHost, ControllerLeftOffIsSwitchedOnAtTheEnd) {
  testsupport::TestFolder folder;
  SetTraceLogPath(folder / "trace.txt");
  UsbHostPc pc;
  SystemEnvironment environment;
  UseUsbHostPc(environment, pc);
  ASSERT_TRUE(environment.SuspendUsb2Host());
  EXPECT_TRUE(environment.EnsureUsb2HostRestored());
  EXPECT_FALSE(environment.EnsureUsb2HostRestored()) << "only once";
  EXPECT_EQ(pc.switches, (std::vector<std::string>{"off", "on"}));
  EXPECT_EQ(testsupport::ReadFileOr(folder / "trace.txt"),
            "\r\nReactivating USB2 at the end of Kestor\r\n");
  SetTraceLogPath("");
}

TEST(UsbHost, ControllerLeftOffByAKilledRunIsSwitchedOnByTheNextRun) {
  UsbHostPc pc;
  {
    SystemEnvironment killed;
    UseUsbHostPc(killed, pc);
    ASSERT_TRUE(killed.SuspendUsb2Host());
    EXPECT_TRUE(killed.Usb2HostMarkedOff());
  }  // no Exit: the run died with the controller off
  SystemEnvironment next;
  UseUsbHostPc(next, pc);
  EXPECT_NE(next.QueryUsb2HostDisabled(), 0);
  EXPECT_TRUE(next.AdoptUsb2HostLeftOff());
  EXPECT_TRUE(next.Usb2HostSuspended());
  EXPECT_TRUE(next.RestoreUsb2Host());
  EXPECT_FALSE(next.Usb2HostMarkedOff()) << "the mark goes once the controller is on";
  EXPECT_EQ(pc.switches, (std::vector<std::string>{"off", "on"}));

  // Switched off by someone else: the following run leaves it alone.
  pc.disabled = true;
  SystemEnvironment third;
  UseUsbHostPc(third, pc);
  EXPECT_FALSE(third.AdoptUsb2HostLeftOff());
  EXPECT_FALSE(third.EnsureUsb2HostRestored());
  EXPECT_EQ(pc.switches.size(), 2u);
}

TEST(UsbHost, MarkOnAControllerFoundOnIsDropped) {
  UsbHostPc pc;
  {
    SystemEnvironment killed;
    UseUsbHostPc(killed, pc);
    ASSERT_TRUE(killed.SuspendUsb2Host());
  }
  pc.disabled = false;  // switched on by hand since
  SystemEnvironment next;
  UseUsbHostPc(next, pc);
  EXPECT_FALSE(next.AdoptUsb2HostLeftOff());
  EXPECT_FALSE(next.Usb2HostMarkedOff());
  EXPECT_EQ(pc.switches, (std::vector<std::string>{"off"}));
}

TEST(UsbHost, FailedSwitchOnKeepsTheMarkForTheNextRun) {
  struct RefusingHost : FakeUsbHost {
    using FakeUsbHost::FakeUsbHost;
    int EnableUSBHost() override { return 0; }
  };
  UsbHostPc pc;
  SystemEnvironment environment;
  UseUsbHostPc(environment, pc);
  environment.SetUsbHostFunctions(std::make_unique<RefusingHost>(pc));
  ASSERT_TRUE(environment.SuspendUsb2Host());
  EXPECT_TRUE(environment.RestoreUsb2Host());
  EXPECT_TRUE(environment.Usb2HostMarkedOff());
}

TEST(UsbHost, MissingCorvelMeansNoUsbHost) {
  testsupport::TestFolder folder;
  SetTraceLogPath(folder / "trace.txt");
  CorvelBinding corvel(folder / "Corvel.dll");
  EXPECT_EQ(corvel.FindHostUSB(), 0);
  EXPECT_EQ(corvel.FindExtendedUSBHost(), 0);
  EXPECT_NE(corvel.IsUSBHostDisabled(), 0) << "never switched";
  EXPECT_EQ(corvel.DisableUSBHost(), 0);
  EXPECT_EQ(corvel.EnableUSBHost(), 0);
  EXPECT_EQ(testsupport::ReadFileOr(folder / "trace.txt"),
            "Corvel.dll could not be loaded (error 126): no USB host\r\n")
      << "the missing library is logged once";
  SetTraceLogPath("");
}

TEST(UsbHost, CorvelWithoutTheExportsMeansNoUsbHost) {
  // A library that exists but offers none of the five functions.
  testsupport::TestFolder folder;
  SetTraceLogPath(folder / "trace.txt");
  char system[MAX_PATH];
  GetSystemDirectoryA(system, MAX_PATH);
  CorvelBinding corvel(std::string(system) + "\\version.dll");
  EXPECT_EQ(corvel.FindHostUSB(), 0);
  EXPECT_EQ(corvel.FindHostUSB(), 0);
  EXPECT_EQ(corvel.FindExtendedUSBHost(), 0);
  EXPECT_EQ(testsupport::ReadFileOr(folder / "trace.txt"),
            "Corvel.dll has no LmFindHostUSB: no USB host\r\n"
            "Corvel.dll has no LmFindExtendedUSBHost: no USB host\r\n");
  SetTraceLogPath("");
}

TEST(ReleaseDate, PacksDayMonthAndYear) {
  struct Row {
    const char* text;
    int packed;  // -1: refused
  } rows[] = {{"24.12.2005", 2968},
              {"24/12/2005", 2968},
              {"24-12-2005", 2968},
              {"01.01.2000", 33},
              {"31.12.2063", 32671},
              {"24.12.2005 trailing", 2968},
              {"", -1},
              {"24.12.05", -1},
              {"2005-12-24", -1},
              {"xx.12.2005", -1},
              {"00.12.2005", -1},
              {"32.12.2005", -1},
              {"24.00.2005", -1},
              {"24.13.2005", -1},
              {"24.12.1999", -1},
              {"24.12.2064", -1},
              {" 4.12.2005", -1}};
  for (const Row& row : rows) {
    const std::optional<uint16_t> packed = PackDate(row.text);
    if (row.packed < 0) {
      EXPECT_FALSE(packed.has_value()) << row.text;
    } else {
      ASSERT_TRUE(packed.has_value()) << row.text;
      EXPECT_EQ(*packed, row.packed) << row.text;
    }
  }
}

TEST(ReleaseDate, UnpacksToNoonOfThatDay) {
  const std::tm when = UnpackDate(2968);
  EXPECT_EQ(when.tm_year + 1900, 2005);
  EXPECT_EQ(when.tm_mon + 1, 12);
  EXPECT_EQ(when.tm_mday, 24);
  EXPECT_EQ(when.tm_hour, 12);
  EXPECT_EQ(when.tm_min, 0);
  EXPECT_EQ(when.tm_sec, 0);
  EXPECT_EQ(when.tm_isdst, 0);
}

TEST(LogTrace, EntriesFollowTheTraceLevel) {
  testsupport::TestFolder folder;
  const std::string path = folder / "trace.txt";
  kestortest::KestorProcess process;
  SetTraceLogPath(path);
  for (int level : {0, 1, 2}) {
    process.TraceLevel(level);
    LogTrace(TRACE_ALWAYS, std::to_string(level) + "a ");
    LogTrace(TRACE_LEVEL_1, std::to_string(level) + "b ");
    LogTrace(TRACE_LEVEL_2, std::to_string(level) + "c ");
  }
  process.TraceLevel(0);
  EXPECT_EQ(testsupport::ReadFileOr(path), "0a 1a 1b 2a 2b 2c ");
  SetTraceLogPath("");
}

}  // namespace
