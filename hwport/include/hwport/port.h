// The hardware port's choice between the real PC and the simulated bench.
//
// The choice is made once, at the first call: when the environment variable
// LUMETRA_BENCH names a bench file, the bench library "LumetraBench.dll" is
// loaded from beside this module (or shared, when another module of the
// process loaded it so) and opened on that file, never from a path the
// environment gives; otherwise the port makes the real Win32 calls. Either way
// the port's calls go through one backend record (hwport/backend.h). Nothing
// outside the port asks which of the two is in use; tests use the functions
// below.
#pragma once

#include <windows.h>

namespace hwport {

// True when a bench is configured and loaded. Does not block after the first
// call; the first call loads the bench under a once-only guard.
bool BenchActive();

// One of the bench's control functions for tests by its exported name; null
// without a bench or when the bench does not offer it. They are plain cdecl
// functions.
FARPROC BenchEntry(const char* name);

template <typename Fn>
Fn BenchFunction(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(BenchEntry(name)));
}

// Why the bench could not be used although LUMETRA_BENCH was set, or why it
// refused the bench file it was opened on last (empty when all went well or
// no bench was asked for). Tests read it; the deliverables fall back to the
// real calls.
const char* BenchLoadError();

}  // namespace hwport
