#include "data_packets.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "attributes.h"
#include "bound_endpoint.h"
#include "corvel/corvel.h"
#include "hwport/clock.h"
#include "library.h"
#include "lumetra/wire.h"
#include "transfer_start.h"

namespace corvel {
namespace {

constexpr size_t kHeader = wire::kDataPacketHeaderSize;

Status BindFailure(usbdrv::Status driverStatus) {
  return driverStatus == usbdrv::USBDRV_ERR_DEVICE_REMOVED ? LM_ERROR_DEVICE_DISCONNECTED
                                                           : LM_ERROR_SYSTEM_ERROR;
}

// Appends to the dump file; nothing when it does not open.
void Dump(const std::string& text) {
  FILE* file = std::fopen(kDumpFilePath, "a");
  if (!file) return;
  std::fputs(text.c_str(), file);
  std::fclose(file);
}

void DumpStatus(usbdrv::Status driverStatus) {
  char line[32];
  std::snprintf(line, sizeof line, "Status: 0x%x\n", static_cast<unsigned>(driverStatus));
  Dump(line);
}

void DumpData(const uint8_t* data, uint32_t n) {
  std::string text = "Data: ";
  char byte[8];
  for (uint32_t i = 0; i < n; ++i) {
    std::snprintf(byte, sizeof byte, "0x%x ", data[i]);
    text += byte;
  }
  Dump(text + "\n");
}

int ReadDataPacket(const void* session, uint16_t id, void* buffer, uint32_t size) {
  SessionUse use;
  Status status = StartTransfer(session, {}, &use);
  if (status != LM_SUCCESS) return static_cast<int>(status);
  if (!buffer && size > 0) return static_cast<int>(LM_ERROR_PARAMETER3);
  BoundEndpoint endpoint(*use.device, use->dataInEndpoint != 0 ? EP_EVENT_IN : EP_DATA_IN);
  if (endpoint.Status() != 0) return static_cast<int>(BindFailure(endpoint.Status()));
  DWORD start = hwport::TickCount();
  std::vector<uint8_t> packet(kDataReadSize);
  for (;;) {
    std::fill(packet.begin(), packet.end(), 0);
    uint32_t received = kDataReadSize;
    usbdrv::Status driverStatus = use.device->TransferIn(packet.data(), &received, use->timeout);
    DumpStatus(driverStatus);
    if (driverStatus != 0) return static_cast<int>(LM_ERROR_TMO);
    DumpData(packet.data(), received);
    // The wanted packet is delivered even when it came after the time-out:
    // it has been taken from the device and there is no other to wait for.
    if (IsWantedPacket(packet.data(), id))
      return DeliverPacket(packet.data(), received, id, buffer, size);
    if (use->timeout != kNoTimeLimit && hwport::TickCount() - start > use->timeout)
      return static_cast<int>(LM_ERROR_TMO);
    hwport::Sleep(TheLibrary().SnoozeTimer());
  }
}

}  // namespace

bool IsWantedPacket(const uint8_t* packet, uint16_t id) {
  return le::U16(packet) != 0 && (id == kAnyPacket || le::U16(packet + 2) == id);
}

int DeliverPacket(const uint8_t* packet, uint32_t received, uint16_t id, void* buffer,
                  uint32_t size) {
  uint32_t packetSize = le::U16(packet);
  // A PacketSize short of its own header would give a negative length.
  if (packetSize > received || packetSize < kHeader)
    return static_cast<int>(LM_ERROR_RAW_RD_PROT_VIOL);
  bool whole = id == kAnyPacket;
  uint32_t length = whole ? packetSize : packetSize - static_cast<uint32_t>(kHeader);
  const uint8_t* from = whole ? packet : packet + kHeader;
  if (uint32_t n = std::min(length, size)) std::memcpy(buffer, from, n);
  if (length > size) return static_cast<int>(LM_ERROR_USER_BUF);
  return static_cast<int>(length);
}

Status WriteData(const void* session, uint16_t id, const void* data, uint32_t size) {
  TraceLog& log = TheLibrary().Log();
  SessionUse use;
  Status status =
      StartTransfer(session,
                    {"In LmWriteData:\n", "   ERROR: wait_result == WAIT_TIMEOUT, return\n\n",
                     "   ERROR: wait_result != WAIT_OBJECT_0, return\n\n",
                     "   ERROR: device disconnected, return\n\n"},
                    &use);
  if (status != LM_SUCCESS) return status;
  // More would not fit the device's packet, nor the packet's u16 size.
  if (size > wire::kDataPacketMaxPayload) return LM_ERROR_PARAMETER4;
  if (!data && size > 0) return LM_ERROR_PARAMETER3;
  {
    BoundEndpoint endpoint(*use.device, EP_DATA_OUT);
    if (endpoint.BindStatus() == usbdrv::USBDRV_ERR_PIPE_NOT_FOUND) {
      log.Write("   ERROR: status == USBDRV_ERR_PIPE_NOT_FOUND, return\n\n");
      return LM_ERROR_NSUP_BULK;
    }
    if (endpoint.Status() != 0) return BindFailure(endpoint.Status());
    std::vector<uint8_t> packet(size + kHeader);
    le::PutU16(&packet[0], static_cast<uint16_t>(packet.size()));
    le::PutU16(&packet[2], id);
    if (size > 0) std::memcpy(&packet[kHeader], data, size);
    uint32_t length = static_cast<uint32_t>(packet.size());
    usbdrv::Status driverStatus = use.device->TransferOut(packet.data(), &length, use->timeout);
    // A packet the device took only in part is not written.
    status = driverStatus == 0 && length == packet.size() ? LM_SUCCESS
             : driverStatus == USBDRV_ERR_TIMEOUT         ? LM_ERROR_TMO
                                                          : LM_ERROR_SYSTEM_ERROR;
  }
  char line[64];
  std::snprintf(line, sizeof line, "   Return value: 0x%lx\n\n", status);
  log.Write(line);
  return status;
}

int ReadData(const void* session, uint16_t id, void* buffer, uint32_t size) {
  TraceLog& log = TheLibrary().Log();
  log.Write("In LmReadData:\n");
  int result = ReadDataPacket(session, id, buffer, size);
  // A packet too long for the buffer is reported as such; another read
  // would take the next packet over it.
  if (result < 0 && result != static_cast<int>(LM_ERROR_USER_BUF))
    result = ReadDataPacket(session, id, buffer, size);
  char line[64];
  std::snprintf(line, sizeof line, "   Return value: 0x%x\n\n", static_cast<unsigned>(result));
  log.Write(line);
  return result;
}

}  // namespace corvel
