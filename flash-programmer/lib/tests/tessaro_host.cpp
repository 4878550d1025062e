// A host program for the library's end-to-end tests: loads Tessaro.dll the
// way the update manager does and runs the actions named on its command line,
// writing one "key=value" line per result into host_out.txt beside itself.
//   load | free | bind | status | prog:VID:PID:SN:FILE | logfile:N | show |
//   close | pump:MS | pumpuntilgone:MS | visible | thread | poll:VID:PID:SN:FILE |
//   pollrun:VID:PID:SN:FILE | sampled:VID:PID:SN:FILE | manual:PANEL_ID | tree:ID | text:ID |
//   selected:LIST_ID |
//   handles | control | pair:FIRST:SN:FILE:SN2:FILE2
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "lumetra/dll_functions.h"
#include "lumetra/sync.h"
#include "testsupport/uidriver.h"

namespace {

using LogFileFn = int32_t(WINAPI*)(uint16_t);
using VoidFn = void(WINAPI*)();
using GetStatusFn = int32_t(WINAPI*)();
using ProgramingFn = uint8_t(WINAPI*)(uint16_t, uint16_t, const char*, const char*);

HMODULE g_library = nullptr;
std::string g_out;
std::string g_boxes;  // the library's message boxes, one a line
lm::CriticalSection g_boxesLock;
using MessageBoxFn = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
MessageBoxFn g_messageBox = nullptr;

void Out(const std::string& key, const std::string& value) {
  FILE* f = std::fopen(g_out.c_str(), "ab");
  if (!f) return;
  std::fprintf(f, "%s=%s\r\n", key.c_str(), value.c_str());
  std::fclose(f);
}

template <typename Fn>
Fn Bind(const char* name) {
  return lm::ProcAddress<Fn>(g_library, name);
}

std::vector<std::string> Split(const std::string& s, char sep, size_t parts) {
  std::vector<std::string> out;
  size_t start = 0;
  while (out.size() + 1 < parts) {
    size_t p = s.find(sep, start);
    if (p == std::string::npos) break;
    out.push_back(s.substr(start, p - start));
    start = p + 1;
  }
  out.push_back(s.substr(start));
  return out;
}

std::string Hex(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "%08X", v);
  return b;
}

// A box's text on one line: its line ends written out.
std::string OneLine(const char* text) {
  std::string out;
  for (const char* c = text ? text : ""; *c; ++c) {
    if (*c == '\r')
      out += "\\r";
    else if (*c == '\n')
      out += "\\n";
    else
      out += *c;
  }
  return out;
}

// Each box the library shows is recorded as asked (whether it has an owner,
// its caption, flags and text) and as answered, in the order asked, beside
// the host: the test's answerer sees a box's window but not its flags.
int WINAPI RecordedMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  int answer = g_messageBox(owner, text, caption, type);
  char flags[16];
  std::snprintf(flags, sizeof flags, "0x%08X", type);
  std::string line = std::string("owner=") + (owner ? "window" : "none") +
                     " caption=" + OneLine(caption) + " flags=" + flags +
                     " answer=" + std::to_string(answer) + " text=" + OneLine(text) + "\r\n";
  lm::Lock hold(g_boxesLock);
  if (FILE* f = std::fopen(g_boxes.c_str(), "ab")) {
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
  }
  return answer;
}

// Points the library's import of MessageBoxA at RecordedMessageBox.
void RecordBoxesOf(HMODULE library) {
  HMODULE user = GetModuleHandleA("user32.dll");
  g_messageBox = lm::ProcAddress<MessageBoxFn>(user, "MessageBoxA");
  auto* base = reinterpret_cast<BYTE*>(library);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!g_messageBox || !imports.VirtualAddress) return;
  auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
  for (; d->Name; ++d) {
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; slot->u1.Function; ++slot) {
      if (reinterpret_cast<MessageBoxFn>(slot->u1.Function) != g_messageBox) continue;
      DWORD old = 0;
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &old);
      slot->u1.Function = reinterpret_cast<decltype(slot->u1.Function)>(&RecordedMessageBox);
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, old, &old);
    }
  }
}

