// The library's frame, loaded from the program folder into this process:
// status texts, the start and end, and the change window's refresh.
#include <gtest/gtest.h>
#include <windows.h>
// windows.h first.
#include <dbt.h>

#include <cstring>
#include <string>
#include <vector>

#include "corvel/corvel.h"
#include "library.h"
#include "lumetra/dll_functions.h"
#include "status_texts.h"
#include "testsupport/process.h"
#include "testsupport/testdir.h"

namespace {

using IntFn = int(WINAPI*)(void);
using ErrorStringFn = int(WINAPI*)(DWORD, char*, int);

const char kTraceLog[] = "c:\\Corvel.log";

class Corvel : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryA((testsupport::ProgramDir() + "\\Corvel.dll").c_str());
    ASSERT_NE(nullptr, module_);
    init_ = Bind<IntFn>("LmLibInit");
    exit_ = Bind<IntFn>("LmLibExit");
    errorString_ = Bind<ErrorStringFn>("LmGetErrorString");
  }
  void TearDown() override {
    if (exit_) exit_();
    if (module_) FreeLibrary(module_);
  }
  template <typename Fn>
  Fn Bind(const char* name) {
    return lm::ProcAddress<Fn>(module_, name);
  }

  HMODULE module_ = nullptr;
  IntFn init_ = nullptr;
  IntFn exit_ = nullptr;
  ErrorStringFn errorString_ = nullptr;
};

TEST_F(Corvel, EveryExportIsBoundByName) {
  for (const char* name :
       {"LmLibInit", "LmLibExit", "LmGetErrorString", "LmFindHostUSB", "LmFindExtendedUSBHost",
        "LmIsUSBHostDisabled", "LmDisableUSBHost", "LmEnableUSBHost", "LmFindInstalledDriver",
        "LmInstallDriver", "LmUninstallDriver"})
    EXPECT_NE(nullptr, lm::ProcAddress<FARPROC>(module_, name)) << name;
}

TEST(CorvelImportLibrary, CallerLinkedThroughTheHeaderCallsEveryExport) {
  // The program finds Corvel.dll in its working folder.
  EXPECT_EQ(0u, testsupport::RunProgram(testsupport::TestDir() + "\\corvel_link.exe", "",
                                        testsupport::ProgramDir()));
}

TEST_F(Corvel, ErrorStringGivesEveryTextOfTheTable) {
  struct Text {
    DWORD code;
    const char* text;
  };
  const std::vector<Text> table = {
      {0x00000000, "Operation completed successfully."},
      {0xBFFF0000, "Unknown system error (miscellaneous error)."},
      {0xBFFF0001, "Corvel library not yet initialized."},
      {0xBFFF0002, "During initialization: Corvel library already initialized."},
      {0xBFFF001D,
       "The specified attribute is not defined or supported by the referenced session."},
      {0xBFFF000E, "The given session or object reference is invalid."},
      {0xBFFF0012, "Invalid resource reference specified. Parsing error."},
      {0xBFFF0035, "Violation of raw read protocol occurred during transfer."},
      {0xBFFF001F, "The specified attribute is Read Only."},
      {0xBFFF0011,
       "Insufficient location information or the device or resource is not present in the system."},
      {0xBFFF0015, "Timeout expired before operation completed."},
      {0xBFFF002D, "The event queue is overflowed."},
      {0xBFFF002E, "Event queue is already empty."},
      {0xBFFF003C, "Insufficient system resources to perform necessary memory allocation."},
      {0xBFFF002F, "Bulk interface endpoint is not supported by device."},
      {0xBFFF0071,
       "A specified user buffer is not valid or cannot be accessed for the required size."},
      {0xBFFF003E, "A specified device was disconected or switched to local mode."},
      {0xBFFC0001, "Parameter 1 out of range."},
      {0xBFFC0002, "Parameter 2 out of range."},
      {0xBFFC0003, "Parameter 3 out of range."},
      {0xBFFC0004, "Parameter 4 out of range."},
      {0xBFFC0005, "Parameter 5 out of range."},
      {0xBFFC0006, "Parameter 6 out of range."},
      {0xBFFC0007, "Parameter 7 out of range."},
      {0xBFFC0008, "Parameter 8 out of range."},
      {0x3FFF0085, "The status code passed to the operation could not be interpreted."},
  };
  for (const Text& t : table) {
    char buffer[200];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(0, errorString_(t.code, buffer, sizeof buffer)) << std::hex << t.code;
    EXPECT_STREQ(t.text, buffer) << std::hex << t.code;
    // The rest of the buffer is padded with zero bytes.
    EXPECT_EQ(0, buffer[sizeof buffer - 1]) << std::hex << t.code;
  }
}

