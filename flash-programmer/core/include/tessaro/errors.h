// The library's general error: every failure inside the library raises it
// with a message text; the exports and the form catch it.
#pragma once

#include <stdexcept>
#include <string>

namespace tessaro {

class TessaroError : public std::runtime_error {
 public:
  explicit TessaroError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace tessaro
