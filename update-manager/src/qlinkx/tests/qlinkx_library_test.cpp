// Kestor's binding of qlinkx.dll: the library absent, look-alikes that lack
// one function each (the trace entry and result of the missing one, the
// others called through), shutdown, and the real stand-in over the bench.
#include "qlinkx/qlinkx_library.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "benchctl/bench_control.h"
#include "environment/log_writer.h"
#include "hwport/port.h"
#include "testsupport/testdir.h"

namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

using Fn = QlinkxFunction;

// The trace log stores each "\n" as CR LF.
std::string OnDisk(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// The look-alike `fake` by its full path.
std::string Fake(const std::string& fake) {
  return testsupport::TestDir() + "\\qlinkx_fakes\\" + fake + "\\qlinkx.dll";
}

// What each of the seven calls gave, made with the same arguments every time.
struct Outcome {
  int32_t check, assign, unassign, serNrs, getRegister, setRegister, readIrpt, descriptor;
  std::vector<uint8_t> block, registerBuffer;
  std::string serText;
  int32_t irptLength, descriptorSize;
};

Outcome CallAll(QlinkxLibrary& q) {
  Outcome o{};
  o.check = q.CheckAssignDevice();
  o.block.assign(18, 0);
  o.assign = q.AssignDevice(QLINKX_VENDOR_ID, 16, "", o.block.data());
  o.unassign = q.UnAssignDevice(3);
  char text[2048] = {};
  o.serNrs = q.GetSerNrs(QLINKX_VENDOR_ID, 16, text);
  o.serText = text;
  o.registerBuffer.assign(4, 0);
  o.getRegister = q.GetRegister(2, 0x1010, 0, o.registerBuffer.data(), 4);
  const uint8_t zeros[2] = {0, 0};
  o.setRegister = q.SetRegister(2, 0x2333, 0, zeros, 2);
  uint8_t irq[128] = {};
  o.irptLength = 128;
  o.readIrpt = q.ReadIrpt(2, irq, &o.irptLength);
  uint16_t units[512] = {};
  o.descriptorSize = 512;
  o.descriptor = q.GetStringDescriptor(2, 3, units, &o.descriptorSize);
  return o;
}

class QlinkxLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(nullptr, GetModuleHandleA("qlinkx.dll")) << "a library left loaded";
    SetTraceLogPath(folder_ / "LM_Logfile.txt");
  }
  void TearDown() override {
    library_.Free();
    SetTraceLogPath({});
    EXPECT_EQ(nullptr, GetModuleHandleA("qlinkx.dll")) << "the library stays loaded";
  }
  std::string Trace() { return testsupport::ReadFileOr(folder_ / "LM_Logfile.txt"); }
  void ExpectAllMissing(QlinkxLibrary& library, const char* when) {
    for (Fn f : {Fn::AssignDevice, Fn::UnAssignDevice, Fn::GetSerNrs, Fn::GetRegister,
                 Fn::SetRegister, Fn::ReadIrpt, Fn::GetStringDescriptor})
      EXPECT_FALSE(library.Has(f)) << when << ": function " << static_cast<int>(f);
    Outcome o = CallAll(library);
    EXPECT_EQ(QLINKX_NOT_LOADED, o.check) << when;
    EXPECT_EQ(QLINKX_NOT_LOADED, o.assign) << when;
    EXPECT_EQ(std::vector<uint8_t>(18, 0), o.block) << when;
    EXPECT_EQ(0, o.unassign) << when;
    EXPECT_EQ(QLINKX_NOT_LOADED, o.serNrs) << when;
    EXPECT_EQ("", o.serText) << when;
    EXPECT_EQ(QLINKX_FUNCTION_MISSING, o.getRegister) << when;
    EXPECT_EQ(std::vector<uint8_t>(4, 0), o.registerBuffer) << when << ": keeps its zeros";
    EXPECT_EQ(QLINKX_FUNCTION_MISSING, o.setRegister) << when;
    EXPECT_EQ(QLINKX_FUNCTION_MISSING, o.readIrpt) << when;
    EXPECT_EQ(128, o.irptLength) << when;
    EXPECT_EQ(QLINKX_NOT_LOADED, o.descriptor) << when;
    EXPECT_EQ(0, o.descriptorSize) << when;
  }
  // The entries CallAll writes while no library is loaded, in call order.
  static std::string NotLoadedTrace() {
    return OnDisk(
        "Function UnassignDevice not Loaded!\n"
        "Funktion GetRegister was not imported!\n\n\r"
        "Function SetRegister could not be loaded from dll"
        "Library not loaded, cant read irq!\n");
  }

  testsupport::TestFolder folder_;
  // An empty folder's: no qlinkx.dll to be found.
  QlinkxLibrary library_{folder_ / "qlinkx.dll"};
};

