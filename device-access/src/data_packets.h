// Bulk data packets: one DataPacket out on 0x02, packets in on 0x81 (or
// 0x83) until the wanted one comes, each read noted in the dump file.
#pragma once

#include <cstdint>

#include "status.h"

namespace corvel {

// The packet id that takes any packet, delivered with its header.
constexpr uint16_t kAnyPacket = 0xFFFF;
// What one bulk read takes at most: one whole packet.
constexpr uint32_t kDataReadSize = 4096;
constexpr char kDumpFilePath[] = "c:\\lmerror.log";

// Whether a received packet (its header zero where nothing was received)
// is the one asked for: a PacketSize other than 0 and the id, or any id.
bool IsWantedPacket(const uint8_t* packet, uint16_t id);
// Copies a wanted packet into the caller's buffer: the payload for an id,
// the whole packet for kAnyPacket. The length, LM_ERROR_USER_BUF when it
// did not fit (the first size bytes are there), or LM_ERROR_RAW_RD_PROT_VIOL
// for a PacketSize beyond what was received or shorter than the header.
int DeliverPacket(const uint8_t* packet, uint32_t received, uint16_t id, void* buffer,
                  uint32_t size);

Status WriteData(const void* session, uint16_t id, const void* data, uint32_t size);
// The byte count delivered, or a status.
int ReadData(const void* session, uint16_t id, void* buffer, uint32_t size);

}  // namespace corvel
