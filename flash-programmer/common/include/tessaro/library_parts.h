// What one load of the library keeps for the units below its context: the
// log hooks, the events they ask through, the status word, the library's
// wait, the logger, the main thread's hand-over and the settings. The library's context owns the
// parts of its load and registers them at its start; a unit run without a context (the tests link
// the static libraries) works on a default set.
#pragma once

#include <atomic>
#include <cstdint>

#include "tessaro/library_settings.h"
#include "tessaro/log_hook.h"
#include "tessaro/run_events.h"

namespace tessaro {

class TLoging;
class MainThreadSync;

// Lets ms of the port's clock pass (the wait the connection waits with).
using WaitFunction = void (*)(unsigned long ms);

struct LibraryParts {
  LibraryLogHooks logHooks;
  std::atomic<RunEvents*> events{nullptr};  // the events the units below the run ask through
  // Status and progress in one word, so a reader takes them together:
  // GetStatus reads it from any thread without a lock.
  std::atomic<uint32_t> statusWord{0};
  std::atomic<bool> progressRegistered{false};
  WaitFunction wait = nullptr;  // none: the main thread's pumping wait
  TLoging* logger = nullptr;
  std::atomic<MainThreadSync*> sync{nullptr};  // made at its first use
  LibrarySettings settings;
};

// The parts registered by the library's context, or the default set.
LibraryParts& Parts();
// The context registers its parts at its start and removes them (nullptr)
// at its end.
void RegisterLibraryParts(LibraryParts* parts);

}  // namespace tessaro
