#include "usbdrv/usbdrv.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "hwport/clock.h"
#include "hwport/usb_driver.h"
#include "lumetra/wire.h"

namespace usbdrv {

const GUID USBDRV_INTERFACE_GUID = {
    0x7A3C51E2, 0x4B90, 0x4D1F, {0xA6, 0xE8, 0x2C, 0x5B, 0x9D, 0x04, 0xF7, 0x13}};

// ---- TUsbDrvBuf ------------------------------------------------------------

TUsbDrvBuf::TUsbDrvBuf(void* data, uint32_t capacity, HANDLE event)
    : Data(data),
      Capacity(capacity),
      Overlapped{},
      OwnsData(false),
      BytesToTransfer(0),
      BytesDone(0),
      TransferStatus(0),
      ownsEvent_(false) {
  Overlapped.hEvent = event;
}

TUsbDrvBuf::TUsbDrvBuf(void* data, uint32_t capacity)
    : TUsbDrvBuf(data, capacity, CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
  ownsEvent_ = true;
}

TUsbDrvBuf::TUsbDrvBuf(uint32_t capacity)
    : TUsbDrvBuf(std::malloc(capacity ? capacity : 1), capacity) {
  OwnsData = true;
}

TUsbDrvBuf::~TUsbDrvBuf() {
  if (ownsEvent_ && Overlapped.hEvent) CloseHandle(Overlapped.hEvent);
  if (OwnsData) std::free(Data);
}

// ---- TUsbDrv ---------------------------------------------------------------

TUsbDrv::TUsbDrv(DriverPolicy policy)
    : Handle(nullptr), DriverInfo{}, Overlapped{}, InterfaceDetail(nullptr), policy_(policy) {}

TUsbDrv::~TUsbDrv() { CloseInstance(); }

HDEVINFO TUsbDrv::OpenInterfaceList(const GUID* guid) {
  HDEVINFO set = hwport::InterfaceListOpen(guid);
  return set == INVALID_HANDLE_VALUE ? nullptr : set;
}

void TUsbDrv::CloseInterfaceList(HDEVINFO set) {
  if (set) hwport::InterfaceListClose(set);
}

Status TUsbDrv::OpenInstance(int number, HDEVINFO set, const GUID* guid) {
  if (Handle) return 0;
  char name[64];
  const char* path = name;
  if (!set) {
    std::snprintf(name, sizeof name, "\\\\.\\USBDRV_Device%d", number);
  } else {
    if (!guid) return USBDRV_ERR_BAD_PARAMETER;
    std::free(InterfaceDetail);
    InterfaceDetail = nullptr;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    if (!hwport::InterfaceListEnum(set, guid, static_cast<DWORD>(number), &data)) {
      DWORD error = GetLastError();
      return error == ERROR_NO_MORE_ITEMS ? USBDRV_ERR_NO_MORE_MEMBERS : error;
    }
    DWORD required = 0;
    hwport::InterfaceListDetail(set, &data, nullptr, 0, &required);
    InterfaceDetail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(
        std::malloc(required ? required : sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)));
    if (!InterfaceDetail) return USBDRV_ERR_NO_MEMORY;
    std::memset(InterfaceDetail, 0, required);
    InterfaceDetail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!hwport::InterfaceListDetail(set, &data, InterfaceDetail, required, nullptr))
      return GetLastError();
    path = InterfaceDetail->DevicePath;
  }
  HANDLE h = hwport::DriverOpen(path);
  if (h == INVALID_HANDLE_VALUE || !h) return USBDRV_ERR_OPEN_FAILED;
  Handle = h;
  Overlapped = OVERLAPPED{};
  Overlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!Overlapped.hEvent) {
    CloseInstance();
    return USBDRV_ERR_NO_MEMORY;
  }
  Status status = QueryDriverInfo(&DriverInfo);
  if (status != 0) {
    CloseInstance();
    return status;
  }
  if (!policy_ || !policy_(DriverInfo)) {
    CloseInstance();
    return USBDRV_ERR_API_VERSION;
  }
  return 0;
}

void TUsbDrv::CloseInstance() {
  if (Handle) {
    hwport::DriverClose(Handle);
    Handle = nullptr;
  }
  if (Overlapped.hEvent) {
    CloseHandle(Overlapped.hEvent);
    Overlapped.hEvent = nullptr;
  }
  std::free(InterfaceDetail);
  InterfaceDetail = nullptr;
}

