// Kestor's binding of the flash library "Tessaro.dll": loaded from Kestor's
// folder (else the system folder, never the current one) for each firmware
// part, its stdcall functions Programing and GetStatus taken by
// name, freed when the part is done. A library that does not load or lacks a
// function is never called: the call gives FLASH_LIBRARY_MISSING and a trace
// entry says what was missing.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "vocabulary/results.h"

// Programing could not be called, the library or the function missing:
// FLASH_LIBRARY_MISSING.

class FlashLibrary {
 public:
  using ProgramingFn = uint8_t(WINAPI*)(uint16_t, uint16_t, const char*, const char*);
  using GetStatusFn = int32_t(WINAPI*)();

  // name: the library as lm::LoadBesideProgramOrSystem finds it
  // ("Tessaro.dll": beside Kestor), or a full path.
  explicit FlashLibrary(std::string name = "Tessaro.dll") : name_(std::move(name)) {}
  // A library still loaded is freed without trace entries.
  ~FlashLibrary();
  FlashLibrary(const FlashLibrary&) = delete;
  FlashLibrary& operator=(const FlashLibrary&) = delete;

  // Loads the library and takes both functions. False, with a trace entry,
  // when it does not load or lacks Programing (GetStatus may be missing: the
  // progress is then not shown).
  bool Load();
  // Traces "Freelibrary tessaro.dll : ", frees the library and traces
  // " Success!\n"; a failure shows the box "Error while unloading tessaro.dll"
  // instead. False when nothing was loaded.
  bool Free();
  // Shutdown: as Free, with "Success!\n" and errors swallowed.
  void FreeAtShutdown();

  bool IsLoaded() const { return module_ != nullptr; }
  // 1 done, 0 failed (the library's byte), or FLASH_LIBRARY_MISSING.
  int32_t Programing(uint16_t vendorId, uint16_t productId, const std::string& serial,
                     const std::string& path);
  // Null when the library or the function is missing.
  GetStatusFn GetStatusEntry() const { return getStatus_; }

 private:
  void Clear();

  std::string name_;
  HMODULE module_ = nullptr;
  ProgramingFn programing_ = nullptr;
  GetStatusFn getStatus_ = nullptr;
};
