// A power supply with its instrument on the bench, and Kestor's device
// updater over the qlinkx stand-in, for the tests of the device operations.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "benchctl/bench_control.h"
#include "benchctl/faults_fired.h"
#include "device/device_updater.h"
#include "environment/log_writer.h"
#include "kestor_process.h"
#include "recording_channel.h"
#include "state/shared_values.h"
#include "testsupport/testdir.h"

namespace kestortest {

// The port takes the bench at its first use in the process, whatever test
// comes first.
inline const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

// The trace log stores each "\n" as CR LF; this gives it back as written.
inline std::string Plain(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

// A supply 16 carrying a TR440: supply id 4711, release 1.2 of 24.12.2006,
// supply firmware 3.10, instrument firmware 2.10, front panel 1.02.
inline benchctl::BenchSpec SupplyWithTr440(int scale = 100) {
  benchctl::BenchSpec spec;
  spec.TimeScale(scale)
      .Supply(16, "0000004711")
      .With("SupplyId", "4711")
      .With("Release", "12")
      .With("ReleaseDate", std::to_string(24 + 32 * 12 + 512 * 6))
      .With("Version", "3.10")
      .With("PanelRevision", "1.02")
      .With("Module0", "1,5001234,1362500900")
      .Instrument(5, "0000001001")
      .With("Parent", "0")
      .With("Version", "2.10");
  return spec;
}

// The updater with its worker messages recorded instead of posted; a test
// may act on one (a cancel at a chosen wait).
struct RecordedChannel {
  std::shared_ptr<RecordingChannel> recorder = std::make_shared<RecordingChannel>(false);
};
class RecordingUpdater : private RecordedChannel, public DeviceUpdater {
 public:
  using Message = RecordingChannel::Message;
  explicit RecordingUpdater(const std::vector<std::string>& args)
      : DeviceUpdater(args, recorder), posted(recorder->posted), onPost(recorder->onPost) {
    KestorProcess::Attach(this);
  }
  ~RecordingUpdater() override { KestorProcess::Detach(this); }
  RecordingUpdater(const RecordingUpdater&) = delete;
  RecordingUpdater& operator=(const RecordingUpdater&) = delete;
  std::vector<Message>& posted;
  std::function<void(const Message&)>& onPost;
};

class DeviceBenchTest : public ::testing::Test {
 protected:
  void SetUp() override { SetTraceLogPath(folder_ / "LM_Logfile.txt"); }
  void TearDown() override {
    updater_.reset();
    benchctl::ExpectFaultsFired(bench_);
    SetTraceLogPath({});
  }
  // Lays out the bench and makes the updater (which loads qlinkx).
  void Use(const benchctl::BenchSpec& spec, std::vector<std::string> args = {},
           const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
    SCOPED_TRACE(testing::Message() << "Use called from " << file << ":" << line);
    benchctl::ExpectFaultsFired(bench_);  // of the bench replaced
    bench_ = benchctl::UseBench(folder_.Path(), spec);
    ASSERT_FALSE(bench_.empty());
    updater_ = std::make_unique<RecordingUpdater>(args);
    ASSERT_TRUE(updater_->QlinkxLoaded());
  }
  // The bench with the device found.
  void UseFound(const benchctl::BenchSpec& spec, const char* file = __builtin_FILE(),
                int line = __builtin_LINE()) {
    SCOPED_TRACE(testing::Message() << "UseFound called from " << file << ":" << line);
    Use(spec, {}, file, line);
    ASSERT_TRUE(updater_->FindDevices()) << Trace();
  }
  std::string Trace() { return Plain(testsupport::ReadFileOr(folder_ / "LM_Logfile.txt")); }
  static size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }
  static size_t Sends() { return benchctl::CallRecord("FacId=0x2180").size(); }

  KestorProcess process_;
  testsupport::TestFolder folder_;
  std::string bench_;
  std::unique_ptr<RecordingUpdater> updater_;
};

}  // namespace kestortest
