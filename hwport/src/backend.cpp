// What the port does for an operation its backend lacks: it fails with the
// operation's failure value and ERROR_NOT_SUPPORTED, and never falls through
// to the other backend, so a simulated run never touches the PC's devices.
#include "hwport/backend.h"

namespace hwport {
namespace {

template <typename T>
T Lacking(T failure) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return failure;
}

template <typename Member, typename Stub>
void Fill(Member& member, Stub stub) {
  if (!member) member = stub;
}

}  // namespace

void CompleteBackend(Backend& b) {
  Fill(b.driverOpen, [](auto...) { return Lacking(INVALID_HANDLE_VALUE); });
  Fill(b.driverIoControl, [](auto...) { return Lacking(FALSE); });
  Fill(b.driverRead, [](auto...) { return Lacking(FALSE); });
  Fill(b.driverWrite, [](auto...) { return Lacking(FALSE); });
  Fill(b.driverOverlappedResult, [](auto...) { return Lacking(FALSE); });
  Fill(b.driverCancelIo, [](auto...) { return Lacking(FALSE); });
  Fill(b.driverClose, [](auto...) { return Lacking(FALSE); });
  Fill(b.interfaceListOpen, [](auto...) { return Lacking(INVALID_HANDLE_VALUE); });
  Fill(b.interfaceListEnum, [](auto...) { return Lacking(FALSE); });
  Fill(b.interfaceListDetail, [](auto...) { return Lacking(FALSE); });
  Fill(b.interfaceListClose, [](auto...) { return Lacking(FALSE); });
  Fill(b.registerNotices, [](auto...) { return Lacking<HDEVNOTIFY>(nullptr); });
  Fill(b.unregisterNotices, [](auto...) { return Lacking(FALSE); });
  Fill(b.getAllClassDevices, [](auto...) { return Lacking(INVALID_HANDLE_VALUE); });
  Fill(b.enumDeviceInfo, [](auto...) { return Lacking(FALSE); });
  Fill(b.getDeviceRegistryProperty, [](auto...) { return Lacking(FALSE); });
  Fill(b.setClassInstallParams, [](auto...) { return Lacking(FALSE); });
  Fill(b.callClassInstaller, [](auto...) { return Lacking(FALSE); });
  Fill(b.destroyDeviceInfoList, [](auto...) { return Lacking(FALSE); });
  Fill(b.getDevNodeStatus, [](auto...) { return Lacking<CONFIGRET>(CR_FAILURE); });
  Fill(b.hostControllerOpens, [](auto...) { return Lacking(FALSE); });
  // Time has no failure value: without a clock of its own a backend runs on
  // the wall's.
  Fill(b.tickCount, [] { return GetTickCount(); });
  Fill(b.realMilliseconds, [](DWORD ms) { return ms; });
}

}  // namespace hwport
