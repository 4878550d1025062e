// One MMI update file sent to the front panel: its header packet, then its
// data packets, each through the power supply's string protocol with up to
// 30 tries, under the dialog's response timer.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "device/mmi_operations.h"
#include "environment/log_writer.h"
#include "hwport/clock.h"
#include "vocabulary/step_codes.h"

namespace {

constexpr int kPacketTries = 30;
constexpr DWORD kRetryPauseMs = 500;
constexpr UINT kHeaderTimerMs = 10000;
constexpr UINT kDataTimerMs = 3000;

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The packet's bytes as the trace shows them: each with `format`, and after
// every 32nd `separator`, the count so far and a line break.
std::string HexDump(const std::vector<uint8_t>& packet, size_t count, const char* format,
                    const char* separator) {
  std::string text;
  char b[8];
  for (size_t i = 0; i < count && i < packet.size(); ++i) {
    std::snprintf(b, sizeof b, format, packet[i]);
    text += b;
    if (separator && (i + 1) % 32 == 0) text += separator + std::to_string(i + 1) + "\n";
  }
  return text + "\n";
}

// level: the command line's trace level.
void TracePacket(int level, const std::string& title, const std::vector<uint8_t>& packet,
                 const char* format, const char* separator) {
  if (level >= 1) {
    LogTrace(title);
    LogTrace(
        HexDump(packet, level >= 2 ? packet.size() : 16, format, level >= 2 ? separator : nullptr));
  }
}

// The record of a file with this header and size, traced at level 1.
void FillRecord(int level, MmiFileRecord& record, const mmi::FileHeader& header, uint64_t size) {
  record.Size = size;
  const mmi::PacketCount count = mmi::CountPackets(size);
  record.Packets = count.packets;
  record.Endpacket = count.endpacket;
  const mmi::NameFlags flags = mmi::FlagsOfName(record.Filename);
  record.bflag = flags.bflag;
  record.rflag = flags.rflag;
  record.Device = header.device;
  record.Type = header.type;
  record.Version = header.version;
  record.LmPath = header.lmPath;
  record.HeaderText = header.headerText;
  if (level >= 1) {
    LogTrace("        Filename : " + record.Filename + "\n        Device   : " + record.Device +
             "\n        Type     : " + record.Type + "\n        LM-Path  : " + record.LmPath +
             "\n        Version  : " + record.Version +
             "\n        bflag    : " + (record.bflag ? "true" : "false") +
             "\n        rflag    : " + (record.rflag ? "true" : "false") +
             "\n        Size     : " + std::to_string(static_cast<uint32_t>(size)) +
             "\n        Packets  : " + std::to_string(record.Packets) + "\n        Endpacket: " +
             std::to_string(record.Endpacket) + "\n---------------------------\n\n");
  }
}

void TraceHeaderPacket(int level, const std::vector<uint8_t>& headerPacket) {
  if (level < 1) return;
  LogTrace(level >= 2 ? "string for MMI-Upd (All):\n"
                      : "        Data for MMI-Upd (1st 16 bytes): ");
  LogTrace(HexDump(headerPacket, level >= 2 ? headerPacket.size() : 16, "%02X ",
                   level >= 2 ? " - " : nullptr));
  LogTrace(TRACE_LEVEL_2, "        string2PS next\n");
}

// An open MMI file, closed on every way out.
class MmiFile {
 public:
  explicit MmiFile(const std::string& path)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~MmiFile() {
    if (Open()) CloseHandle(handle_);
  }
  MmiFile(const MmiFile&) = delete;
  MmiFile& operator=(const MmiFile&) = delete;

