// The error the device model and the connection raise with a message text.
#pragma once

#include <stdexcept>
#include <string>

namespace tessaro {

class EDeviceError : public std::runtime_error {
 public:
  explicit EDeviceError(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

}  // namespace tessaro