struct OwnWindowSearch {
  const char* caption;
  HWND found;
};

BOOL CALLBACK MatchOwnWindow(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<OwnWindowSearch*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  char text[256] = {};
  GetWindowTextA(w, text, sizeof text);
  if (pid != GetCurrentProcessId() || std::string(text) != s->caption) return TRUE;
  s->found = w;
  return FALSE;
}

// The library's form of this process (another host may run beside it).
HWND FindForm() {
  OwnWindowSearch search{"Tessaro Glintor v1.1", nullptr};
  EnumWindows(&MatchOwnWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

struct EditSearch {
  std::string part;
  bool found = false;
};

BOOL CALLBACK MatchEditText(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<EditSearch*>(p);
  char kind[16] = {};
  GetClassNameA(w, kind, sizeof kind);
  if (lstrcmpiA(kind, "Edit") != 0) return TRUE;
  std::string text(static_cast<size_t>(GetWindowTextLengthA(w)) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(w, &text[0], static_cast<int>(text.size()))));
  s->found = text.find(s->part) != std::string::npos;
  return s->found ? FALSE : TRUE;
}

// The events and semaphores this process holds, counted in the system's
// handle list by the kinds of a probe event and semaphore (Windows 2000 has
// no GetProcessHandleCount, and Wine counts nothing there; the print spooler
// that the common dialogs bring along keeps a mutex of its own under Wine).
// -1 when the list cannot be read.
int OpenEventsAndSemaphores() {
  struct Entry {
    ULONG process;
    BYTE type;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
  };
  struct List {
    ULONG count;
    Entry entries[1];
  };
  using QueryFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  auto query = lm::ProcAddress<QueryFn>(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation");
  constexpr ULONG kHandleList = 16;
  constexpr LONG kTooSmall = static_cast<LONG>(0xC0000004);
  if (!query) return -1;
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 1, nullptr);
  std::vector<BYTE> buffer(1 << 16);
  LONG status;
  while ((status = query(kHandleList, buffer.data(), static_cast<ULONG>(buffer.size()), nullptr)) ==
         kTooSmall)
    buffer.resize(buffer.size() * 2);
  const List* list = reinterpret_cast<const List*>(buffer.data());
  const DWORD self = GetCurrentProcessId();
  int eventType = -1, semaphoreType = -1;
  for (ULONG i = 0; status == 0 && i < list->count; ++i) {
    const Entry& e = list->entries[i];
    if (e.process != self) continue;
    if (e.value == reinterpret_cast<UINT_PTR>(event)) eventType = e.type;
    if (e.value == reinterpret_cast<UINT_PTR>(semaphore)) semaphoreType = e.type;
  }
  int n = 0;
  for (ULONG i = 0; status == 0 && i < list->count; ++i) {
    const Entry& e = list->entries[i];
    if (e.process == self && (e.type == eventType || e.type == semaphoreType)) ++n;
  }
  CloseHandle(event);
  CloseHandle(semaphore);
  return eventType < 0 || semaphoreType < 0 ? -1 : n - 2;
}

void Pump(DWORD ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// Polls GetStatus from a second thread while Programing runs; the job is held
// by a message box that this thread answers only after it has seen the job
// in its reading step many times.
void ProgramingWithPoller(const std::vector<std::string>& a) {
  auto getStatus = Bind<GetStatusFn>("GetStatus");
  auto programing = Bind<ProgramingFn>("Programing");
  std::atomic<bool> done{false};
  std::set<uint32_t> seen;
  int readingPolls = 0;
  bool answered = false;
  lm::Thread poller([&] {
    while (!done) {
      uint32_t v = static_cast<uint32_t>(getStatus());
      seen.insert(v);
      if (v == 3) ++readingPolls;
      if (readingPolls >= 50 && !answered) {
        answered = true;
        HWND box = testsupport::WaitForMessageBox("", "", GetCurrentProcessId(), 30000);
        if (box) testsupport::ClickButton(box, IDOK);
      }
      Sleep(2);
    }
  });
  uint8_t r =
      programing(static_cast<uint16_t>(std::stoul(a[1], nullptr, 0)),
                 static_cast<uint16_t>(std::stoul(a[2], nullptr, 0)), a[3].c_str(), a[4].c_str());
  done = true;
  poller.Join(testsupport::kUiWaitMs);
  Out("prog", std::to_string(r));
  Out("answered", answered ? "1" : "0");
  Out("readingPolls", std::to_string(readingPolls));
  std::string values;
  for (uint32_t v : seen) values += (values.empty() ? "" : ",") + Hex(v);
  Out("values", values);
}

// Runs Programing while a second thread calls GetStatus every 100 ms; the
// longest call and the highest progress it saw.
void ProgramingWhilePolled(const std::vector<std::string>& a) {
  auto getStatus = Bind<GetStatusFn>("GetStatus");
  auto programing = Bind<ProgramingFn>("Programing");
  std::atomic<bool> done{false};
  DWORD longest = 0;
  uint32_t highest = 0;
  int polls = 0;
  lm::Thread poller([&] {
    while (!done) {
      DWORD start = GetTickCount();
      uint32_t v = static_cast<uint32_t>(getStatus());
      DWORD took = GetTickCount() - start;
      if (took > longest) longest = took;
      if ((v >> 16) > highest) highest = v >> 16;
      ++polls;
      Sleep(100);
    }
  });
  uint8_t r =
      programing(static_cast<uint16_t>(std::stoul(a[1], nullptr, 0)),
                 static_cast<uint16_t>(std::stoul(a[2], nullptr, 0)), a[3].c_str(), a[4].c_str());
  done = true;
  poller.Join(INFINITE);
  Out("prog", std::to_string(r));
  Out("longestMs", std::to_string(longest));
  Out("highestProgress", std::to_string(highest));
  Out("polls", std::to_string(polls));
}

std::vector<uint32_t> g_sampled;

void CALLBACK SampleStatus(HWND, UINT, UINT_PTR, DWORD) {
  uint32_t word = static_cast<uint32_t>(Bind<GetStatusFn>("GetStatus")());
  if (g_sampled.empty() || g_sampled.back() != word) g_sampled.push_back(word);
}

// Runs Programing with GetStatus asked on the job's own thread whenever the
// job lets its window messages through and a timer's 10 ms have passed: the
// job does that after every sleep of its waits and status polls, so each of
// its pauses longer than 10 ms on the wall is seen, however fast or loaded
// the machine. The status words seen, in hexadecimal, in the order seen (a
// word repeated at once is written once).
void ProgramingSampled(const std::vector<std::string>& a) {
  auto programing = Bind<ProgramingFn>("Programing");
  g_sampled.clear();
  UINT_PTR timer = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, &SampleStatus);
  uint8_t r =
      programing(static_cast<uint16_t>(std::stoul(a[1], nullptr, 0)),
                 static_cast<uint16_t>(std::stoul(a[2], nullptr, 0)), a[3].c_str(), a[4].c_str());
  KillTimer(nullptr, timer);
  Out("prog", std::to_string(r));
  std::string values;
  for (uint32_t v : g_sampled) values += (values.empty() ? "" : ",") + Hex(v);
  Out("sampled", values);
}

// Lets this thread's window messages through until `event` is set; false
// after `ms`. A thread whose window another thread's job writes to must.
bool PumpUntil(HANDLE event, DWORD ms) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms) return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
    if (MsgWaitForMultipleObjects(1, &event, FALSE, ms - elapsed, QS_ALLINPUT) == WAIT_OBJECT_0)
      return true;
  }
}

