// The class library over the USBDRV kernel driver: TUsbDrv opens one driver
// device instance, checks the driver's API version, reads descriptors, sets
// the configuration and sends control requests on endpoint 0; TUsbDrvPipe is
// an instance bound to one endpoint and moves data; TUsbDrvBuf is one
// transfer buffer with its own completion event. All driver access goes
// through the hardware port, so the classes run unchanged on the bench.
// Tessaro and Corvel share them; each library gives the driver classes its own
// rule for the driver's API version.
#pragma once

#include <windows.h>
// after windows.h
#include <setupapi.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "lumetra/sync.h"
#include "usbdrv/status.h"

namespace usbdrv {

// Driver I/O control codes.
constexpr DWORD IOCTL_USBDRV_READ_DESCRIPTOR = 0x80942006;
constexpr DWORD IOCTL_USBDRV_GET_CONFIGURATION = 0x80942018;
constexpr DWORD IOCTL_USBDRV_GET_INTERFACE = 0x8094201C;
constexpr DWORD IOCTL_USBDRV_APPLY_CONFIGURATION = 0x80942024;
constexpr DWORD IOCTL_USBDRV_CLEAR_CONFIGURATION = 0x80942028;
constexpr DWORD IOCTL_USBDRV_VENDOR_REQUEST_IN = 0x80942032;
constexpr DWORD IOCTL_USBDRV_VENDOR_REQUEST_OUT = 0x80942035;
constexpr DWORD IOCTL_USBDRV_QUERY_DRIVER_INFO = 0x8094206C;
constexpr DWORD IOCTL_USBDRV_CYCLE_PORT = 0x80942070;
constexpr DWORD IOCTL_USBDRV_BIND_ENDPOINT = 0x80942078;
constexpr DWORD IOCTL_USBDRV_UNBIND_ENDPOINT = 0x8094207C;
constexpr DWORD IOCTL_USBDRV_RESET_ENDPOINT = 0x80942080;

// The driver's device interface class.
extern const GUID USBDRV_INTERFACE_GUID;

constexpr uint32_t kRecipientDevice = 0;

#pragma pack(push, 1)
struct DriverInfoRecord {
  uint16_t APIVersion;
  uint16_t DriverVersion;
  uint32_t DriverBuildNumber;
  uint32_t Flags;
};
static_assert(sizeof(DriverInfoRecord) == 12);

constexpr uint8_t kDeviceDescriptor = 1;
constexpr uint8_t kConfigurationDescriptor = 2;
constexpr uint8_t kStringDescriptor = 3;
struct DescriptorRequest {
  uint32_t Recipient;
  uint8_t DescriptorType;
  uint8_t DescriptorIndex;
  uint16_t LanguageId;
};
static_assert(sizeof(DescriptorRequest) == 8);

struct ConfigurationEntry {
  uint16_t InterfaceIndex;
  uint16_t AlternateSetting;
  uint32_t MaxTransferSize;
};

struct ConfigurationRequest {
  uint16_t ConfigurationIndex;
  uint16_t InterfaceCount;
  ConfigurationEntry Interfaces[32];
};
static_assert(sizeof(ConfigurationRequest) == 260);

// The control request on endpoint 0 as the driver takes it.
constexpr uint32_t kShortTransferOk = 0x00010000;
constexpr uint32_t kRequestTypeVendor = 2;
struct VendorRequest {
  uint32_t Flags = kShortTransferOk;
  uint32_t RequestType = kRequestTypeVendor;
  uint32_t Recipient = kRecipientDevice;
  uint8_t ReservedBits = 0;
  uint8_t Request = 0;
  uint16_t Value = 0;  // wValue
  uint16_t Index = 0;  // wIndex
};
static_assert(sizeof(VendorRequest) == 18);
#pragma pack(pop)

// The instruments' one control request: vendor request 0x35 to the device,
// wValue the register (FacId), wIndex the channel or argument.
constexpr uint8_t VENDOR_REQUEST = 0x35;
constexpr VendorRequest RegisterRequest(uint16_t facId, uint16_t index) {
  return VendorRequest{.Flags = kShortTransferOk,
                       .RequestType = kRequestTypeVendor,
                       .Recipient = kRecipientDevice,
                       .ReservedBits = 0,
                       .Request = VENDOR_REQUEST,
                       .Value = facId,
                       .Index = index};
}

// Whether a driver with this information record is worked with; asked once
// per open. Each library that uses the classes brings its own rule.
using DriverPolicy = bool (*)(const DriverInfoRecord& info);

// Which way a transfer moves data: to the device (a bound OUT endpoint) or
// from it (a bound IN endpoint).
enum class Direction { Out, In };

// What a transfer whose wait timed out reports, once the cancelled transfer
// has ended: the time-out itself, or the cancelled transfer's own status.
enum class TimeoutResult { Timeout, CancelledStatus };

class TUsbDrvBuf {
 public:
  TUsbDrvBuf(void* data, uint32_t capacity);
  // A buffer that owns memory of its own.
  explicit TUsbDrvBuf(uint32_t capacity);
  // A buffer over the caller's memory that completes through `event`, an
  // auto-reset event the caller keeps (a pipe's synchronous transfers reuse
  // one instead of making an event per transfer).
  TUsbDrvBuf(void* data, uint32_t capacity, HANDLE event);
  ~TUsbDrvBuf();
  TUsbDrvBuf(const TUsbDrvBuf&) = delete;
  TUsbDrvBuf& operator=(const TUsbDrvBuf&) = delete;