TEST(StatusTable, NamesEveryCodeAsTheHeaderDoes) {
  struct Name {
    corvel::Status code;
    const char* name;
  };
  const std::vector<Name> names = {
      {LM_SUCCESS, "LM_SUCCESS"},
      {LM_ERROR_TMO, "LM_ERROR_TMO"},
      {0xBFFF003E, "LM_ERROR_DEVICE_DISCONNECTED"},
      {LM_ERROR_PARAMETER8, "LM_ERROR_PARAMETER8"},
      {0x3FFF0085, "LM_WARN_UNKNOWN_STATUS"},
  };
  for (const Name& n : names)
    EXPECT_STREQ(n.name, corvel::StatusName(n.code)) << std::hex << n.code;
  EXPECT_EQ(nullptr, corvel::StatusName(0x1234));
  EXPECT_EQ(nullptr, corvel::StatusText(0x1234));
}

TEST_F(Corvel, ErrorStringOfAnUnknownCodeIsAWarningWithTheCode) {
  char buffer[100];
  EXPECT_EQ(static_cast<int>(LM_WARN_UNKNOWN_STATUS), errorString_(0x1234, buffer, sizeof buffer));
  EXPECT_STREQ("Unknown Error 0x1234", buffer);
  EXPECT_EQ(static_cast<int>(LM_WARN_UNKNOWN_STATUS),
            errorString_(0xBFFF00AB, buffer, sizeof buffer));
  EXPECT_STREQ("Unknown Error 0xBFFF00AB", buffer);
}

TEST_F(Corvel, ErrorStringCutsATextLongerThanTheBufferWithoutTerminator) {
  char buffer[8];
  std::memset(buffer, 'X', sizeof buffer);
  EXPECT_EQ(0, errorString_(0xBFFF0015, buffer, 5));
  EXPECT_EQ(std::string("TimeoXXX"), std::string(buffer, sizeof buffer));
  std::memset(buffer, 'X', sizeof buffer);
  EXPECT_EQ(static_cast<int>(LM_WARN_UNKNOWN_STATUS), errorString_(0x1234, buffer, 0));
  EXPECT_EQ(std::string("XXXXXXXX"), std::string(buffer, sizeof buffer));
}

HWND ChangeWindow() { return FindWindowA("LmDeviceChangeClass", "DeviceChangeWindow"); }

std::string TraceLog() { return testsupport::ReadFileOr(kTraceLog, "<no log>"); }

// A refresh of the device table in the trace log, a text file: each line
// feed reaches the disk as CR LF.
const std::string kRefresh = "In LmUpdateDeviceList:\r\n   Return value LM_SUCCESS\r\n\r\n";

// Sends a device-change notice as Windows does; the header lives on this
// thread while the window's thread handles it.
void Notice(HWND window, WPARAM event, DWORD deviceType) {
  DEV_BROADCAST_DEVICEINTERFACE_A notice{};
  notice.dbcc_size = sizeof notice;
  notice.dbcc_devicetype = deviceType;
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&notice), SMTO_BLOCK,
                      10000, &result);
}

// Waits until the trace log holds text; the wall milliseconds it took, or
// ~0u after 10 seconds.
DWORD WaitForLog(const std::string& text) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < 10000) {
    if (TraceLog().find(text) != std::string::npos) return GetTickCount() - start;
    Sleep(2);
  }
  return ~0u;
}

TEST_F(Corvel, StartMakesTheMutexAndTheChangeWindowAndEndRemovesThem) {
  EXPECT_EQ(0, init_());
  EXPECT_NE(nullptr, ChangeWindow());
  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "CorvelDll");
  EXPECT_NE(nullptr, mutex);
  if (mutex) CloseHandle(mutex);
  EXPECT_TRUE(testsupport::FileExists(kTraceLog));
  // A second start changes nothing: still one window.
  EXPECT_EQ(0, init_());
  HWND first = ChangeWindow();
  EXPECT_EQ(nullptr, FindWindowExA(nullptr, first, "LmDeviceChangeClass", nullptr));

  EXPECT_EQ(0, exit_());
  EXPECT_EQ(nullptr, ChangeWindow());
  EXPECT_EQ(nullptr, OpenMutexA(SYNCHRONIZE, FALSE, "CorvelDll"));
  EXPECT_EQ(0, exit_());
  // The class is gone with the window, so a new start can register it again.
  EXPECT_EQ(0, init_());
  EXPECT_NE(nullptr, ChangeWindow());
}

