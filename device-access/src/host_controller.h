// Finding, disabling and re-enabling the USB 2.0 (EHCI) host controller.
#pragma once

#include "hwport/setupapi.h"

namespace corvel {

// The service of USB 2.0 host controllers.
constexpr char kHostControllerService[] = "usbehci";

// 1 when one of "\\.\HCD0".."\\.\HCD9" opens; all ten are tried.
int FindHostUSB();
// 1 when some device, present or not, has the service "usbehci".
int FindExtendedUSBHost();
// 1 when no present device of the service is enabled, else 0.
int IsServiceDisabled(const char* service);
// Disables (DICS_DISABLE) or enables (DICS_ENABLE) every device of the
// service, present or not: 1 done, 0 failed.
int ChangeServiceState(DWORD stateChange, const char* service);

}  // namespace corvel
