// The bench's INI engine on its own: what a value read finds, and what a
// change does to the lines around it.
#include "bench/ini_text.h"

#include <gtest/gtest.h>

namespace {

const char kText[] =
    "; head comment\r\n"
    "[Bench]\r\n"
    "  TimeScale = 100  \r\n"
    "# CycleMs=5\r\n"
    "[device0]\r\n"
    "ProductId=5\r\n"
    "ProductId=6\r\n"
    "Bare line\r\n"
    "[Fault1\r\n"
    "Action=Remove\r\n"
    "[Device0]\r\n"
    "Serial=1001\n";

struct GetCase {
  const char* section;
  const char* key;
  const char* expected;
};

TEST(IniText, ValuesAreFoundAsTheBenchFileDocumentsThem) {
  const bench::IniText ini(kText);
  const GetCase cases[] = {
      {"Bench", "TimeScale", "100"},   // trimmed around key and value
      {"bench", "timescale", "100"},   // ASCII case does not matter
      {"Bench", "CycleMs", "<none>"},  // a '#' line is a comment
      {"Device0", "ProductId", "6"},   // a key written again overrides
      {"Device0", "Serial", "1001"},   // a section written twice is one section
      {"Fault1", "Action", "Remove"},  // a header without ']' still opens its section
      {"Device0", "Bare line", "<none>"}, {"Nothing", "Key", "<none>"},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].expected, ini.Get(cases[i].section, cases[i].key, "<none>"))
        << "case " << i << ": [" << cases[i].section << "] " << cases[i].key;
  EXPECT_EQ((std::vector<std::string>{"Bench", "device0", "Fault1"}), ini.Sections());
}

TEST(IniText, AChangeTouchesOnlyItsOwnLine) {
  bench::IniText ini(
      "; head\r\n"
      "[A]\r\n"
      "x=1\r\n"
      "; about y\r\n"
      "y=2\r\n"
      "\r\n"
      "[B]\r\n"
      "z=3\r\n");
  ini.Set("a", "Y", "20");
  ini.Set("A", "w", "4");
  ini.Set("C", "v", "5");
  EXPECT_TRUE(ini.Remove("B", "z"));
  EXPECT_FALSE(ini.Remove("B", "z"));
  EXPECT_EQ(
      "; head\r\n"
      "[A]\r\n"
      "x=1\r\n"
      "; about y\r\n"
      "Y=20\r\n"
      "w=4\r\n"
      "\r\n"
      "[B]\r\n"
      "\r\n"
      "[C]\r\n"
      "v=5\r\n",
      ini.Text());
}

TEST(IniText, AKeyWrittenAgainIsChangedWhereItCountsAndRemovedEverywhere) {
  bench::IniText ini("[D]\r\nSerial=4711\r\nSerial=4500000000\r\n");
  ini.Set("D", "Serial", "1");
  EXPECT_EQ("[D]\r\nSerial=4711\r\nSerial=1\r\n", ini.Text());
  EXPECT_TRUE(ini.Remove("D", "Serial"));
  EXPECT_EQ("[D]\r\n", ini.Text());
  EXPECT_EQ("gone", ini.Get("D", "Serial", "gone"));
}

}  // namespace
