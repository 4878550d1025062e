// A client that writes down every call it gets, one text per call.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tessaro/device.h"

namespace tessaro {

class RecordingClient : public TClient {
 public:
  RecordingClient(TDevice* device, std::vector<std::string>* calls)
      : TClient(device), calls_(calls) {}

  void OnDeviceEvent(uint8_t pipe, uint16_t eventId, uint32_t lParam, uint16_t wParam) override {
    char b[96];
    std::snprintf(b, sizeof b, "event %02X id=%04X l=%u w=%u", pipe, eventId, lParam, wParam);
    calls_->push_back(b);
  }
  void OnTextLine(const char* text) override { calls_->push_back(std::string("text ") + text); }
  void OnDataPacket(uint8_t pipe, uint16_t packetId, const uint8_t* payload,
                    uint16_t length) override {
    calls_->push_back(Data("packet", pipe, packetId, payload, length));
  }
  void OnDataMsg(uint8_t pipe, uint16_t eventId, const uint8_t* payload, uint16_t length) override {
    calls_->push_back(Data("msg", pipe, eventId, payload, length));
  }

 private:
  static std::string Data(const char* what, uint8_t pipe, uint16_t id, const uint8_t* p,
                          uint16_t n) {
    char b[64];
    std::snprintf(b, sizeof b, "%s %02X id=%04X len=%u:", what, pipe, id, n);
    std::string s = b;
    for (uint16_t i = 0; i < n && i < 16; ++i) {
      std::snprintf(b, sizeof b, " %02X", p[i]);
      s += b;
    }
    return s;
  }
  std::vector<std::string>* calls_;
};

}  // namespace tessaro
