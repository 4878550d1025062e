// The driver's status texts and the driver API version rule.
#include <cstdio>
#include <cstring>

#include "tessaro/format_text.h"
#include "tessaro/usbdrv.h"

namespace tessaro {
namespace {

struct StatusText {
  uint32_t code;
  const char* text;
};

const StatusText kStatusTexts[] = {
    {0xE0000001, "HC Error: Wrong CRC."},
    {0xE0000002, "HC Error: Wrong bitstuffing."},
    {0xE0000003, "HC Error: Data toggle mismatch."},
    {0xE0000004, "HC Error: stall PID."},
    {0xE0000005, "HC Error: Device not responding."},
    {0xE0000006, "HC Error: PIP check failed."},
    {0xE0000007, "HC Error: Unexpected PID."},
    {0xE0000008, "HC Error: Data Overrun."},
    {0xE0000009, "HC Error: Data Underrun."},
    {0xE000000A, "HC Error: Reserved1."},
    {0xE000000B, "HC Error: Reserved2."},
    {0xE000000C, "HC Error: Buffer Overrun."},
    {0xE000000D, "HC Error: Buffer Underrun."},
    {0xE000000F, "HC Error: Not accessed."},
    {0xE0000010, "HC Error: FIFO error."},
    {0xE0000030, "USBD Error: Endpoint halted."},
    {0xE0000100, "USBD Error: No System Memory."},
    {0xE0000200, "USBD Error: Invalid URB function."},
    {0xE0000300, "USBD Error: Invalid parameter."},
    {0xE0000400, "USBD Error: Error: BUSY."},
    {0xE0000500, "USBD Error: Request failed."},
    {0xE0000600, "USBD Error: Invalid pipe handle."},
    {0xE0000700, "USBD Error: No bandwidth available."},
    {0xE0000800, "USBD Error: Internal HC error."},
    {0xE0000900, "USBD Error: Error: short transfer."},
    {0xE0000A00, "USBD Error: Bad start frame."},
    {0xE0000B00, "USBD Error: Isochronous request failed."},
    {0xE0000C00, "USBD Error: Frame control owned."},
    {0xE0000D00, "USBD Error: Frame control not owned."},
    {0xE0010000, "USBD Error: canceled."},
    {0xE0020000, "USBD Error: canceling."},
    {0xE0001000, "Operation failed."},
    {0xE0001001, "Input buffer too small."},
    {0xE0001002, "Output buffer too small."},
    {0xE0001003, "Out of memory."},
    {0xE0001004, "There are pending requests. Use Abort first."},
    {0xE0001005, "USB device is already configured."},
    {0xE0001006, "USB device is not configured."},
    {0xE0001007, "There are open pipes. Use Unbind/Close first."},
    {0xE0001008, "Pipe is already bound."},
    {0xE0001009, "Handle is not bound to a pipe."},
    {0xE000100A, "Device is removed."},
    {0xE000100B, "Control code is not supported."},
    {0xE000100C, "Request timeout interval has expired."},
    {0xE000100D, "Invalid recipient."},
    {0xE000100E, "Invalid pipe type. Use IOCTRL for control pipe."},
    {0xE000100F, "Invalid IO control code."},
    {0xE0001010, "Invalid direction of IO operation."},
    {0xE0001011, "Too much ISO packets. See registry key!"},
    {0xE0001012, "Request pool empty."},
    {0xE0001013, "Pipe not found."},
    {0xE0001014, "Invalid ISO packet. Offset + Length > Buffer Size!"},
    {0xE0001015, "Out of address space."},
    {0xE0001016, "Interface not found."},
    {0xE0001017, "Invalid device state (stopped or power down)."},
    {0xE0001018, "Invalid parameter."},
    {0xE000101A, "Device is in invalid power state. Use D0."},
    {0xE000101B, "Requests cancelled while device goes power down."},
    {0xE000101C, "API Version does not match."},
    {0xE000101D, "Set configuration failed. Configure one interface only."},
    {0xE0001100, "Device not found."},
    {0xE0001102, "Device not open"},
    {0xE0001104, "No such device instance. Use a different device number."},
    {0xE0001105, "An invalid parameter was passed."},
};

std::string RegistryProductName(const char* key) {
  HKEY k;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return {};
  char value[256] = "";
  DWORD size = sizeof value - 1;
  DWORD type = 0;
  LONG rc =
      RegQueryValueExA(k, "ProductName", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(k);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  value[size < sizeof value ? size : sizeof value - 1] = '\0';
  return value;
}

// A warning box with the buttons "OK" and "&Ignore". It is built from a
// yes/no box, which has no cancel button: Esc or the close box must not
// count as "Ignore" and so take a driver the user never accepted.
HHOOK g_boxHook = nullptr;

LRESULT CALLBACK RenameIgnoreButton(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wParam);
    SetDlgItemTextA(box, IDYES, "OK");
    SetDlgItemTextA(box, IDNO, "&Ignore");
    UnhookWindowsHookEx(g_boxHook);
    g_boxHook = nullptr;
    return 0;
  }
  return CallNextHookEx(g_boxHook, code, wParam, lParam);
}

bool AskIgnore(const std::string& text) {
  g_boxHook = SetWindowsHookExA(WH_CBT, RenameIgnoreButton, nullptr, GetCurrentThreadId());
  int answer = MessageBoxA(nullptr, text.c_str(), "Warning", MB_YESNO | MB_ICONWARNING);
  if (g_boxHook) {
    UnhookWindowsHookEx(g_boxHook);
    g_boxHook = nullptr;
  }
  return answer == IDNO;
}

}  // namespace

