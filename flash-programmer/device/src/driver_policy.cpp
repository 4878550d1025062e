// The flash library's driver API version rule and its warning box.
#include "tessaro/driver_policy.h"

#include <windows.h>

#include "tessaro/format_text.h"
#include "tessaro/run_events.h"

namespace tessaro {
namespace {

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
// count as "Ignore" and so take a driver the user never accepted. A hook
// procedure is given no context of its own: the hook it must unhook is here.
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
  int answer = LibraryAsk({text, "Warning", MB_YESNO | MB_ICONWARNING});
  if (g_boxHook) {
    UnhookWindowsHookEx(g_boxHook);
    g_boxHook = nullptr;
  }
  return answer == IDNO;
}

}  // namespace

DriverApiPolicyState& DriverApiState() {
  static DriverApiPolicyState state;
  return state;
}

bool DriverApiPolicy(const usbdrv::DriverInfoRecord& info) {
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
      {usbdrv::DriverStatusText(usbdrv::USBDRV_ERR_API_VERSION), info.APIVersion,
       info.DriverVersion, info.DriverBuildNumber, info.Flags, flagText,
       "APIVersion for Win98 and Win2000: 304 (0x0130) and 321 (0x0141), APIVersion for WinXP: "
       "321 (0x0141)"});
  if (!AskIgnore(text)) return false;
  s.AcceptedVersion = info.APIVersion;
  return true;
}

}  // namespace tessaro
