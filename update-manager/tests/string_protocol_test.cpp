// The power supply's string protocol: the reply-code table, the buffers the
// supply sends, failed sends and reads, the -20 reassignment and the "-s2p"
// trace.
#include <gtest/gtest.h>

#include "device/mmi_file.h"
#include "device_bench.h"
#include "hwport/clock.h"

namespace {

using kestortest::DeviceBenchTest;
using kestortest::SupplyWithTr440;

class StringProtocolTest : public DeviceBenchTest {
 protected:
  // Sends a query with the supply answering `replies`; the result.
  int32_t Query(const std::string& replies, int32_t count, int32_t* breakCode,
                benchctl::BenchSpec spec = SupplyWithTr440()) {
    if (!replies.empty()) spec.WithDevice(0, "Replies.4041", replies);
    UseFound(spec);
    benchctl::ClearRecord();
    *breakCode = -99;
    return updater_->string2PS(16, mmi::QueryPacket(), count, breakCode, true);
  }
};

TEST_F(StringProtocolTest, ReplyCodeTable) {
  const struct Row {
    const char* replies;
    int32_t count;
    int32_t result;
    int32_t breakCode;
    size_t sends;
  } rows[] = {
      {"33", 0, 0, 0, 1},   {"C4", 0, 0, 5, 1},    {"C0", 100, 0, 1, 1},       {"C1", 100, 0, 2, 1},
      {"C2", 100, 0, 3, 1}, {"C3", 100, 0, 4, 6},  {"C5", 100, 0, 6, 6},       {"C6", 100, 0, 7, 6},
      {"C6", 0, 0, 7, 1},   {"CC", 100, 0, 13, 6}, {"C6 C6 33", 100, 0, 0, 3}, {"BF", 0, 0, 0, 1},
      {"C8", 0, 0, 9, 1},   {"CE", 20, 0, 15, 2},  {"12", 0, 0, 0, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "replies " << row.replies << ", count " << row.count);
    int32_t breakCode = 0;
    EXPECT_EQ(Query(row.replies, row.count, &breakCode), row.result);
    EXPECT_EQ(breakCode, row.breakCode);
    EXPECT_EQ(Sends(), row.sends);
    EXPECT_EQ(updater_->Record().powerSupply.deviceNumber, -1) << "released at the end";
  }
}

TEST_F(StringProtocolTest, FileExistsPausesThreeSecondsOfTheClock) {
  int32_t breakCode = 0;
  const DWORD start = hwport::TickCount();
  EXPECT_EQ(Query("C7 33", 20, &breakCode), 0);
  EXPECT_GE(hwport::TickCount() - start, 3000u);
  EXPECT_EQ(breakCode, 0);
  EXPECT_EQ(Sends(), 2u);
}

TEST_F(StringProtocolTest, ASilentSupplyIsAFailureNotAnAcceptance) {
  benchctl::BenchSpec spec = SupplyWithTr440();
  spec.WithDevice(0, "PanelSilent", "1");
  int32_t breakCode = 0;
  EXPECT_EQ(Query("", 100, &breakCode, spec), DEVICE_NO_REPLY);
  EXPECT_EQ(breakCode, -99) << "the break code stays as it was";
  EXPECT_EQ(Sends(), 6u);
  EXPECT_EQ(updater_->ReadMMIStatus(), DEVICE_NO_REPLY) << "a dead panel is not 'ready'";
}

TEST_F(StringProtocolTest, ADelayedReplyIsWaitedFor) {
  benchctl::BenchSpec spec = SupplyWithTr440(10);
  spec.WithDevice(0, "ReplyDelayMs", "300");
  int32_t breakCode = 0;
  EXPECT_EQ(Query("C4", 0, &breakCode, spec), 0);
  EXPECT_EQ(breakCode, 5);
}

// 200 bytes whose events would all say "accepted".
std::string OversizedReport() {
  std::string report = "C8 00";
  for (int i = 0; i < 24; ++i) report += " 70 61 00 00 00 00 33 00";
  return report + " 00 00 00 00 00 00";
}

TEST_F(StringProtocolTest, BuffersThatDisagreeWithTheirLengthAreReadAgain) {
  const struct {
    const char* name;
    std::string prefix;
  } rows[] = {
      {"first word 18, 10 bytes", "12 00 70 61 00 00 00 00 33 00"},
      {"first word 0, 10 bytes", "00 00 70 61 00 00 00 00 33 00"},
      {"a report of 200 bytes for a buffer of 128", OversizedReport()},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    benchctl::BenchSpec spec = SupplyWithTr440();
    spec.WithDevice(0, "ReplyPrefix", row.prefix);
    int32_t breakCode = 0;
    EXPECT_EQ(Query("C4", 0, &breakCode, spec), 0);
    EXPECT_EQ(breakCode, 5) << "only the real reply counts";
  }
}

TEST_F(StringProtocolTest, EventsOfOtherIdsAreSkippedAndTheLastReplyWins) {
  benchctl::BenchSpec spec = SupplyWithTr440();
  // One buffer: an acknowledgement, a reply C8 (read on), a reply C1.
  spec.WithDevice(0, "ReplyPrefix",
                  "1A 00 FF 67 00 00 00 00 80 21 70 61 00 00 00 00 C8 00 70 61 00 00 00 00 C1 00");
  int32_t breakCode = 0;
  EXPECT_EQ(Query("--", 0, &breakCode, spec), 0);
  EXPECT_EQ(breakCode, 2);
  EXPECT_EQ(Sends(), 1u);
}

TEST_F(StringProtocolTest, FailedSendsAreTriedTenTimesARound) {
  benchctl::BenchSpec spec = SupplyWithTr440();
  spec.Fault("Operation=VendorRequestOut FacId=0x2180 Action=Status Times=0");
  int32_t breakCode = 0;
  EXPECT_EQ(Query("33", 0, &breakCode, spec), -22);
  EXPECT_EQ(Sends(), 10u);
  EXPECT_EQ(breakCode, -99);
  EXPECT_EQ(Query("33", 40, &breakCode, spec), -22);
  EXPECT_EQ(Sends(), 10u) << "later rounds only release";
  EXPECT_EQ(updater_->Record().powerSupply.deviceNumber, -1);
}

TEST_F(StringProtocolTest, WithoutTheLibraryNothingIsSent) {
  UseFound(SupplyWithTr440());
  updater_->FreeLibraries();
  int32_t breakCode = 0;
  EXPECT_EQ(updater_->string2PS(16, mmi::QueryPacket(), 100, &breakCode, true), -5008);
  EXPECT_EQ(breakCode, 0);
  EXPECT_EQ(Sends(), 0u);
}

TEST_F(StringProtocolTest, AStaleNumberIsReassignedForTheSupplyThatWasUsed) {
  for (int supply : {16, 9}) {
    SCOPED_TRACE(testing::Message() << "supply " << supply);
    benchctl::BenchSpec spec;
    spec.TimeScale(100)
        .Supply(supply, "0000004711")
        .With("VanishMs", "1")
        .Instrument(5, "0000001001")
        .With("Parent", "0");
    UseFound(spec);
    process_.TraceLevel(1);
    int32_t breakCode = 0;
    EXPECT_EQ(updater_->string2PS(supply, mmi::QueryPacket(), 0, &breakCode, true), 0);
    EXPECT_EQ(breakCode, 0);
    EXPECT_NE(Trace().find("    readirq = -20, reading again\n"), std::string::npos) << Trace();
    EXPECT_EQ(updater_->Record().powerSupply.deviceNumber, -1);
    process_.TraceLevel(0);
  }
}

TEST_F(StringProtocolTest, AFailedReadReleasesTheSupply) {
  benchctl::BenchSpec spec = SupplyWithTr440();
  spec.WithDevice(0, "VanishMs", "100000");  // gone for good
  UseFound(spec);
  int32_t breakCode = 0;
  EXPECT_EQ(updater_->string2PS(16, mmi::QueryPacket(), 0, &breakCode, false), -20);
  EXPECT_EQ(updater_->Record().powerSupply.deviceNumber, -1);
  EXPECT_NE(Trace().find("        IRQreturn<0\n    IRQ-Return: -20\n"), std::string::npos)
      << Trace();
}

TEST_F(StringProtocolTest, TheStringTraceOfOneCall) {
  UseFound(SupplyWithTr440());
  process_.StringTrace(true);
  int32_t breakCode = 0;
  EXPECT_EQ(updater_->string2PS(16, mmi::QueryPacket(), 0, &breakCode, true), 0);
  const std::string trace = Trace();
  const size_t start = trace.find("    (0)    Start String2PS\n");
  ASSERT_NE(start, std::string::npos) << trace;
  for (const char* part : {"\t\t    SetRegister - sending 0x2180\n",
                           "\t\t    SetRegister - RetVal 0 - stopping sending loop\n",
                           "\t\t    ReadRegister\n", "\t\t    irq =33 --> stopping\n"}) {
    EXPECT_NE(trace.find(part, start), std::string::npos) << part << "\n" << trace;
  }
}

TEST(BreakTexts, TheTable) {
  EXPECT_EQ(BreakText(0), "no Break");
  EXPECT_EQ(BreakText(3), "Paketreihenfolge");
  EXPECT_EQ(BreakText(13), "CRC Error");
  EXPECT_EQ(BreakText(15), "CF");
  EXPECT_EQ(BreakText(16), "");
  EXPECT_EQ(BreakText(-1), "");
  EXPECT_EQ(BreakCodeOf(0xBF), 0);
  EXPECT_EQ(BreakCodeOf(0xC4), 5);
  EXPECT_EQ(BreakCodeOf(0xCE), 15);
  EXPECT_EQ(BreakCodeOf(0x33), 0);
  EXPECT_EQ(BreakCodeOf(0xCF), 0);
}

}  // namespace
