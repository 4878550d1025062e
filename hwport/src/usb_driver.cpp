#include "hwport/usb_driver.h"

#include <dbt.h>

#include "hwport/port.h"

namespace hwport {
namespace {

// The bench's driver entry points, looked up once.
struct BenchDriver {
  HANDLE (*open)(const char*) = nullptr;
  BOOL (*ioControl)(HANDLE, DWORD, const void*, DWORD, void*, DWORD, DWORD*, OVERLAPPED*) = nullptr;
  BOOL (*read)(HANDLE, void*, DWORD, DWORD*, OVERLAPPED*) = nullptr;
  BOOL (*write)(HANDLE, const void*, DWORD, DWORD*, OVERLAPPED*) = nullptr;
  BOOL (*result)(HANDLE, OVERLAPPED*, DWORD*, BOOL) = nullptr;
  BOOL (*cancel)(HANDLE) = nullptr;
  BOOL (*close)(HANDLE) = nullptr;
  HANDLE (*listOpen)(const GUID*) = nullptr;
  BOOL (*listEnum)(HANDLE, const GUID*, DWORD, void*) = nullptr;
  BOOL (*listDetail)(HANDLE, const void*, void*, DWORD, DWORD*) = nullptr;
  BOOL (*listClose)(HANDLE) = nullptr;
  HANDLE (*notices)(HWND, const GUID*) = nullptr;
  BOOL (*unnotices)(HANDLE) = nullptr;
  bool complete = false;
};

template <typename Fn>
void Bind(Fn& fn, const char* name, bool& complete) {
  fn = BenchFunction<Fn>(name);
  if (!fn) complete = false;
}

const BenchDriver* Bench() {
  static const BenchDriver driver = [] {
    BenchDriver d;
    if (!BenchActive()) return d;
    d.complete = true;
    Bind(d.open, "BenchDriverCreateFile", d.complete);
    Bind(d.ioControl, "BenchDriverIoControl", d.complete);
    Bind(d.read, "BenchDriverReadFile", d.complete);
    Bind(d.write, "BenchDriverWriteFile", d.complete);
    Bind(d.result, "BenchDriverGetOverlappedResult", d.complete);
    Bind(d.cancel, "BenchDriverCancelIo", d.complete);
    Bind(d.close, "BenchDriverCloseHandle", d.complete);
    Bind(d.listOpen, "BenchInterfaceList", d.complete);
    Bind(d.listEnum, "BenchEnumInterface", d.complete);
    Bind(d.listDetail, "BenchInterfaceDetail", d.complete);
    Bind(d.listClose, "BenchDestroyInterfaceList", d.complete);
    Bind(d.notices, "BenchRegisterNotices", d.complete);
    Bind(d.unnotices, "BenchUnregisterNotices", d.complete);
    return d;
  }();
  // A bench without a driver would leave the deliverables half simulated:
  // then no driver at all is there.
  return BenchActive() ? &driver : nullptr;
}

bool NoDriver() {
  SetLastError(ERROR_FILE_NOT_FOUND);
  return false;
}

}  // namespace

HANDLE DriverOpen(const char* path) {
  if (const BenchDriver* b = Bench()) {
    if (!b->complete) return NoDriver(), INVALID_HANDLE_VALUE;
    return b->open(path);
  }
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

BOOL DriverIoControl(HANDLE h, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* bytes, OVERLAPPED* ov) {
  if (const BenchDriver* b = Bench())
    return b->complete ? b->ioControl(h, code, in, inSize, out, outSize, bytes, ov) : NoDriver();
  DWORD n = 0;
  BOOL ok = DeviceIoControl(h, code, in, inSize, out, outSize, bytes ? bytes : &n, ov);
  return ok;
}

BOOL DriverRead(HANDLE h, void* buffer, DWORD length, DWORD* bytes, OVERLAPPED* ov) {
  if (const BenchDriver* b = Bench())
    return b->complete ? b->read(h, buffer, length, bytes, ov) : NoDriver();
  return ReadFile(h, buffer, length, bytes, ov);
}

BOOL DriverWrite(HANDLE h, const void* buffer, DWORD length, DWORD* bytes, OVERLAPPED* ov) {
  if (const BenchDriver* b = Bench())
    return b->complete ? b->write(h, buffer, length, bytes, ov) : NoDriver();
  return WriteFile(h, buffer, length, bytes, ov);
}

BOOL DriverOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* bytes, BOOL wait) {
  if (const BenchDriver* b = Bench())
    return b->complete ? b->result(h, ov, bytes, wait) : NoDriver();
  DWORD n = 0;
  return GetOverlappedResult(h, ov, bytes ? bytes : &n, wait);
}

BOOL DriverCancelIo(HANDLE h) {
  if (const BenchDriver* b = Bench()) return b->complete ? b->cancel(h) : NoDriver();
  return CancelIo(h);
}

BOOL DriverClose(HANDLE h) {
  if (const BenchDriver* b = Bench()) return b->complete ? b->close(h) : NoDriver();
  return CloseHandle(h);
}

HDEVINFO InterfaceListOpen(const GUID* guid) {
  if (const BenchDriver* b = Bench()) {
    if (!b->complete) return NoDriver(), INVALID_HANDLE_VALUE;
    return b->listOpen(guid);
  }
  return SetupDiGetClassDevsA(guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
}

BOOL InterfaceListEnum(HDEVINFO set, const GUID* guid, DWORD index,
                       SP_DEVICE_INTERFACE_DATA* data) {
  if (const BenchDriver* b = Bench())
    return b->complete ? b->listEnum(set, guid, index, data) : NoDriver();
  return SetupDiEnumDeviceInterfaces(set, nullptr, guid, index, data);
}

BOOL InterfaceListDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                         SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD size, DWORD* required) {
  if (const BenchDriver* b = Bench())
    return b->complete ? b->listDetail(set, data, detail, size, required) : NoDriver();
  return SetupDiGetDeviceInterfaceDetailA(set, data, detail, size, required, nullptr);
}

BOOL InterfaceListClose(HDEVINFO set) {
  if (const BenchDriver* b = Bench()) return b->complete ? b->listClose(set) : NoDriver();
  return SetupDiDestroyDeviceInfoList(set);
}

HDEVNOTIFY RegisterInterfaceNotices(HWND window, const GUID* classGuid) {
  if (const BenchDriver* b = Bench()) {
    if (!b->complete) return NoDriver(), nullptr;
    return b->notices(window, classGuid);
  }
  DEV_BROADCAST_DEVICEINTERFACE_A filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = *classGuid;
  return RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

BOOL UnregisterInterfaceNotices(HDEVNOTIFY notify) {
  if (const BenchDriver* b = Bench()) return b->complete ? b->unnotices(notify) : NoDriver();
  return UnregisterDeviceNotification(notify);
}

}  // namespace hwport
