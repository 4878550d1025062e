// Session attributes against the bench: values at open, what may be set,
// and the status codes of read-only, unknown and invalid requests.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "benchctl/bench_control.h"
#include "benchctl/faults_fired.h"
#include "corvel_dll.h"
#include "hwport/port.h"
#include "testsupport/testdir.h"

namespace corvel_test {
namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

class Attributes : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = benchctl::UseBench(
        folder_.Path(),
        benchctl::BenchSpec().TimeScale(1000).Instrument(8, "A12345").With("Product", "TR430"));
    ASSERT_FALSE(file_.empty()) << hwport::BenchLoadError();
    ASSERT_TRUE(dll_.Bound());
    ASSERT_EQ(0, dll_.LibInit());
    ASSERT_EQ(0, dll_.OpenDevice("USB::0xE7B::0x8::12345::INSTR", &session_));
  }
  void TearDown() override {
    if (session_) dll_.CloseDevice(session_);
    benchctl::ExpectFaultsFired(file_);
  }
  // The bytes the attribute fills, up to the first byte left as it was.
  std::vector<uint8_t> Get(DWORD id, int* status) {
    uint8_t buffer[300];
    std::memset(buffer, 0xA5, sizeof buffer);
    *status = dll_.GetAttribute(session_, id, buffer);
    size_t n = sizeof buffer;
    while (n > 0 && buffer[n - 1] == 0xA5) --n;
    return std::vector<uint8_t>(buffer, buffer + n);
  }
  testsupport::TestFolder folder_;
  std::string file_;
  CorvelDll dll_;
  LmSession session_ = nullptr;
};

std::vector<uint8_t> U32(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}
std::vector<uint8_t> U16(uint16_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }
std::vector<uint8_t> Text(const char* t) { return std::vector<uint8_t>(t, t + std::strlen(t) + 1); }

TEST_F(Attributes, ValuesAtOpen) {
  struct Case {
    DWORD id;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {1, U32(0)},        {2, Text("USB::0xE7B::0x8::12345::INSTR")},
      {3, U32(10000)},    {4, U32(0xE7B)},
      {5, U32(8)},        {6, Text("Rev 1.0.0, 12/2004, DEBUG")},
      {7, Text("TR430")}, {8, U16(1)},
      {9, U16(0x67FF)},   {10, U16(0)},
      {11, U32(1)},       {100, U16(0)},
      {101, U16(0)},
  };
  for (const Case& c : cases) {
    int status = -1;
    EXPECT_EQ(c.bytes, Get(c.id, &status)) << "attribute " << c.id;
    EXPECT_EQ(0, status) << "attribute " << c.id;
  }
}

TEST_F(Attributes, SetKeepsU32WholeAndU16LowHalf) {
  struct Case {
    DWORD id;
    DWORD value;
    int status;
    std::vector<uint8_t> after;
  };
  const int readOnly = Status(LM_ERROR_ATTR_READONLY);
  const std::vector<Case> cases = {
      {1, 0x12345678, 0, U32(0x12345678)},
      {3, 0xFFFFFFFF, 0, U32(0xFFFFFFFF)},
      {3, 0, 0, U32(0)},
      {8, 0x10000, 0, U16(0)},
      {9, 0xABCD1234, 0, U16(0x1234)},
      {10, 1, 0, U16(1)},
      {100, 0xFFFF, 0, U16(0xFFFF)},
      {101, 0x20001, 0, U16(1)},
      {2, 1, readOnly, Text("USB::0xE7B::0x8::12345::INSTR")},
      {4, 1, readOnly, U32(0xE7B)},
      {5, 1, readOnly, U32(8)},
      {6, 1, readOnly, Text("Rev 1.0.0, 12/2004, DEBUG")},
      {7, 1, readOnly, Text("TR430")},
      {11, 5, readOnly, U32(1)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.status, dll_.SetAttribute(session_, c.id, c.value)) << "attribute " << c.id;
    int status = -1;
    EXPECT_EQ(c.after, Get(c.id, &status)) << "attribute " << c.id;
  }
}

TEST_F(Attributes, UnknownIdsNullOutputAndUnknownSessions) {
  const int unsupported = Status(LM_ERROR_NSUP_ATTR);
  for (DWORD id : {0u, 12u, 99u, 102u, 0xFFFFFFFFu}) {
    EXPECT_EQ(unsupported, dll_.SetAttribute(session_, id, 0)) << id;
    int status = 0;
    EXPECT_TRUE(Get(id, &status).empty()) << id;
    EXPECT_EQ(unsupported, status) << id;
  }
  EXPECT_EQ(Status(LM_ERROR_PARAMETER3), dll_.GetAttribute(session_, 1, nullptr));
  int stranger = 0;
  const int invalid = Status(LM_ERROR_INV_OBJECT);
  DWORD value = 0;
  for (LmSession s : {static_cast<LmSession>(nullptr), static_cast<LmSession>(&stranger)}) {
    EXPECT_EQ(invalid, dll_.SetAttribute(s, 1, 0));
    EXPECT_EQ(invalid, dll_.GetAttribute(s, 1, &value));
    EXPECT_EQ(invalid, dll_.GetAttribute(s, 1, nullptr));
    EXPECT_EQ(invalid, dll_.CloseDevice(s));
  }
}

TEST_F(Attributes, ProductStringReadFailures) {
  struct Case {
    const char* name;
    const char* fault;
    int status;
  };
  const std::vector<Case> cases = {
      {"DeviceNotResponding", "Operation=ReadDescriptor After=2 Action=Status Status=0xE0000005",
       Status(LM_ERROR_DEVICE_DISCONNECTED)},
      {"DeviceRemoved", "Operation=ReadDescriptor After=2 Action=Status Status=0xE000100A",
       Status(LM_ERROR_DEVICE_DISCONNECTED)},
      {"StringReadBringsNoBytes",
       "Operation=ReadDescriptor After=3 Action=Status Status=0xE0000004",
       Status(LM_ERROR_SYSTEM_ERROR)},
  };
  for (const Case& c : cases) {
    if (session_) dll_.CloseDevice(session_);
    session_ = nullptr;
    dll_.LibExit();
    benchctl::ExpectFaultsFired(file_);
    file_ = benchctl::UseBench(folder_.Path(), benchctl::BenchSpec()
                                                   .TimeScale(1000)
                                                   .Instrument(8, "A12345")
                                                   .With("Product", "TR430")
                                                   .Fault(c.fault));
    ASSERT_FALSE(file_.empty());
    ASSERT_EQ(0, dll_.LibInit());
    // The refresh's two reads pass: the fault fires on the session's.
    ASSERT_EQ(0, dll_.OpenDevice("USB::0xE7B::0x8::12345::INSTR", &session_)) << c.name;
    char text[300];
    EXPECT_EQ(c.status, dll_.GetAttribute(session_, 7, text)) << c.name;
  }
}

}  // namespace
}  // namespace corvel_test
