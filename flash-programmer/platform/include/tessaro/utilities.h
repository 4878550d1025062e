// The library's platform utilities: local time, the operating system's
// version text, the message pump that keeps the library's window live, and
// the wait with progress that the job's wait commands use.
#pragma once

#include <windows.h>

#include <string>

#include "tessaro/run_events.h"
#include "tessaro/text_utils.h"

namespace tessaro {

LocalTime LocalNow();
// The time of day with the locale's time and decimal separators.
std::string TimeText(const LocalTime& t);
std::string WindowsVersionText();

// Lets the calling thread's pending window messages through (the library's
// window lives on the job's thread). A quit message is left in the queue;
// false when one was seen.
bool ProcessMessages();

// Lets ms of the port's clock pass on the calling thread while its window
// messages go through (the library's window, the connection's hand-overs).
void WaitLettingMessagesThrough(DWORD ms);
// The same wait, ended as soon as `ended` gives true after the messages went
// through (a stop request that Esc set among them).
void WaitLettingMessagesThrough(DWORD ms, bool (*ended)());
// Makes that wait the one the device connection waits with (at load), or
// gives the connection its own wait back (at unload).
void InstallLibraryWait();
void UninstallLibraryWait();

// Ends a running WaitWithProgress early (true); cleared when a wait starts.
void SetWaitEnded(bool ended);
bool WaitEnded();

// Waits `total` ms of the port's clock in steps of `step` ms, moving the
// progress display of `events` and rewriting its last line; messages go
// through after each step.
void WaitWithProgress(int total, int step, RunEvents* events);

// The folder of the program that loaded the library, with a trailing backslash.
std::string ProgramFolder();
bool FileExists(const std::string& path);

}  // namespace tessaro
