#include "registry_dump.h"

#include <algorithm>
#include <vector>

#include "tessaro/format_text.h"
#include "tessaro/text_utils.h"

namespace tessaro {
namespace {

class Key {
 public:
  Key(HKEY root, const std::string& path) {
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
  }
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY Handle() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }

  std::vector<std::string> SubkeyNames() const {
    std::vector<std::string> names;
    char name[512];
    for (DWORD i = 0;; ++i) {
      DWORD n = sizeof name;
      if (RegEnumKeyExA(key_, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        break;
      names.emplace_back(name, n);
    }
    return names;
  }
  std::vector<std::string> ValueNames() const {
    std::vector<std::string> names;
    char name[16384];
    for (DWORD i = 0;; ++i) {
      DWORD n = sizeof name;
      if (RegEnumValueA(key_, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        break;
      names.emplace_back(name, n);
    }
    return names;
  }

 private:
  HKEY key_ = nullptr;
};

// The value's bytes read into a buffer 2 bytes longer than its size, cut to
// the count the registry returned. False when the value does not exist.
bool ReadValue(HKEY key, const std::string& name, DWORD* type, std::vector<uint8_t>& bytes) {
  DWORD size = 0;
  if (RegQueryValueExA(key, name.c_str(), nullptr, type, nullptr, &size) != ERROR_SUCCESS)
    return false;
  bytes.assign(size + 2, 0);
  DWORD got = size + 2;
  if (RegQueryValueExA(key, name.c_str(), nullptr, type, bytes.data(), &got) != ERROR_SUCCESS)
    return false;
  bytes.resize(got);
  return true;
}

// The registry layer's type codes: 0 other, 1 string, 2 expandable, 3 integer, 4 binary.
int TypeCode(DWORD type) {
  switch (type) {
    case REG_SZ:
      return 1;
    case REG_EXPAND_SZ:
      return 2;
    case REG_DWORD:
      return 3;
    case REG_BINARY:
      return 4;
    default:
      return 0;
  }
}

const char* TypeName(int code) {
  static const char* const kNames[] = {"REG_MULTI_STR", "REG_STR", "REG_EXP_STR", "REG_DWORD",
                                       "REG_BINARY"};
  return kNames[code];
}

std::string Joined(const std::string& a, const std::string& b) {
  return a.empty() ? b : b.empty() ? a : a + "\\" + b;
}

}  // namespace

std::string RegBinaryText(HKEY key, const std::string& valueName) {
  DWORD type = 0;
  std::vector<uint8_t> bytes;
  if (!ReadValue(key, valueName, &type, bytes)) return {};
  return "[ " + HexBytes(bytes.data(), bytes.size()) + "]";
}

std::string RegCharText(HKEY key, const std::string& valueName) {
  DWORD type = 0;
  std::vector<uint8_t> bytes;
  if (!ReadValue(key, valueName, &type, bytes)) return {};
  return "\"" + CharBytes(bytes.data(), bytes.size()) + "\"";
}

void RegKeyDump(HKEY root, const std::string& currentPath, const std::string& subkey,
                TLineList& list) {
  std::string path = Joined(currentPath, subkey);
  Key key(root, path);
  if (!key) {
    list.Add(FormatText("     - cannot open key \"%s\"", {"\\" + currentPath + "\\" + subkey}));
  } else {
    std::vector<std::string> names = key.ValueNames();
    std::sort(names.begin(), names.end());
    for (size_t k = 0; k < names.size(); ++k) {
      DWORD type = 0;
      DWORD size = 0;
      bool known = RegQueryValueExA(key.Handle(), names[k].c_str(), nullptr, &type, nullptr,
                                    &size) == ERROR_SUCCESS;
      int code = TypeCode(type);
      std::string line =
          FormatText("     %2.2d.val: %s\t %s\t",
                     {static_cast<unsigned>(k), PadRight("\"" + names[k] + "\"", 48, ' '),
                      PadRight(TypeName(code), 13, ' ')});
      if (known) {
        std::vector<uint8_t> bytes;
        if (code == 0) {
          line += " " + RegCharText(key.Handle(), names[k]);
        } else if (code == 1 || code == 2) {
          if (ReadValue(key.Handle(), names[k], &type, bytes))
            line += " \"" + std::string(reinterpret_cast<const char*>(bytes.data())) + "\"";
        } else if (code == 3) {
          DWORD value = 0, n = sizeof value;
          RegQueryValueExA(key.Handle(), names[k].c_str(), nullptr, nullptr,
                           reinterpret_cast<BYTE*>(&value), &n);
          line += " \"" + FormatText("0x%8.8x", {value}) + "\"";
        } else {
          line += " " + RegBinaryText(key.Handle(), names[k]);
        }
      }
      list.Add(line);
    }
  }
  Key back(root, currentPath);
  if (!back) list.Add(FormatText("     - cannot open back key \"%s\"", {"\\" + currentPath}));
}

bool FindInstalledUsbDrivers(uint16_t vid, uint16_t pid, TLineList& list, HKEY root,
                             const std::string& usbKey) {
  std::string shown = "\\" + usbKey + "\\";
  Key key(root, usbKey);
  if (!key) {
    list.Add(FormatText("  cannot open key \"%s\"", {shown}));
    return false;
  }
  list.Add(FormatText("  Searching of installed usb drivers for devices VID=0x%4.4X, PID=0x%4.4X",
                      {vid, pid}));
  list.Add(FormatText("  Opened key \"%s", {shown}));
  std::string target = FormatText("Vid_%4.4x&Pid_%4.4x", {vid, pid});
  std::vector<std::string> names = key.SubkeyNames();
  if (names.empty()) return false;
  for (const std::string& name : names) {
    if (name.find(target) == std::string::npos) {
      int last = list.Count() - 1;
      if (last >= 0 && list.Line(last).rfind("  devices:", 0) == 0)
        list.SetLine(last, list.Line(last) + ", " + name);
      else
        list.Add("  devices: " + name);
      continue;
    }
    list.Add("  Devices: " + name + " <<<< our device");
    std::string devicePath = Joined(usbKey, name);
    Key device(root, devicePath);
    if (!device) {
      list.Add(FormatText("   - cannot open key \"%s\"", {shown + name}));
      continue;
    }
    for (const std::string& instance : device.SubkeyNames()) {
      list.Add(FormatText("   - sn.:%s ", {instance}));
      RegKeyDump(root, devicePath, instance, list);
    }
  }
  return true;
}

}  // namespace tessaro
