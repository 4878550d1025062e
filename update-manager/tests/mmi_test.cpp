// MMI update files and packets byte for byte, one file sent to the bench's
// front panel, and the whole MMI update: wait, stop, files, execute, reboot,
// with its refusals, retries and cancels.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

#include "config/update_config.h"
#include "device/mmi_file.h"
#include "device_bench.h"
#include "hwport/clock.h"
#include "lumetra/sync.h"
#include "lumetra/wire.h"
#include "mmi_file_writer.h"

namespace {

using kestortest::DeviceBenchTest;
using kestortest::RecordingUpdater;
using kestortest::SupplyWithTr440;

using kestortest::MmiFileBytes;

// The panel stored the file's payload, byte for byte.
void ExpectPayload(const std::string& stored, const std::vector<uint8_t>& file) {
  const std::string payload(file.begin() + 1024, file.end());
  EXPECT_TRUE(stored == payload) << "stored " << stored.size() << " bytes, the payload is "
                                 << payload.size();
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  return testsupport::WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

TEST(MmiPackets, HeaderAndDataPacketsByteForByte) {
  for (size_t payload : {size_t{0}, size_t{2038}, size_t{2039}, size_t{3 * 2038 + 5}}) {
    SCOPED_TRACE(testing::Message() << "file of 1024 + " << payload << " bytes");
    const std::vector<uint8_t> file = MmiFileBytes(payload);
    const auto header = mmi::ParseFileHeader(file);
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->device, "TR440");
    EXPECT_EQ(header->type, "UPDATE");
    EXPECT_EQ(header->version, "2.10");
    EXPECT_EQ(header->lmPath, "\\flash\\front.bin");
    const mmi::PacketCount count = mmi::CountPackets(file.size());
    EXPECT_EQ(count.packets, static_cast<int32_t>(payload / 2038 + 1));
    EXPECT_EQ(count.endpacket, static_cast<int32_t>(payload % 2038));

    const std::vector<uint8_t> h = mmi::HeaderPacket(*header, file.size(), count.packets);
    ASSERT_EQ(h.size(), 2048u);
    EXPECT_EQ(le::U16(&h[0]), 252 + 24) << "252 + the header text's length";
    EXPECT_EQ(le::U32(&h[2]), 0u);
    EXPECT_EQ(le::U16(&h[6]), 0x4021);
    EXPECT_EQ(le::U32(&h[8]), payload);
    EXPECT_EQ(le::U32(&h[12]), static_cast<uint32_t>(count.packets));
    EXPECT_TRUE(std::equal(h.begin() + 16, h.begin() + 16 + 235, file.begin() + 21));
    EXPECT_EQ(h[251], 0);
    EXPECT_TRUE(std::equal(h.begin() + 252, h.begin() + 252 + 768, file.begin() + 256));
    EXPECT_TRUE(std::all_of(h.begin() + 1020, h.end(), [](uint8_t b) { return b == 0; }));

    std::vector<uint8_t> carried;
    for (int32_t n = 1; n <= count.packets; ++n) {
      SCOPED_TRACE(testing::Message() << "data packet " << n);
      const size_t at = 1024 + static_cast<size_t>(n - 1) * 2038;
      const size_t take = std::min<size_t>(2038, file.size() - std::min(at, file.size()));
      const std::vector<uint8_t> d =
          mmi::DataPacket(n, count.packets, count.endpacket,
                          std::span<const uint8_t>(file.data() + std::min(at, file.size()), take));
      ASSERT_EQ(d.size(), 2048u);
      const bool last = n == count.packets;
      EXPECT_EQ(le::U16(&d[0]), last ? count.endpacket + 8 : 2046);
      EXPECT_EQ(le::U32(&d[2]), static_cast<uint32_t>(n));
      EXPECT_EQ(le::U16(&d[6]), last ? 0x4022 : 0x4020);
      EXPECT_TRUE(std::equal(d.begin() + 8, d.begin() + 8 + take, file.begin() + at));
      EXPECT_TRUE(std::all_of(d.begin() + 8 + take, d.end(), [](uint8_t b) { return b == 0; }));
      carried.insert(carried.end(), d.begin() + 8, d.begin() + le::U16(&d[0]));
    }
    EXPECT_EQ(carried, std::vector<uint8_t>(file.begin() + 1024, file.end()));
  }
}

TEST(MmiPackets, CommandPackets) {
  const std::vector<uint8_t> q = mmi::QueryPacket();
  EXPECT_EQ(le::U16(&q[0]), 8);
  EXPECT_EQ(le::U16(&q[6]), 0x4041);
  EXPECT_TRUE(std::all_of(q.begin() + 8, q.end(), [](uint8_t b) { return b == 0; }));
  const std::vector<uint8_t> s = mmi::StopPacket();
  EXPECT_EQ(le::U16(&s[0]), 8);
  EXPECT_EQ(le::U16(&s[6]), 0x4050);
  for (uint16_t i = 0; i < 1019; ++i) ASSERT_EQ(le::U16(&s[8 + 2 * i]), i) << "word " << i;
  EXPECT_EQ(s[2046], 0);
  EXPECT_EQ(s[2047], 0);
  const std::vector<uint8_t> e = mmi::ExecutePacket("\\flash\\run_panel.bat");
  EXPECT_EQ(le::U16(&e[0]), 28) << "a path of 20 characters";
  EXPECT_EQ(le::U16(&e[6]), 0x4024);
  EXPECT_EQ(std::string(e.begin() + 8, e.begin() + 28), "\\flash\\run_panel.bat");
  EXPECT_EQ(e[28], 0);
}

TEST(MmiPackets, HeaderFieldsAndNameFlags) {
  EXPECT_FALSE(mmi::ParseFileHeader(std::vector<uint8_t>(1023, 'x')).has_value());
  std::vector<uint8_t> f = MmiFileBytes(0, "TR440", "update");
  EXPECT_EQ(mmi::ParseFileHeader(f)->type, "update");
  f = MmiFileBytes(0, "TR440", std::string("UPDAT\0E", 7));
  EXPECT_EQ(mmi::ParseFileHeader(f)->type, "UPDAT");
  const struct {
    const char* name;
    bool b, r;
  } names[] = {{"c:\\pkg\\outfile\\mmi_Br.mmi", true, true},
               {"abcdBr.x", true, true},
               {"abcdbT", true, true},
               {"abcdxr", false, true},
               {"abcdb", true, false},
               {"abc", false, false},
               {"dir_Br\\abcde", false, false}};
  for (const auto& n : names) {
    const mmi::NameFlags flags = mmi::FlagsOfName(n.name);
    EXPECT_EQ(flags.bflag, n.b) << n.name;
    EXPECT_EQ(flags.rflag, n.r) << n.name;
  }
}

class MmiTest : public DeviceBenchTest {
 protected:
  std::string File(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = folder_ / name;
    EXPECT_TRUE(WriteBytes(path, bytes));
    return path;
  }
  std::string Stored(const std::string& lmPath) {
    std::string name = lmPath;
    for (char& c : name)
      if (c == '\\' || c == '/' || c == ':') c = '_';
    return testsupport::ReadFileOr(bench_ + ".panel0\\" + name);
  }
  size_t Posts(LPARAM code) {
    return std::count_if(updater_->posted.begin(), updater_->posted.end(),
                         [&](const RecordingUpdater::Message& m) {
                           return m.message == WM_UPDATE_STEP_PROGRESS && m.lParam == code;
                         });
  }
  // Packets of one panel command that the supply was sent, from the call
  // record (the command is at offset 6 of the packet's data).
  static size_t SentOf(uint16_t command) {
    char bytes[8];
    std::snprintf(bytes, sizeof bytes, "%02X %02X", command & 0xFF, command >> 8);
    size_t n = 0;
    for (const std::string& line : benchctl::CallRecord("FacId=0x2180")) {
      const size_t data = line.find(": ");
      if (data != std::string::npos && line.compare(data + 2 + 6 * 3, 5, bytes) == 0) ++n;
    }
    return n;
  }
  // The step progress posted with one step status code, in order.
  std::vector<WPARAM> Progress(LPARAM code) {
    std::vector<WPARAM> progress;
    for (const auto& m : updater_->posted)
      if (m.message == WM_UPDATE_STEP_PROGRESS && m.lParam == code) progress.push_back(m.wParam);
    return progress;
  }
  // A fresh trace log for the next row.
  void ClearTrace() { DeleteFileA((folder_ / "LM_Logfile.txt").c_str()); }
  // The panel waiting for files.
  void UseWaitingPanel(benchctl::BenchSpec spec = SupplyWithTr440()) {
    spec.WithDevice(0, "PanelState", "waiting");
    UseFound(spec);
  }
};

TEST_F(MmiTest, AFileReachesThePanelByteForByte) {
  UseWaitingPanel();
  const std::vector<uint8_t> bytes = MmiFileBytes(3 * 2038 + 5);
  MmiFileRecord record;
  record.Filename = File("fronBr.mmi", bytes);
  process_.TraceLevel(1);
  EXPECT_EQ(updater_->UpdateMmiFile(record), 0) << Trace();
  EXPECT_EQ(record.Size, bytes.size());
  EXPECT_EQ(record.Packets, 4);
  EXPECT_EQ(record.Endpacket, 5);
  EXPECT_TRUE(record.bflag);
  EXPECT_TRUE(record.rflag);
  EXPECT_EQ(record.Device, "TR440");
  EXPECT_EQ(record.Version, "2.10");
  EXPECT_EQ(record.LmPath, "\\flash\\front.bin");
  EXPECT_EQ(record.HeaderText, "Front panel Version 2.10");
  EXPECT_EQ(Sends(), 5u);
  ExpectPayload(Stored(record.LmPath), bytes);
  EXPECT_EQ(updater_->posted.back().wParam, 10000u);
  EXPECT_NE(Trace().find("        Packets  : 4\n        Endpacket: 5\n"), std::string::npos);
  EXPECT_NE(Trace().find("        Data for MMI-Upd (1st 16 bytes): 14 01 00 00 00 00 21 40 "),
            std::string::npos)
      << Trace();
}

TEST_F(MmiTest, RefusedFilesSendNothing) {
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    int32_t expected;
  } rows[] = {
      {"wrong type", MmiFileBytes(10, "TR440", "UPDAT"), MMI_WRONG_TYPE},
      {"wrong device", MmiFileBytes(10, "TR410"), MMI_WRONG_DEVICE},
      {"shorter than its header", std::vector<uint8_t>(1000, 'U'), MMI_FILE_UNREADABLE},
      {"lower-case type accepted", MmiFileBytes(10, "tr440", "update"), 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    UseWaitingPanel();
    benchctl::ClearRecord();
    MmiFileRecord record;
    record.Filename = File("front.mmi", row.bytes);
    EXPECT_EQ(updater_->UpdateMmiFile(record), row.expected);
    EXPECT_EQ(Sends(), row.expected == 0 ? 2u : 0u);
  }
  MmiFileRecord missing;
  missing.Filename = folder_ / "absent.mmi";
  EXPECT_EQ(updater_->UpdateMmiFile(missing), MMI_FILE_UNREADABLE);
}

// Another program cuts the file short in the middle of its second data
// packet while the header packet is sent: the packets before went out, that
// one and the rest do not, and the file fails. (A handle that asks only to
// write attributes passes the sender's sharing; under Wine it may set the
// end of the file.)
TEST_F(MmiTest, ADataPacketThatCannotBeReadFailsTheFile) {
  UseWaitingPanel();
  MmiFileRecord record;
  record.Filename = File("front.mmi", MmiFileBytes(3 * 2038 + 5));
  constexpr LONG kCutAt = 1024 + 2038 + 100;
  bool cut = false;
  updater_->onPost = [&](const RecordingUpdater::Message& m) {
    // The header packet was taken: 1 of 5 steps.
    if (cut || m.message != WM_UPDATE_STEP_PROGRESS || m.lParam != 100 || m.wParam != 10000 / 5)
      return;
    HANDLE other = CreateFileA(record.Filename.c_str(), FILE_WRITE_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (other == INVALID_HANDLE_VALUE) return;
    cut = SetFilePointer(other, kCutAt, nullptr, FILE_BEGIN) == static_cast<DWORD>(kCutAt) &&
          SetEndOfFile(other);
    CloseHandle(other);
  };
  benchctl::ClearRecord();
  EXPECT_EQ(updater_->UpdateMmiFile(record), MMI_FILE_UNREADABLE);
  ASSERT_TRUE(cut) << "the file was not cut";
  EXPECT_EQ(SentOf(0x4021), 1u);
  EXPECT_EQ(SentOf(0x4020), 1u) << "the first data packet, and no packet padded with zeros";
  EXPECT_EQ(SentOf(0x4022), 0u);
  EXPECT_NE(Trace().find("could not be read at packet 2\n"), std::string::npos) << Trace();
}

TEST_F(MmiTest, ACustomerNameLongerThanTheFieldIsComparedByItsFirstFive) {
  benchctl::BenchSpec spec;
  spec.TimeScale(100).Supply(16, "0000004711").With("PanelState", "waiting").Instrument(0x77, "9");
  process_.Customer(0x77, "TR440XL");
  UseFound(spec);
  MmiFileRecord record;
  record.Filename = File("front.mmi", MmiFileBytes(10, "TR440"));
  EXPECT_EQ(updater_->UpdateMmiFile(record), 0);
}

TEST_F(MmiTest, APacketIsTriedThirtyTimes) {
  benchctl::BenchSpec spec = SupplyWithTr440();
  spec.WithDevice(0, "Replies.4020", "C6 C6 33");
  UseWaitingPanel(spec);
  MmiFileRecord record;
  record.Filename = File("front.mmi", MmiFileBytes(2039));
  EXPECT_EQ(updater_->UpdateMmiFile(record), 0) << Trace();
  EXPECT_EQ(Sends(), 1u + 3u + 1u);
  EXPECT_EQ(Count(Trace(), "BreakError in sending\nretval  :0\nbreak: 7\n"), 2u) << Trace();

  benchctl::BenchSpec refusing = SupplyWithTr440();
  refusing.WithDevice(0, "Replies.4021", "C1");
  UseWaitingPanel(refusing);
  benchctl::ClearRecord();
  EXPECT_EQ(updater_->UpdateMmiFile(record), MMI_NOT_TAKEN);
  EXPECT_EQ(Sends(), 30u);
  EXPECT_NE(Trace().find("Sending string failed 3 times! Stopping Update!\n"), std::string::npos);
}

TEST_F(MmiTest, CancelBetweenPacketsButNotAfterTheLast) {
  UseWaitingPanel();
  MmiFileRecord record;
  record.Filename = File("front.mmi", MmiFileBytes(2 * 2038 + 1));
  // Cancel once the first data packet was taken.
  updater_->onPost = [&](const RecordingUpdater::Message& m) {
    if (m.message == WM_UPDATE_STEP_PROGRESS && m.wParam == 2 * 10000 / 4)
      updater_->SetCancelState(CANCEL_STATE_REQUESTED);
  };
  updater_->SetCancelState(CANCEL_STATE_RUNNING);
  EXPECT_EQ(updater_->UpdateMmiFile(record), MMI_CANCELLED);
  EXPECT_EQ(Sends(), 3u) << "the header, packet 1 and one try of packet 2";

  // A cancel while the panel takes the last packet leaves a sent file sent.
  benchctl::BenchSpec slow = SupplyWithTr440(10);
  slow.WithDevice(0, "ReplyDelayMs", "400");
  UseWaitingPanel(slow);
  updater_->SetCancelState(CANCEL_STATE_RUNNING);
  lm::Event sent;
  lm::Thread watcher([&] {
    // The last packet is the fourth send: cancel while its reply is awaited.
    for (int i = 0; i < 3000 && Sends() < 4; ++i) Sleep(2);
    updater_->SetCancelState(CANCEL_STATE_REQUESTED);
    sent.Set();
  });
  EXPECT_EQ(updater_->UpdateMmiFile(record), 0);
  EXPECT_TRUE(sent.Wait(10000));
  EXPECT_EQ(Sends(), 4u);
}

TEST_F(MmiTest, UpdateMmiStopsSendsExecutesAndReboots) {
  // The restart wait of each panel type; the host's own time adds to both.
  // On a clock 20 times the wall's they take one second and five: a loaded
  // host adds far less than their difference.
  DWORD tookByType[2] = {};
  for (bool tr430 : {false, true}) {
    SCOPED_TRACE(tr430 ? "with a TR430" : "with a TR440");
    benchctl::BenchSpec spec;
    spec.TimeScale(20)
        .Supply(16, "0000004711")
        .With("PanelRevision", "1.02")
        .Instrument(tr430 ? 8 : 5, "0000001001")
        .With("Parent", "0");
    UseFound(spec);
    const std::vector<uint8_t> plain =
        MmiFileBytes(100, tr430 ? "TR430" : "TR440", "UPDATE", "\\flash\\data.bin");
    const std::vector<uint8_t> run =
        MmiFileBytes(3000, tr430 ? "TR430" : "TR440", "UPDATE", "\\flash\\front.bin");
    const std::vector<std::string> files = {File("data_x.mmi", plain), File("run_br.mmi", run)};
    updater_->SetProgressStepWidth(3);
    updater_->SetStepCounter(1);
    updater_->SetWaits(50, 0);
    const DWORD start = hwport::TickCount();
    EXPECT_EQ(updater_->UpdateMmi(files), 0) << Trace();
    const DWORD took = hwport::TickCount() - start;
    EXPECT_GE(took, tr430 ? 100000u : 20000u) << "the panel's restart wait";
    tookByType[tr430 ? 1 : 0] = took;
    ExpectPayload(Stored("\\flash\\data.bin"), plain);
    ExpectPayload(Stored("\\flash\\front.bin"), run);
    EXPECT_EQ(Posts(105), 101u) << "stop: 0, then 100 .. 10000";
    EXPECT_GE(Posts(101), 3u) << "the execute: 0, the polls, 10000";
    EXPECT_EQ(benchctl::CallRecord("FacId=0x2222").size(), 1u) << "rebooted once";
    const std::string trace = Trace();
    EXPECT_NE(trace.find("Updating MMI:\nDevice ready for MMI-Update\n"), std::string::npos)
        << trace;
    // The total progress after each file: (k + 1) * 45 / 2 + 45 * 1.
    std::vector<WPARAM> totals;
    for (const auto& m : updater_->posted)
      if (m.message == WM_UPDATE_TOTAL_PROGRESS) totals.push_back(m.wParam);
    EXPECT_EQ(totals, (std::vector<WPARAM>{10, 10, 67, 90}));
    EXPECT_EQ(benchctl::ReadState(bench_, "Device0", "PanelRevision"), "2.10")
        << "the panel runs the executed file's version";
  }
  EXPECT_LT(tookByType[0], tookByType[1]) << "a TR440 restarts faster than a TR430";
}

TEST_F(MmiTest, APanelWaitingForFilesIsNotStopped) {
  UseWaitingPanel();
  EXPECT_EQ(updater_->ReadMMIStatus(), 4);
  EXPECT_EQ(updater_->UpdateMmi({File("data_x.mmi", MmiFileBytes(10))}), 0) << Trace();
  EXPECT_EQ(Posts(105), 0u) << "no stop";
}

TEST_F(MmiTest, StopRefusals) {
  benchctl::BenchSpec spec = SupplyWithTr440();
  spec.WithDevice(0, "StopRefused", "3");
  UseFound(spec);
  benchctl::ClearRecord();
  EXPECT_EQ(updater_->stopMMI(), MMI_STOP_REFUSED);
  EXPECT_EQ(Sends(), 2u) << "refused again after 8 s: no third send";
  EXPECT_EQ(Count(Trace(), "    stopMMI\n    retval   : 0\n    breakref : 2\n"), 2u) << Trace();

  benchctl::BenchSpec once = SupplyWithTr440();
  once.WithDevice(0, "StopRefused", "1");
  UseFound(once);
  EXPECT_EQ(updater_->stopMMI(), 0) << "taken on the second send";

  benchctl::BenchSpec always = SupplyWithTr440(1000);
  always.WithDevice(0, "StopRefused", "1000");
  UseFound(always);
  EXPECT_EQ(updater_->UpdateMmi({}), MMI_NO_UPDATE_MODE);
  EXPECT_NE(Trace().find("Device could not be switched into MMI-Update-Mode after 3 attempts"),
            std::string::npos);

  benchctl::BenchSpec silent = SupplyWithTr440();
  silent.WithDevice(0, "PanelSilent", "1");
  UseFound(silent);
  EXPECT_EQ(updater_->stopMMI(), DEVICE_NO_REPLY) << "a silent supply stopped nothing";
}

TEST_F(MmiTest, NoSupplyInFivePasses) {
  UseFound(SupplyWithTr440());
  ASSERT_TRUE(benchctl::RemoveDevice(0));
  EXPECT_EQ(updater_->UpdateMmi({}), MMI_NO_SUPPLY);
  EXPECT_EQ(Posts(106), 4u);
  EXPECT_EQ(Sends(), 0u) << "no stop without ever reading the panel";
}

// A panel that never answers is waited for as long as the package's MMI_WAIT
// says (10000 times it, of the bench's clock), however long each query of it
// takes; then the stop is tried. Past ten times that wait the test cancels.
TEST_F(MmiTest, ASilentPanelIsWaitedForAsLongAsThePackageSays) {
  benchctl::BenchSpec spec = SupplyWithTr440();
  spec.WithDevice(0, "PanelSilent", "1");
  UseFound(spec);
  constexpr int kMmiWaitMs = 5;  // a wait of 50 s
  updater_->SetWaits(kMmiWaitMs, 0);
  updater_->SetCancelState(CANCEL_STATE_RUNNING);
  std::atomic<DWORD> stoppedAt{0};
  updater_->onPost = [&](const RecordingUpdater::Message& m) {
    if (m.message == WM_UPDATE_STEP_PROGRESS && m.lParam == 105 && stoppedAt == 0) {
      stoppedAt = hwport::TickCount();
      updater_->SetCancelState(CANCEL_STATE_REQUESTED);
    }
  };
  const DWORD start = hwport::TickCount();
  lm::Thread watchdog([&] {
    while (stoppedAt == 0 && hwport::TickCount() - start < 10 * 10000 * kMmiWaitMs) Sleep(20);
    updater_->SetCancelState(CANCEL_STATE_REQUESTED);
  });
  EXPECT_EQ(updater_->UpdateMmi({}), MMI_CANCELLED);
  ASSERT_TRUE(watchdog.Join(60000));
  ASSERT_NE(stoppedAt.load(), 0u) << "the stop was never tried: " << SentOf(0x4041)
                                  << " queries sent";
  EXPECT_GE(stoppedAt - start, 10000u * kMmiWaitMs) << "the whole wait";
  EXPECT_GE(SentOf(0x4041), 6u) << "the panel was asked";
}

TEST_F(MmiTest, ASupplyThatReturnsIsAskedForThePanelsStatusBeforeTheStop) {
  UseFound(SupplyWithTr440());
  ASSERT_TRUE(benchctl::RemoveDevice(0));
  updater_->onPost = [&](const RecordingUpdater::Message& m) {
    if (m.message == WM_UPDATE_STEP_PROGRESS && m.lParam == 106) benchctl::ArriveDevice(0);
  };
  EXPECT_EQ(updater_->UpdateMmi({}), 0) << Trace();
  const auto packets = benchctl::CallRecord("FacId=0x2180");
  ASSERT_GE(packets.size(), 2u);
  EXPECT_NE(packets[0].find(": 08 00 00 00 00 00 41 40"), std::string::npos)
      << "first a query: " << packets[0].substr(0, 120);
  EXPECT_NE(packets[1].find(": 08 00 00 00 00 00 50 40"), std::string::npos)
      << "then the stop: " << packets[1].substr(0, 120);
}

TEST_F(MmiTest, CancelInEveryWait) {
  const struct {
    const char* name;
    const char* panelState;
    bool remove;
    LPARAM code;
    WPARAM progress;
  } rows[] = {
      {"before anything", "running", false, -1, 0},
      {"waiting for a supply", "running", true, 106, 10000},
      {"waiting for a rebooting panel", "booting", false, 106, 10000},
      {"the panel's restart", "running", false, 105, 500},
      {"sending a file", "waiting", false, 100, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    benchctl::BenchSpec spec = SupplyWithTr440();
    spec.WithDevice(0, "PanelState", row.panelState).WithDevice(0, "PanelBootMs", "100000000");
    UseFound(spec);
    if (row.remove) {
      ASSERT_TRUE(benchctl::RemoveDevice(0));
    }
    updater_->SetCancelState(row.code < 0 ? CANCEL_STATE_REQUESTED : CANCEL_STATE_RUNNING);
    updater_->onPost = [&](const RecordingUpdater::Message& m) {
      if (m.message == WM_UPDATE_STEP_PROGRESS && m.lParam == row.code && m.wParam == row.progress)
        updater_->SetCancelState(CANCEL_STATE_REQUESTED);
    };
    EXPECT_EQ(updater_->UpdateMmi({File("data_x.mmi", MmiFileBytes(5000))}), MMI_CANCELLED);
    EXPECT_TRUE(benchctl::CallRecord("FacId=0x2222").empty()) << "no reboot";
  }
}

// Each way an execute fails, through the whole MMI update of one file that
// asks to be executed: the panel refuses the execute, answers it with an
// error code, takes it and never reports it done, or the supply never
// answers the packet. An execute that was taken or answered is followed by
// 9999 polls of the panel's replies, 50 ms apart; one never answered fails at
// once. Either way the update stops with the execute's result, and the device
// is not rebooted.
TEST_F(MmiTest, EachWayAnExecuteFails) {
  const struct {
    const char* name;
    const char* key;  // of the supply's section
    const char* value;
    const char* fault;
    int32_t expected;
    size_t executes;  // execute packets sent
    bool polled;
    const char* panel;  // the version the panel runs afterwards
  } rows[] = {
      {"refused: Destination Error", "Replies.4024", "C1", nullptr, MMI_NOT_READY, 1, true, "1.02"},
      {"a CRC Error, sent again each round", "Replies.4024", "CC", nullptr, MMI_NOT_READY, 6, true,
       "1.02"},
      {"taken, never reported done", "ExecuteSilent", "1", nullptr, MMI_NOT_READY, 1, true, "1.02"},
      {"no reply in six rounds", "Replies.4024", "--", nullptr, DEVICE_NO_REPLY, 6, false, "1.02"},
      // The panel runs the file, but no request ever comes back from the
      // supply: the driver gives each up after its time-out.
      {"every request timed out by the driver", nullptr, nullptr,
       "Operation=VendorRequestOut FacId=0x2180 Command=0x4024 Action=NoAnswer Times=0", -22, 10,
       false, "2.10"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    benchctl::BenchSpec spec = SupplyWithTr440(1000);
    if (row.key) spec.WithDevice(0, row.key, row.value);
    if (row.fault) spec.Fault(row.fault);
    UseWaitingPanel(spec);
    ClearTrace();
    process_.TraceLevel(1);
    EXPECT_EQ(updater_->UpdateMmi({File("run_br.mmi", MmiFileBytes(10))}), row.expected);
    process_.TraceLevel(0);
    EXPECT_EQ(SentOf(0x4024), row.executes);
    const std::vector<WPARAM> progress = Progress(101);
    const std::string trace = Trace();
    const size_t timing = trace.find("        executeBATCH() : ");
    if (row.polled) {
      // 0, one post a poll (10 at the first, 10000 from the 1000th on), 10000.
      ASSERT_EQ(progress.size(), 1u + 9999u + 1u);
      EXPECT_EQ(progress[0], 0u);
      EXPECT_EQ(progress[1], 10u);
      EXPECT_EQ(progress[999], 9990u);
      EXPECT_EQ(progress[1000], 10000u);
      EXPECT_EQ(progress.back(), 10000u);
      ASSERT_NE(timing, std::string::npos) << trace;
      const std::string ms = trace.substr(timing + 25, trace.find("ms\n", timing) - timing - 25);
      EXPECT_GE(std::stoul(ms), 9999u * 50u) << "9999 polls 50 ms apart, on the bench's clock";
    } else {
      EXPECT_EQ(progress, std::vector<WPARAM>{0}) << "no polls";
      EXPECT_EQ(timing, std::string::npos) << trace;
    }
    EXPECT_EQ(Count(trace, "Error executing \\flash\\front.bin !RetVal : " +
                               std::to_string(row.expected) + "\n\n"),
              1u)
        << trace;
    EXPECT_EQ(updater_->Record().powerSupply.deviceNumber, -1) << "the supply released";
    EXPECT_EQ(benchctl::FaultsNotFired(bench_), std::vector<std::string>{});
    EXPECT_TRUE(benchctl::CallRecord("FacId=0x2222").empty()) << "no reboot after a failure";
    EXPECT_EQ(benchctl::ReadState(bench_, "Device0", "PanelRevision"), row.panel);
  }
}

// A cancel (the dialog's Cancel and its Exit both ask for one) while the
// panel is waited for and switched into its update mode: in the 5 s without
// a supply, in the 8 s after the panel refused the stop, before it is sent
// again, and in the 15 s between two tries of the stop. The wait ends within
// a step of the cancel, and the update ends cancelled: no file sent, no
// reboot.
TEST_F(MmiTest, ACancelEndsTheWaitsOfTheStopAtOnce) {
  const struct {
    const char* name;
    const char* stopRefused;
    const char* tracedBefore;  // the wait has begun once the trace shows this
    WPARAM postedBefore;       // ... or once this step progress came
    LPARAM postedCode;
    DWORD waitMs;
    size_t stops;  // stop packets sent
    bool noSupply = false;
  } rows[] = {
      {"the 5 s without a supply", "0", nullptr, 10000, 106, 5000, 0, true},
      {"the 8 s after a refusal", "1", "    stopMMI\n    retval   : 0\n    breakref : 2\n", 0, 100,
       8000, 1},
      {"the 15 s between two tries", "2", nullptr, 20, 100, 15000, 2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    // On a clock ten times the wall's: half a wait is long against a loaded
    // host's delays, and the sends before it are short.
    benchctl::BenchSpec spec = SupplyWithTr440(10);
    spec.WithDevice(0, "StopRefused", row.stopRefused);
    UseFound(spec);
    if (row.noSupply) {
      ASSERT_TRUE(benchctl::RemoveDevice(0));
    }
    ClearTrace();
    lm::Event posted;
    updater_->onPost = [&](const RecordingUpdater::Message& m) {
      if (m.message == WM_UPDATE_STEP_PROGRESS && m.lParam == row.postedCode &&
          m.wParam == row.postedBefore)
        posted.Set();
    };
    updater_->SetCancelState(CANCEL_STATE_RUNNING);
    std::atomic<DWORD> cancelledAt{0};
    lm::Thread user([&] {
      auto begun = [&] {
        return row.tracedBefore ? Trace().find(row.tracedBefore) != std::string::npos
                                : posted.IsSet();
      };
      for (int i = 0; i < 15000 && !begun(); ++i) Sleep(2);
      cancelledAt = hwport::TickCount();
      updater_->SetCancelState(CANCEL_STATE_REQUESTED);
    });
    EXPECT_EQ(updater_->UpdateMmi({File("data_x.mmi", MmiFileBytes(10))}), MMI_CANCELLED);
    const DWORD returnedAt = hwport::TickCount();
    ASSERT_TRUE(user.Join(60000));
    EXPECT_LT(returnedAt - cancelledAt.load(), row.waitMs / 2)
        << "the wait ends with the cancel, not with its time";
    EXPECT_EQ(SentOf(0x4050), row.stops);
    EXPECT_EQ(Progress(105), row.stops ? std::vector<WPARAM>{0} : std::vector<WPARAM>{})
        << "at most one stop, no restart wait";
    EXPECT_EQ(SentOf(0x4021), 0u) << "no file sent";
    EXPECT_TRUE(benchctl::CallRecord("FacId=0x2222").empty()) << "no reboot";
    EXPECT_EQ(Trace().find("Device ready for MMI-Update"), std::string::npos) << Trace();
  }
}

TEST_F(MmiTest, TheRevisionReply) {
  const struct {
    const char* name;
    const char* revision;
    const char* reportSize;
    const char* expected;
  } rows[] = {
      {"1.05", "1.05", "216", "1.05"},
      {"no revision", "0", "216", "0"},
      {"a report of 199 bytes", "1.05", "199", "0"},
      // Its revision word holds 0xC4 at offset 38, 6 + 8 * 4: a report still.
      {"0xC4 in a record of the report", "128450.56", "216", "128450.56"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    benchctl::BenchSpec spec = SupplyWithTr440();
    spec.WithDevice(0, "PanelRevision", row.revision)
        .WithDevice(0, "PanelReportSize", row.reportSize);
    UseFound(spec);
    EXPECT_EQ(updater_->GetMMIRev(), row.expected);
    EXPECT_EQ(updater_->Record().powerSupply.deviceNumber, -1);
  }
  // A stale execute reply in front of the report is not taken for it.
  benchctl::BenchSpec stale = SupplyWithTr440();
  std::string ready = "D8 00 00 00 00 00 C4";
  for (int i = 7; i < 216; ++i) ready += " 00";
  stale.WithDevice(0, "PanelRevision", "1.05")
      .WithDevice(0, "ReplyPrefix", ready)
      .WithDevice(0, "Replies.4041", "33");
  UseFound(stale);
  EXPECT_EQ(updater_->GetMMIRev(), "1.05");
  // A silent supply: "0" at once.
  benchctl::BenchSpec silent = SupplyWithTr440();
  silent.WithDevice(0, "PanelSilent", "1");
  UseFound(silent);
  EXPECT_EQ(updater_->GetMMIRev(), "0");
  EXPECT_EQ(updater_->Record().powerSupply.deviceNumber, -1);
}

}  // namespace
