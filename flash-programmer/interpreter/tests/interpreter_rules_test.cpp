// The small rules the interpreter and the device-control flows decide by:
// the status of a failed command, what counts as safe mode, the firmware's
// serial number, the supply alias and the plug-in progress text.
#include <gtest/gtest.h>

#include "tessaro/command_interpreter.h"
#include "tessaro/device_control.h"
#include "tessaro/module_data.h"

using namespace tessaro;

TEST(InterpreterRules, AFailedCommandIsNegativeAndNeverOneOfTheReadersCodes) {
  struct Row {
    int code;
    int16_t status;
  } rows[] = {{0, -256}, {1, -257}, {2, -258}, {3, -259},  {9, -265},
              {10, -10}, {17, -17}, {52, -52}, {200, -200}};
  for (const Row& r : rows)
    EXPECT_EQ(r.status, FailedCommandStatus(r.code)) << "command " << r.code;
}

TEST(InterpreterRules, SafeModeSerials) {
  struct Row {
    const char* serial;
    bool safe;
    const char* firmwareText;
    int64_t firmwareNumber;
  } rows[] = {
      {"12safe", true, "12", 12},
      {"safe12", false, "12", 12},
      {"safety mode", false, "ty mode", -1},
      {"2SAFE001", true, "2001", 2001},
      {"0000001001", false, "0000001001", 1001},
      {"", false, "", -1},
      {"1safe2safe", true, "12safe", -1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.serial);
    EXPECT_EQ(r.safe, SerialSaysSafe(r.serial));
    EXPECT_EQ(r.firmwareText, FirmwareSerialText(r.serial));
    EXPECT_EQ(r.firmwareNumber, FirmwareSerialNumber(r.serial));
  }
}

TEST(InterpreterRules, SupplyProductIdsMatchEachOtherOnlyWithTheAlias) {
  struct Row {
    bool alias;
    uint16_t found, wanted;
    bool match;
  } rows[] = {{false, 9, 16, false}, {true, 9, 16, true}, {true, 16, 9, true},
              {true, 5, 5, true},    {true, 9, 5, false}, {false, 5, 5, true}};
  for (const Row& r : rows) {
    SetPsPidAlias(r.alias);
    EXPECT_EQ(r.match, PidMatches(r.found, r.wanted))
        << "alias " << r.alias << " found " << r.found << " wanted " << r.wanted;
  }
  ResetControlSettings();
}

namespace {

int64_t g_done = 0, g_total = 0;
void WINAPI Status(int64_t* done, int64_t* total) {
  *done = g_done;
  *total = g_total;
}

// A progress display alone.
class Display : public RunEvents {
 public:
  int Ask(const Question&) override { return IDOK; }
};

}  // namespace

TEST(InterpreterRules, PluginProgressIsWrittenIntoTheLastLine) {
  struct Row {
    const char* name;
    int64_t done, total;
    std::string before, after;
    int maximum;
  } rows[] = {
      {"one of eight", 1, 8, "  00.00%  module to files storing...",
       "  12.50%  module to files storing...", 8},
      {"a short line gets blanks first", 1, 2, "  ab", "  50.00%    ", 2},
      {"a total of 0 leaves the line", 0, 0, "  00.00%  x", "  00.00%  x", 0},
      {"done beyond the total", 9, 8, "  00.00%  module", "  112.50 %module", 8},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    g_done = r.done;
    g_total = r.total;
    TMemoryLines lines;
    lines.Add(r.before);
    Display display;
    {
      TNE helper(&display, &Status);
      helper.SetTextTarget(true, &lines, 3, 0);
      helper.Tick();
      EXPECT_EQ(r.maximum, display.ProgressMaximum());
    }
    EXPECT_EQ(0, display.ProgressPosition()) << "the helper resets the display when it goes";
    EXPECT_EQ(r.after, lines.Line(0));
  }
}
