// The device model's clients and the logged facility access, over a device
// whose answers a test sets.
#include "tessaro/device.h"

#include <gtest/gtest.h>

#include <cstring>

#include "benchctl/bench_control.h"
#include "tessaro/device_error.h"
#include "testsupport/uidriver.h"

namespace tessaro {
namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

class FakeDevice : public TDevice {
 public:
  FakeDevice() : TDevice(TDeviceInfo(3, 0x0E7B, 5)) {}
  uint16_t GetVendorData(uint16_t, uint16_t, uint16_t, void*) override { return 0; }
  uint16_t GetStatus(uint16_t) override { return 0; }
  void SendCommand(uint16_t, uint16_t) override {}
  void SetRegister(uint16_t, uint16_t, uint16_t, const void*) override {}
  uint16_t GetRegister(uint16_t, uint16_t, uint16_t, void*) override { return 0; }
  void SetFacilityData(uint16_t facId, uint16_t, uint16_t length, const void*) override {
    if (fail) throw EDeviceError("write failed");
    written.push_back({facId, length});
  }
  uint16_t GetFacilityData(uint16_t, uint16_t, uint16_t length, void* buffer) override {
    if (fail) throw EDeviceError("read failed");
    uint16_t n = static_cast<uint16_t>(answer.size() < length ? answer.size() : length);
    std::memcpy(buffer, answer.data(), n);
    return n;
  }
  void SetFlashData(uint16_t, const void*, uint16_t) override {}
  uint16_t GetFlashData(uint16_t, void*, uint16_t) override { return 0; }
  void WriteData(uint16_t, const void*, uint16_t) override {}
  bool CyclePort() override { return false; }

