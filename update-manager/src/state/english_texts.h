// The English texts the states show until a language file replaces them.
#pragma once

#include <string>

std::string ErrorText(int index);  // ErrorText1..ErrorText17
inline constexpr const char* kUnknownErrorText = "An unknown Error occured!";
inline constexpr const char* kNoDevText = "Searching for device...";
inline constexpr const char* kReadDevText = "Reading device data...";
inline constexpr const char* kUpdateReadyText =
    "Press button 'Start Update' to start the update process!";
inline constexpr const char* kRunningUpdateText = "Update running...";
inline constexpr const char* kCloseUpdaterText =
    "Update installed successfully! Press Exit to close the Kestor!";
inline constexpr const char* kStartButtonText = "Start &Update";
inline constexpr const char* kCancelButtonText = "Cancel &Update";
