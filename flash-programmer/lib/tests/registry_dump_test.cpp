// Registry dumps over a key tree the test makes below HKEY_CURRENT_USER.
#include "registry_dump.h"

#include <gtest/gtest.h>
#include <windows.h>

using namespace tessaro;

namespace {

class RegistryDump : public ::testing::Test {
 protected:
  void SetUp() override {
    base = "Software\\LumetraTessaroTest_" + std::to_string(GetCurrentProcessId());
    usb = base + "\\USB";
    Value(usb + "\\Vid_0e7b&Pid_0005\\5&123", "DeviceDesc", REG_SZ, "Lumetra", 8);
    DWORD caps = 0x84;
    Value(usb + "\\Vid_0e7b&Pid_0005\\5&123", "Capabilities", REG_DWORD, &caps, 4);
    Value(usb + "\\Vid_0e7b&Pid_0005\\5&123", "HardwareID", REG_MULTI_SZ, "USB\\Vid\0", 9);
    const BYTE bin[] = {1, 2};
    Value(usb + "\\Vid_0e7b&Pid_0005\\5&123", "Bin", REG_BINARY, bin, 2);
    Value(usb + "\\Vid_0e7b&Pid_0005&MI_00\\6&1", "DeviceDesc", REG_SZ, "Part", 5);
    Value(usb + "\\VID_0E7B&PID_0005&MI_01\\7&1", "DeviceDesc", REG_SZ, "Other case", 11);
    Value(usb + "\\Vid_1234&Pid_0001\\8&1", "DeviceDesc", REG_SZ, "Stranger", 9);
  }
  void TearDown() override { DeleteTree(base); }

  static void DeleteTree(const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
      return;
    char name[512];
    DWORD n = sizeof name;
    std::vector<std::string> children;
    for (DWORD i = 0; (n = sizeof name, RegEnumKeyExA(key, i, name, &n, nullptr, nullptr, nullptr,
                                                      nullptr)) == ERROR_SUCCESS;
         ++i)
      children.emplace_back(name, n);
    RegCloseKey(key);
    for (const std::string& child : children) DeleteTree(path + "\\" + child);
    RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
  }

  static void Value(const std::string& path, const char* name, DWORD type, const void* data,
                    DWORD size) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
  }

  std::string base, usb;
};

std::string Pad(const std::string& s, size_t n) { return s + std::string(n - s.size(), ' '); }

}  // namespace

TEST_F(RegistryDump, DumpsEveryValueSortedWithItsType) {
  TMemoryLines lines;
  RegKeyDump(HKEY_CURRENT_USER, usb + "\\Vid_0e7b&Pid_0005", "5&123", lines);
  EXPECT_EQ(
      std::vector<std::string>({
          "     00.val: " + Pad("\"Bin\"", 48) + "\t " + Pad("REG_BINARY", 13) + "\t [ 01 02 ]",
          "     01.val: " + Pad("\"Capabilities\"", 48) + "\t " + Pad("REG_DWORD", 13) +
              "\t \"0x00000084\"",
          "     02.val: " + Pad("\"DeviceDesc\"", 48) + "\t " + Pad("REG_STR", 13) +
              "\t \"Lumetra\"",
          "     03.val: " + Pad("\"HardwareID\"", 48) + "\t " + Pad("REG_MULTI_STR", 13) +
              "\t \"USB\\Vid#0#0\"",
      }),
      lines.Lines());
}

TEST_F(RegistryDump, MissingKeyIsALineNotAnError) {
  TMemoryLines lines;
  RegKeyDump(HKEY_CURRENT_USER, usb, "nothing", lines);
  EXPECT_EQ(std::vector<std::string>({"     - cannot open key \"\\" + usb + "\\nothing\""}),
            lines.Lines());
  EXPECT_EQ("", RegBinaryText(HKEY_CURRENT_USER, "no such value"));
}

TEST_F(RegistryDump, FindsTheDeviceKeysCaseSensitively) {
  TMemoryLines lines;
  EXPECT_TRUE(FindInstalledUsbDrivers(0x0E7B, 5, lines, HKEY_CURRENT_USER, usb));
  const auto& l = lines.Lines();
  ASSERT_GE(l.size(), 4u);
  EXPECT_EQ("  Searching of installed usb drivers for devices VID=0x0E7B, PID=0x0005", l[0]);
  EXPECT_EQ("  Opened key \"\\" + usb + "\\", l[1]);
  auto has = [&](const std::string& line) {
    return std::find(l.begin(), l.end(), line) != l.end();
  };
  EXPECT_TRUE(has("  Devices: Vid_0e7b&Pid_0005 <<<< our device"));
  EXPECT_TRUE(has("  Devices: Vid_0e7b&Pid_0005&MI_00 <<<< our device"));
  EXPECT_TRUE(has("   - sn.:5&123 "));
  EXPECT_FALSE(has("  Devices: VID_0E7B&PID_0005&MI_01 <<<< our device"));
  bool strangersListed = false;
  for (const std::string& line : l)
    if (line.rfind("  devices: ", 0) == 0 && line.find("Vid_1234&Pid_0001") != std::string::npos &&
        line.find("VID_0E7B&PID_0005&MI_01") != std::string::npos)
      strangersListed = true;
  EXPECT_TRUE(strangersListed);
}

TEST_F(RegistryDump, MissingUsbKey) {
  TMemoryLines lines;
  EXPECT_FALSE(FindInstalledUsbDrivers(1, 2, lines, HKEY_CURRENT_USER, base + "\\none"));
  EXPECT_EQ(std::vector<std::string>({"  cannot open key \"\\" + base + "\\none\\\""}),
            lines.Lines());
}
