// Kestor's one object for device access: the command line, the qlinkx
// binding, the device record of the power supply and its instrument, their
// registers, the string protocol to the power supply and the front panel
// (MMI) operations, and the progress bookkeeping of an update run. Device
// operations run on the state thread; the dialog and the exit thread only use
// the cancel state and IsFlashInProgress.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/command_line.h"
#include "device/device_records.h"
#include "device/front_panel.h"
#include "device/mmi_file.h"
#include "device/mmi_operations.h"
#include "device/string_protocol.h"
#include "device/supply_link.h"
#include "device/worker_channel.h"
#include "qlinkx/qlinkx_library.h"
#include "vocabulary/cancel_token.h"

struct FirmwarePart;
class FirmwareProgrammer;
class FirmwareTarget;

class DeviceUpdater {
 public:
  // args: the program arguments after the program name. Loads qlinkx.dll.
  // The worker messages go through `channel` (a fresh one when null).
  explicit DeviceUpdater(const std::vector<std::string>& args,
                         std::shared_ptr<WorkerChannel> channel = nullptr);
  virtual ~DeviceUpdater() = default;
  DeviceUpdater(const DeviceUpdater&) = delete;
  DeviceUpdater& operator=(const DeviceUpdater&) = delete;

  bool SetWindow(HWND window) { return channel_->SetWindow(window); }
  HWND Window() const { return channel_->Window(); }
  WorkerChannel& Channel() const { return *channel_; }
  // For a thread that may outlive the updater (the flash library's poller).
  std::shared_ptr<WorkerChannel> SharedChannel() const { return channel_; }
  // The command line's switches as this updater read them; its device code
  // goes by these. A test changes them through its process fixture.
  const CommandLine& Switches() const { return switches_; }
  void SetSwitches(const CommandLine& switches) { switches_ = switches; }
  // The package's own instrument, tried last by the device search; the
  // process hands it on once the package is read.
  void SetCustomerDevice(const CustomerDevice& device) { customer_ = device; }
  int GetCancelState() const { return cancel_.State(); }
  void SetCancelState(int value) { cancel_.Set(value); }
  // Sets `value` only while the state is `expected`, in one step; false when
  // it was another.
  bool ReplaceCancelState(int expected, int value) { return cancel_.Replace(expected, value); }
  CancelToken& Cancel() { return cancel_; }
  const CancelToken& Cancel() const { return cancel_; }
  // Set while a program file runs (the exit thread warns then).
  bool IsFlashInProgress() const;
  // Frees qlinkx (and the flash library once it is loaded).
  // Shutdown: the flash library, when a part left it loaded, then qlinkx.
  void FreeLibraries();

  // Firmware parts through the flash library "Tessaro.dll" (firmware/):
  // 0, or a FIRMWARE_ result.
  int32_t UpdateFirmwarePart(FirmwarePart& part, int32_t productId);
  // False when no flash library was loaded.
  bool FreeFlashLibrary();
  // Set by the update run when it began with a device in its update mode.
  bool StartedInUpdateMode() const { return startedInUpdateMode_; }
  void SetStartedInUpdateMode(bool started) { startedInUpdateMode_ = started; }
  bool QlinkxLoaded() const { return qlinkx_.IsLoaded(); }

  // Progress bookkeeping of an update run.
  void SetProgressStepWidth(int steps) { channel_->SetProgressStepWidth(steps); }
  void SetStepCounter(int n) { channel_->SetStepCounter(n); }
  void IncrementStepCounter() { channel_->IncrementStepCounter(); }
  int StepCounter() const { return channel_->StepCounter(); }
  int ProgressStepWidth() const { return channel_->ProgressStepWidth(); }
  // MMI_WAIT and REBOOT_WAIT of the package, copied at the start of a run.
  void SetWaits(int mmiWaitMs, int rebootWaitMs) { mmi_.SetWaits(mmiWaitMs, rebootWaitMs); }

  // Registers and device numbers.
  int32_t WriteDeviceRegister(int32_t deviceNumber, int32_t registerId, int32_t channel,
                              const void* data, int32_t length) {
    return link_.WriteRegister(deviceNumber, registerId, channel, data, length);
  }
  int32_t AssignDeviceByPid(int32_t productId) { return link_.Assign(productId); }
  // The product id of the released entry, or 0.
  int32_t UnassignDeviceNumber(int32_t deviceNumber) { return link_.Unassign(deviceNumber); }

  // The search and the update mode.
  // 1 update mode, 0 not, the device count when it is not 1 (a vanished
  // device gives its count 0 or a negative qlinkx result, never 0 from a
  // present device: 0 devices read as DEVICE_NOT_ONE), -1 unknown product id.
  int32_t CheckUpdateMode(int32_t productId);
  bool AnyInUpdateMode();
  int32_t CountPowerSupplies();
  bool FindDevices();
  // How many instruments of the device type `name` (in any case) are on the
  // bus; 0 for a type the search does not know.
  int32_t CountInstrumentsOfType(const std::string& name);

