// Plug-ins: a library loaded from a path relative to the running program's
// folder, the plug-in objects made from its class, and the module-data
// functions bound from it by name.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tessaro/device.h"
#include "tessaro/log_hook.h"
#include "tessaro/plugin_interface.h"

namespace tessaro {

// The name under which the module-data flows load the plug-in.
constexpr const char* kModuleDataPlugin = "Plugins\\Orvane.dll";

// A device-control line: "[UsbDevCtrl] " + the text, through LogHooks().plugin
// (so do the lines of ConnectPlugin and DisconnectPlugin).
void LogCtrl(TStrings* list, const std::string& format, std::initializer_list<FormatArg> args = {});

// The folder of the running program's executable, without a trailing separator.
std::string ExecutableFolder();

// The loaded library and the plug-in objects made from it (at most one).
class TPluginCtrl {
 public:
  // Loads the program folder + "\" + relativePath; only a library that
  // exports both GetGUID and GetPluginClass gives an object. The library
  // stays loaded for the rest of the process.
  explicit TPluginCtrl(const std::string& relativePath);
  // Frees the plug-in objects still held.
  virtual ~TPluginCtrl();
  TPluginCtrl(const TPluginCtrl&) = delete;
  TPluginCtrl& operator=(const TPluginCtrl&) = delete;

  const std::string& Path() const { return path_; }
  HMODULE Module() const { return module_; }
  int Count() const { return static_cast<int>(items_.size()); }
  void Clear();

  // The first object's object in use for (connection, flag) when it accepts
  // the connection; else null.
  IPluginInUse* GetPluginObject(TDevice* connection, uint8_t flag);

 protected:
  HMODULE module_ = nullptr;
  std::vector<IPluginObject*> items_;

 private:
  std::string path_;
};

// Adds the object in use, whose form it shows and hides.
class TConPlugin : public TPluginCtrl {
 public:
  explicit TConPlugin(const std::string& relativePath) : TPluginCtrl(relativePath) {}
  ~TConPlugin() override;

  // True when the plug-in gave an object in use; shows its form when asked.
  bool BindPlugin(TDevice* connection, bool show);
  // Hides the form and frees the object in use; false on an error.
  bool UnbindPlugin();

  IPluginInUse* InUse = nullptr;
};

// Adds the module-data functions; a name the library lacks stays empty and
// must not be called.
class TBDPlugin : public TConPlugin {
 public:
  explicit TBDPlugin(const std::string& relativePath);

  OrvaneWorkFn OrvaneModuleToFile = nullptr;
  OrvaneWorkFn OrvaneFileToFile = nullptr;
  OrvaneWorkFn OrvaneFileToModule = nullptr;
  OrvanePathFn OrvanePath = nullptr;
  OrvaneWorkFn OrvaneFileDelete = nullptr;
  OrvaneGetStatusFn OrvaneGetStatus = nullptr;
  OrvaneWriteSerNumbFn OrvaneWriteSerNumb = nullptr;
};

// Makes the TBDPlugin for `path` when the holder is empty and binds it to
// the connection; logs "  OK, connect plugin <path>" or ERROR. Never raises.
bool ConnectPlugin(TDevice* connection, const std::string& path, std::unique_ptr<TBDPlugin>& holder,
                   bool show, TStrings* log);
// Unbinds the holder's plug-in; logs "  OK, Unconnect pluggin" or ERROR.
// The holder keeps the plug-in. Never raises.
bool DisconnectPlugin(std::unique_ptr<TBDPlugin>& holder, TStrings* log);

}  // namespace tessaro
