// The bench of this process: its devices, the driver's open handles and
// pending transfers, interface-list snapshots, registered notice windows,
// fault rules and the call record. One lock guards it all; overlapped
// completions and device-change notices happen outside it.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench_file.h"
#include "lumetra/sync.h"
#include "usb_device.h"
#include "usb_protocol.h"

namespace bench {

// One fault rule ([FaultN] of the bench file).
struct FaultRule {
  std::string section;
  int device = -1;        // slot, -1 any
  std::string operation;  // "VendorRequestIn", "Read", "CreateFile", ...
  int facId = -1;         // control requests only
  int endpoint = -1;      // transfers and bind only
  int command = -1;       // string packets (0x2180) only: the panel command
  int after = 0;          // matching calls let through first
  int times = 1;          // how often it fires (0: always)
  std::string action;     // one of kFaultActions
  uint32_t status = 0;
  uint32_t delayMs = 0;       // bench clock
  uint32_t bytes = 0;         // Short: bytes kept
  uint32_t offMs = 0;         // PowerLoss: how long the power stays off, bench clock
  std::vector<uint8_t> data;  // Malformed: the transfer sent instead
};

// The actions a fault rule may take; a bench file naming another is refused.
inline constexpr const char* kFaultActions[] = {"Status", "NoAnswer",     "Late",
                                                "Short",  "Malformed",    "Remove",
                                                "Unplug", "RebootSupply", "PowerLoss"};

// The driver's I/O controls by the names the call record gives them, which
// are also the operations a fault rule names them by.
struct IoControlName {
  uint32_t code;
  const char* name;
};
inline constexpr IoControlName kIoControlNames[] = {
    {kIoReadDescriptor, "ReadDescriptor"},
    {kIoGetConfiguration, "GetConfiguration"},
    {kIoGetInterface, "GetInterface"},
    {kIoApplyConfiguration, "ApplyConfiguration"},
    {kIoClearConfiguration, "ClearConfiguration"},
    {kIoVendorRequestIn, "VendorRequestIn"},
    {kIoVendorRequestOut, "VendorRequestOut"},
    {kIoQueryDriverInfo, "QueryDriverInfo"},
    {kIoCyclePort, "CyclePort"},
    {kIoBindEndpoint, "BindEndpoint"},
    {kIoUnbindEndpoint, "UnbindEndpoint"},
    {kIoResetEndpoint, "ResetEndpoint"},
};
// The operations a fault rule may name besides the I/O controls; a bench
// file naming another is refused.
inline constexpr const char* kOtherFaultOperations[] = {"CreateFile", "InterfaceList", "Read",
                                                        "Write"};

// What may go wrong at a device's reboot (RebootFault); a bench file naming
// another is refused.
inline constexpr const char* kRebootFaults[] = {"NoReturn", "WrongMode", "Stays"};

// A transfer waiting for the device: a read for data, or a write held back
// by a fault.
struct PendingIo {
  uint64_t id = 0;
  bool claimed = false;  // data taken, completion scheduled
  HANDLE handle = nullptr;
  OVERLAPPED* overlapped = nullptr;
  uint8_t* buffer = nullptr;
  uint32_t length = 0;
  bool read = true;
  uint8_t endpoint = 0;
  std::optional<FaultRule> fault;  // shapes the completion of this transfer
  // An answer the bench holds back for a time (Late, the driver's time-out
  // of NoAnswer): the status and data it completes with.
  bool held = false;
  uint32_t heldStatus = 0;
  std::vector<uint8_t> heldData;
};

struct OpenHandle {
  HANDLE id = nullptr;  // a real event handle the bench owns: never collides
  int number = 0;       // h<number> in the call record
  int slot = -1;
  uint32_t generation = 0;
  uint8_t endpoint = 0;  // bound pipe, 0 none
};

struct InterfaceList {
  HANDLE id = nullptr;
  std::vector<std::string> paths;  // the snapshot taken when it was made
};

struct NoticeWindow {
  HANDLE id = nullptr;
  HWND window = nullptr;
  GUID classGuid{};
};

class Bench {
 public:
  static Bench& Instance();

  bool Open(const std::string& path);
  BenchFile& File() { return file_; }
  // Why the bench refused the last file it was opened on; empty when it took it.
  const std::string& Refusal() const { return refusal_; }
  lm::CriticalSection& Lock() { return lock_; }

  // Driver entry points (the port's bench side).
  HANDLE CreateDriverFile(const char* path);
  BOOL IoControl(HANDLE h, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                 DWORD* bytes, OVERLAPPED* ov);
  BOOL Transfer(HANDLE h, bool read, void* buffer, DWORD length, DWORD* bytes, OVERLAPPED* ov);
  BOOL OverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* bytes, BOOL wait);
  BOOL CancelIo(HANDLE h);
  BOOL CloseDriverHandle(HANDLE h);

  HANDLE MakeInterfaceList(const GUID* guid);
  BOOL EnumInterface(HANDLE set, const GUID* guid, DWORD index, void* data);
  BOOL InterfaceDetail(HANDLE set, const void* data, void* detail, DWORD size, DWORD* required);
  BOOL DestroyInterfaceList(HANDLE set);

