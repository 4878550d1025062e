#include "host_controller.h"

#include <string>

#include "device_scan.h"

namespace corvel {
namespace {

bool SetPropertyChange(DeviceScan& scan, DWORD stateChange, DWORD scope) {
  SP_PROPCHANGE_PARAMS params{};
  params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
  params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
  params.StateChange = stateChange;
  params.Scope = scope;
  params.HwProfile = 0;
  return hwport::SetClassInstallParams(scan.Set(), scan.Device(), &params.ClassInstallHeader,
                                       sizeof params) != FALSE;
}

bool CallPropertyChange(DeviceScan& scan) {
  return hwport::CallClassInstaller(DIF_PROPERTYCHANGE, scan.Set(), scan.Device()) != FALSE;
}

enum class ScanEnd { kNoList, kReadFailed, kStopped, kCompleted };

// One scan of `devices`, calling onDevice(scan) for each member whose service
// is `service` (case ignored), in index order; a member without a service is
// passed over. The scan ends early when a member's service cannot be read or
// onDevice returns false.
template <typename OnDevice>
ScanEnd ForEachDeviceOfService(DeviceScan::Devices devices, const char* service,
                               OnDevice onDevice) {
  DeviceScan scan(devices);
  if (!scan.Built()) return ScanEnd::kNoList;
  std::string name;
  while (scan.Next()) {
    PropertyRead r = scan.Service(&name);
    if (r == PropertyRead::kMissing) continue;
    if (r == PropertyRead::kFailed) return ScanEnd::kReadFailed;
    if (EqualIgnoringCase(name, service) && !onDevice(scan)) return ScanEnd::kStopped;
  }
  return ScanEnd::kCompleted;
}

}  // namespace

int FindHostUSB() {
  int found = 0;
  for (int n = 0; n <= 9; ++n) {
    std::string name = "\\\\.\\HCD" + std::to_string(n);
    if (hwport::HostControllerOpens(name.c_str())) found = 1;
  }
  return found;
}

int FindExtendedUSBHost() {
  int found = 0;
  ScanEnd end =
      ForEachDeviceOfService(DeviceScan::kPresentOrNot, kHostControllerService, [&](DeviceScan&) {
        found = 1;
        return true;
      });
  return end == ScanEnd::kCompleted ? found : 0;
}

int IsServiceDisabled(const char* service) {
  // Only present devices are judged: a controller that is known but not
  // present has no node status, and is not an enabled controller either.
  int disabled = 1;
  ScanEnd end = ForEachDeviceOfService(DeviceScan::kPresent, service, [&](DeviceScan& scan) {
    ULONG status = 0, problem = 0;
    if (hwport::GetDevNodeStatus(&status, &problem, scan.Device()->DevInst, 0) != CR_SUCCESS)
      return false;
    if (!(status & DN_HAS_PROBLEM) || problem != CM_PROB_DISABLED) disabled = 0;
    return true;
  });
  return end == ScanEnd::kReadFailed ? 0 : disabled;
}

int ChangeServiceState(DWORD stateChange, const char* service) {
  ScanEnd end = ForEachDeviceOfService(DeviceScan::kPresentOrNot, service, [&](DeviceScan& scan) {
    // An enable also clears a disable made for all hardware profiles; that
    // step may fail where there was none.
    if (stateChange == DICS_ENABLE && SetPropertyChange(scan, stateChange, DICS_FLAG_GLOBAL))
      CallPropertyChange(scan);
    return SetPropertyChange(scan, stateChange, DICS_FLAG_CONFIGSPECIFIC) &&
           CallPropertyChange(scan);
  });
  return end == ScanEnd::kCompleted ? 1 : 0;
}

}  // namespace corvel
