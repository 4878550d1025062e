// The module-data plug-in as the library calls it. A plug-in is a library
// that exports GetGUID and GetPluginClass (both must be present; GetGUID is
// never called) and the Orvane module-data functions, all stdcall. The
// plug-in's objects are interfaces in the platform's COM layout, so a
// plug-in built apart from the library can supply them.
#pragma once

#include <windows.h>

#include <cstdint>

// The object in use; it owns a form that the library shows and hides.
struct IPluginInUse {
  virtual HWND WINAPI Form() = 0;
  // Frees the object and its form.
  virtual void WINAPI Free() = 0;

 protected:
  ~IPluginInUse() = default;
};

// The object made from the plug-in's class. `connection` is the library's
// device connection, opaque to the plug-in.
struct IPluginObject {
  virtual BOOL WINAPI Accepts(void* connection, uint8_t flag) = 0;
  // The object in use for the connection, or null.
  virtual IPluginInUse* WINAPI ObjectInUse(void* connection, uint8_t flag) = 0;
  virtual void WINAPI Free() = 0;

 protected:
  ~IPluginObject() = default;
};

// What GetPluginClass returns: the class with the constructor the library calls.
struct TPluginClass {
  IPluginObject*(WINAPI* Create)();
};

using GetGUIDFn = void(WINAPI*)(GUID* guid);
using GetPluginClassFn = const TPluginClass*(WINAPI*)();

// OrvaneModuleToFile, OrvaneFileToFile, OrvaneFileToModule, OrvaneFileDelete:
// block until the work is done; a non-zero low byte means success.
using OrvaneWorkFn = int32_t(WINAPI*)();
// OrvanePath: the data folder, ending with a backslash.
using OrvanePathFn = void(WINAPI*)(const char* path);
// OrvaneGetStatus: the progress of the running work.
using OrvaneGetStatusFn = void(WINAPI*)(int64_t* done, int64_t* total);
// OrvaneWriteSerNumb: returning normally means success.
using OrvaneWriteSerNumbFn = void(WINAPI*)(int32_t serial);
