#include "tessaro/interpreter_load.h"

namespace tessaro {
namespace {

// A static of the library: made when the library is loaded, gone with it.
// The library's context takes it over once there is one.
InterpreterLoad g_load;

}  // namespace

InterpreterLoad& CurrentLoad() { return g_load; }
void ResetLoad() { g_load = InterpreterLoad(); }

}  // namespace tessaro
