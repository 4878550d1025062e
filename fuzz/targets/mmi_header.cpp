// The MMI file header over any bytes: a header exactly when the 1024 bytes
// are there, every text field within its field and free of zero bytes, and
// the header packet carrying the file's path and text fields unchanged.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "device/mmi_file.h"

namespace {

// A text read from a field: no longer than the field, no zero byte in it.
void CheckText(const std::string& text, size_t fieldSize) {
  if (text.size() > fieldSize || text.find('\0') != std::string::npos) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const std::optional<mmi::FileHeader> header = mmi::ParseFileHeader(bytes);
  if (header.has_value() != (size >= mmi::kFileHeaderSize)) std::abort();
  if (!header) return 0;
  CheckText(header->device, mmi::kDeviceFieldSize);
  CheckText(header->type, mmi::kTypeFieldSize);
  CheckText(header->version, mmi::kVersionFieldSize);
  CheckText(header->lmPath, mmi::kLmPathFieldSize);
  CheckText(header->headerText, mmi::kHeaderTextFieldSize);
  if (header->lmPathField.size() != mmi::kLmPathFieldSize ||
      header->headerTextField.size() != mmi::kHeaderTextFieldSize)
    std::abort();

  const mmi::PacketCount count = mmi::CountPackets(size);
  const std::vector<uint8_t> packet = mmi::HeaderPacket(*header, size, count.packets);
  if (packet.size() != mmi::kPacketSize) std::abort();
  if (!std::equal(header->lmPathField.begin(), header->lmPathField.end(), packet.begin() + 16) ||
      packet[16 + mmi::kLmPathFieldSize] != 0 ||
      !std::equal(header->headerTextField.begin(), header->headerTextField.end(),
                  packet.begin() + 16 + mmi::kLmPathFieldSize + 1))
    std::abort();
  return 0;
}
