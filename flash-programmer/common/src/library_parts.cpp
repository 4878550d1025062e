#include "tessaro/library_parts.h"

namespace tessaro {
namespace {

// The parts of a unit run without the library's context.
LibraryParts g_defaultParts;
// The parts of the library's context while it lives: the units below it
// cannot see it.
std::atomic<LibraryParts*> g_parts{nullptr};

}  // namespace

LibraryParts& Parts() {
  LibraryParts* parts = g_parts.load();
  return parts ? *parts : g_defaultParts;
}

void RegisterLibraryParts(LibraryParts* parts) { g_parts = parts; }

}  // namespace tessaro
