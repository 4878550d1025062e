// The bench's device tree as SetupAPI and the configuration manager see it.
//
// The tree lives in the bench file and is read afresh at every call, so a
// test may describe it before a deliverable starts and read it back after
// the deliverable ended:
//
//   [SetupTree]
//   Nodes=1,2                     ; node numbers in enumeration order
//   HostControllerNames=\\.\HCD0  ; device names that open for writing
//   GetClassDevsError=0           ; non-zero: building a device set fails so
//
//   [Node.1]
//   Present=1                     ; 0: known to the system but not present
//   Removed=0                     ; 1: gone from the tree (DIF_REMOVE sets it)
//   HardwareIds=PCI\VEN_8086&DEV_24CD,PCI\VEN_8086   ; missing: no such property
//   Service=usbehci               ; missing: no such property
//   Status=0x0180200A             ; DN_* flags of the node
//   Problem=0                     ; CM_PROB_* (22: disabled)
//   PropertyError=0               ; non-zero: every property read fails so
//   StatusError=0                 ; non-zero: CM_Get_DevNode_Status returns it
//   SetParamsError=0              ; non-zero: setting class-install parameters fails so
//   ClassInstallerError=0         ; non-zero: every class-installer call fails so
//
// The bench's USB devices ([DeviceN] with a ProductId) are nodes 1000 + N,
// after the listed ones: present as the device is, with the hardware ids
// "USB\VID_vvvv&PID_pppp&REV_rrrr,USB\VID_vvvv&PID_pppp"; a [Node.1000+N]
// section overrides any of that, as class-installer calls write it.
//
// Class-installer calls change the tree: DIF_PROPERTYCHANGE with DICS_DISABLE
// sets DN_HAS_PROBLEM and problem 22 (and clears DN_STARTED); DICS_ENABLE
// undoes a problem 22; DIF_REMOVE sets Removed=1 and Present=0. Every call,
// failed or not, is recorded in order:
//
//   [SetupCalls]
//   Count=2
//   Call1=DIF_PROPERTYCHANGE Node.1 StateChange=2 Scope=2 HwProfile=0 Result=0
//   Call2=DIF_REMOVE Node.3 Result=0
//
// Each change is written to the bench file as every change of the bench is
// (bench_file.h): whole and atomically, keeping comments and order.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "bench/ini_text.h"

namespace bench {

struct TreeNode {
  int number = 0;
  bool present = true;
  bool removed = false;
  bool hasHardwareIds = false;
  std::vector<std::string> hardwareIds;
  bool hasService = false;
  std::string service;
  ULONG status = 0;
  ULONG problem = 0;
  DWORD propertyError = 0;
  DWORD statusError = 0;
  DWORD setParamsError = 0;
  DWORD classInstallerError = 0;
};

class DeviceTree {
 public:
  // The tree as the bench file holds it now.
  static DeviceTree Load();

  // Runs change over the bench file's text and writes it back whole.
  static bool Update(const std::function<void(IniText&)>& change);

  std::vector<int> NodeNumbers() const;
  // False when the number is not one of the tree's nodes.
  bool Node(int number, TreeNode* node) const;
  bool HostControllerOpens(const std::string& name) const;
  DWORD GetClassDevsError() const;

 private:
  explicit DeviceTree(IniText ini) : ini_(std::move(ini)) {}
  IniText ini_;
};

std::string NodeSection(int number);

}  // namespace bench