TEST_F(QlinkxLibraryTest, WithoutTheLibraryEveryCallFailsWithItsTraceEntry) {
  EXPECT_FALSE(library_.Load());
  EXPECT_FALSE(library_.IsLoaded());
  ExpectAllMissing(library_, "library absent");
  EXPECT_EQ(NotLoadedTrace(), Trace());
  library_.Free();
  EXPECT_EQ(NotLoadedTrace(), Trace()) << "nothing to free, nothing traced";
}

TEST_F(QlinkxLibraryTest, AMissingFunctionIsTracedAndFailsWhileTheOthersAreCalled) {
  // What the look-alike answers to CallAll's arguments when it has the function.
  const Outcome present = [] {
    Outcome o{};
    o.check = 0;
    o.assign = 16001;
    o.block.assign(18, 0xA5);
    o.unassign = 3;
    o.serNrs = 16;
    o.serText = ";FAKE00001 ";
    o.getRegister = 20;
    o.registerBuffer.assign(4, 0x10);
    o.setRegister = 1022;
    o.readIrpt = 2;
    o.irptLength = 10;
    o.descriptor = 23;
    o.descriptorSize = 4;
    return o;
  }();
  struct Row {
    const char* fake;
    Fn missing;
    const char* trace;
  } rows[] = {
      {"complete", Fn::AssignDevice, nullptr},
      {"without_AssignDevice", Fn::AssignDevice, "\nAssignDevice not loaded\n"},
      {"without_UnAssignDevice", Fn::UnAssignDevice, "Function UnassignDevice not Loaded!\n"},
      {"without_GetSerNrs", Fn::GetSerNrs, ""},
      {"without_GetRegister", Fn::GetRegister, "Funktion GetRegister was not imported!\n\n\r"},
      {"without_SetRegister", Fn::SetRegister, "Function SetRegister could not be loaded from dll"},
      {"without_ReadIrpt", Fn::ReadIrpt, ""},
      {"without_GetStringDescriptor", Fn::GetStringDescriptor, ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.fake);
    testsupport::TestFolder rowFolder;
    SetTraceLogPath(rowFolder / "LM_Logfile.txt");
    QlinkxLibrary q(Fake(r.fake));
    ASSERT_TRUE(q.Load());
    const bool complete = r.trace == nullptr;
    for (Fn f : {Fn::AssignDevice, Fn::UnAssignDevice, Fn::GetSerNrs, Fn::GetRegister,
                 Fn::SetRegister, Fn::ReadIrpt, Fn::GetStringDescriptor})
      EXPECT_EQ(complete || f != r.missing, q.Has(f)) << "function " << static_cast<int>(f);

    Outcome expected = present;
    if (!complete) switch (r.missing) {
        case Fn::AssignDevice:
          expected.check = expected.assign = QLINKX_ASSIGN_MISSING;
          expected.block.assign(18, 0);
          break;
        case Fn::UnAssignDevice:
          expected.unassign = 0;
          break;
        case Fn::GetSerNrs:
          expected.serNrs = QLINKX_FUNCTION_MISSING;
          expected.serText = "";
          break;
        case Fn::GetRegister:
          expected.getRegister = QLINKX_FUNCTION_MISSING;
          expected.registerBuffer.assign(4, 0);
          break;
        case Fn::SetRegister:
          expected.setRegister = QLINKX_FUNCTION_MISSING;
          break;
        case Fn::ReadIrpt:
          expected.readIrpt = QLINKX_FUNCTION_MISSING;
          expected.irptLength = 128;
          break;
        case Fn::GetStringDescriptor:
          expected.descriptor = QLINKX_FUNCTION_MISSING;
          expected.descriptorSize = 0;
          break;
      }
    Outcome o = CallAll(q);
    EXPECT_EQ(expected.check, o.check);
    EXPECT_EQ(expected.assign, o.assign);
    EXPECT_EQ(expected.block, o.block);
    EXPECT_EQ(expected.unassign, o.unassign);
    EXPECT_EQ(expected.serNrs, o.serNrs);
    EXPECT_EQ(expected.serText, o.serText);
    EXPECT_EQ(expected.getRegister, o.getRegister);
    EXPECT_EQ(expected.registerBuffer, o.registerBuffer);
    EXPECT_EQ(expected.setRegister, o.setRegister);
    EXPECT_EQ(expected.readIrpt, o.readIrpt);
    EXPECT_EQ(expected.irptLength, o.irptLength);
    EXPECT_EQ(expected.descriptor, o.descriptor);
    EXPECT_EQ(expected.descriptorSize, o.descriptorSize);

    // CheckAssignDevice and AssignDevice each write the AssignDevice entry.
    std::string trace = complete ? "" : r.trace;
    if (!complete && r.missing == Fn::AssignDevice) trace += r.trace;
    EXPECT_EQ(OnDisk(trace), testsupport::ReadFileOr(rowFolder / "LM_Logfile.txt"));

    q.Free();
    EXPECT_EQ(OnDisk(trace + "Freelibrary qlinkx.dll : Success!\n"),
              testsupport::ReadFileOr(rowFolder / "LM_Logfile.txt"));
    EXPECT_EQ(nullptr, GetModuleHandleA("qlinkx.dll"));
  }
}