  bool fail = false;
  std::vector<uint8_t> answer;
  std::vector<std::pair<uint16_t, uint16_t>> written;
};

// Log lines go to the list given, as the logger would add them.
void ToList(void*, const std::string& text, TStrings* list) {
  if (list) list->Add(text);
}

// The dt:... part depends on the clock; the tests compare the rest.
std::string WithoutTime(std::string line) {
  size_t at = line.find("(dt:");
  if (at != std::string::npos) line.replace(at, 17, "(dt:T)");
  return line;
}

class FacilityAccess : public ::testing::Test {
 protected:
  void SetUp() override { TDevice::DefaultLog().method = &ToList; }
  void TearDown() override { TDevice::DefaultLog().Clear(); }
  FakeDevice device_;
  TStringList list_;
};

TEST_F(FacilityAccess, AWriteOfNothingDumpsBufferIsEmptyAndStillSends) {
  std::string error = "untouched";
  Dev_SetFacilityData(&device_, 0x0310, 0, &error, &list_, 0, "");
  ASSERT_EQ(2u, list_.Lines().size());
  EXPECT_EQ(
      "SetFacilityData( FacId: 0x310, Ch: A+B, buf, Size: 0B ), where is buf:\r\n\tBuffer is empty",
      list_.Lines()[0]);
  EXPECT_EQ("SetFacilityData (dt:T) ", WithoutTime(list_.Lines()[1]));
  ASSERT_EQ(1u, device_.written.size());
  EXPECT_EQ(0, device_.written[0].second);
  EXPECT_EQ("untouched", error);
}

TEST_F(FacilityAccess, SeventeenBytesPutTheLastOnASecondLine) {
  uint8_t data[17];
  for (int i = 0; i < 17; ++i) data[i] = static_cast<uint8_t>(i);
  Dev_SetFacilityData(&device_, 0x2210, 3, nullptr, &list_, 17, data);
  EXPECT_EQ(
      "SetFacilityData( FacId: 0x2210, Ch: unknow (valid is 0..2), buf, Size: 17B ), where is "
      "buf:\r\n\t 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\r\n\t 10",
      list_.Lines()[0]);
}

TEST_F(FacilityAccess, AFailedWriteBecomesText) {
  device_.fail = true;
  std::string error;
  Dev_SetFacilityData(&device_, 0x2210, 1, &error, &list_, 1, "x");
  EXPECT_EQ(" !!! Writting Error (Excetion:\"write failed\") !!! ", error);
  EXPECT_EQ("SetFacilityData (dt:T)  !!! Writting Error (Excetion:\"write failed\") !!! ",
            WithoutTime(list_.Lines()[1]));
}

TEST_F(FacilityAccess, AShortReadDumpsWhatCameAndReturnsTheCount) {
  device_.answer = {0xAB, 0xCD};
  uint8_t buffer[4] = {};
  EXPECT_EQ(2, Dev_GetFacilityData(&device_, 0x0200, 2, nullptr, &list_, 4, buffer));
  ASSERT_EQ(2u, list_.Lines().size());
  EXPECT_EQ("GetFacilityData( FacId: 0x200, Ch: B, buf, Size: 4 )", list_.Lines()[0]);
  EXPECT_EQ("GetFacilityData, readen 2B (dt:T), where is buf:\r\n\t AB CD",
            WithoutTime(list_.Lines()[1]));
}

TEST_F(FacilityAccess, AFailedReadIsMinusOneAndText) {
  device_.fail = true;
  std::string error;
  uint8_t buffer[4];
  EXPECT_EQ(-1, Dev_GetFacilityData(&device_, 0x0200, 0, &error, &list_, 4, buffer));
  EXPECT_EQ(" !!! Reading Error from buffer (Excetion:\"read failed\") !!! ", error);
  EXPECT_EQ("GetFacilityData, readen -1B (dt:T), where is buf:\r\n" + error,
            WithoutTime(list_.Lines()[1]));
}

TEST_F(FacilityAccess, ANilBufferWithASizeIsShownAndNothingIsSent) {
  testsupport::MessageBoxAnswerer answerer({{"", "BUFFER ERROR", IDOK}}, GetCurrentProcessId());
  Dev_SetFacilityData(&device_, 0x2210, 0, nullptr, &list_, 4, nullptr);
  ASSERT_EQ(1u, answerer.Seen().size());
  EXPECT_EQ(
      "In function \"Dev_SetFacilityData\" BUFFER ERROR\r\nBuffer is nil but Size isnt "
      "0\r\nCommand: 0x2210, Channel: 0, Size: 4",
      answerer.Seen()[0].text);
  ASSERT_EQ(1u, device_.written.size());
  EXPECT_EQ(0, device_.written[0].second) << "a request without data";
}

class CountingClient : public TClient {
 public:
  CountingClient(TDevice* d, int* destroyed) : TClient(d), destroyed_(destroyed) {}
  ~CountingClient() override { ++*destroyed_; }

 private:
  int* destroyed_;
};

TEST(DeviceClients, ClientsAttachInOrderAndTheDeviceFreesThem) {
  int destroyed = 0;
  auto* device = new FakeDevice;
  auto* a = new CountingClient(device, &destroyed);
  auto* b = new CountingClient(device, &destroyed);
  TClient* notified = nullptr;
  b->OnDestroy = [&](TClient* c) { notified = c; };
  ASSERT_EQ(2u, device->Clients().size());
  EXPECT_EQ(a, device->Clients()[0]);
  EXPECT_EQ(b, device->Clients()[1]);
  delete a;
  EXPECT_EQ(1u, device->Clients().size());
  delete device;
  EXPECT_EQ(2, destroyed);
  EXPECT_EQ(b, notified);
}

TEST(DeviceModel, ChannelNames) {
  EXPECT_EQ("A+B", ChannelName(0));
  EXPECT_EQ("A", ChannelName(1));
  EXPECT_EQ("B", ChannelName(2));
  EXPECT_EQ("unknow (valid is 0..2)", ChannelName(3));
}

}  // namespace
}  // namespace tessaro
