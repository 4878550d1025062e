#include "tessaro/log_hook.h"

#include "tessaro/library_parts.h"

namespace tessaro {

// The units below the library's context log through these without knowing
// it; the context empties them at its end.
LibraryLogHooks& LogHooks() { return Parts().logHooks; }

}  // namespace tessaro
