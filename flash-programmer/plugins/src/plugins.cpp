#include "tessaro/plugins.h"

#include "lumetra/dll_functions.h"

namespace tessaro {

void LogCtrl(TStrings* list, const std::string& format, std::initializer_list<FormatArg> args) {
  LogHooks().plugin(list, "[UsbDevCtrl] " + format, args);
}

std::string ExecutableFolder() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path, n < MAX_PATH ? n : 0);
  size_t slash = p.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : p.substr(0, slash);
}

TPluginCtrl::TPluginCtrl(const std::string& relativePath)
    : path_(ExecutableFolder() + "\\" + relativePath) {
  module_ = LoadLibraryA(path_.c_str());
  if (!lm::ProcAddress<FARPROC>(module_, "GetGUID")) return;
  auto getClass = lm::ProcAddress<GetPluginClassFn>(module_, "GetPluginClass");
  if (!getClass) return;
  // A plug-in that gives no class, or whose constructor gives nothing,
  // gives no object.
  const TPluginClass* pluginClass = getClass();
  if (!pluginClass || !pluginClass->Create) return;
  if (IPluginObject* object = pluginClass->Create()) items_.push_back(object);
}

TPluginCtrl::~TPluginCtrl() { Clear(); }

void TPluginCtrl::Clear() {
  for (IPluginObject* object : items_) object->Free();
  items_.clear();
}

IPluginInUse* TPluginCtrl::GetPluginObject(TDevice* connection, uint8_t flag) {
  if (items_.empty()) return nullptr;
  IPluginObject* first = items_.front();
  if (!first->Accepts(connection, flag)) return nullptr;
  return first->ObjectInUse(connection, flag);
}

TConPlugin::~TConPlugin() { UnbindPlugin(); }

bool TConPlugin::BindPlugin(TDevice* connection, bool show) {
  InUse = GetPluginObject(connection, 1);
  if (InUse && show) {
    HWND form = InUse->Form();
    if (form) ShowWindow(form, SW_SHOW);
  }
  return InUse != nullptr;
}

bool TConPlugin::UnbindPlugin() {
  try {
    if (InUse) {
      HWND form = InUse->Form();
      if (form) ShowWindow(form, SW_HIDE);
      IPluginInUse* inUse = InUse;
      InUse = nullptr;
      inUse->Free();
    }
    return true;
  } catch (...) {
    return false;
  }
}

TBDPlugin::TBDPlugin(const std::string& relativePath) : TConPlugin(relativePath) {
  lm::BindFunctions(module_, {{"OrvaneModuleToFile", &OrvaneModuleToFile},
                              {"OrvaneFileToFile", &OrvaneFileToFile},
                              {"OrvaneFileToModule", &OrvaneFileToModule},
                              {"OrvanePath", &OrvanePath},
                              {"OrvaneFileDelete", &OrvaneFileDelete},
                              {"OrvaneGetStatus", &OrvaneGetStatus},
                              {"OrvaneWriteSerNumb", &OrvaneWriteSerNumb}});
}

bool ConnectPlugin(TDevice* connection, const std::string& path, std::unique_ptr<TBDPlugin>& holder,
                   bool show, TStrings* log) {
  bool ok = false;
  try {
    if (!holder) holder = std::make_unique<TBDPlugin>(path);
    ok = holder->BindPlugin(connection, show);
  } catch (...) {
    ok = false;
  }
  LogCtrl(log, "  %s, connect plugin %s", {ok ? "OK" : "ERROR", path});
  return ok;
}

bool DisconnectPlugin(std::unique_ptr<TBDPlugin>& holder, TStrings* log) {
  bool ok = false;
  try {
    ok = holder && holder->UnbindPlugin();
  } catch (...) {
    ok = false;
  }
  LogCtrl(log, "  %s, Unconnect pluggin", {ok ? "OK" : "ERROR"});
  return ok;
}

}  // namespace tessaro
