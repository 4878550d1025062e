// A test with Corvel started on a bench of its own and one session open on
// the instrument the bench holds.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "benchctl/bench_control.h"
#include "benchctl/faults_fired.h"
#include "corvel_dll.h"
#include "testsupport/testdir.h"

namespace corvel_test {

// Waits until done() holds, in small steps, for at most 10 s of the wall:
// the synchronisation point with another thread or the change window.
template <typename Fn>
bool Eventually(Fn done) {
  for (int i = 0; i < 2000; ++i) {
    if (done()) return true;
    Sleep(5);
  }
  return false;
}

constexpr char kInstrumentResource[] = "USB::0xE7B::0x8::12345::INSTR";

class SessionTest : public ::testing::Test {
 protected:
  // The instrument "USB::0xE7B::0x8::12345::INSTR" on a fast clock.
  static benchctl::BenchSpec Instrument() {
    return benchctl::BenchSpec().TimeScale(1000).Instrument(8, "A12345");
  }
  // Every fault rule of the last bench has fired.
  void TearDown() override { benchctl::ExpectFaultsFired(file_); }
  // Starts the library on the bench and opens session_ on the instrument;
  // the call record starts empty after that. Every fault rule of the bench
  // it replaces has fired.
  void Open(const benchctl::BenchSpec& spec);
  // Ends what the last Open started.
  void End();
  // The call record's lines that contain part, without their handle numbers.
  static std::vector<std::string> Calls(const std::string& part);

  testsupport::TestFolder folder_;
  std::string file_;
  CorvelDll dll_;
  LmSession session_ = nullptr;
};

}  // namespace corvel_test