  void* Data;
  uint32_t Capacity;
  OVERLAPPED Overlapped;
  bool OwnsData;
  uint32_t BytesToTransfer;
  uint32_t BytesDone;
  Status TransferStatus;  // 0 done, 997 while running, else the last error

 private:
  bool ownsEvent_ = true;
};

class TUsbDrv {
 public:
  explicit TUsbDrv(DriverPolicy policy);
  virtual ~TUsbDrv();
  TUsbDrv(const TUsbDrv&) = delete;
  TUsbDrv& operator=(const TUsbDrv&) = delete;

  static HDEVINFO OpenInterfaceList(const GUID* guid);
  static void CloseInterfaceList(HDEVINFO set);

  Status OpenInstance(int number, HDEVINFO set, const GUID* guid);
  void CloseInstance();
  bool IsInstanceOpen() const { return Handle != nullptr; }

  Status QueryDriverInfo(DriverInfoRecord* info);
  Status ReadDescriptor(void* buffer, uint32_t* length, uint32_t recipient, uint8_t type,
                        uint8_t index, uint16_t language);
  // `length`, when given, receives the byte count.
  Status ReadDeviceDescriptor(void* buffer, uint32_t* length = nullptr);
  Status GetConfigurationDescriptor(void* buffer, uint32_t* length, uint8_t index);
  Status ReadStringDescriptor(void* buffer, uint32_t* length, uint8_t index, uint16_t language = 0);
  Status GetConfiguration(uint8_t* value);
  Status GetInterface(uint8_t* alternate, uint16_t interfaceNumber);
  Status ApplyConfiguration(const ConfigurationRequest& request);
  Status ClearConfiguration();
  Status CyclePort();
  Status VendorRequestIn(void* buffer, uint32_t* length, const VendorRequest& request);
  Status VendorRequestOut(void* buffer, uint32_t* length, const VendorRequest& request);
  Status DriverControl(DWORD code, void* input, DWORD inputSize, void* output, DWORD outputSize,
                       DWORD* bytes);
  void CancelTransfers();

  HANDLE Handle;
  DriverInfoRecord DriverInfo;
  OVERLAPPED Overlapped;
  lm::CriticalSection Lock;  // serialises the requests on Overlapped
  SP_DEVICE_INTERFACE_DETAIL_DATA_A* InterfaceDetail;

 private:
  DriverPolicy policy_;
};

class TUsbDrvPipe : public TUsbDrv {
 public:
  using TUsbDrv::TUsbDrv;
  ~TUsbDrvPipe() override;
  Status BindEndpoint(int number, uint8_t endpoint, HDEVINFO set, const GUID* guid);
  Status UnbindEndpoint();
  Status ResetEndpoint();
  // Starts an overlapped transfer of BytesToTransfer bytes; true when it is
  // done or pending (TransferStatus 0 or 997).
  bool StartTransfer(Direction direction, TUsbDrvBuf& buffer);
  bool StartWrite(TUsbDrvBuf& buffer) { return StartTransfer(Direction::Out, buffer); }
  bool StartRead(TUsbDrvBuf& buffer) { return StartTransfer(Direction::In, buffer); }
  // Waits up to ms for a pending transfer; USBDRV_ERR_TIMEOUT leaves it pending.
  Status AwaitTransfer(TUsbDrvBuf& buffer, DWORD ms);
  // The completion result of a transfer (fills BytesDone); `wait` blocks
  // until it completed.
  Status TransferResult(TUsbDrvBuf& buffer, bool wait);
  // One whole transfer over the caller's memory: `length` goes in as the
  // byte count and comes back as the bytes moved. A transfer still running
  // after ms is cancelled and waited for, so the memory is free on return.
  Status Transfer(Direction direction, void* data, uint32_t* length, DWORD ms,
                  TimeoutResult onTimeout);
  // The flash library's write: a time-out gives the cancelled write's status.
  Status TransferOut(const void* data, uint32_t* length, DWORD ms) {
    return Transfer(Direction::Out, const_cast<void*>(data), length, ms,
                    TimeoutResult::CancelledStatus);
  }

 private:
  // The completion event of Transfer, made at its first use, and whether a
  // transfer is using it.
  HANDLE transferEvent_ = nullptr;
  std::atomic<bool> transferEventBusy_{false};
};

// The text of a string descriptor of `received` bytes in the ANSI code page:
// the UTF-16 text after its 2-byte head, up to the bytes received and its
// bLength.
std::string StringDescriptorAnsi(const void* descriptor, uint32_t received);

// "Error code XXXXXXXX: <text>" for a driver, library or system status.
std::string DriverStatusText(Status status);

}  // namespace usbdrv
