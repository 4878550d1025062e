// The serial-number list, as bytes.
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

}  // namespace
}  // namespace qlinkx
