#include "tessaro/log_hook.h"

namespace tessaro {
namespace {

// The units below the library's context log through these without knowing
// it; the context empties them at its end.
LibraryLogHooks g_hooks;

}  // namespace

LibraryLogHooks& LogHooks() { return g_hooks; }

}  // namespace tessaro
