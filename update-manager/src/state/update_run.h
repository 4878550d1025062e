// The update run of the Update Process state: the package's steps in order
// (front-panel files, module and power-supply firmware, the release), the
// recovery pass when a device is still in its update mode, the step list,
// the progress bars and the error index.
#pragma once

#include "state/state_context.h"

// Runs every step with the context's updater and configuration (both there); 0 when the whole run
// succeeded, else the error index (6, 7, 14, 15 or 16). Every wait is bounded and looks for a
// cancel.
int RunUpdateSteps(const StateContext& context);
