// Firmware of a module or a power supply, programmed through the flash
// library: one library load per firmware part, one Programing call per
// program file, the library's progress polled every 100 ms and posted to the
// dialog while a call runs. Runs on the state thread (the poller beside it).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "config/update_config.h"
#include "environment/log_writer.h"
#include "firmware/flash_library.h"
#include "vocabulary/results.h"

// What firmware programming asks of the device updater.
class FirmwareTarget {
 public:
  virtual ~FirmwareTarget() = default;
  // The product ids of the found power supply and instrument (0: none).
  virtual int32_t PowerSupplyPid() const = 0;
  virtual int32_t DevicePid() const = 0;
  virtual int32_t DeviceVendorId() const = 0;
  // The entry's update-mode flag as the last mode test left it.
  virtual bool InUpdateMode(int32_t productId) const = 0;
  // 1 in update mode, 0 not, above 1 several devices, negative none.
  virtual int32_t CheckUpdateMode(int32_t productId) = 0;
  // String descriptor `index` of the device; an "Error..." text when it
  // could not be read.
  virtual std::string GetDeviceString(int32_t productId, int32_t index) = 0;
  virtual bool CancelRequested() const = 0;
  // The total bar's position, posted to the dialog.
  virtual void PostTotalProgress(int value) const = 0;
  // What the status poller posts the library's status word through; it may
  // outlive the programmer (a poller that never came back from GetStatus).
  virtual std::function<void(uint32_t)> LibraryStatusPoster() const = 0;
  virtual int ProgressStepWidth() const = 0;
  virtual int StepCounter() const = 0;
  virtual bool StartedInUpdateMode() const = 0;
};

// Results of UpdateFirmwarePart besides 0 (done): the FIRMWARE_ ones of
// vocabulary/results.h.

class FirmwareProgrammer {
 public:
  explicit FirmwareProgrammer(FirmwareTarget& target, std::string libraryName = "Tessaro.dll");
  ~FirmwareProgrammer() = default;
  FirmwareProgrammer(const FirmwareProgrammer&) = delete;
  FirmwareProgrammer& operator=(const FirmwareProgrammer&) = delete;

  // Programs both images of the part for the device with this product id.
  // 0 or one of the FIRMWARE_ results; the library is freed however it ends.
  int32_t UpdateFirmwarePart(FirmwarePart& part, int32_t productId);
  // One program file through Programing, polled meanwhile: 1 done, 0 failed,
  // TRANSFER_NO_SERIAL, or FLASH_LIBRARY_MISSING.
  int32_t TransferProgramFile(int32_t vendorId, int32_t productId, const std::string& path);
  // False when no library was loaded.
  bool FreeFlashLibrary() { return library_.Free(); }
  // Shutdown: the flash library, when it is still loaded.
  void FreeAtShutdown() { library_.FreeAtShutdown(); }
  bool IsLibraryLoaded() const { return library_.IsLoaded(); }
  // Set while a program file runs; cleared however the call ends.
  bool IsFlashInProgress() const { return flashInProgress_.load(); }
  // Loads the library for a test of TransferProgramFile on its own.
  bool LoadLibraryForTest() { return library_.Load(); }

 private:
  int32_t RunImage(FirmwarePart& part, FirmwareImage& image, int32_t productId, int j, DWORD start);
  int32_t ModeTest(int32_t productId, DWORD start);
  // The image's verify file, when it has one: 0 (the verify's result in
  // verifyResult), or a FIRMWARE_ result.
  int32_t Verify(FirmwareImage& image, int32_t productId, DWORD start, int32_t* verifyResult);
  // The image's program file, when it has one: 0, or a FIRMWARE_ result.
  int32_t Program(FirmwareImage& image, int32_t productId, DWORD start);
  // GetStatus through the same guard as the poller's calls: 0 when the
  // library has none or did not return from it.
  uint32_t GuardedStatus();
  void PostTotal(int value) const;
  // The result entry after a verify or program file ("        " before each
  // line for a verify), written when the trace level asks for `level`.
  void TraceResult(TraceLevel level, const char* indent, int32_t result, uint32_t status) const;

  FirmwareTarget& target_;
  FlashLibrary library_;
  std::atomic<bool> flashInProgress_{false};
};