  HANDLE RegisterNotices(HWND window, const GUID* classGuid);
  BOOL UnregisterNotices(HANDLE id);

  // Bus events (tests and the devices' own behaviour).
  bool Remove(int slot);
  bool Arrive(int slot);
  bool QueueTransfer(int slot, uint8_t endpoint, const uint8_t* data, uint32_t length);
  std::vector<std::vector<uint8_t>> PacketsTaken(int slot);
  // Gives every answer held back for a time now, as at its time; returns how
  // many there were.
  size_t AnswerHeld();

  // The call record.
  void Record(const std::string& line);
  std::string RecordText();
  void ClearRecord();

  // Runs `action` after `benchMs` of the bench clock, on the bench's own thread
  // or on the first caller entering the bench after it is due; not once the
  // bench was opened on a file again (it belongs to the devices of the last).
  void After(uint32_t benchMs, std::function<void()> action);
  // The same; `anyCaller` false keeps it on the bench's thread (window notices).
  void AfterOn(uint32_t benchMs, std::function<void()> action, bool anyCaller);
  // Runs the actions that are due, before a caller looks at the bench.
  void CatchUp();

  // A device's own behaviour (bench_reboot.cpp): a control request it took,
  // an endpoint bound, a reboot and its return.
  void DeviceCommandLocked(UsbDevice& d, uint16_t facId, const uint8_t* data, uint32_t len,
                           std::vector<std::function<void()>>* done);
  void BoundLocked(UsbDevice& d, uint8_t endpoint);

 private:
  Bench();
  void Reset();
  BOOL EndHandleTransfers(HANDLE hid, const char* call, bool close);
  UsbDevice* DeviceLocked(int slot);
  std::vector<UsbDevice*> PresentLocked();
  std::string InterfacePathLocked(UsbDevice& d);
  OpenHandle* HandleLocked(HANDLE h);
  bool AliveLocked(const OpenHandle& h);
  uint32_t ControlLocked(OpenHandle& h, DWORD code, const uint8_t* in, DWORD inSize, uint8_t* out,
                         DWORD outSize, DWORD* bytes, bool* cycle);
  void DeliverLocked(UsbDevice& d, uint8_t endpoint, std::vector<std::function<void()>>* done);
  void RemoveLocked(int slot, std::vector<std::function<void()>>* done);
  void ArriveLocked(int slot, std::vector<std::function<void()>>* done);
  void FailPendingLocked(const std::function<bool(const PendingIo&)>& which, uint32_t status,
                         std::vector<std::function<void()>>* done);
  void NoticeLocked(UsbDevice& d, bool arrival, std::vector<std::function<void()>>* done);
  std::optional<FaultRule> FaultLocked(int slot, const std::string& operation, int facId,
                                       int endpoint, int command = -1);
  // False, with the reason in refusal_, when a fault rule or a device's
  // reboot fault is not understood.
  bool LoadFaultsLocked();
  void CompleteLaterLocked(PendingIo p, uint32_t status, std::vector<uint8_t> data,
                           uint32_t benchMs);
  bool TakePendingLocked(uint64_t id, PendingIo* out);
  // Completes the held answer `id` unless a cancel or removal completed it.
  void AnswerHeld(uint64_t id);
  std::string RebootFaultLocked(UsbDevice& d);
  // Unplug and RebootSupply (bench_carrier_faults.cpp): true when `rule` is
  // one of them and was carried out.
  bool CarrierFaultLocked(const FaultRule& rule, int slot,
                          std::vector<std::function<void()>>* done);
  void RebootLocked(int slot, std::vector<std::function<void()>>* done);
  void LeaveForRebootLocked(int slot, const std::string& fault,
                            std::vector<std::function<void()>>* done);
  void ReturnFromReboot(int slot, bool wrongMode);
  void ArrivedLocked(UsbDevice& d);
  void SendEventLater(int slot, uint32_t generation, uint16_t eventId, uint32_t delayMs);
  // The bench's power (bench_power.cpp): lost for offMs, then back.
  void PowerLossLocked(uint32_t offMs, std::vector<std::function<void()>>* done);
  void PowerBack(std::vector<int> slots);

  lm::CriticalSection lock_;
  BenchFile file_;
  std::vector<std::unique_ptr<UsbDevice>> devices_;
  std::vector<OpenHandle> handles_;
  std::vector<PendingIo> pending_;
  std::vector<InterfaceList> lists_;
  std::vector<NoticeWindow> notices_;
  std::vector<FaultRule> faults_;
  std::vector<std::string> record_;
  std::string recordFile_;
  std::string refusal_;
  int nextHandleNumber_ = 1;
  bool powerOff_ = false;  // no device arrives while the power is off
  uint64_t nextPendingId_ = 1;
  // Counts the files the bench was opened on; a scheduled action runs only
  // while the file it was scheduled for is the bench's.
  std::atomic<uint32_t> opened_{0};
};

// Completes an overlapped transfer: result fields first, then the event.
void CompleteOverlapped(OVERLAPPED* ov, uint32_t status, uint32_t bytes);

}  // namespace bench
