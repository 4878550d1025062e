// What the interpreter keeps from one Programing call to the next, in one
// object: made when the library is loaded and gone when it is freed. A
// module-data gate that one job closed stays closed for the next job of the
// same load, and the reboot times a reboot test learnt bound the reboots of
// later jobs. A run's own state (the commands a conditional skips among it)
// lives and ends with the run.
#pragma once

#include "tessaro/device_control.h"

namespace tessaro {

struct InterpreterLoad {
  bool PathBDActive = true;
  // The device flows' settings: the reboot times learnt among them.
  DeviceControlSettings control;
};

// The load's one object, which each run and each device flow works with.
InterpreterLoad& CurrentLoad();
// Back to the state of a freshly loaded library.
void ResetLoad();

}  // namespace tessaro
