// What the states learn from the computer, the package and the device. The
// states turn each answer into their next state and error index; the answers
// themselves come from the environment, the configuration and the device
// updater (PlatformOutcomes), or from a script in the tests.
#pragma once

#include "state/state_context.h"

// SeveralPowerSupplies: also two instruments of the package's type on one
// supply.
enum class DeviceWait { Ready, SeveralPowerSupplies, Cancelled };
enum class DeviceCheck {
  Passed,
  NewerThanPackage,
  WrongType,
  ReleaseExcluded,
  SerialExcluded,
  Unreadable,  // the supply's block, which the checks stand on, could not be read
  Cancelled
};

class StateOutcomes {
 public:
  virtual ~StateOutcomes() = default;
  virtual bool OperatingSystemSupported() = 0;
  virtual bool PackageInvalid() = 0;
  virtual bool UsbHostFound() = 0;
  // USB Listen: waits until one power supply is ready, several are found, or
  // a cancel is requested.
  virtual DeviceWait WaitForDevice() = 0;
  // USB Connect: reads the device and checks it against the package.
  virtual DeviceCheck CheckDevice() = 0;
  // Update Process: runs the update; 0 on success, else the error index.
  virtual int RunUpdate() = 0;
};

// The answers of this computer: the environment's checks, Corvel's host
// search and the device updater's view of the power supply and instrument.
class PlatformOutcomes : public StateOutcomes {
 public:
  explicit PlatformOutcomes(const StateContext& context) : context_(context) {}
  bool OperatingSystemSupported() override;
  bool PackageInvalid() override;
  bool UsbHostFound() override;
  DeviceWait WaitForDevice() override;
  DeviceCheck CheckDevice() override;
  // The update run and, after it, the switch-off box when a device stayed
  // in its update mode.
  int RunUpdate() override;

 private:
  const StateContext context_;
};