// What holds the first caller's job until the second caller has called: a
// message posted to a window of the first caller's thread before its call,
// which the job lets through at its first command, holding the library.
constexpr UINT kHoldJob = WM_APP + 1;
HANDLE g_jobHeld = nullptr;        // the first job holds the library
HANDLE g_secondCalling = nullptr;  // the second caller is calling

LRESULT CALLBACK HoldJob(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kHoldJob) return DefWindowProcA(w, message, wParam, lParam);
  SetEvent(g_jobHeld);
  WaitForSingleObject(g_secondCalling, testsupport::kUiWaitMs);
  return 0;
}

// Programing from two threads: this one (which loaded the library) and a
// second one, each for its own device and file. `a[1]` names the first
// caller ("loader" or "other"); the second calls while the first one's job
// holds the library, and that job goes on once the second is calling. The
// loading thread lets its messages through whenever it waits for the other.
// Writes "pair=<caller>:<result>" for each, in the order of the calls.
void ProgramingInPair(const std::vector<std::string>& a) {
  auto programing = Bind<ProgramingFn>("Programing");
  bool loaderFirst = a[1] == "loader";
  WNDCLASSA wc{};
  wc.lpfnWndProc = &HoldJob;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "TessaroHostHoldJob";
  RegisterClassA(&wc);
  g_jobHeld = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  g_secondCalling = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  auto call = [&](const std::string& serial, const std::string& file, bool first) {
    HWND hold = nullptr;
    if (first) {
      hold = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             wc.hInstance, nullptr);
      PostMessageA(hold, kHoldJob, 0, 0);
    } else {
      SetEvent(g_secondCalling);
    }
    uint8_t r = programing(0x0E7B, 6, serial.c_str(), file.c_str());
    if (hold) DestroyWindow(hold);
    return std::to_string(r);
  };
  std::string loaderResult = "none", otherResult = "none";
  lm::Thread other([&] {
    if (!loaderFirst || WaitForSingleObject(g_jobHeld, testsupport::kUiWaitMs) == WAIT_OBJECT_0)
      otherResult = call(a[4], a[5], !loaderFirst);
  });
  if (loaderFirst || PumpUntil(g_jobHeld, testsupport::kUiWaitMs))
    loaderResult = call(a[2], a[3], loaderFirst);
  bool ended = PumpUntil(other.Handle(), testsupport::kUiWaitMs) && other.Join(0);
  Out("pair", loaderFirst ? "loader:" + loaderResult : "other:" + otherResult);
  Out("pair", loaderFirst ? "other:" + otherResult : "loader:" + loaderResult);
  if (!ended) {
    // The other caller is still inside the library: nothing may free it.
    Out("end", "0");
    TerminateProcess(GetCurrentProcess(), 1);
  }
  CloseHandle(g_jobHeld);
  CloseHandle(g_secondCalling);
}

