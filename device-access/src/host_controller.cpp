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
  DeviceScan scan(DeviceScan::kPresentOrNot);
  if (!scan.Built()) return 0;
  int found = 0;
  std::string service;
  while (scan.Next()) {
    PropertyRead r = scan.Service(&service);
    if (r == PropertyRead::kMissing) continue;
    if (r == PropertyRead::kFailed) return 0;
    if (EqualIgnoringCase(service, kHostControllerService)) found = 1;
  }
  return found;
}

int IsServiceDisabled(const char* service) {
  // Only present devices are judged: a controller that is known but not
  // present has no node status, and is not an enabled controller either.
  DeviceScan scan(DeviceScan::kPresent);
  int disabled = 1;
  if (!scan.Built()) return disabled;
  std::string name;
  while (scan.Next()) {
    PropertyRead r = scan.Service(&name);
    if (r == PropertyRead::kMissing) continue;
    if (r == PropertyRead::kFailed) return 0;
    if (!EqualIgnoringCase(name, service)) continue;
    ULONG status = 0, problem = 0;
    if (hwport::GetDevNodeStatus(&status, &problem, scan.Device()->DevInst, 0) != CR_SUCCESS)
      return disabled;
    if (!(status & DN_HAS_PROBLEM) || problem != CM_PROB_DISABLED) disabled = 0;
  }
  return disabled;
}

int ChangeServiceState(DWORD stateChange, const char* service) {
  DeviceScan scan(DeviceScan::kPresentOrNot);
  if (!scan.Built()) return 0;
  std::string name;
  while (scan.Next()) {
    PropertyRead r = scan.Service(&name);
    if (r == PropertyRead::kMissing) continue;
    if (r == PropertyRead::kFailed) return 0;
    if (!EqualIgnoringCase(name, service)) continue;
    // An enable also clears a disable made for all hardware profiles; that
    // step may fail where there was none.
    if (stateChange == DICS_ENABLE && SetPropertyChange(scan, stateChange, DICS_FLAG_GLOBAL))
      CallPropertyChange(scan);
    if (!SetPropertyChange(scan, stateChange, DICS_FLAG_CONFIGSPECIFIC) ||
        !CallPropertyChange(scan))
      return 0;
  }
  return 1;
}

}  // namespace corvel
