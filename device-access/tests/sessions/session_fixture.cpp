#include "session_fixture.h"

#include "hwport/port.h"

namespace corvel_test {

void SessionTest::Open(const benchctl::BenchSpec& spec) {
  benchctl::ExpectFaultsFired(file_);
  file_ = benchctl::UseBench(folder_.Path(), spec);
  ASSERT_FALSE(file_.empty()) << hwport::BenchLoadError();
  ASSERT_TRUE(dll_.Bound());
  ASSERT_EQ(0, dll_.LibInit());
  ASSERT_EQ(0, dll_.OpenDevice(kInstrumentResource, &session_));
  benchctl::ClearRecord();
}

void SessionTest::End() {
  if (session_) dll_.CloseDevice(session_);
  session_ = nullptr;
  dll_.LibExit();
}

std::vector<std::string> SessionTest::Calls(const std::string& part) {
  std::vector<std::string> calls;
  for (const std::string& line : benchctl::CallRecord(part))
    calls.push_back(line.substr(line.find(' ') + 1));
  return calls;
}

}  // namespace corvel_test