void Run(const std::string& action) {
  std::vector<std::string> a = Split(action, ':', 5);
  const std::string& verb = a[0];
  if (verb == "load") {
    g_library = LoadLibraryA("Tessaro.dll");
    if (g_library) RecordBoxesOf(g_library);
    Out("load", g_library ? "1" : "0");
  } else if (verb == "free") {
    Out("free", FreeLibrary(g_library) ? "1" : "0");
    g_library = nullptr;
  } else if (verb == "bind") {
    const char* names[] = {"LogFile", "CloseIt", "GetStatus", "Programing", "ShowIt"};
    for (int ordinal = 1; ordinal <= 5; ++ordinal) {
      FARPROC byName = Bind<FARPROC>(names[ordinal - 1]);
      FARPROC byOrdinal = Bind<FARPROC>(MAKEINTRESOURCEA(ordinal));
      Out(names[ordinal - 1], byName && byName == byOrdinal ? "same" : "differs");
    }
  } else if (verb == "status") {
    Out("status", Hex(static_cast<uint32_t>(Bind<GetStatusFn>("GetStatus")())));
  } else if (verb == "statusbyordinal") {
    auto fn = Bind<GetStatusFn>(MAKEINTRESOURCEA(3));
    Out("status", Hex(static_cast<uint32_t>(fn())));
  } else if (verb == "prog" && a.size() == 5) {
    uint8_t r = Bind<ProgramingFn>("Programing")(
        static_cast<uint16_t>(std::stoul(a[1], nullptr, 0)),
        static_cast<uint16_t>(std::stoul(a[2], nullptr, 0)), a[3].c_str(), a[4].c_str());
    Out("prog", std::to_string(r));
  } else if (verb == "pollrun" && a.size() == 5) {
    ProgramingWhilePolled(a);
  } else if (verb == "sampled" && a.size() == 5) {
    ProgramingSampled(a);
  } else if (verb == "pair") {
    std::vector<std::string> pair = Split(action, ':', 6);
    if (pair.size() == 6) ProgramingInPair(pair);
  } else if (verb == "poll" && a.size() == 5) {
    ProgramingWithPoller(a);
  } else if (verb == "logfile") {
    Out("logfile",
        std::to_string(Bind<LogFileFn>("LogFile")(static_cast<uint16_t>(std::stoul(a[1])))));
  } else if (verb == "show") {
    Bind<VoidFn>("ShowIt")();
    Out("show", "1");
  } else if (verb == "close") {
    Bind<VoidFn>("CloseIt")();
    Out("close", "1");
  } else if (verb == "pump") {
    Pump(static_cast<DWORD>(std::stoul(a[1])));
  } else if (verb == "edithas" && a.size() == 2) {
    // Whether a text window of the form shows `a[1]`.
    EditSearch search{a[1]};
    if (HWND form = FindForm())
      EnumChildWindows(form, &MatchEditText, reinterpret_cast<LPARAM>(&search));
    Out("edithas", search.found ? "1" : "0");
  } else if (verb == "visible") {
    HWND form = FindForm();
    Out("visible", !form ? "gone" : IsWindowVisible(form) ? "1" : "0");
  } else if (verb == "pumpuntilgone") {
    DWORD start = GetTickCount();
    while (FindForm() && GetTickCount() - start < std::stoul(a[1])) Pump(20);
  } else if (verb == "manual") {
    // A click on the form's file-name panel; returns when the manual
    // programming it starts has ended.
    HWND form = FindForm();
    int panel = std::stoi(a[1]);
    SendMessageA(form, WM_COMMAND, MAKEWPARAM(panel, STN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(form, panel)));
    Out("manual", form ? "1" : "0");
  } else if (verb == "tree") {
    for (const std::string& line :
         testsupport::TreeViewLines(GetDlgItem(FindForm(), std::stoi(a[1]))))
      Out("tree", line);
  } else if (verb == "selected") {
    // A list box's line count and the indices of its selected lines.
    HWND list = GetDlgItem(FindForm(), std::stoi(a[1]));
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    Out("lines", std::to_string(count));
    for (LRESULT i = 0; i < count; ++i)
      if (SendMessageA(list, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0)
        Out("selected", std::to_string(i));
  } else if (verb == "text") {
    Out("text", testsupport::ControlText(FindForm(), std::stoi(a[1])));
  } else if (verb == "textfile" && a.size() == 3) {
    // A control's whole text, lines and all, into a file of the host's folder.
    std::string text = testsupport::ControlText(FindForm(), std::stoi(a[1]));
    std::string path = g_out.substr(0, g_out.find_last_of('\\') + 1) + a[2];
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
      std::fwrite(text.data(), 1, text.size(), f);
      std::fclose(f);
    }
    Out("textfile", f ? "1" : "0");
  } else if (verb == "control") {
    // Loads and frees the C++ library of nothing beside the host.
    HMODULE control = LoadLibraryA("RuntimeControl.dll");
    Out("control", control && FreeLibrary(control) ? "1" : "0");
  } else if (verb == "handles") {
    int n = OpenEventsAndSemaphores();
    Out("handles", n >= 0 ? std::to_string(n) : "?");
  } else if (verb == "thread") {
    lm::Thread t([] {});
    Out("thread", t.Join(testsupport::kUiWaitMs) ? "1" : "0");
  } else {
    Out("unknown", action);
  }
}

}  // namespace

int main(int argc, char** argv) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder = path;
  folder = folder.substr(0, folder.find_last_of('\\') + 1);
  g_out = folder + "host_out.txt";
  g_boxes = folder + "boxes.txt";
  for (int i = 1; i < argc; ++i) Run(argv[i]);
  Out("end", "1");
  return 0;
}
