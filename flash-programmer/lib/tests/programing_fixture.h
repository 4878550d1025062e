// The command-list tests' fixture: a TR410 with flash on the bench, program
// files with a given command list, and Programing calls in a host process of
// the test's own folder.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "benchctl/bench_control.h"
#include "benchctl/bench_flash.h"
#include "benchctl/faults_fired.h"
#include "host_fixture.h"
#include "hwport/port.h"
#include "run_masks.h"
#include "testsupport/expected_file.h"
#include "testsupport/process.h"
#include "testsupport/uidriver.h"

namespace tessaro_e2e {

using tessaro_test::Bytes;
using tessaro_test::ProgramFileSpec;
using tessaro_test::ProgramFileWriter;

inline benchctl::BenchSpec& WithFlash(benchctl::BenchSpec& s) {
  return s.With("FlashSize", "0x40000")
      .With("FlashBase", "0x400000")
      .With("FlashSectors",
            "0:0x4000,0x4000:0x2000,0x6000:0x2000,0x8000:0x8000,0x10000:0x10000,0x20000:0x10000,"
            "0x30000:0x10000")
      .With("FlashDeviceId", "0x22AB")
      .With("RebootMs", "1500");
}

inline benchctl::BenchSpec Tr410(int scale = 50) {
  benchctl::BenchSpec s;
  s.TimeScale(scale).Instrument(6, "2001");
  WithFlash(s);
  return s;
}

// A TR410 with further "Key=Value" pairs of its section and fault rules.
inline benchctl::BenchSpec Tr410With(const std::vector<std::string>& keys,
                                     const std::vector<std::string>& faults, int scale = 200) {
  benchctl::BenchSpec s = Tr410(scale);
  for (const std::string& kv : keys)
    s.With(kv.substr(0, kv.find('=')), kv.substr(kv.find('=') + 1));
  for (const std::string& f : faults) s.Fault(f);
  return s;
}

inline ProgramFileSpec ListOf(Bytes commands) {
  ProgramFileSpec spec;
  spec.pid = 6;
  spec.commands = std::move(commands);
  return spec;
}

inline const Bytes kWholeUpdate = {26, 27, 10, 18, 20, 12, 14, 15, 16, 19, 21, 22};

// What one Programing call gave: its result and the GetStatus word after it.
struct Outcome {
  std::string result, status;
};

class ProgramingFixture : public ::testing::Test {
 protected:
  void Use(const benchctl::BenchSpec& spec, const char* file = __builtin_FILE(),
           int line = __builtin_LINE()) {
    SCOPED_TRACE(testing::Message() << "Use called from " << file << ":" << line);
    ExpectFaultsFired();
    benchctl::BenchSpec recorded = spec;
    if (!pins_.empty()) recorded.Bench("RecordFile", kCallRecord);
    bench_ = benchctl::UseBench(host_->Path(), recorded);
    ASSERT_FALSE(bench_.empty()) << hwport::BenchLoadError();
  }
  std::string File(const ProgramFileSpec& spec, const std::string& name = "job.bin") {
    return host_->WriteProgramFile(name, ProgramFileWriter::Write(spec));
  }
  // One host process: load, each Programing with its status, free.
  std::vector<Outcome> Program(const std::vector<std::string>& files,
                               const std::string& serial = "2001", int pid = 6) {
    std::vector<std::string> actions = {"load"};
    for (const std::string& f : files) {
      actions.push_back("prog:0x0E7B:" + std::to_string(pid) + ":" + serial + ":" + f);
      actions.push_back("status");
    }
    actions.push_back("free");
    if (!RunAnswered(actions)) return {};
    std::vector<std::string> r = host_->Values("prog"), s = host_->Values("status");
    std::vector<Outcome> out;
    for (size_t i = 0; i < r.size() && i < s.size(); ++i) out.push_back({r[i], s[i]});
    return out;
  }
  // Runs the host with these actions to its end, its boxes answered as
  // Answer() says; false when it did not start.
  bool RunAnswered(const std::vector<std::string>& actions) {
    seen_.clear();
    testsupport::ChildProcess child;
    if (!host_->Start(child, actions)) {
      ADD_FAILURE() << "the host did not start: error " << child.LastError();
      return false;
    }
    // The host's boxes only: other tests' hosts run beside this one.
    testsupport::MessageBoxAnswerer answerer(answers_, child.Pid(), IDOK);
    if (!child.Wait(kHostWaitMs)) child.Kill();
    seen_ = answerer.Seen();
    return true;
  }
  Outcome ProgramOnce(const std::string& file, const std::string& serial = "2001", int pid = 6) {
    std::vector<Outcome> all = Program({file}, serial, pid);
    return all.empty() ? Outcome{} : all.back();
  }
  std::vector<std::string> Log() const { return host_->LogTexts("Tessaro.log"); }
  // The log's lines holding `part`, all of them in one text for a failure message.
  std::string LogHolding(const std::string& part) const {
    std::string all;
    for (const std::string& l : Holding(Log(), part)) all += "\n  " + l;
    return all;
  }
  std::vector<uint8_t> FlashAt(uint32_t address, size_t n) const {
    std::vector<uint8_t> flash = benchctl::ReadFlash(bench_, 0);
    if (flash.size() < address + n) return {};
    return std::vector<uint8_t>(flash.begin() + address, flash.begin() + address + n);
  }
  // The module-data plug-in stand-in beside the host, with its settings.
  void PlaceModuleDataPlugin(const std::string& settings = "") {
    CreateDirectoryA((*host_ / "Plugins").c_str(), nullptr);
    testsupport::CopyFileTo(testsupport::TestDir() + "\\Plugins\\Orvane.dll",
                            *host_ / "Plugins\\Orvane.dll");
    testsupport::WriteFile(*host_ / "Plugins\\Orvane.ini", "[Orvane]\r\nRecord=1\r\n" + settings);
  }
  // The plug-in's record of its calls, one a line.
  std::vector<std::string> PluginCalls() const {
    return testsupport::SplitLines(testsupport::ReadFileOr(*host_ / "Plugins\\Orvane.rec"));
  }

