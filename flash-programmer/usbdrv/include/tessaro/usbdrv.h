// The class library over the USBDRV kernel driver: TUsbDrv opens one driver
// device instance, checks the driver's API version, reads descriptors, sets
// the configuration and sends control requests on endpoint 0; TUsbDrvPipe is
// an instance bound to one endpoint and moves data; TUsbDrvBuf is one
// transfer buffer with its own completion event. All driver access goes
// through the hardware port, so the classes run unchanged on the bench.
#pragma once

#include <windows.h>
// after windows.h
#include <setupapi.h>

#include <cstdint>
#include <string>

namespace tessaro {

// Driver and library status codes.
constexpr uint32_t USBDRV_ERR_TIMEOUT = 0xE000100C;
constexpr uint32_t USBDRV_ERR_PIPE_NOT_FOUND = 0xE0001013;
constexpr uint32_t USBDRV_ERR_DEVICE_REMOVED = 0xE000100A;
constexpr uint32_t USBDRV_ERR_API_VERSION = 0xE000101C;
constexpr uint32_t USBDRV_ERR_OPEN_FAILED = 0xE0001100;
constexpr uint32_t USBDRV_ERR_NOT_OPEN = 0xE0001102;
constexpr uint32_t USBDRV_ERR_NO_MORE_MEMBERS = 0xE0001104;
constexpr uint32_t USBDRV_ERR_BAD_PARAMETER = 0xE0001105;
constexpr uint32_t USBDRV_ERR_NO_MEMORY = 0xE0000100;

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

#pragma pack(push, 1)
struct DriverInfoRecord {
  uint16_t APIVersion;
  uint16_t DriverVersion;
  uint32_t DriverBuildNumber;
  uint32_t Flags;
};
static_assert(sizeof(DriverInfoRecord) == 12);

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
struct VendorRequest {
  uint32_t Flags;        // 0x10000: a short transfer is accepted
  uint32_t RequestType;  // 2: vendor
  uint32_t Recipient;    // 0: device
  uint8_t ReservedBits;
  uint8_t Request;  // 0x35
  uint16_t Value;   // the FacId
  uint16_t Index;   // the channel or argument
};
static_assert(sizeof(VendorRequest) == 18);
#pragma pack(pop)

class TUsbDrvBuf {
 public:
  TUsbDrvBuf(void* data, uint32_t capacity);
  // A buffer that owns memory of its own.
  explicit TUsbDrvBuf(uint32_t capacity);
  ~TUsbDrvBuf();
  TUsbDrvBuf(const TUsbDrvBuf&) = delete;
  TUsbDrvBuf& operator=(const TUsbDrvBuf&) = delete;

  void* Data;
  uint32_t Capacity;
  OVERLAPPED Overlapped;
  bool OwnsData;
  uint32_t BytesToTransfer;
  uint32_t BytesDone;
  uint32_t TransferStatus;
};

class TUsbDrv {
 public:
  TUsbDrv();
  virtual ~TUsbDrv();
  TUsbDrv(const TUsbDrv&) = delete;
  TUsbDrv& operator=(const TUsbDrv&) = delete;

  static HDEVINFO OpenInterfaceList(const GUID* guid);
  static void CloseInterfaceList(HDEVINFO set);

  uint32_t OpenInstance(int number, HDEVINFO set, const GUID* guid);
  void CloseInstance();
  bool IsInstanceOpen() const { return Handle != nullptr; }

  uint32_t QueryDriverInfo(DriverInfoRecord* info);
  uint32_t ReadDescriptor(void* buffer, uint32_t* length, uint32_t recipient, uint8_t type,
                          uint8_t index, uint16_t language);
  // `length`, when given, receives the byte count.
  uint32_t ReadDeviceDescriptor(void* buffer, uint32_t* length = nullptr);
  uint32_t GetConfigurationDescriptor(void* buffer, uint32_t* length, uint8_t index);
  uint32_t ReadStringDescriptor(void* buffer, uint32_t* length, uint8_t index);
  uint32_t GetConfiguration(uint8_t* value);
  uint32_t GetInterface(uint8_t* alternate, uint16_t interfaceNumber);
  uint32_t ApplyConfiguration(const ConfigurationRequest& request);
  uint32_t ClearConfiguration();
  uint32_t CyclePort();
  uint32_t VendorRequestIn(void* buffer, uint32_t* length, const VendorRequest& request);
  uint32_t VendorRequestOut(void* buffer, uint32_t* length, const VendorRequest& request);
  uint32_t DriverControl(DWORD code, void* input, DWORD inputSize, void* output, DWORD outputSize,
                         DWORD* bytes);
  void CancelTransfers();

  HANDLE Handle;
  DriverInfoRecord DriverInfo;
  OVERLAPPED Overlapped;
  CRITICAL_SECTION Lock;
  SP_DEVICE_INTERFACE_DETAIL_DATA_A* InterfaceDetail;

 protected:
  // Whether the driver's API version is acceptable (the flash library's rule).
  virtual bool AcceptDriver(const DriverInfoRecord& info);
};

class TUsbDrvPipe : public TUsbDrv {
 public:
  uint32_t BindEndpoint(int number, uint8_t endpoint, HDEVINFO set, const GUID* guid);
  uint32_t UnbindEndpoint();
  uint32_t ResetEndpoint();
  bool StartWrite(TUsbDrvBuf& buffer);
  bool StartRead(TUsbDrvBuf& buffer);
  uint32_t AwaitTransfer(TUsbDrvBuf& buffer, DWORD ms);
  // The completion result of a transfer (fills BytesDone); `wait` blocks
  // until it completed.
  uint32_t TransferResult(TUsbDrvBuf& buffer, bool wait);
  uint32_t TransferOut(const void* data, uint32_t* length, DWORD ms);
};

// "Error code XXXXXXXX: <text>" for a driver, library or system status.
std::string DriverStatusText(uint32_t status);

// The driver API version rule of the flash library (asks the user when the
// version does not fit the Windows version).
bool DriverApiPolicy(const DriverInfoRecord& info);

// The process-wide state of that rule.
struct DriverApiPolicyState {
  uint32_t AcceptedVersion = 0;
  uint8_t WindowsKind = 0;  // 0 unknown, 1 Windows 98, 2 Windows 2000, 3 Windows XP
  bool DriverApi0141 = true;
  // Reads "ProductName" of a local-machine key (tests replace it).
  std::string (*ReadProductName)(const char* key) = nullptr;
};
DriverApiPolicyState& DriverApiState();

}  // namespace tessaro
