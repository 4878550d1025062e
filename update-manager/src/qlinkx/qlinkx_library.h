// Kestor's binding of the outside USB library qlinkx ("qlinkx.dll"): loaded
// from Kestor's folder, else from the system folder, never from the current
// one; its seven stdcall functions taken by name. A call whose function
// is missing does not reach the library: it writes Kestor's trace entry for
// that function (where Kestor has one) and gives the failure result below.
// After Free all seven count as missing.
//
// Load and Free happen while no other thread calls the library (start-up and
// shutdown); the calls themselves are not serialised here.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <utility>

#include "lumetra/dll_functions.h"
#include "vocabulary/results.h"

// The vendor id of every power supply and instrument.
constexpr int32_t QLINKX_VENDOR_ID = 0x0E7B;
// AssignDevice gives QLINKX_NOT_LOADED when the library is not loaded,
// QLINKX_ASSIGN_MISSING when it lacks the function; every other function the
// library lacks gives QLINKX_FUNCTION_MISSING.

enum class QlinkxFunction {
  AssignDevice,
  UnAssignDevice,
  GetSerNrs,
  GetRegister,
  SetRegister,
  ReadIrpt,
  GetStringDescriptor
};

class QlinkxLibrary {
 public:
  // library: "qlinkx.dll" as lm::LoadBesideProgramOrSystem finds it, or a
  // full path.
  explicit QlinkxLibrary(std::string library = "qlinkx.dll") : library_(std::move(library)) {}
  // A library still loaded is freed without trace entries.
  ~QlinkxLibrary();
  QlinkxLibrary(const QlinkxLibrary&) = delete;
  QlinkxLibrary& operator=(const QlinkxLibrary&) = delete;

  // Loads the library and takes the seven functions; a function not found
  // stays missing. True when the library loaded; when it did not, an entry of
  // the startup log says so (it is loaded as Kestor starts).
  bool Load();
  // Shutdown: when loaded, traces "Freelibrary qlinkx.dll : ", frees it,
  // clears the functions and traces "Success!\n". Errors are swallowed.
  void Free();
  bool IsLoaded() const { return module_ != nullptr; }
  bool Has(QlinkxFunction function) const;

  // 0 when AssignDevice can be called; QLINKX_NOT_LOADED; or, with the trace
  // "\nAssignDevice not loaded\n", QLINKX_ASSIGN_MISSING.
  int32_t CheckAssignDevice();

  // The device number for the first device with these ids (serial: a text,
  // empty for any); block: 18 bytes the library may fill. Missing: as
  // CheckAssignDevice.
  int32_t AssignDevice(int32_t vendorId, int32_t productId, const char* serial, void* block);
  // The number of the released device. Missing: trace
  // "Function UnassignDevice not Loaded!\n", 0.
  int32_t UnAssignDevice(int32_t device);
  // The number of connected devices with these ids; text (2000 bytes at
  // least) gets their serial numbers, characters 1 to 10 the first one's.
  // Not loaded: QLINKX_NOT_LOADED; missing: QLINKX_FUNCTION_MISSING.
  int32_t GetSerNrs(int32_t vendorId, int32_t productId, char* text);
  // Fills buffer with the register: a negative result on failure, else the
  // bytes that came where the library counts them (0 where it does not).
  // Missing: trace
  // "Funktion GetRegister was not imported!\n\n\r", QLINKX_FUNCTION_MISSING,
  // the buffer untouched.
  int32_t GetRegister(int32_t device, int32_t registerId, int32_t channel, void* buffer,
                      int32_t length);
  // Writes the register. Missing: trace
  // "Function SetRegister could not be loaded from dll", QLINKX_FUNCTION_MISSING.
  int32_t SetRegister(int32_t device, int32_t registerId, int32_t channel, const void* data,
                      int32_t length);
  // One interrupt buffer; *length: the buffer's size in, the bytes delivered
  // out; -20 when the device number is no longer valid. Not loaded: trace
  // "Library not loaded, cant read irq!\n"; missing or not loaded:
  // QLINKX_FUNCTION_MISSING with *length unchanged.
  int32_t ReadIrpt(int32_t device, void* buffer, int32_t* length);
  // The raw string descriptor (2-byte head, then UTF-16 text); *size: the
  // buffer's size in, the descriptor's length in bytes out. Not loaded:
  // QLINKX_NOT_LOADED, missing: QLINKX_FUNCTION_MISSING; both with *size 0.
  int32_t GetStringDescriptor(int32_t device, int32_t index, void* buffer, int32_t* size);

 private:
  using AssignDeviceFn = int32_t(WINAPI*)(int32_t, int32_t, const char*, void*);
  using UnAssignDeviceFn = int32_t(WINAPI*)(int32_t);
  using GetSerNrsFn = int32_t(WINAPI*)(int32_t, int32_t, char*);
  using GetRegisterFn = int32_t(WINAPI*)(int32_t, int32_t, int32_t, void*, int32_t);
  using SetRegisterFn = int32_t(WINAPI*)(int32_t, int32_t, int32_t, const void*, int32_t);
  using ReadIrptFn = int32_t(WINAPI*)(int32_t, void*, int32_t*);
  using GetStringDescriptorFn = int32_t(WINAPI*)(int32_t, int32_t, void*, int32_t*);

  // The seven functions by name, for binding and clearing.
  std::array<lm::DllFunction, 7> Functions();
  void ClearFunctions();

  std::string library_;
  HMODULE module_ = nullptr;
  AssignDeviceFn assignDevice_ = nullptr;
  UnAssignDeviceFn unAssignDevice_ = nullptr;
  GetSerNrsFn getSerNrs_ = nullptr;
  GetRegisterFn getRegister_ = nullptr;
  SetRegisterFn setRegister_ = nullptr;
  ReadIrptFn readIrpt_ = nullptr;
  GetStringDescriptorFn getStringDescriptor_ = nullptr;
};
