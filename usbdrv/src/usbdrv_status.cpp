// The driver's status names and texts, and the text of any status.
#include <windows.h>

#include <cstdio>

#include "lumetra/status_table.h"
#include "usbdrv/usbdrv.h"

namespace usbdrv {
namespace {

#define USBDRV_STATUS_ROW(name, code, text) {name, #name, text},
constexpr lm::StatusRow kStatusTable[] = {USBDRV_STATUS_TABLE(USBDRV_STATUS_ROW)};
#undef USBDRV_STATUS_ROW

}  // namespace

const char* StatusName(Status status) { return lm::StatusNameIn(kStatusTable, status); }

const char* StatusText(Status status) { return lm::StatusTextIn(kStatusTable, status); }

std::string DriverStatusText(Status status) {
  std::string text = "Unknown error Code.";
  if (const char* known = StatusText(status)) {
    text = known;
  } else {
    char* message = nullptr;
    DWORD n = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, status, 0x0400, reinterpret_cast<char*>(&message), 0, nullptr);
    if (n && message) text = message;
    if (message) LocalFree(message);
  }
  char head[32];
  std::snprintf(head, sizeof head, "Error code %08X: ", static_cast<unsigned>(status));
  return head + text;
}

}  // namespace usbdrv