Status TUsbDrv::DriverControl(DWORD code, void* input, DWORD inputSize, void* output,
                              DWORD outputSize, DWORD* bytes) {
  if (!Handle) return USBDRV_ERR_NOT_OPEN;
  DWORD count = 0;
  Status status = 0;
  {
    lm::Lock lock(Lock);
    if (!hwport::DriverIoControl(Handle, code, input, inputSize, output, outputSize, &count,
                                 &Overlapped)) {
      status = GetLastError();
      if (status == ERROR_IO_PENDING)
        status =
            hwport::DriverOverlappedResult(Handle, &Overlapped, &count, TRUE) ? 0 : GetLastError();
    }
  }
  if (bytes) *bytes = count;
  return status;
}

Status TUsbDrv::QueryDriverInfo(DriverInfoRecord* info) {
  return DriverControl(IOCTL_USBDRV_QUERY_DRIVER_INFO, nullptr, 0, info, sizeof *info, nullptr);
}

Status TUsbDrv::ReadDescriptor(void* buffer, uint32_t* length, uint32_t recipient, uint8_t type,
                               uint8_t index, uint16_t language) {
  DescriptorRequest r{.Recipient = recipient,
                      .DescriptorType = type,
                      .DescriptorIndex = index,
                      .LanguageId = language};
  DWORD n = 0;
  Status status = DriverControl(IOCTL_USBDRV_READ_DESCRIPTOR, &r, sizeof r, buffer, *length, &n);
  *length = n;
  return status;
}

Status TUsbDrv::ReadDeviceDescriptor(void* buffer, uint32_t* length) {
  uint32_t n = wire::DeviceDescriptor::kSize;
  Status status = ReadDescriptor(buffer, &n, kRecipientDevice, kDeviceDescriptor, 0, 0);
  if (length) *length = n;
  return status;
}

Status TUsbDrv::GetConfigurationDescriptor(void* buffer, uint32_t* length, uint8_t index) {
  return ReadDescriptor(buffer, length, kRecipientDevice, kConfigurationDescriptor, index, 0);
}

Status TUsbDrv::ReadStringDescriptor(void* buffer, uint32_t* length, uint8_t index,
                                     uint16_t language) {
  return ReadDescriptor(buffer, length, kRecipientDevice, kStringDescriptor, index, language);
}

Status TUsbDrv::GetConfiguration(uint8_t* value) {
  return DriverControl(IOCTL_USBDRV_GET_CONFIGURATION, nullptr, 0, value, 1, nullptr);
}

Status TUsbDrv::GetInterface(uint8_t* alternate, uint16_t interfaceNumber) {
  return DriverControl(IOCTL_USBDRV_GET_INTERFACE, &interfaceNumber, sizeof interfaceNumber,
                       alternate, 1, nullptr);
}

Status TUsbDrv::ApplyConfiguration(const ConfigurationRequest& request) {
  ConfigurationRequest copy = request;
  return DriverControl(IOCTL_USBDRV_APPLY_CONFIGURATION, &copy, sizeof copy, nullptr, 0, nullptr);
}

Status TUsbDrv::ClearConfiguration() {
  return DriverControl(IOCTL_USBDRV_CLEAR_CONFIGURATION, nullptr, 0, nullptr, 0, nullptr);
}

Status TUsbDrv::CyclePort() {
  return DriverControl(IOCTL_USBDRV_CYCLE_PORT, nullptr, 0, nullptr, 0, nullptr);
}

Status TUsbDrv::VendorRequestIn(void* buffer, uint32_t* length, const VendorRequest& request) {
  VendorRequest r = request;
  DWORD n = 0;
  Status status = DriverControl(IOCTL_USBDRV_VENDOR_REQUEST_IN, &r, sizeof r, buffer, *length, &n);
  *length = n;
  return status;
}

Status TUsbDrv::VendorRequestOut(void* buffer, uint32_t* length, const VendorRequest& request) {
  VendorRequest r = request;
  DWORD n = 0;
  // The data stage travels as the output buffer.
  Status status = DriverControl(IOCTL_USBDRV_VENDOR_REQUEST_OUT, &r, sizeof r, buffer, *length, &n);
  *length = n;
  return status;
}

