// The port's backend record: what an operation a backend lacks answers, the
// bench's record and its version check, and the choice made once.
#include "hwport/backend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>

#include "hwport/port.h"

namespace {

struct LackingRow {
  const char* member;
  std::function<uintptr_t(const hwport::Backend&)> call;
  uintptr_t failure;
};

const uintptr_t kInvalid = reinterpret_cast<uintptr_t>(INVALID_HANDLE_VALUE);
const GUID kNoClass{};

TEST(Backend, AnOperationTheBackendLacksFailsWithNotSupported) {
  hwport::Backend empty{};
  hwport::CompleteBackend(empty);
  HANDLE h = reinterpret_cast<HANDLE>(0x1234);
  DWORD bytes = 0xCCCCCCCC;
  OVERLAPPED ov{};
  BYTE buffer[8];
  SP_DEVICE_INTERFACE_DATA data{};
  SP_DEVINFO_DATA device{};
  ULONG status = 0, problem = 0;
  const LackingRow rows[] = {
      {"driverOpen", [](auto& b) { return (uintptr_t)b.driverOpen("\\\\.\\USBDRV_Device0"); },
       kInvalid},
      {"driverIoControl",
       [&](auto& b) {
         return (uintptr_t)b.driverIoControl(h, 1, buffer, 8, buffer, 8, &bytes, &ov);
       },
       FALSE},
      {"driverRead", [&](auto& b) { return (uintptr_t)b.driverRead(h, buffer, 8, &bytes, &ov); },
       FALSE},
      {"driverWrite", [&](auto& b) { return (uintptr_t)b.driverWrite(h, buffer, 8, &bytes, &ov); },
       FALSE},
      {"driverOverlappedResult",
       [&](auto& b) { return (uintptr_t)b.driverOverlappedResult(h, &ov, &bytes, TRUE); }, FALSE},
      {"driverCancelIo", [&](auto& b) { return (uintptr_t)b.driverCancelIo(h); }, FALSE},
      {"driverClose", [&](auto& b) { return (uintptr_t)b.driverClose(h); }, FALSE},
      {"interfaceListOpen", [](auto& b) { return (uintptr_t)b.interfaceListOpen(&kNoClass); },
       kInvalid},
      {"interfaceListEnum",
       [&](auto& b) { return (uintptr_t)b.interfaceListEnum(h, &kNoClass, 0, &data); }, FALSE},
      {"interfaceListDetail",
       [&](auto& b) { return (uintptr_t)b.interfaceListDetail(h, &data, nullptr, 0, &bytes); },
       FALSE},
      {"interfaceListClose", [&](auto& b) { return (uintptr_t)b.interfaceListClose(h); }, FALSE},
      {"registerNotices", [](auto& b) { return (uintptr_t)b.registerNotices(nullptr, &kNoClass); },
       0},
      {"unregisterNotices", [&](auto& b) { return (uintptr_t)b.unregisterNotices(h); }, FALSE},
      {"getAllClassDevices", [](auto& b) { return (uintptr_t)b.getAllClassDevices(TRUE); },
       kInvalid},
      {"enumDeviceInfo", [&](auto& b) { return (uintptr_t)b.enumDeviceInfo(h, 0, &device); },
       FALSE},
      {"getDeviceRegistryProperty",
       [&](auto& b) {
         return (uintptr_t)b.getDeviceRegistryProperty(h, &device, SPDRP_SERVICE, nullptr, buffer,
                                                       8, &bytes);
       },
       FALSE},
      {"setClassInstallParams",
       [&](auto& b) { return (uintptr_t)b.setClassInstallParams(h, &device, nullptr, 0); }, FALSE},
      {"callClassInstaller",
       [&](auto& b) { return (uintptr_t)b.callClassInstaller(DIF_REMOVE, h, &device); }, FALSE},
      {"destroyDeviceInfoList", [&](auto& b) { return (uintptr_t)b.destroyDeviceInfoList(h); },
       FALSE},
      {"getDevNodeStatus",
       [&](auto& b) { return (uintptr_t)b.getDevNodeStatus(&status, &problem, 1, 0); }, CR_FAILURE},
      {"hostControllerOpens",
       [](auto& b) { return (uintptr_t)b.hostControllerOpens("\\\\.\\HCD0"); }, FALSE},
  };
  for (const LackingRow& row : rows) {
    SetLastError(0);
    uintptr_t got = row.call(empty);
    DWORD error = GetLastError();
    EXPECT_EQ(row.failure, got) << row.member << ": returned " << got;
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), error) << row.member;
  }
  EXPECT_EQ(0xCCCCCCCCu, bytes) << "a lacking operation writes nothing";
}

TEST(Backend, ABackendWithoutAClockRunsOnTheWallClock) {
  hwport::Backend empty{};
  hwport::CompleteBackend(empty);
  EXPECT_EQ(250u, empty.realMilliseconds(250));
  DWORD before = GetTickCount();
  DWORD now = empty.tickCount();
  EXPECT_LE(now - before, 1000u);
}

TEST(Backend, CompletingKeepsWhatTheBackendHas) {
  hwport::Backend record{};
  record.driverCancelIo = [](HANDLE) -> BOOL { return TRUE; };
  auto own = record.driverCancelIo;
  hwport::CompleteBackend(record);
  EXPECT_EQ(own, record.driverCancelIo);
  EXPECT_TRUE(record.driverCancelIo(nullptr));
}

// A record with no null member: completing it changes nothing.
void ExpectComplete(const hwport::Backend& record, const char* name) {
  hwport::Backend completed = record;
  hwport::CompleteBackend(completed);
  EXPECT_EQ(0, std::memcmp(&record, &completed, sizeof record))
      << "a member of " << name << " is null";
  EXPECT_STREQ(name, record.name);
  EXPECT_EQ(hwport::kBackendAbi, record.abi);
}

TEST(Backend, TheWin32RecordIsComplete) { ExpectComplete(hwport::Win32Backend(), "win32"); }

TEST(Backend, TheBenchFillsAWholeRecordForItsOwnVersionOnly) {
  ASSERT_TRUE(hwport::BenchActive()) << hwport::BenchLoadError();
  auto fill = hwport::BenchFunction<hwport::FillBackendFn>("BenchBackend");
  ASSERT_NE(nullptr, fill);

  hwport::Backend other;
  std::memset(&other, 0xCC, sizeof other);
  EXPECT_FALSE(fill(hwport::kBackendAbi + 1, &other));
  hwport::Backend sentinel;
  std::memset(&sentinel, 0xCC, sizeof sentinel);
  EXPECT_EQ(0, std::memcmp(&sentinel, &other, sizeof other)) << "a refused record stays untouched";

  hwport::Backend record{};
  ASSERT_TRUE(fill(hwport::kBackendAbi, &record));
  ExpectComplete(record, "bench");
}

TEST(Backend, TheChoiceIsMadeOnceAtTheFirstCall) {
  ASSERT_STREQ("bench", hwport::ActiveBackend().name) << hwport::BenchLoadError();
  char saved[MAX_PATH] = "";
  GetEnvironmentVariableA("LUMETRA_BENCH", saved, sizeof saved);
  SetEnvironmentVariableA("LUMETRA_BENCH", nullptr);
  EXPECT_STREQ("bench", hwport::ActiveBackend().name);
  EXPECT_TRUE(hwport::BenchActive());
  SetEnvironmentVariableA("LUMETRA_BENCH", saved);
}

}  // namespace
