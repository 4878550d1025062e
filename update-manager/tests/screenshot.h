// Pictures of windows kept by the test run: a 24-bit BMP of a window of this
// process, written to <build>\artifacts.
#pragma once

#include <windows.h>

#include <string>

// Copies what the window shows, frame and controls, and writes it as `fileName`
// below the build's artifacts folder; true when written.
bool SaveWindowPicture(HWND window, const std::string& fileName);