std::string DriverStatusText(uint32_t status) {
  std::string text = "Unknown error Code.";
  bool found = false;
  for (const StatusText& s : kStatusTexts)
    if (s.code == status) {
      text = s.text;
      found = true;
      break;
    }
  if (!found) {
    char* message = nullptr;
    DWORD n = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, status, 0x0400, reinterpret_cast<char*>(&message), 0, nullptr);
    if (n && message) text = message;
    if (message) LocalFree(message);
  }
  char head[32];
  std::snprintf(head, sizeof head, "Error code %08X: ", status);
  return head + text;
}

DriverApiPolicyState& DriverApiState() {
  static DriverApiPolicyState state;
  return state;
}

bool DriverApiPolicy(const DriverInfoRecord& info) {
  DriverApiPolicyState& s = DriverApiState();
  std::string flagText = (info.Flags & 0x10) ? "CheckedBuld" : "";
  // Once a version was accepted, that version passes without asking. A
  // different one is judged by the rule again rather than refused unseen,
  // so a correct driver is still taken after an earlier "Ignore".
  if (s.WindowsKind != 0 && s.AcceptedVersion != 0 && info.APIVersion == s.AcceptedVersion)
    return true;
  auto read = s.ReadProductName ? s.ReadProductName : &RegistryProductName;
  bool accept = false;
  std::string product = read("Software\\Microsoft\\Windows NT\\CurrentVersion");
  if (product == "Microsoft Windows XP") {
    s.WindowsKind = 3;
    accept = info.APIVersion == 0x0141;
  } else if (product == "Microsoft Windows 2000") {
    s.WindowsKind = 2;
    accept = info.APIVersion == 0x0130 || info.APIVersion == 0x0141;
  } else if (product.empty()) {
    if (read("Software\\Microsoft\\Windows\\CurrentVersion") == "Microsoft Windows 98") {
      s.WindowsKind = 1;
      accept = info.APIVersion == 0x0130 || info.APIVersion == 0x0141;
    }
  }
  if (accept) s.AcceptedVersion = info.APIVersion;
  s.DriverApi0141 = info.APIVersion == 0x0141;
  if (accept) return true;
  std::string text = FormatText(
      "%s\r\nActual Driver:\r\n - APIVersion: %1:d (0x%1:4.4X)\r\n - DriverVersion: %2:d "
      "(0x%2:4.4X)\r\n - DriverBuildNumber: %3:d (0x%3:8.8X)\r\n - Flags: %4:d "
      "(0x%4:8.8X)[%s]\r\nNecessary Driver:\r\n - %s\r\n(Ignore: try continue with different "
      "driver)",
      {DriverStatusText(USBDRV_ERR_API_VERSION), info.APIVersion, info.DriverVersion,
       info.DriverBuildNumber, info.Flags, flagText,
       "APIVersion for Win98 and Win2000: 304 (0x0130) and 321 (0x0141), APIVersion for WinXP: "
       "321 (0x0141)"});
  if (!AskIgnore(text)) return false;
  s.AcceptedVersion = info.APIVersion;
  return true;
}

}  // namespace tessaro
