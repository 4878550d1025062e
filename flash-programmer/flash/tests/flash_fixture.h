// The flash operations against a bench device with flash memory, through a
// real device connection: the M lines as the log list holds them, the D
// lines of the transfers, and a hook that presses Esc at a chosen status read.
#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "benchctl/bench_control.h"
#include "benchctl/bench_flash.h"
#include "benchctl/faults_fired.h"
#include "hwport/port.h"
#include "tessaro/crc16.h"
#include "tessaro/flash_operations.h"
#include "tessaro/flash_settings.h"
#include "tessaro/gdi.h"
#include "testsupport/testdir.h"

namespace tessaro {

class FlashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFlashShared();
    ResetFlashSettings();
    FlashLog().method = &ToLog;
    FlashLog().object = this;
    TDevice::DefaultLog().method = &ToTransfer;
    TDevice::DefaultLog().object = this;
    box_ = FlashMessage();
    FlashMessage() = [this](const std::string& text) { boxes_.push_back(text); };
  }
  void TearDown() override {
    gdi_.reset();
    benchctl::ExpectFaultsFired(file_);
    FlashLog().Clear();
    TDevice::DefaultLog().Clear();
    FlashMessage() = box_;
    SetStopRequested(false);
  }

  // A device with 64 KiB of flash in 16 sectors of 4 KiB; `keys` are
  // further "Key=Value" pairs of its section.
  static benchctl::BenchSpec Bench(
      std::initializer_list<std::pair<const char*, const char*>> keys = {}) {
    benchctl::BenchSpec s;
    s.TimeScale(1000).Instrument(5, "1001").With("FlashSize", "0x10000");
    for (auto& kv : keys) s.With(kv.first, kv.second);
    return s;
  }
  void Use(const benchctl::BenchSpec& spec, const char* file = __builtin_FILE(),
           int line = __builtin_LINE()) {
    SCOPED_TRACE(testing::Message() << "Use called from " << file << ":" << line);
    gdi_.reset();
    benchctl::ExpectFaultsFired(file_);  // of the bench replaced
    file_ = benchctl::UseBench(folder_.Path(), spec);
    ASSERT_FALSE(file_.empty()) << hwport::BenchLoadError();
    TDeviceInfo info(0, 0x0E7B, 5);
    info.SerialNumber = "1001";
    gdi_ = std::make_unique<TGDI>(info, 1, 0, 0, 0, 0, 0);
    log_.Clear();
    transfer_.Clear();
    boxes_.clear();
    ResetFlashShared();
  }
  static FlashRecord Chip() {
    FlashRecord f;
    f.name = "AM29F400BB";
    f.manufacturerId = 0x01;
    f.deviceId = 0x2258;
    f.autoselectCommand1 = 0x0090;
    f.autoselectCommand2 = 0x00F0;
    for (uint32_t a = 0; a < 0x10000; a += 0x1000) f.sectors.push_back({a, 0x1000});
    return f;
  }
  // The log list with the clock times of the "will read again" lines as <t>.
  std::vector<std::string> Lines() const {
    static const std::regex time("[0-9]{2}.[0-9]{2}.[0-9]{2}.[0-9]{3}");
    std::vector<std::string> out;
    for (const std::string& l : log_.Lines()) out.push_back(std::regex_replace(l, time, "<t>"));
    return out;
  }
  // The status answer the device would send, with its CRC.
  static std::string Answer(uint16_t code, uint32_t data) {
    uint8_t a[8] = {static_cast<uint8_t>(code),       static_cast<uint8_t>(code >> 8),
                    static_cast<uint8_t>(data),       static_cast<uint8_t>(data >> 8),
                    static_cast<uint8_t>(data >> 16), static_cast<uint8_t>(data >> 24)};
    Crc16Append(a, 6);
    std::string hex;
    for (uint8_t b : a) {
      char t[4];
      wsprintfA(t, "%02X", b);
      hex += t;
    }
    return hex;
  }
  TDevice* Device() { return gdi_.get(); }
  LogList Log() { return LogList{&log_}; }
  TransferList Transfer() { return TransferList{&transfer_}; }

  // Esc is pressed when the status read number `n` (from 1) starts.
  int stopAtRead_ = 0;
  int reads_ = 0;

  testsupport::TestFolder folder_;
  std::string file_;
  std::unique_ptr<TGDI> gdi_;
  TMemoryLines log_;
  TStringList transfer_;
  std::vector<std::string> boxes_;
  std::function<void(const std::string&)> box_;  // the library's own message box

 private:
  static void ToLog(void* object, const std::string& text, TStrings* list) {
    if (list) list->Add(text);
    (void)object;
  }
  static void ToTransfer(void* object, const std::string& text, TStrings* list) {
    auto* self = static_cast<FlashTest*>(object);
    if (list) list->Add(text);
    if (text.rfind("----- ", 0) == 0 && text.find("CMD_GET_FLASH_STATUS") != std::string::npos &&
        ++self->reads_ == self->stopAtRead_)
      SetStopRequested(true);
  }
};

// Rows name what they prove; the failure message names the row.
#define ROW_TRACE(name) SCOPED_TRACE(name)

}  // namespace tessaro
