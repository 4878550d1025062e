// Kestor's view of the computer it runs on: the operating system, the USB
// host controllers, the temporary folder and the logs in it.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "environment/corvel_binding.h"

// Kestor's profile key below HKEY_CURRENT_USER.
constexpr const char* kKestorRegistryKey = "Software\\Kestor\\Kestor";
// The value there that is 1 while the USB 2.0 controller is off by Kestor's hand.
constexpr const char* kUsb2OffValue = "USB2SwitchedOff";

class SystemEnvironment {
 public:
  // Takes the temporary folder from TEMP, else TMP (empty when both are missing).
  // The host-controller functions are Corvel's, beside Kestor.
  SystemEnvironment();
  // Does not switch any host controller.
  virtual ~SystemEnvironment() = default;

  // Replaces the host-controller functions (tests).
  void SetUsbHostFunctions(std::unique_ptr<UsbHostFunctions> functions);
  // Replaces the key below HKEY_CURRENT_USER that holds the switch-off mark
  // (tests).
  void SetRegistryKeyPath(std::string path) { registryKeyPath_ = std::move(path); }
  // The mark a run leaves while the controller is off by its hand.
  bool Usb2HostMarkedOff() const;

  // False when no USB host controller is present; otherwise the USB version
  // becomes 20 with a USB 2.0 controller, else 11.
  bool FindUsbHost();
  // Non-zero when a USB 2.0 host controller is present (USB version 20/11).
  int QueryUsb2Host();
  // Non-zero when the USB 2.0 host controllers are disabled; remembers
  // whether it was found enabled.
  int QueryUsb2HostDisabled();
  // Switches an enabled USB 2.0 controller off and remembers that it did, in
  // this run and under Kestor's registry key for a run that is killed before
  // its Exit.
  bool SuspendUsb2Host();
  // A controller found disabled that an earlier run of Kestor switched off and
  // never switched on again (it was killed) is taken over: this run's Exit
  // switches it on. True when it was taken over.
  bool AdoptUsb2HostLeftOff();
  // Switches the controller on when this run switched it off or took it over;
  // forgets the registry mark once the controller is on.
  bool RestoreUsb2Host();
  // Whatever way Kestor ends: a controller it switched off and did not switch
  // on again is switched on here. True when it switched.
  bool EnsureUsb2HostRestored();
  bool Usb2HostSuspended() const { return usb2HostSuspended; }
  bool Usb2HostEnabled() const { return usb2HostEnabled; }
  int UsbVersion() const { return usbVersion; }

  // Sets the operating-system name; true for Windows 2000 and XP (NT 5.x).
  bool CheckOperatingSystem();
  bool SetProgramFolder();

  std::string DebugLogPath() const { return tempFolder + "\\LM_Logfile.txt"; }
  std::string UpdateLogFolder() const { return tempFolder + "\\Kestor_log"; }
  std::string UpdateLogPath() const { return UpdateLogFolder() + "\\Kestor.log"; }
  std::string TempFolder() const { return tempFolder; }
  std::string OsName() const { return osName; }
  bool OsSupported() const { return osSupported; }

 private:
  bool osSupported = false;
  std::string programFolderText;
  std::string tempFolder;
  std::string osName;
  std::atomic<int> usbVersion{0};
  std::atomic<bool> usb2HostSuspended{false};
  std::atomic<bool> usb2HostEnabled{false};
  // Set when the controller was switched on after the last switch-off.
  std::atomic<bool> usb2HostRestored{false};
  std::unique_ptr<UsbHostFunctions> hostFunctions_;
  std::string registryKeyPath_ = kKestorRegistryKey;

  void MarkUsb2HostOff(bool off);
};

extern SystemEnvironment* theEnvironment;

// The operating-system name for a version triple and whether Kestor runs on it;
// supported is left as it was for families it does not know.
std::string OperatingSystemName(unsigned platformId, unsigned major, unsigned minor,
                                bool* supported);

// Drive and folder of Kestor's own executable, ending with "\".
std::string ApplicationFolder();
// The platform reports attributes for the path (a file or a folder).
bool FileExists(const std::string& path);
std::string NumberText(int value);
