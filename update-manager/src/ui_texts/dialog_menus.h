// The parts of Kestor's window built at run time around the resource script:
// the system menu's About item, the "Language" popup, the step list's columns
// and the About box. They work on the resources linked into the program.
#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <vector>

namespace kestor {

// Appends a separator and the About item (string resource 101, command 16) to
// the window's system menu; nothing when the string is empty or missing.
bool AddAboutItemToSystemMenu(HWND window);

// Adds a "Language" popup to the window's menu bar: "English" (command 32779),
// then each name i with command 32780 + i (at most nine names are offered).
// Nothing is added for an empty list; false then.
bool BuildLanguageMenu(HWND window, const std::vector<std::string>& names);

// Language index of a menu command: 0 for "English" (32779), i + 1 for
// 32780 + i; -1 for any command outside 32779..32788.
int LanguageIndexOfCommand(int command);

// Grid lines and four left-aligned columns titled `titles`, widths 85, 150,
// 75 and 75 pixels.
void InitStepListColumns(HWND list, const std::array<std::string, 4>& titles);

// Runs the About box (resource 100) modally; its version line reads
// "Version " + release.
INT_PTR ShowAboutBox(HWND owner);

}  // namespace kestor
