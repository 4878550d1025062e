#include "tessaro/device.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <deque>

#include "hwport/clock.h"
#include "lumetra/sync.h"
#include "tessaro/device_error.h"
#include "tessaro/run_events.h"

namespace tessaro {
namespace {

// Elapsed clock time as "hh:nn:ss,zzz".
std::string Elapsed(DWORD startTick) {
  DWORD ms = hwport::TickCount() - startTick;
  char b[32];
  std::snprintf(b, sizeof b, "%2.2lu:%2.2lu:%2.2lu,%3.3lu",
                static_cast<unsigned long>(ms / 3600000),
                static_cast<unsigned long>(ms / 60000 % 60),
                static_cast<unsigned long>(ms / 1000 % 60), static_cast<unsigned long>(ms % 1000));
  return b;
}

}  // namespace

namespace {
// The kept texts live as long as the process, longer than any load's
// context. At namespace scope: a function's statics would need a guard,
// whose lock outlives each load of the library.
lm::CriticalSection g_keptLock;
std::deque<std::string> g_kept;
}  // namespace

const char* KeepText(const std::string& text) {
  lm::Lock g(g_keptLock);
  g_kept.push_back(text);
  return g_kept.back().c_str();
}

TDevice::TDevice(const TDeviceInfo& info) : TDeviceInfo(info) {}

TDevice::~TDevice() {
  // Each client leaves the list while it is destroyed.
  while (!clients_.empty()) delete clients_.front();
}

LogHook& TDevice::DefaultLog() {
  static LogHook hook;
  return hook;
}

void TDevice::Log(TStrings* list, const std::string& format,
                  std::initializer_list<FormatArg> args) const {
  // A copy, so a hook emptied meanwhile is not called half-cleared.
  const LogHook hook = DefaultLog();
  hook(list, format, args);
}

TClient::TClient(TDevice* connection) : Connection(connection) {
  if (Connection) Connection->clients_.push_back(this);
}

TClient::~TClient() {
  if (OnDestroy) OnDestroy(this);
  if (Connection) {
    auto& list = Connection->clients_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

std::string ChannelName(uint16_t channel) {
  switch (channel) {
    case 0:
      return "A+B";
    case 1:
      return "A";
    case 2:
      return "B";
    default:
      return "unknow (valid is 0..2)";
  }
}

std::string ByteDump(const uint8_t* data, size_t size) {
  std::string out = "\t";
  if (size == 0 || !data) return out + "Buffer is empty";
  char b[8];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(b, sizeof b, " %2.2X", data[i]);
    out += b;
    if ((i + 1) % 16 == 0) out += "\r\n\t";
  }
  return out;
}

void Dev_SetFacilityData(TDevice* device, uint16_t facId, uint16_t channel, std::string* errorText,
                         TStrings* list, uint16_t size, const void* data) {
  DWORD start = hwport::TickCount();
  std::string dump = ByteDump(static_cast<const uint8_t*>(data), data ? size : 0);
  if (!data && size > 0) {
    char third[96];
    std::snprintf(third, sizeof third, "Command: 0x%4.4X, Channel: %u, Size: %u", facId, channel,
                  size);
    std::string text = std::string("In function \"Dev_SetFacilityData\" BUFFER ERROR\r\n") +
                       "Buffer is nil but Size isnt 0\r\n" + third;
    LibraryAsk({text, "Error", MB_OK | MB_ICONERROR});
  }
  device->Log(list, "SetFacilityData( FacId: 0x%X, Ch: %s, buf, Size: %dB ), where is buf:\r\n%s",
              {facId, ChannelName(channel), size, dump});
  std::string result;
  try {
    // With no data there is nothing to send but the request itself.
    static const uint8_t kNothing[1] = {0};
    device->SetFacilityData(facId, channel, data ? size : 0, data ? data : kNothing);
  } catch (const EDeviceError& e) {
    result = FormatText(" !!! Writting Error (Excetion:\"%s\") !!! ", {e.Message()});
    if (errorText) *errorText = result;
  }
  device->Log(list, "SetFacilityData (dt:%s) %s", {Elapsed(start), result});
}

int Dev_GetFacilityData(TDevice* device, uint16_t facId, uint16_t channel, std::string* errorText,
                        TStrings* list, uint16_t size, void* buffer) {
  DWORD start = hwport::TickCount();
  device->Log(list, "GetFacilityData( FacId: 0x%X, Ch: %s, buf, Size: %d )",
              {facId, ChannelName(channel), size});
  int result;
  std::string dump;
  try {
    result = device->GetFacilityData(facId, channel, size, buffer);
    dump = ByteDump(static_cast<const uint8_t*>(buffer), static_cast<size_t>(result));
  } catch (const EDeviceError& e) {
    dump = FormatText(" !!! Reading Error from buffer (Excetion:\"%s\") !!! ", {e.Message()});
    if (errorText) *errorText = dump;
    result = -1;
  }
  device->Log(list, "GetFacilityData, readen %dB (dt:%s), where is buf:\r\n%s",
              {result, Elapsed(start), dump});
  return result;
}

}  // namespace tessaro