  // How the boxes of the next Programing calls are answered; a box no line
  // matches is answered OK and seen with button 0.
  void Answer(std::vector<testsupport::ScriptedAnswer> script) { answers_ = std::move(script); }
  // The texts of the boxes the last host showed.
  std::vector<std::string> SeenTexts() const {
    std::vector<std::string> out;
    for (const testsupport::AnsweredBox& b : seen_) out.push_back(b.text);
    return out;
  }

  // The whole outcome of the host's runs so far, compared with the expected
  // files of `row` (of the test when empty) in the folder PinIn named: the
  // log with its times masked, the bench's call record and, where the runs
  // asked any, the questions with their answers.
  void ExpectPinned(const std::string& row = "") {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::string base = pins_ + "/" + name + (row.empty() ? "" : "/" + FileNameOf(row));
    EXPECT_TRUE(testsupport::MatchesExpectedFile(
        MaskLog(testsupport::ReadFileOr(*host_ / "Tessaro.log"), host_->Path()), base + ".log"));
    EXPECT_TRUE(testsupport::MatchesExpectedFile(
        MaskCallRecord(testsupport::ReadFileOr(*host_ / kCallRecord)), base + ".calls"));
    std::string boxes = testsupport::ReadFileOr(*host_ / "boxes.txt");
    std::string expected = std::string(LUMETRA_SOURCE_DIR) + "/" + base + ".boxes";
    if (!boxes.empty() || testsupport::FileExists(expected)) {
      EXPECT_TRUE(testsupport::MatchesExpectedFile(MaskRunStamps(boxes), base + ".boxes"));
    }
  }
  // Expected files of this fixture's runs in `folder` (from the source
  // tree's root); the bench records its calls from then on.
  void PinIn(const std::string& folder) { pins_ = folder; }

  // A row starts with a host folder of its own (its own logs).
  void NewHost() {
    ExpectFaultsFired();  // the bench file goes with the folder
    host_.reset();        // the folder's name is the test's: the old one goes first
    host_ = std::make_unique<HostFolder>();
  }

  void TearDown() override { ExpectFaultsFired(); }
  // Every fault rule of the bench in use has fired: checked when Use
  // replaces the bench, NewHost its folder, or the test ends.
  void ExpectFaultsFired() {
    benchctl::ExpectFaultsFired(bench_);
    bench_.clear();
  }

  // A row's name as a file name: lower case, words joined by '_'.
  static std::string FileNameOf(const std::string& row) {
    std::string out;
    for (char c : row) {
      bool word = std::isalnum(static_cast<unsigned char>(c)) != 0;
      if (word)
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      else if (!out.empty() && out.back() != '_')
        out += '_';
    }
    while (!out.empty() && out.back() == '_') out.pop_back();
    return out.substr(0, 80);
  }
  static constexpr const char* kCallRecord = "calls.txt";
  static constexpr DWORD kHostWaitMs = 300000;
  std::unique_ptr<HostFolder> host_ = std::make_unique<HostFolder>();
  std::string bench_;
  std::vector<testsupport::ScriptedAnswer> answers_;
  std::vector<testsupport::AnsweredBox> seen_;
  std::string pins_;
};

}  // namespace tessaro_e2e
