#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/device_updater.h"
#include "environment/log_writer.h"
#include "environment/system_environment.h"
#include "kestor_process.h"
#include "state/shared_values.h"

namespace {

struct OsRow {
  unsigned platform, major, minor;
  bool supportedBefore;
  const char* name;
  bool supportedAfter;
};

TEST(SystemEnvironment, NamesAndAcceptsOnlyWindows2000AndXp) {
  const OsRow rows[] = {
      {1, 4, 0, true, "Windows 95", false},       {1, 4, 10, true, "Windows 98", false},
      {1, 4, 90, true, "Windows ME", false},      {1, 4, 5, true, "unknown", false},
      {2, 3, 51, true, "Windows NT 3.51", false}, {2, 4, 0, true, "Windows NT 4.0", false},
      {2, 5, 0, false, "Windows 2000", true},     {2, 5, 1, false, "Windows XP", true},
      {2, 5, 2, false, "Windows XP", true},       {2, 6, 0, false, "unknown", false},
      {2, 6, 0, true, "unknown", true},           {3, 5, 1, false, "unknown", false},
  };
  for (const OsRow& row : rows) {
    bool supported = row.supportedBefore;
    EXPECT_EQ(OperatingSystemName(row.platform, row.major, row.minor, &supported), row.name)
        << row.platform << " " << row.major << "." << row.minor;
    EXPECT_EQ(supported, row.supportedAfter)
        << row.platform << " " << row.major << "." << row.minor;
  }
}

TEST(SystemEnvironment, ThisPrefixIsWindowsXp) {
  SystemEnvironment environment;
  EXPECT_TRUE(environment.CheckOperatingSystem());
  EXPECT_EQ(environment.OsName(), "Windows XP");
}

// Restores TEMP and TMP when the test ends.
class SavedTempVariables {
 public:
  SavedTempVariables() : temp_(Get("TEMP")), tmp_(Get("TMP")) {}
  ~SavedTempVariables() {
    SetEnvironmentVariableA("TEMP", temp_.c_str());
    SetEnvironmentVariableA("TMP", tmp_.c_str());
  }

 private:
  static std::string Get(const char* name) {
    char value[1024] = {};
    GetEnvironmentVariableA(name, value, sizeof value);
    return value;
  }
  std::string temp_, tmp_;
};

TEST(SystemEnvironment, TempFolderComesFromTempThenTmp) {
  SavedTempVariables saved;
  SetEnvironmentVariableA("TEMP", "C:\\from-temp");
  SetEnvironmentVariableA("TMP", "C:\\from-tmp");
  EXPECT_EQ(SystemEnvironment().DebugLogPath(), "C:\\from-temp\\LM_Logfile.txt");
  SetEnvironmentVariableA("TEMP", "");
  EXPECT_EQ(SystemEnvironment().TempFolder(), "C:\\from-tmp");
  SetEnvironmentVariableA("TEMP", nullptr);
  SetEnvironmentVariableA("TMP", nullptr);
  SystemEnvironment none;
  EXPECT_EQ(none.TempFolder(), "");
  EXPECT_EQ(none.DebugLogPath(), "\\LM_Logfile.txt");
}

struct ArgumentsRow {
  std::vector<std::string> args;
  int traceLevel;
  bool automatic;
  bool stringTrace;
};

TEST(DeviceUpdater, CommandLineSetsTheFlags) {
  const ArgumentsRow rows[] = {
      {{}, 0, false, false},
      {{"-d1"}, 1, false, false},
      {{"-D3"}, 2, false, false},
      {{"-d5", "-d1"}, 1, false, false},
      {{"-d6", "d1", "-a1"}, 0, false, false},
      {{"-A", "-s2p"}, 0, true, true},
  };
  for (const ArgumentsRow& row : rows) {
    kestortest::KestorProcess process;
    DeviceUpdater updater(row.args);
    std::string line;
    for (const auto& a : row.args) line += a + " ";
    EXPECT_EQ(traceLevel.load(), row.traceLevel) << line;
    EXPECT_EQ(automaticUpdate.load(), row.automatic) << line;
    EXPECT_EQ(stringTrace.load(), row.stringTrace) << line;
    EXPECT_EQ(updater.Switches().trace, row.traceLevel) << line;
    EXPECT_EQ(updater.Switches().automatic, row.automatic) << line;
    EXPECT_EQ(updater.Switches().stringProtocolTrace, row.stringTrace) << line;
    EXPECT_EQ(updater.GetCancelState(), CANCEL_STATE_IDLE) << "idle until an update starts";
  }
}

}  // namespace
