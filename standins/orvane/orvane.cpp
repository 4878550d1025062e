// Orvane.dll: a module-data plug-in of our own in place of the outside one,
// for tests and the demo. It keeps a module's data as files in the data
// folder the library names: "Baugr.dat" (read from the module) and
// "Baugr.cnv" (converted, ready to be written back).
//
// The module's own data is "Orvane.mod" beside the plug-in: a read copies it
// into "Baugr.dat", a conversion copies "Baugr.dat" into "Baugr.cnv" as it is
// (the old and the new firmware share one layout), a write stores the bytes
// of "Baugr.cnv" in it. A test seeds it by writing the file; while there is
// none the module holds "Orvane module data\r\n". The connection is opaque to
// a plug-in, so one plug-in folder serves one module.
//
// Tests steer it with "Orvane.ini" beside the plug-in:
//   [Orvane] Fail=a,b,...  these report failure: GetPluginClass and Create
//                          (no class / no object), Accepts, ObjectInUse,
//                          ModuleToFile, FileToFile, FileToModule, FileDelete
//                          (the work functions do nothing and return 0x100:
//                          a zero low byte in a non-zero result)
//            Alternate=1   the listed functions fail at their 1st, 3rd, 5th...
//                          call and succeed in between (counted in [Calls])
//            Steps=n       progress steps of each long call (4)
//            StepMs=n      real milliseconds per step, messages served (0)
//            Record=1      append every call to "Orvane.rec" beside the plug-in
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "tessaro/plugin_interface.h"

namespace {

HINSTANCE g_instance = nullptr;
std::string g_dataPath;
int64_t g_done = 0;
int64_t g_total = 0;

std::string OwnFolder() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(g_instance, path, MAX_PATH);
  std::string p(path, n < MAX_PATH ? n : 0);
  size_t slash = p.find_last_of('\\');
  return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

std::string Setting(const char* key, const char* fallback = "") {
  char value[512];
  GetPrivateProfileStringA("Orvane", key, fallback, value, sizeof value,
                           (OwnFolder() + "Orvane.ini").c_str());
  return value;
}

int SettingInt(const char* key, int fallback) {
  return static_cast<int>(
      GetPrivateProfileIntA("Orvane", key, fallback, (OwnFolder() + "Orvane.ini").c_str()));
}

bool Failing(const std::string& name) {
  std::string list = "," + Setting("Fail") + ",";
  for (char& c : list)
    if (c == ' ') c = ',';
  if (list.find("," + name + ",") == std::string::npos) return false;
  if (SettingInt("Alternate", 0) != 1) return true;
  // The count lives in the settings file: the library loads the plug-in anew for each call.
  std::string ini = OwnFolder() + "Orvane.ini";
  UINT calls = GetPrivateProfileIntA("Calls", name.c_str(), 0, ini.c_str()) + 1;
  WritePrivateProfileStringA("Calls", name.c_str(), std::to_string(calls).c_str(), ini.c_str());
  return calls % 2 == 1;
}

void Record(const std::string& line) {
  if (SettingInt("Record", 0) != 1) return;
  FILE* f = std::fopen((OwnFolder() + "Orvane.rec").c_str(), "ab");
  if (!f) return;
  std::fprintf(f, "%s\r\n", line.c_str());
  std::fclose(f);
}

std::string Pointer(const void* p) {
  char b[32];
  std::snprintf(b, sizeof b, "%p", p);
  return b;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ReadWhole(const std::string& path, std::string* bytes) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buffer[4096];
  size_t got;
  bytes->clear();
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes->append(buffer, got);
  std::fclose(f);
  return true;
}

bool WriteWhole(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::string ModulePath() { return OwnFolder() + "Orvane.mod"; }

// The data the module holds now.
bool ReadModule(std::string* data) {
  if (!Exists(ModulePath())) {
    *data = "Orvane module data\r\n";
    return true;
  }
  return ReadWhole(ModulePath(), data);
}

// Runs the progress of one long call: done goes 0..Steps, messages are
// served between steps as the real plug-in's work does.
void Progress() {
  int steps = SettingInt("Steps", 4);
  int stepMs = SettingInt("StepMs", 0);
  g_total = steps;
  g_done = 0;
  for (int i = 1; i <= steps; ++i) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (stepMs > 0) Sleep(static_cast<DWORD>(stepMs));
    g_done = i;
  }
}

int32_t Outcome(const char* name, bool ok) {
  int32_t result = ok ? 1 : 0x100;
  Record(std::string("Orvane") + name + " -> " + std::to_string(result));
  return result;
}

const char kFormClass[] = "OrvaneForm";

class InUse final : public IPluginInUse {
 public:
  InUse() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = g_instance;
    wc.lpszClassName = kFormClass;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    RegisterClassA(&wc);  // fails harmlessly once registered
    form_ = CreateWindowExA(0, kFormClass, "Orvane module data", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                            CW_USEDEFAULT, 320, 120, nullptr, nullptr, g_instance, nullptr);
  }
  HWND WINAPI Form() override { return form_; }
  void WINAPI Free() override {
    Record("Free object in use");
    if (form_) DestroyWindow(form_);
    delete this;
  }