TEST_F(Corvel, BurstOfNoticesRefreshesOnce100msAfterTheLast) {
  struct Burst {
    const char* name;
    std::vector<WPARAM> events;
    DWORD gapMs;
  };
  const std::vector<Burst> bursts = {
      {"ArrivalRemovalPendingRemovalComplete20msApart",
       {DBT_DEVICEARRIVAL, DBT_DEVICEREMOVEPENDING, DBT_DEVICEREMOVECOMPLETE},
       20},
      {"ThreeArrivals50msApart", {DBT_DEVICEARRIVAL, DBT_DEVICEARRIVAL, DBT_DEVICEARRIVAL}, 50},
  };
  // The start's refresh comes first, the timer's between its start and stop
  // lines.
  const std::string expected =
      kRefresh + "Device Change\r\nDevice Change\r\nDevice Change\r\nTimer start\r\n" + kRefresh +
      "Timer stop\r\n";
  for (const Burst& burst : bursts) {
    SCOPED_TRACE(burst.name);
    // The timer must not fire between two notices of the burst; a machine
    // that paused this thread for that long gets another try.
    bool checked = false;
    for (int attempt = 0; attempt < 5 && !checked; ++attempt) {
      ASSERT_EQ(0, init_());
      HWND window = ChangeWindow();
      ASSERT_NE(nullptr, window);
      DWORD longestGap = 0;
      DWORD lastNotice = GetTickCount();
      for (size_t i = 0; i < burst.events.size(); ++i) {
        if (i > 0) Sleep(burst.gapMs);
        DWORD now = GetTickCount();
        if (i > 0 && now - lastNotice > longestGap) longestGap = now - lastNotice;
        lastNotice = now;
        Notice(window, burst.events[i], DBT_DEVTYP_DEVICEINTERFACE);
      }
      DWORD waited = WaitForLog("Timer stop\r\n");
      ASSERT_NE(~0u, waited) << burst.name << ": " << TraceLog();
      DWORD sinceLast = GetTickCount() - lastNotice;
      exit_();
      if (longestGap >= burst.gapMs + 30) continue;
      EXPECT_EQ(expected, TraceLog()) << burst.name;
      // Wine's timers may fire a tick early.
      EXPECT_GE(sinceLast, 90u) << burst.name;
      checked = true;
    }
    EXPECT_TRUE(checked) << burst.name << ": this thread never sent its notices in time";
  }
}

TEST_F(Corvel, OtherNoticesStartNoRefresh) {
  ASSERT_EQ(0, init_());
  HWND window = ChangeWindow();
  ASSERT_NE(nullptr, window);
  Notice(window, DBT_DEVICEARRIVAL, DBT_DEVTYP_VOLUME);
  Notice(window, DBT_DEVNODES_CHANGED, DBT_DEVTYP_DEVICEINTERFACE);
  Notice(window, DBT_DEVICEQUERYREMOVE, DBT_DEVTYP_DEVICEINTERFACE);
  // A notice the window takes comes last; the window handles its notices in
  // order, so its one refresh shows whether any notice before it counted.
  Notice(window, DBT_DEVICEARRIVAL, DBT_DEVTYP_DEVICEINTERFACE);
  ASSERT_NE(~0u, WaitForLog("Timer stop\r\n")) << TraceLog();
  EXPECT_EQ(kRefresh + "Device Change\r\nTimer start\r\n" + kRefresh + "Timer stop\r\n",
            TraceLog());
  // The window refuses the end of the Windows session.
  EXPECT_EQ(0, SendMessageA(window, WM_QUERYENDSESSION, 0, 0));
}

TEST(SnoozeTimer, ComesFromTheRegistryWhenItHoldsFourBytes) {
  const char kKey[] = "SOFTWARE\\Vandrel\\Corvel";
  HKEY key = nullptr;
  bool existed = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
  if (existed) RegCloseKey(key);
  if (!existed) {
    EXPECT_EQ(1u, corvel::ReadSnoozeTimer(1)) << "without the key";
  }
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &key, nullptr));
  RegDeleteValueA(key, "SnoozeTimer");
  EXPECT_EQ(1u, corvel::ReadSnoozeTimer(1)) << "without the value";
  DWORD value = 25;
  RegSetValueExA(key, "SnoozeTimer", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof value);
  EXPECT_EQ(25u, corvel::ReadSnoozeTimer(1)) << "four bytes";
  WORD shortValue = 7;
  RegSetValueExA(key, "SnoozeTimer", 0, REG_BINARY, reinterpret_cast<BYTE*>(&shortValue),
                 sizeof shortValue);
  EXPECT_EQ(1u, corvel::ReadSnoozeTimer(1)) << "two bytes";
  unsigned long long longValue = 9;
  RegSetValueExA(key, "SnoozeTimer", 0, REG_QWORD, reinterpret_cast<BYTE*>(&longValue),
                 sizeof longValue);
  EXPECT_EQ(1u, corvel::ReadSnoozeTimer(1)) << "eight bytes";
  RegDeleteValueA(key, "SnoozeTimer");
  RegCloseKey(key);
  // Other tests find the registry as this one found it.
  if (!existed) RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
}

}  // namespace
