// The device model: who a device is (TDeviceInfo), the eleven operations
// every device offers (TDevice) and the observers the connection feeds with
// what arrives from the device (TClient). The USB connection TGDI is the one
// implementation of the operations.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "tessaro/log_hook.h"

namespace tessaro {

class TClient;

class TDeviceInfo {
 public:
  TDeviceInfo() = default;
  TDeviceInfo(uint16_t deviceNumber, uint16_t vid, uint16_t pid)
      : DeviceNumber(deviceNumber), VID(vid), PID(pid) {}

  uint16_t DeviceNumber = 0;
  uint16_t VID = 0;
  uint16_t PID = 0;
  // Not owned: whoever fills an info keeps the texts alive (KeepText).
  const char* Product = "";
  const char* Manufacturer = "";
  const char* SerialNumber = "";
};

// A copy of a text that lives as long as the process (the device texts are
// owned by nobody and must outlive every device made from an info).
const char* KeepText(const std::string& text);

class TDevice : public TDeviceInfo {
 public:
  // Copies the identity and the three text references; the client list starts empty.
  explicit TDevice(const TDeviceInfo& info);
  virtual ~TDevice();
  TDevice(const TDevice&) = delete;
  TDevice& operator=(const TDevice&) = delete;

  virtual uint16_t GetVendorData(uint16_t wValue, uint16_t wIndex, uint16_t length,
                                 void* buffer) = 0;
  virtual uint16_t GetStatus(uint16_t wIndex) = 0;
  virtual void SendCommand(uint16_t command, uint16_t argument) = 0;
  virtual void SetRegister(uint16_t reg, uint16_t channel, uint16_t length, const void* data) = 0;
  virtual uint16_t GetRegister(uint16_t reg, uint16_t channel, uint16_t length, void* buffer) = 0;
  virtual void SetFacilityData(uint16_t facId, uint16_t channel, uint16_t length,
                               const void* data) = 0;
  virtual uint16_t GetFacilityData(uint16_t facId, uint16_t channel, uint16_t length,
                                   void* buffer) = 0;
  virtual void SetFlashData(uint16_t wIndex, const void* data, uint16_t length) = 0;
  virtual uint16_t GetFlashData(uint16_t wIndex, void* buffer, uint16_t length) = 0;
  virtual void WriteData(uint16_t packetId, const void* data, uint16_t length) = 0;
  virtual bool CyclePort() = 0;

  const std::vector<TClient*>& Clients() const { return clients_; }

  // Writes a diagnostic ("D") line through the process-wide hook as it is at
  // the moment of the call: the logger binds it while the form exists, so a
  // device made before the form logs once the form is there, and one that
  // outlives the form (or the logger) logs nothing.
  void Log(TStrings* list, const std::string& format,
           std::initializer_list<FormatArg> args = {}) const;
  static LogHook& DefaultLog();

 private:
  friend class TClient;
  std::vector<TClient*> clients_;
};

class TClient {
 public:
  // Attaches to the end of the connection's client list.
  explicit TClient(TDevice* connection);
  virtual ~TClient();
  TClient(const TClient&) = delete;
  TClient& operator=(const TClient&) = delete;

  void SetTag(uint8_t tag) { Tag = tag; }

  virtual void OnDeviceEvent(uint8_t pipe, uint16_t eventId, uint32_t lParam, uint16_t wParam) {}
  virtual void OnTextLine(const char* text) {}
  virtual void OnDataPacket(uint8_t pipe, uint16_t packetId, const uint8_t* payload,
                            uint16_t length) {}
  virtual void OnDataMsg(uint8_t pipe, uint16_t eventId, const uint8_t* payload, uint16_t length) {}

  std::function<void(TClient*)> OnDestroy;
  uint8_t Tag = 0;
  TDevice* Connection = nullptr;
  void* Window = nullptr;
};

// The name of a facility channel: "A+B", "A", "B", else "unknow (valid is 0..2)".
std::string ChannelName(uint16_t channel);

// Logged facility writes and reads: a dump of every transfer goes to the
// device's diagnostic log (and to `list` when given), a failed transfer
// becomes a text instead of an error.
void Dev_SetFacilityData(TDevice* device, uint16_t facId, uint16_t channel, std::string* errorText,
                         TStrings* list, uint16_t size, const void* data);
int Dev_GetFacilityData(TDevice* device, uint16_t facId, uint16_t channel, std::string* errorText,
                        TStrings* list, uint16_t size, void* buffer);

// The dump of a transfer: a tab, then " %2.2X" a byte, "\r\n\t" after every
// 16th byte; "\tBuffer is empty" for none.
std::string ByteDump(const uint8_t* data, size_t size);

}  // namespace tessaro
