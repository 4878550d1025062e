#include "corvel_dll.h"

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
                             {"LmGetAttribute", &GetAttribute}});
}

CorvelDll::~CorvelDll() {
  if (LibExit) LibExit();
  if (module) FreeLibrary(module);
}

bool CorvelDll::Bound() const {
  return LibInit && LibExit && UpdateDeviceList && GetDeviceCount && GetDeviceInfo && OpenDevice &&
         CloseDevice && SetAttribute && GetAttribute;
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

}  // namespace corvel_test
