// How far a flash operation is: (phase, 0, total) when it starts, (phase,
// done, total) after each step, (kDone, 0, 0) at its end. The form shows it
// in its progress bar and status line; without a listener nothing is shown.
#pragma once

#include <functional>

namespace tessaro {

enum class FlashPhase { kEraseSectors, kProgram, kVerify, kSuspend, kWaitIdle, kDone };
using FlashProgress = std::function<void(FlashPhase phase, int done, int total)>;

}  // namespace tessaro
