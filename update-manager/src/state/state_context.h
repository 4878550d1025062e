// What the states, their machine, the platform outcomes and the update run
// work with: the environment, the package's configuration, the device
// updater, the worker channel to the dialog and the cancel token. The process
// context builds it from the objects it owns; the states never look up the
// process-wide names themselves, so a test gives them objects of its own.
// A member is null while its object is missing.
#pragma once

#include <string>

class SystemEnvironment;
class UpdateConfig;
class DeviceUpdater;
class WorkerChannel;
class CancelToken;

struct StateContext {
  SystemEnvironment* environment = nullptr;
  UpdateConfig* config = nullptr;
  DeviceUpdater* updater = nullptr;
  WorkerChannel* channel = nullptr;
  CancelToken* cancel = nullptr;

  // The cancel token's state; stopped without a token (nothing runs then).
  int CancelState() const;
  void SetCancelState(int value) const;
  // SetCancelState only while the state is `expected`; false otherwise.
  bool ReplaceCancelState(int expected, int value) const;
  bool CancelRequested() const;
};
