// What the interpreter keeps from one Programing call to the next: the
// library's one object per load (made when the library is loaded, gone when
// it is freed). A run's own state (the commands a conditional skips among
// it) lives and ends with the run.
#pragma once

#include "tessaro/flash_settings.h"

namespace tessaro {

using InterpreterLoad = LibrarySettings;

// The load's one object, which each run and each device flow works with.
inline InterpreterLoad& CurrentLoad() { return Settings(); }

}  // namespace tessaro