void TUsbDrv::CancelTransfers() {
  if (Handle) hwport::DriverCancelIo(Handle);
}

// ---- TUsbDrvPipe -----------------------------------------------------------

Status TUsbDrvPipe::BindEndpoint(int number, uint8_t endpoint, HDEVINFO set, const GUID* guid) {
  if (!Handle) {
    Status status = OpenInstance(number, set, guid);
    if (status != 0) return status;
  }
  return DriverControl(IOCTL_USBDRV_BIND_ENDPOINT, &endpoint, 1, nullptr, 0, nullptr);
}

Status TUsbDrvPipe::UnbindEndpoint() {
  return DriverControl(IOCTL_USBDRV_UNBIND_ENDPOINT, nullptr, 0, nullptr, 0, nullptr);
}

Status TUsbDrvPipe::ResetEndpoint() {
  return DriverControl(IOCTL_USBDRV_RESET_ENDPOINT, nullptr, 0, nullptr, 0, nullptr);
}

TUsbDrvPipe::~TUsbDrvPipe() {
  if (transferEvent_) CloseHandle(transferEvent_);
}

bool TUsbDrvPipe::StartTransfer(Direction direction, TUsbDrvBuf& buffer) {
  DWORD n = 0;
  BOOL done =
      direction == Direction::Out
          ? hwport::DriverWrite(Handle, buffer.Data, buffer.BytesToTransfer, &n, &buffer.Overlapped)
          : hwport::DriverRead(Handle, buffer.Data, buffer.BytesToTransfer, &n, &buffer.Overlapped);
  if (done) {
    buffer.BytesDone = n;
    buffer.TransferStatus = 0;
  } else {
    buffer.TransferStatus = GetLastError();
  }
  return buffer.TransferStatus == 0 || buffer.TransferStatus == ERROR_IO_PENDING;
}

Status TUsbDrvPipe::AwaitTransfer(TUsbDrvBuf& buffer, DWORD ms) {
  if (buffer.TransferStatus != ERROR_IO_PENDING) return buffer.TransferStatus;
  if (hwport::WaitForObject(buffer.Overlapped.hEvent, ms) == WAIT_TIMEOUT)
    return USBDRV_ERR_TIMEOUT;
  DWORD n = 0;
  buffer.TransferStatus =
      hwport::DriverOverlappedResult(Handle, &buffer.Overlapped, &n, FALSE) ? 0 : GetLastError();
  buffer.BytesDone = n;
  return buffer.TransferStatus;
}

Status TUsbDrvPipe::TransferResult(TUsbDrvBuf& buffer, bool wait) {
  DWORD n = 0;
  buffer.TransferStatus =
      hwport::DriverOverlappedResult(Handle, &buffer.Overlapped, &n, wait ? TRUE : FALSE)
          ? 0
          : GetLastError();
  buffer.BytesDone = n;
  return buffer.TransferStatus;
}

Status TUsbDrvPipe::Transfer(Direction direction, void* data, uint32_t* length, DWORD ms,
                             TimeoutResult onTimeout) {
  auto run = [&](TUsbDrvBuf& buffer) {
    buffer.BytesToTransfer = *length;
    buffer.BytesDone = 0;
    StartTransfer(direction, buffer);
    Status status = AwaitTransfer(buffer, ms);
    if (status == USBDRV_ERR_TIMEOUT) {
      // The buffer must not be released while the driver still holds it.
      CancelTransfers();
      Status cancelled = AwaitTransfer(buffer, INFINITE);
      if (onTimeout == TimeoutResult::CancelledStatus) status = cancelled;
    }
    *length = buffer.BytesDone;
    return status;
  };
  // Making and closing an event costs more than a fast link's packet takes,
  // so the pipe keeps one; a transfer running beside it on another thread
  // makes its own.
  if (!transferEventBusy_.exchange(true)) {
    if (!transferEvent_) transferEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    Status status = USBDRV_ERR_NO_MEMORY;
    if (transferEvent_) {
      TUsbDrvBuf buffer(data, *length, transferEvent_);
      status = run(buffer);
    }
    transferEventBusy_ = false;
    return status;
  }
  TUsbDrvBuf buffer(data, *length);
  if (!buffer.Overlapped.hEvent) return USBDRV_ERR_NO_MEMORY;
  return run(buffer);
}

}  // namespace usbdrv
