// TGDI: the live connection to one instrument or power supply over the
// USBDRV driver. It opens the device instance, brings the device into a
// configuration, binds the endpoints its creator asks for, reads each bound
// IN endpoint on a TPipeThread, and implements the device operations as
// control requests on endpoint 0 and bulk writes on 0x02. What arrives is
// parsed on the library's main thread and handed to every attached client.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tessaro/device.h"
#include "tessaro/driver_policy.h"
#include "tessaro/gdi_parsers.h"

namespace tessaro {

class TGDI;

// One reader per bound IN endpoint, at idle priority. It only reads and
// hands each completed transfer to the main thread, waiting until it was
// handled.
class TPipeThread {
 public:
  using Handler = void (TGDI::*)(TPipeThread&);
  TPipeThread(TGDI* owner, TUsbDrvPipe* pipe, Handler handler, uint8_t* buffer, uint16_t size);
  // Stops the thread and waits for its end.
  ~TPipeThread();
  TPipeThread(const TPipeThread&) = delete;
  TPipeThread& operator=(const TPipeThread&) = delete;

  void Start();
  uint32_t LastRead() const { return lastRead_; }
  uint8_t* Buffer() const { return buffer_; }

 private:
  static DWORD WINAPI ThreadMain(void* self);
  void Loop();

  TGDI* owner_;
  TUsbDrvPipe* pipe_;
  Handler handler_;
  uint8_t* buffer_;
  uint16_t size_;
  uint32_t lastRead_ = 0;
  HANDLE stop_;
  HANDLE thread_ = nullptr;
};

// One configuration as read from the device's descriptors.
struct GdiAlternate {
  uint8_t InterfaceDescriptor[9] = {};
  std::vector<std::vector<uint8_t>> Endpoints;  // 7 bytes each
};
struct GdiConfiguration {
  uint8_t Head[9] = {};
  std::vector<std::vector<GdiAlternate>> Interfaces;  // [interface][alternate]
  std::vector<std::vector<uint8_t>> Others;
  std::vector<uint8_t> CurrentAlternate;  // per interface, when this configuration is current
};

class TGDI : public TDevice {
 public:
  // ConfigKind 0, 1 or 2; the flags bind 0x81, 0x02, 0x83, 0x85, 0x87.
  TGDI(const TDeviceInfo& info, uint8_t configKind, uint8_t openDataIn, uint8_t openDataOut,
       uint8_t openEventIn, uint8_t openDataIn2, uint8_t openEventIn2);
  ~TGDI() override;

  uint16_t GetVendorData(uint16_t wValue, uint16_t wIndex, uint16_t length, void* buffer) override;
  uint16_t GetStatus(uint16_t wIndex) override;
  void SendCommand(uint16_t command, uint16_t argument) override;
  void SetRegister(uint16_t reg, uint16_t channel, uint16_t length, const void* data) override;
  uint16_t GetRegister(uint16_t reg, uint16_t channel, uint16_t length, void* buffer) override;
  void SetFacilityData(uint16_t facId, uint16_t channel, uint16_t length,
                       const void* data) override;
  uint16_t GetFacilityData(uint16_t facId, uint16_t channel, uint16_t length,
                           void* buffer) override;
  void SetFlashData(uint16_t wIndex, const void* data, uint16_t length) override;
  uint16_t GetFlashData(uint16_t wIndex, void* buffer, uint16_t length) override;
  void WriteData(uint16_t packetId, const void* data, uint16_t length) override;
  bool CyclePort() override;

  // Raises "Device(Hnd:%8.8X): %s\r\n%s" for a non-zero status.
  void CheckStatus(usbdrv::Status status, const std::string& context = {});

  usbdrv::Status LastStatus = 0;
  uint32_t DeviceHandle = 0;
  uint8_t ConfigurationCount = 0;
  uint8_t CurrentConfiguration = 0;
  std::vector<GdiConfiguration> Configurations;
  bool HasReader(uint8_t endpoint) const;

  // How long a bulk write may wait for the device before it is cancelled.
  static constexpr DWORD kWriteTimeoutMs = 30000;

 private:
  friend class TPipeThread;
  void ReadConfigurationTable();
  void OpenEndpoint(uint8_t endpoint);
  void HandleBulk(TPipeThread& thread);
  void HandleInterrupt(TPipeThread& thread);
  void Handle(TPipeThread& thread, bool bulk);
  uint16_t RequestIn(uint16_t wValue, uint16_t wIndex, uint16_t length, void* buffer);
  uint16_t RequestOut(uint16_t wValue, uint16_t wIndex, uint16_t length, const void* data);
  void Teardown();
  TUsbDrvPipe* PipeFor(uint8_t endpoint);
  std::unique_ptr<TPipeThread>& ThreadFor(uint8_t endpoint);

  std::unique_ptr<TUsbDrv> UsbDrv;
  std::unique_ptr<TUsbDrvPipe> Pipes[5];  // 0x81, 0x85, 0x02, 0x83, 0x87
  HDEVINFO InterfaceSet = nullptr;
  uint8_t BulkBuffers[2][kPipeBufferSize] = {};
  uint8_t SendPacket[kPipeBufferSize] = {};
  uint8_t InterruptBuffers[2][kPipeBufferSize] = {};
  std::unique_ptr<TPipeThread> Threads[4];  // 0x81, 0x85, 0x83, 0x87
};

}  // namespace tessaro
