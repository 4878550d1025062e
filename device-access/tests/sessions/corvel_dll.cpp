#include "corvel_dll.h"

#include <algorithm>

#include "lumetra/dll_functions.h"
#include "testsupport/testdir.h"

namespace corvel_test {
namespace {

const char kVandrelKey[] = "SOFTWARE\\Vandrel";
const char kCorvelKey[] = "SOFTWARE\\Vandrel\\Corvel";

}  // namespace

CorvelDll::CorvelDll() {
  module = LoadLibraryA((testsupport::ProgramDir() + "\\Corvel.dll").c_str());
  if (!module) return;
  lm::BindFunctions(module, {{"LmLibInit", &LibInit},
                             {"LmLibExit", &LibExit},
                             {"LmUpdateDeviceList", &UpdateDeviceList},
                             {"LmGetDeviceCount", &GetDeviceCount},
                             {"LmGetDeviceInfo", &GetDeviceInfo},
                             {"LmOpenDevice", &OpenDevice},
                             {"LmCloseDevice", &CloseDevice},
                             {"LmSetAttribute", &SetAttribute},
                             {"LmGetAttribute", &GetAttribute},
                             {"LmSetRegister", &SetRegister},
                             {"LmGetRegister", &GetRegister},
                             {"LmSendCommand", &SendCommand},
                             {"LmGetStatus", &GetStatus},
                             {"LmGetDeviceCaps", &GetDeviceCaps},
                             {"LmWriteData", &WriteData},
                             {"LmReadData", &ReadData},
                             {"LmHandleEvent", &HandleEvent},
                             {"LmFlushEventQueue", &FlushEventQueue}});
}

CorvelDll::~CorvelDll() {
  if (LibExit) LibExit();
  if (module) FreeLibrary(module);
}

bool CorvelDll::Bound() const {
  return LibInit && LibExit && UpdateDeviceList && GetDeviceCount && GetDeviceInfo && OpenDevice &&
         CloseDevice && SetAttribute && GetAttribute && SetRegister && GetRegister && SendCommand &&
         GetStatus && GetDeviceCaps && WriteData && ReadData && HandleEvent && FlushEventQueue;
}

std::string CorvelDll::Text(LmSession session, DWORD id) {
  char text[300] = {};
  int status = GetAttribute(session, id, text);
  if (status != 0) {
    char failed[40];
    wsprintfA(failed, "<status 0x%08X>", status);
    return failed;
  }
  return text;
}

AliasKey::AliasKey(const std::string& alias, const char* resource) : alias_(alias) {
  HKEY existing = nullptr;
  madeVandrelKey_ = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVandrelKey, 0, KEY_READ, &existing) != 0;
  if (existing) RegCloseKey(existing);
  existing = nullptr;
  madeCorvelKey_ = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCorvelKey, 0, KEY_READ, &existing) != 0;
  if (existing) RegCloseKey(existing);
  HKEY key = nullptr;
  std::string path = std::string(kCorvelKey) + "\\" + alias;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return;
  if (resource)
    RegSetValueExA(key, "ModuleResource", 0, REG_SZ, reinterpret_cast<const BYTE*>(resource),
                   static_cast<DWORD>(strlen(resource) + 1));
  RegCloseKey(key);
}

AliasKey::~AliasKey() {
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kCorvelKey) + "\\" + alias_).c_str());
  if (madeCorvelKey_) RegDeleteKeyA(HKEY_LOCAL_MACHINE, kCorvelKey);
  if (madeVandrelKey_) RegDeleteKeyA(HKEY_LOCAL_MACHINE, kVandrelKey);
}

std::vector<uint8_t> EventBuffer(const std::vector<Event>& events, uint16_t bufferSize) {
  std::vector<uint8_t> b(2 + 8 * events.size());
  uint16_t size = bufferSize ? bufferSize : static_cast<uint16_t>(b.size());
  b[0] = static_cast<uint8_t>(size);
  b[1] = static_cast<uint8_t>(size >> 8);
  for (size_t i = 0; i < events.size(); ++i) {
    uint8_t* e = &b[2 + 8 * i];
    const Event& v = events[i];
    e[0] = static_cast<uint8_t>(v.id);
    e[1] = static_cast<uint8_t>(v.id >> 8);
    for (int k = 0; k < 4; ++k) e[2 + k] = static_cast<uint8_t>(v.lParam >> (8 * k));
    e[6] = static_cast<uint8_t>(v.wParam);
    e[7] = static_cast<uint8_t>(v.wParam >> 8);
  }
  return b;
}

std::vector<uint8_t> Acknowledgement(uint16_t reg) { return EventBuffer({{0x67FF, 0, reg}}); }

std::vector<uint8_t> DataPacket(uint16_t id, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> p(payload.size() + 4);
  p[0] = static_cast<uint8_t>(p.size());
  p[1] = static_cast<uint8_t>(p.size() >> 8);
  p[2] = static_cast<uint8_t>(id);
  p[3] = static_cast<uint8_t>(id >> 8);
  std::copy(payload.begin(), payload.end(), p.begin() + 4);
  return p;
}

MutexOfAnotherProcess::MutexOfAnotherProcess() {
  heldEvent_ = CreateEventA(nullptr, TRUE, FALSE, "CorvelTestMutexHeld");
  releaseEvent_ = CreateEventA(nullptr, TRUE, FALSE, "CorvelTestMutexRelease");
  ResetEvent(heldEvent_);
  ResetEvent(releaseEvent_);
  std::string args = "\"" + testsupport::ProgramDir() + "\\Corvel.dll\" nul HoldMutex";
  if (!holder_.Start(testsupport::TestDir() + "\\corvel_call.exe", args)) return;
  held_ = WaitForSingleObject(heldEvent_, 30000) == WAIT_OBJECT_0;
}

MutexOfAnotherProcess::~MutexOfAnotherProcess() {
  SetEvent(releaseEvent_);
  holder_.Wait(30000);
  CloseHandle(heldEvent_);
  CloseHandle(releaseEvent_);
}

std::string TraceLogText() { return testsupport::ReadFileOr("c:\\Corvel.log", "<no log>"); }

}  // namespace corvel_test
