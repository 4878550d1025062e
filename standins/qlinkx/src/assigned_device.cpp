#include "assigned_device.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "lumetra/wire.h"

namespace qlinkx {
namespace {

constexpr uint8_t kInterruptEndpoint = 0x83;
constexpr uint32_t kInterruptBufferSize = 4096;
// How long ReadIrpt waits for a transfer before it reports none (port clock).
constexpr DWORD kInterruptWaitMs = 100;

usbdrv::VendorRequest RegisterRequest(int32_t facId, int32_t channel) {
  return usbdrv::RegisterRequest(static_cast<uint16_t>(facId), static_cast<uint16_t>(channel));
}

}  // namespace

AssignedDevice::AssignedDevice(FoundDevice found)
    : vendorId_(wire::DeviceDescriptorView(found.descriptor).VendorId()),
      productId_(wire::DeviceDescriptorView(found.descriptor).ProductId()),
      serial_(found.serial),
      descriptor_{},
      control_(std::move(found.instance)),
      interruptBuffer_(kInterruptBufferSize) {
  std::memcpy(descriptor_, found.descriptor, sizeof descriptor_);
  uint8_t configuration = 0;
  if (control_->GetConfiguration(&configuration) == 0 && configuration == 0) {
    usbdrv::ConfigurationRequest request{
        .ConfigurationIndex = 0,
        .InterfaceCount = 1,
        .Interfaces = {
            {.InterfaceIndex = 0, .AlternateSetting = 0, .MaxTransferSize = kInterruptBufferSize}}};
    // Another program may have configured it meanwhile; that configuration serves as well.
    control_->ApplyConfiguration(request);
  }
  interruptBound_ =
      interrupt_.BindEndpoint(found.objectNumber, kInterruptEndpoint, nullptr, nullptr) == 0;
  if (interruptBound_)
    StartInterruptRead();
  else
    interrupt_.CloseInstance();
}

AssignedDevice::~AssignedDevice() {
  if (handlesEnded_) {
    // The driver ended the handles and their transfers itself; by now their
    // values may name handles of someone else, which must stay open.
    control_->Handle = nullptr;
    interrupt_.Handle = nullptr;
    return;
  }
  if (readPending_ && interruptBuffer_.TransferStatus == ERROR_IO_PENDING) {
    // The read must be over before its buffer goes.
    interrupt_.CancelTransfers();
    interrupt_.TransferResult(interruptBuffer_, true);
  }
}

bool AssignedDevice::Is(int32_t vendorId, int32_t productId, const std::string& serial) const {
  return vendorId == vendorId_ && productId == productId_ && serial == serial_;
}

bool AssignedDevice::Alive() {
  if (gone_) return false;
  // Any failure of this harmless request means the handle no longer reaches the device.
  uint8_t configuration = 0;
  uint32_t status = control_->GetConfiguration(&configuration);
  if (status == ERROR_INVALID_HANDLE) handlesEnded_ = true;
  if (status != 0) gone_ = true;
  return !gone_;
}

int32_t AssignedDevice::Failure(uint32_t status) {
  // Only the library cancels its reads (when it releases the device): an
  // ended read means the driver ended the handle, unless it still answers.
  if (status == ERROR_OPERATION_ABORTED) {
    uint8_t configuration = 0;
    if (uint32_t probe = control_->GetConfiguration(&configuration); probe != 0) status = probe;
  }
  if (status == ERROR_INVALID_HANDLE) handlesEnded_ = true;
  if (status == usbdrv::USBDRV_ERR_DEVICE_REMOVED || status == ERROR_INVALID_HANDLE) {
    gone_ = true;
    return QLX_ERR_INVALID_DEVICE;
  }
  return QLX_ERR_TRANSFER;
}

void AssignedDevice::StartInterruptRead() {
  interruptBuffer_.BytesToTransfer = interruptBuffer_.Capacity;
  interruptBuffer_.BytesDone = 0;
  interrupt_.StartRead(interruptBuffer_);
  // Done at once, pending or failed: ReadIrpt collects the outcome.
  readPending_ = true;
}

int32_t AssignedDevice::GetRegister(int32_t facId, int32_t channel, void* buffer, int32_t length) {
  if (length < 0 || (!buffer && length > 0)) return QLX_ERR_ARGUMENT;
  if (gone_) return QLX_ERR_INVALID_DEVICE;
  uint32_t n = static_cast<uint32_t>(length);
  uint32_t status = control_->VendorRequestIn(buffer, &n, RegisterRequest(facId, channel));
  // The caller learns how much of its buffer the device filled.
  return status == 0 ? static_cast<int32_t>(std::min(n, static_cast<uint32_t>(length)))
                     : Failure(status);
}

int32_t AssignedDevice::SetRegister(int32_t facId, int32_t channel, const void* data,
                                    int32_t length) {
  if (length < 0 || (!data && length > 0)) return QLX_ERR_ARGUMENT;
  if (gone_) return QLX_ERR_INVALID_DEVICE;
  // The driver takes the data stage as a writable buffer; the caller's stays untouched.
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::vector<uint8_t> copy(bytes, bytes + length);
  uint32_t n = static_cast<uint32_t>(length);
  uint32_t status = control_->VendorRequestOut(copy.empty() ? nullptr : copy.data(), &n,
                                               RegisterRequest(facId, channel));
  return status == 0 ? QLX_OK : Failure(status);
}

int32_t AssignedDevice::ReadIrpt(void* buffer, int32_t* length) {
  if (!buffer || !length || *length < 0) return QLX_ERR_ARGUMENT;
  if (gone_) return QLX_ERR_INVALID_DEVICE;
  if (!interruptBound_) {
    *length = 0;
    return QLX_ERR_TRANSFER;
  }
  if (!readPending_) StartInterruptRead();
  uint32_t status = interrupt_.AwaitTransfer(interruptBuffer_, kInterruptWaitMs);
  if (status == usbdrv::USBDRV_ERR_TIMEOUT) {
    *length = 0;  // nothing yet; the read stays outstanding
    return QLX_OK;
  }
  readPending_ = false;
  if (status != 0) {
    *length = 0;
    return Failure(status);
  }
  uint32_t n = interruptBuffer_.BytesDone;
  if (n > static_cast<uint32_t>(*length)) n = static_cast<uint32_t>(*length);
  std::memcpy(buffer, interruptBuffer_.Data, n);
  *length = static_cast<int32_t>(n);
  StartInterruptRead();
  return QLX_OK;
}

int32_t AssignedDevice::GetStringDescriptor(int32_t index, void* buffer, int32_t* size) {
  if (!buffer || !size || *size < 0 || index < 0 || index > 255) return QLX_ERR_ARGUMENT;
  if (gone_) {
    *size = 0;
    return QLX_ERR_INVALID_DEVICE;
  }
  uint32_t n = static_cast<uint32_t>(*size);
  uint32_t status = ReadStringDescriptor(*control_, index, buffer, &n);
  *size = status == 0 ? static_cast<int32_t>(n) : 0;
  return status == 0 ? QLX_OK : Failure(status);
}

}  // namespace qlinkx
