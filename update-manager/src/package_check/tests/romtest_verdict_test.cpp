// The leading number of romtest's output decides; anything but 0 accepts.
#include "package_check/romtest_verdict.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Row {
  const char* output;
  bool accepted;
};

TEST(RomtestVerdict, LeadingNumberOtherThanZeroAccepts) {
  const Row rows[] = {
      {"1", true},    {"0.5", true},    {" 2 words", true}, {"1 package valid\r\n", true},
      {"-1", true},   {"+3", true},     {".5", true},       {"\t\r\n7", true},
      {"0001", true}, {"1e-3", true},   {"0", false},       {"0.0", false},
      {"", false},    {"OK", false},    {"-0", false},      {"000.000x9", false},
      {"   ", false}, {"abc 1", false}, {". 5", false},     {"nan", false},
      {"inf", false}, {"0x1", false},
  };
  for (const Row& r : rows)
    EXPECT_EQ(r.accepted, kestor::RomtestAccepts(r.output)) << "output \"" << r.output << "\"";
}

}  // namespace
