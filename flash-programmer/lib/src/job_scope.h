// Marks a job of the form as running for as long as it lives, errors
// included, so the window refuses to close meanwhile.
#pragma once

namespace tessaro {

class JobScope {
 public:
  explicit JobScope(bool& running) : running_(running), was_(running) { running_ = true; }
  ~JobScope() { running_ = was_; }
  JobScope(const JobScope&) = delete;
  JobScope& operator=(const JobScope&) = delete;

 private:
  bool& running_;
  bool was_;
};

}  // namespace tessaro
