// Corvel's five host-controller functions, bound by name at their first call:
// the library "Corvel.dll" beside Kestor is loaded then and stays loaded until
// Kestor ends. A library or function that cannot be bound is written to the
// trace log once and answers "no USB host": nothing found, nothing switched.
#pragma once

#include <windows.h>

#include <string>

#include "lumetra/sync.h"

// What Kestor asks of a USB host-controller library; each answer is read as a
// boolean.
class UsbHostFunctions {
 public:
  virtual ~UsbHostFunctions() = default;
  virtual int FindHostUSB() = 0;          // non-zero: a USB host controller is present
  virtual int FindExtendedUSBHost() = 0;  // non-zero: a USB 2.0 host controller is present
  virtual int IsUSBHostDisabled() = 0;    // non-zero: the USB 2.0 controllers are disabled
  virtual int DisableUSBHost() = 0;
  virtual int EnableUSBHost() = 0;
};

class CorvelBinding : public UsbHostFunctions {
 public:
  // libraryPath: the full path of Corvel.dll.
  explicit CorvelBinding(std::string libraryPath);
  int FindHostUSB() override { return Call(kFindHost, 0); }
  int FindExtendedUSBHost() override { return Call(kFindExtended, 0); }
  // Unbound, the controller counts as disabled: Kestor never tries to switch it.
  int IsUSBHostDisabled() override { return Call(kIsDisabled, 1); }
  int DisableUSBHost() override { return Call(kDisable, 0); }
  int EnableUSBHost() override { return Call(kEnable, 0); }

 private:
  enum Function { kFindHost, kFindExtended, kIsDisabled, kDisable, kEnable, kFunctionCount };
  using HostFunction = int(WINAPI*)();

  int Call(Function f, int unbound);
  HostFunction Bind(Function f);

  std::string libraryPath_;
  lm::CriticalSection mutex_;
  HMODULE library_ = nullptr;
  bool libraryTried_ = false;
  HostFunction functions_[kFunctionCount] = {};
  bool tried_[kFunctionCount] = {};
};