 private:
  HWND form_;
};

class Plugin final : public IPluginObject {
 public:
  BOOL WINAPI Accepts(void* connection, uint8_t flag) override {
    Record("Accepts(" + Pointer(connection) + "," + std::to_string(flag) + ")");
    return connection && !Failing("Accepts");
  }
  IPluginInUse* WINAPI ObjectInUse(void* connection, uint8_t flag) override {
    Record("ObjectInUse(" + Pointer(connection) + "," + std::to_string(flag) + ")");
    if (Failing("ObjectInUse")) return nullptr;
    return new InUse;
  }
  void WINAPI Free() override {
    Record("Free plug-in object");
    delete this;
  }
};

IPluginObject* WINAPI CreatePlugin() {
  Record("Create");
  if (Failing("Create")) return nullptr;
  // A new object starts a new session: no data folder, no progress.
  g_dataPath.clear();
  g_done = g_total = 0;
  return new Plugin;
}

const TPluginClass kPluginClass = {&CreatePlugin};

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_instance = instance;
  return TRUE;
}

void WINAPI GetGUID(GUID* guid) {
  static const GUID kGuid = {
      0x6f7d2a51, 0x3c1e, 0x4b8a, {0x9e, 0x21, 0x5d, 0x40, 0x7a, 0x13, 0xc8, 0x62}};
  if (guid) *guid = kGuid;
}

const TPluginClass* WINAPI GetPluginClass() {
  Record("GetPluginClass");
  return Failing("GetPluginClass") ? nullptr : &kPluginClass;
}

void WINAPI OrvanePath(const char* path) {
  g_dataPath = path ? path : "";
  Record("OrvanePath(" + g_dataPath + ")");
}

void WINAPI OrvaneGetStatus(int64_t* done, int64_t* total) {
  if (done) *done = g_done;
  if (total) *total = g_total;
}

int32_t WINAPI OrvaneModuleToFile() {
  Progress();
  std::string data;
  bool ok = !Failing("ModuleToFile") && !g_dataPath.empty() && ReadModule(&data) &&
            WriteWhole(g_dataPath + "Baugr.dat", data);
  return Outcome("ModuleToFile", ok);
}

int32_t WINAPI OrvaneFileToFile() {
  std::string data;
  Progress();
  bool ok = !Failing("FileToFile") && !g_dataPath.empty() &&
            ReadWhole(g_dataPath + "Baugr.dat", &data) &&
            WriteWhole(g_dataPath + "Baugr.cnv", data);
  return Outcome("FileToFile", ok);
}

int32_t WINAPI OrvaneFileToModule() {
  std::string data;
  Progress();
  bool ok = !Failing("FileToModule") && !g_dataPath.empty() &&
            ReadWhole(g_dataPath + "Baugr.cnv", &data) && WriteWhole(ModulePath(), data);
  return Outcome("FileToModule", ok);
}

int32_t WINAPI OrvaneFileDelete() {
  bool ok = !Failing("FileDelete") && !g_dataPath.empty();
  for (const char* name : {"Baugr.dat", "Baugr.cnv"}) {
    std::string path = g_dataPath + name;
    if (ok && Exists(path) && !DeleteFileA(path.c_str())) ok = false;
  }
  return Outcome("FileDelete", ok);
}

void WINAPI OrvaneWriteSerNumb(int32_t serial) {
  Record("OrvaneWriteSerNumb(" + std::to_string(serial) + ")");
}

}  // extern "C"