  // Reading and writing the devices.
  std::string ReadFirmwareRevision(int32_t productId);
  std::string ReadPsRelease();
  // 1, or a negative result: the assignment's, the failed register write's,
  // DEVICE_OTHER_SUPPLY when the supply's serial number is not the one found
  // at the start (nothing is sent to it), or DEVICE_RELEASE_WRITE when the
  // block was not read whole, is not the found supply's (its supply id), did
  // not read the same twice (outside the release), or did not read back as
  // written; a block not read whole, not the supply's or not read the same
  // twice is not written.
  int32_t WritePsRelease(int16_t releaseTimesTen, int16_t beta, uint16_t packedDate);
  // False when the supply could not be assigned or the request failed; true
  // also when a cancel ended the wait after the reboot.
  bool RebootPowerSupply();
  bool ReadAllDevData();
  std::string GetDeviceString(int32_t productId, int32_t index);
  RevisionInfo GetRevisionInfo() const;
  // Whether the supply's block was read: a block read gives a release text,
  // "0.0" at the least; nothing read leaves none.
  bool SupplyBlockRead() const { return !record_.psRelease.empty(); }
  std::string GetSupplyIdText() const { return record_.supplyIdText; }
  std::string GetModuleSerial() const { return record_.moduleSerial; }
  const DeviceRecord& Record() const { return record_; }

  // The power supply's string protocol.
  int32_t string2PS(int32_t productId, const std::vector<uint8_t>& packet, int32_t count,
                    int32_t* breakCode, bool releaseAtEnd) {
    return strings_.Send(productId, packet, count, breakCode, releaseAtEnd);
  }

  // The front panel.
  int32_t UpdateMmiFile(MmiFileRecord& record) { return mmi_.UpdateMmiFile(record); }
  // 0, or a negative result; MMI_CANCELLED_RESTARTING when a cancel ended
  // the wait after the closing reboot.
  int32_t UpdateMmi(const std::vector<std::string>& files) { return mmi_.UpdateMmi(files); }
  int32_t stopMMI() { return mmi_.stopMMI(); }
  int32_t executeBATCH(const std::string& path) { return mmi_.executeBATCH(path); }
  // The panel's status (a break code: 0 ready, 4 waiting for files, 7
  // rebooting), or a negative result when the supply gave no answer.
  int32_t ReadMMIStatus() { return mmi_.ReadMMIStatus(); }
  std::string GetMMIRev() { return mmi_.GetMMIRev(); }
  // 0, or a negative result when the supply could not be assigned or the
  // request failed; MMI_CANCELLED when a cancel ended the wait after it.
  int32_t RebootAfterMmi() { return mmi_.RebootAfterMmi(); }
  // The panel's wait until it is ready.
  const FrontPanel& Panel() const { return panel_; }

 protected:
  bool CancelRequested() const;

 private:
  UsbDeviceEntry* EntryOf(int32_t productId) { return link_.EntryOf(productId); }
  int32_t SerialNumbers(int32_t productId, std::string* first) {
    return link_.SerialNumbers(productId, first);
  }
  // The revision text, empty when the register was not read whole.
  std::string FirmwareRevisionOf(int32_t productId);
  // Releases n directly with UnAssignDevice and clears the entry that held it.
  void ReleaseDirectly(int32_t n) { link_.Release(n); }
  // Every read of a register of fixed size: the library's result, or
  // DEVICE_SHORT_READ, traced as "<what> read short: <count> of <size>
  // bytes", when the library counted fewer bytes than the register has (the
  // rest of the buffer is no part of its value). A library that counts
  // nothing (0) is taken at its word.
  int32_t ReadWholeRegister(int32_t n, int32_t registerId, void* buffer, int32_t size,
                            const std::string& what);
  // The supply's SupplyBlock, read whole or not at all (a negative result).
  int32_t ReadSupplyBlock(int32_t n, std::vector<uint8_t>* block);
  int32_t BlockForRelease(int32_t n, int16_t releaseTimesTen, int16_t beta, uint16_t packedDate,
                          std::vector<uint8_t>* block);

  CommandLine switches_;
  CustomerDevice customer_;
  QlinkxLibrary qlinkx_;
  DeviceRecord record_;
  uint32_t flashTiming_ = 0;
  SupplyLink link_{qlinkx_, record_};
  StringProtocol strings_{link_, flashTiming_, switches_};
  std::shared_ptr<WorkerChannel> channel_;
  CancelToken cancel_;
  FrontPanel panel_{[this] { return ReadMMIStatus(); }, [this] { return CountPowerSupplies(); },
                    *channel_, cancel_};
  MmiOperations mmi_{qlinkx_,   record_,   link_,   strings_, flashTiming_,
                     switches_, *channel_, cancel_, panel_};
  // Made with the updater; shared pointers, as the types stay incomplete here.
  FirmwareProgrammer& Firmware();
  std::shared_ptr<FirmwareTarget> firmwareTarget_;
  std::shared_ptr<FirmwareProgrammer> firmware_;
  bool startedInUpdateMode_ = false;
};

extern DeviceUpdater* theDeviceUpdater;
