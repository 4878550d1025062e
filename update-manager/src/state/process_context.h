// Kestor's process-wide objects in one owner. The environment, the
// configuration and the device updater are built here in that order (the
// updater's constructor may use the other two) and deleted in reverse; the
// names the program uses (theEnvironment, theConfig, theDeviceUpdater) point
// at the objects while they live and are null otherwise.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "state/state_context.h"

class SystemEnvironment;
class UpdateConfig;
class DeviceUpdater;

class ProcessContext {
 public:
  ProcessContext() = default;
  ~ProcessContext();
  ProcessContext(const ProcessContext&) = delete;
  ProcessContext& operator=(const ProcessContext&) = delete;

  // Builds the three objects for this program (args: the program arguments
  // after its name); false when one of them could not be made.
  bool Build(const std::vector<std::string>& args);
  // Takes objects made elsewhere (tests: a package folder of their own).
  void Adopt(std::unique_ptr<SystemEnvironment> environment, std::unique_ptr<UpdateConfig> config,
             std::unique_ptr<DeviceUpdater> updater);
  bool Built() const;
  // What the states work with: the three objects, the updater's worker
  // channel and its cancel token (null members for missing objects), and
  // the process's published values and texts.
  StateContext Context() const;
  // Deletes the objects, the updater first, and clears the names.
  void Release();

 private:
  void Publish();

  std::unique_ptr<SystemEnvironment> environment_;
  std::unique_ptr<UpdateConfig> config_;
  std::unique_ptr<DeviceUpdater> updater_;
};

extern ProcessContext theProcessContext;

// The cancel state that the dialog, the exit thread and the states share,
// kept by the process's updater. Without the updater (before start-up, after
// shutdown) nothing runs any more: that reads as CANCEL_STATE_STOPPED, and a
// write is dropped.
int CancelState();
void SetCancelState(int value);
// SetCancelState only while the state is `expected`: a request another thread
// made in the meantime is not overwritten. False when the state was another.
bool ReplaceCancelState(int expected, int value);
