#include "status_texts.h"

#include <cstdio>
#include <cstring>

namespace corvel {
namespace {

constexpr uint32_t kSuccess = 0;
constexpr uint32_t kUnknownStatus = 0x3FFF0085;

struct StatusEntry {
  uint32_t code;
  const char* text;
};

// In the order the texts are looked up.
constexpr StatusEntry kStatusTexts[] = {
    {0x00000000, "Operation completed successfully."},
    {0xBFFF0000, "Unknown system error (miscellaneous error)."},
    {0xBFFF0001, "Corvel library not yet initialized."},
    {0xBFFF0002, "During initialization: Corvel library already initialized."},
    {0xBFFF001D, "The specified attribute is not defined or supported by the referenced session."},
    {0xBFFF000E, "The given session or object reference is invalid."},
    {0xBFFF0012, "Invalid resource reference specified. Parsing error."},
    {0xBFFF0035, "Violation of raw read protocol occurred during transfer."},
    {0xBFFF001F, "The specified attribute is Read Only."},
    {0xBFFF0011,
     "Insufficient location information or the device or resource is not present in the system."},
    {0xBFFF0015, "Timeout expired before operation completed."},
    {0xBFFF002D, "The event queue is overflowed."},
    {0xBFFF002E, "Event queue is already empty."},
    {0xBFFF003C, "Insufficient system resources to perform necessary memory allocation."},
    {0xBFFF002F, "Bulk interface endpoint is not supported by device."},
    {0xBFFF0071,
     "A specified user buffer is not valid or cannot be accessed for the required size."},
    {0xBFFF003E, "A specified device was disconected or switched to local mode."},
    {0xBFFC0001, "Parameter 1 out of range."},
    {0xBFFC0002, "Parameter 2 out of range."},
    {0xBFFC0003, "Parameter 3 out of range."},
    {0xBFFC0004, "Parameter 4 out of range."},
    {0xBFFC0005, "Parameter 5 out of range."},
    {0xBFFC0006, "Parameter 6 out of range."},
    {0xBFFC0007, "Parameter 7 out of range."},
    {0xBFFC0008, "Parameter 8 out of range."},
    {0x3FFF0085, "The status code passed to the operation could not be interpreted."},
};

void CopyPadded(const char* text, char* buffer, int size) {
  if (!buffer || size <= 0) return;
  std::strncpy(buffer, text, static_cast<size_t>(size));
}

}  // namespace

const char* StatusText(uint32_t status) {
  for (const StatusEntry& e : kStatusTexts)
    if (e.code == status) return e.text;
  return nullptr;
}

uint32_t CopyStatusText(uint32_t status, char* buffer, int size) {
  if (const char* text = StatusText(status)) {
    CopyPadded(text, buffer, size);
    return kSuccess;
  }
  char unknown[32];
  std::snprintf(unknown, sizeof unknown, "Unknown Error 0x%X", static_cast<unsigned>(status));
  CopyPadded(unknown, buffer, size);
  return kUnknownStatus;
}

}  // namespace corvel
