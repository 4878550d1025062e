// The serial-number list and descriptor texts, as bytes.
#include "serial_list.h"

#include <gtest/gtest.h>

namespace qlinkx {
namespace {

TEST(SerialListText, EachSerialFillsTenCharactersAfterItsSemicolon) {
  EXPECT_EQ("", SerialListText({}, 2000));
  EXPECT_EQ(";0000004711", SerialListText({"0000004711"}, 2000));
  EXPECT_EQ(";2001      ;2002      ", SerialListText({"2001", "2002"}, 2000));
  EXPECT_EQ(";safety mode", SerialListText({"safety mode"}, 2000));
  EXPECT_EQ(";          ", SerialListText({""}, 2000));
}

TEST(SerialListText, OnlyWholeEntriesThatLeaveRoomForTheZeroAreListed) {
  EXPECT_EQ(";1         ", SerialListText({"1", "2"}, 12));
  EXPECT_EQ(";1         ;2         ", SerialListText({"1", "2"}, 23));
  EXPECT_EQ("", SerialListText({"1"}, 11));
  EXPECT_EQ("", SerialListText({"1"}, 0));
}

TEST(StringDescriptorText, TheHeadAndTheBytesReceivedBothLimitTheText) {
  const uint8_t d[] = {8, 3, 'A', 0, 'B', 0, 'C', 0, 'D', 0};
  EXPECT_EQ(u"ABC", StringDescriptorText(d, sizeof d));
  EXPECT_EQ(u"A", StringDescriptorText(d, 5));
  EXPECT_EQ(u"", StringDescriptorText(d, 1));
  const uint8_t odd[] = {5, 3, 'A', 0, 'B'};
  EXPECT_EQ(u"A", StringDescriptorText(odd, sizeof odd));
  const uint8_t wide[] = {4, 3, 0xAC, 0x20};
  EXPECT_EQ(u"\u20AC", StringDescriptorText(wide, sizeof wide));
}

}  // namespace
}  // namespace qlinkx
