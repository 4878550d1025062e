// A C++ library that does nothing, built with the toolchain and the options
// Tessaro.dll is built with: what the C++ runtime alone leaves in a process
// at each load and free, so that the test of Tessaro's own handles can tell
// Tessaro's from the runtime's (the 32-bit runtime's unwinder keeps a lock
// of every load it registered).
#include <windows.h>

#include <stdexcept>

// Throws and catches, so the library carries the runtime's unwinder as
// Tessaro's exports, which catch every error, do.
extern "C" __declspec(dllexport) int WINAPI ControlCatches(int value) {
  try {
    if (value) throw std::runtime_error("control");
  } catch (const std::exception&) {
    return 1;
  }
  return 0;
}