  bool Open() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool Size(uint64_t* size) const {
    DWORD high = 0;
    DWORD low = GetFileSize(handle_, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    *size = static_cast<uint64_t>(high) << 32 | low;
    return true;
  }
  // Reads up to n bytes at offset; the bytes read (none when reading failed).
  std::vector<uint8_t> Read(uint64_t offset, size_t n) const {
    std::vector<uint8_t> bytes(n, 0);
    LONG high = static_cast<LONG>(offset >> 32);
    if (SetFilePointer(handle_, static_cast<LONG>(offset & 0xFFFFFFFF), &high, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR) {
      return {};
    }
    DWORD got = 0;
    if (!ReadFile(handle_, bytes.data(), static_cast<DWORD>(n), &got, nullptr)) got = 0;
    bytes.resize(got);
    return bytes;
  }

 private:
  HANDLE handle_;
};

}  // namespace

int32_t MmiOperations::SendMmiPacket(const std::vector<uint8_t>& packet, UINT timerMs,
                                     int32_t* breakCode) {
  // The timer runs on the wall while the exchange runs on the port's clock:
  // it is scaled with it, so a bench that runs faster fires it sooner too.
  channel_.ArmMmiTimer(static_cast<LPARAM>(hwport::RealMilliseconds(timerMs)));
  *breakCode = 0;
  int32_t r = strings_.Send(record_.powerSupply.productId, packet, 0, breakCode, true);
  channel_.DisarmMmiTimer();
  LogTrace(TRACE_LEVEL_2, "        string2PS done : retval  " + std::to_string(r) +
                              " break: " + std::to_string(*breakCode) + "\n");
  if (r < 0 || (r == 0 && *breakCode != 0)) {
    LogTrace(r < 0 ? "Error in sending\n" : "BreakError in sending\n");
    LogTrace("retval  :" + std::to_string(r) + "\nbreak: " + std::to_string(*breakCode) + "\n");
  }
  return r;
}

int32_t MmiOperations::UpdateMmiFile(MmiFileRecord& record) {
  channel_.PostStepProgress(0, kStepSendingMmiFile);
  MmiFile file(record.Filename);
  uint64_t size = 0;
  std::vector<uint8_t> head;
  if (file.Open() && file.Size(&size)) head = file.Read(0, mmi::kFileHeaderSize);
  std::optional<mmi::FileHeader> header = mmi::ParseFileHeader(head);
  if (!header) {
    // A file without its whole header would underflow the packet count.
    LogTrace("MMI file " + record.Filename + " cannot be read or is shorter than its header\n");
    return MMI_FILE_UNREADABLE;
  }
  FillRecord(switches_.trace, record, *header, size);
  if (!SameText(record.Type, "UPDATE")) return MMI_WRONG_TYPE;
  // The field holds 5 characters: a longer model name is compared by its first 5.
  if (!SameText(record.Device, record_.device.name.substr(0, mmi::kDeviceFieldSize)))
    return MMI_WRONG_DEVICE;

  const std::vector<uint8_t> headerPacket = mmi::HeaderPacket(*header, size, record.Packets);
  TraceHeaderPacket(switches_.trace, headerPacket);
  int32_t r = SendUntilTaken(headerPacket, kHeaderTimerMs, nullptr);
  if (r < 0) return r;
  const int64_t steps = static_cast<int64_t>(record.Packets) + 1;
  channel_.PostStepProgress(static_cast<WPARAM>(10000 / steps), kStepSendingMmiFile);
  if (cancel_.Requested()) return MMI_CANCELLED;

  for (int32_t n = 1; n <= record.Packets; ++n) {
    const uint64_t offset =
        mmi::kFileHeaderSize + static_cast<uint64_t>(n - 1) * mmi::kDataPayloadSize;
    const size_t want =
        n == record.Packets ? static_cast<size_t>(record.Endpacket) : mmi::kDataPayloadSize;
    const std::vector<uint8_t> payload = file.Read(offset, want);
    if (payload.size() != want) {
      // Bytes the file did not give are no part of it: nothing made up goes out.
      LogTrace("MMI file " + record.Filename + " could not be read at packet " + std::to_string(n) +
               "\n");
      return MMI_FILE_UNREADABLE;
    }
    const std::vector<uint8_t> packet =
        mmi::DataPacket(n, record.Packets, record.Endpacket, payload);
    TracePacket(switches_.trace, "        Packet (" + std::to_string(n) + ") - Data : ", packet,
                "%0.2X ", " ");
    LogTrace(TRACE_LEVEL_2, "before sendData s2PS\n");
    r = SendUntilTaken(packet, kDataTimerMs, n == record.Packets ? "last" : "data");
    if (r < 0) return r;
    channel_.PostStepProgress(static_cast<WPARAM>((n + 1) * 10000LL / steps), kStepSendingMmiFile);
    LogTrace(TRACE_LEVEL_2, "        Sleep after packet send " + std::to_string(mmiWait_) + "\n");
  }
  LogTrace(TRACE_LEVEL_2, "----------------------------\n\n");
  return 0;
}

// Sends one packet until the panel takes it (result 0, break code 0): 0, or
// MMI_CANCELLED, or MMI_NOT_TAKEN after 30 tries. kind: nullptr for the
// header packet, "data" or "last" for data packets (a cancel is looked at
// after each of their tries, but not once the last packet was taken).
int32_t MmiOperations::SendUntilTaken(const std::vector<uint8_t>& packet, UINT timerMs,
                                      const char* kind) {
  for (int attempt = 0; attempt < kPacketTries; ++attempt) {
    int32_t breakCode = 0;
    int32_t r = SendMmiPacket(packet, timerMs, &breakCode);
    if (kind) LogTrace(TRACE_LEVEL_2, "after sendData s2PS\n");
    const bool taken = r == 0 && breakCode == 0;
    if (taken && kind && std::string(kind) == "last") return 0;
    if (cancel_.Requested() && (kind || !taken)) return MMI_CANCELLED;
    if (taken) return 0;
    hwport::Sleep(kRetryPauseMs);
  }
  LogTrace(kind ? "sending datapacket failed 30 times! stopping update\n"
                : "Sending string failed 3 times! Stopping Update!\n");
  return MMI_NOT_TAKEN;
}