TEST_F(QlinkxLibraryTest, AfterFreeAllSevenFunctionsCountAsMissing) {
  QlinkxLibrary complete(Fake("complete"));
  ASSERT_TRUE(complete.Load());
  EXPECT_TRUE(complete.Load()) << "loading again keeps the library";
  complete.Free();
  EXPECT_FALSE(complete.IsLoaded());
  EXPECT_EQ(nullptr, GetModuleHandleA("qlinkx.dll"));
  EXPECT_EQ(OnDisk("Freelibrary qlinkx.dll : Success!\n"), Trace());
  ExpectAllMissing(complete, "after Free");
  EXPECT_EQ(OnDisk("Freelibrary qlinkx.dll : Success!\n") + NotLoadedTrace(), Trace());
}

TEST_F(QlinkxLibraryTest, TheStandInServesKestorsCallsOverTheBench) {
  benchctl::BenchSpec spec;
  spec.TimeScale(100)
      .Supply(16, "0000004711")
      .With("Release", "12")
      .With("Version", "1.24")
      .Instrument(5, "0000001001");
  ASSERT_FALSE(benchctl::UseBench(folder_.Path(), spec).empty()) << hwport::BenchLoadError();
  // The stand-in beside this program, found by name as Kestor finds it.
  QlinkxLibrary standIn;
  ASSERT_TRUE(standIn.Load());
  for (Fn f : {Fn::AssignDevice, Fn::UnAssignDevice, Fn::GetSerNrs, Fn::GetRegister,
               Fn::SetRegister, Fn::ReadIrpt, Fn::GetStringDescriptor})
    EXPECT_TRUE(standIn.Has(f)) << "function " << static_cast<int>(f);

  char text[2048] = {};
  EXPECT_EQ(1, standIn.GetSerNrs(QLINKX_VENDOR_ID, 16, text));
  EXPECT_EQ("0000004711", std::string(text).substr(1, 10));
  EXPECT_EQ(1, standIn.GetSerNrs(QLINKX_VENDOR_ID, 5, text));
  EXPECT_EQ(0, standIn.GetSerNrs(QLINKX_VENDOR_ID, 6, text));

  EXPECT_EQ(0, standIn.CheckAssignDevice());
  uint8_t block[18] = {};
  int32_t n = standIn.AssignDevice(QLINKX_VENDOR_ID, 16, "", block);
  ASSERT_EQ(0, n);
  std::vector<uint8_t> supply(758, 0);
  EXPECT_EQ(758, standIn.GetRegister(n, 0x2200, 0, supply.data(), 758)) << "the bytes read";
  EXPECT_EQ(12, supply[298]);
  uint8_t version[4] = {};
  EXPECT_EQ(4, standIn.GetRegister(n, 0x1010, 0, version, 4));
  EXPECT_EQ(1, version[0]);
  EXPECT_EQ(24, version[2]);
  const uint8_t zeros[2] = {0, 0};
  EXPECT_EQ(0, standIn.SetRegister(n, 0x2333, 0, zeros, 2));
  // Each register request is acknowledged on the interrupt endpoint, in order.
  uint8_t irq[128] = {};
  int32_t length = 128;
  for (int facId : {0x2200, 0x1010, 0x2333}) {
    length = 128;
    EXPECT_EQ(0, standIn.ReadIrpt(n, irq, &length));
    ASSERT_EQ(10, length);
    EXPECT_EQ(0x67FF, irq[2] | irq[3] << 8);
    EXPECT_EQ(facId, irq[8] | irq[9] << 8);
  }
  uint16_t units[512] = {};
  int32_t size = 512;
  EXPECT_EQ(0, standIn.GetStringDescriptor(n, 3, units, &size));
  EXPECT_EQ(22, size);
  EXPECT_EQ(u'4', units[7]);
  EXPECT_EQ(n, standIn.UnAssignDevice(n));

  n = standIn.AssignDevice(QLINKX_VENDOR_ID, 16, "", block);
  ASSERT_GE(n, 0);
  ASSERT_TRUE(benchctl::RemoveDevice(0));
  length = 128;
  EXPECT_EQ(-20, standIn.ReadIrpt(n, irq, &length)) << "the power supply left";
  EXPECT_EQ(n, standIn.UnAssignDevice(n));

  EXPECT_EQ("", Trace()) << "no function missing, nothing traced";
  standIn.Free();
  EXPECT_EQ(OnDisk("Freelibrary qlinkx.dll : Success!\n"), Trace());
}

}  // namespace
