// The bench file: an INI text that describes the bus and holds the bench's
// persistent state. Every process that opened the same file sees the same
// state: a change is written back at once, atomically (a whole new file moved
// over the old one, or the few bytes of a change that keeps the text's length
// in one write, under a machine-wide mutex), and a read notices when another
// process changed the file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bench/ini_text.h"
#include "lumetra/sync.h"

namespace bench {

class BenchFile {
 public:
  BenchFile() = default;

  // Reads the file; false when it cannot be read.
  bool Open(const std::string& path);
  const std::string& Path() const { return path_; }

  std::string Get(const std::string& section, const std::string& key,
                  const std::string& fallback = {});
  // Integers in decimal or with a 0x prefix.
  int64_t GetInt(const std::string& section, const std::string& key, int64_t fallback);
  bool Has(const std::string& section, const std::string& key);
  std::vector<std::string> Sections();

  // Writes one value back to the file (empty value: removes the key).
  void Set(const std::string& section, const std::string& key, const std::string& value);

  // While one lives, the reads of its thread look at the file for another
  // process's change once, at the first: a device request answers from one
  // state, and each look costs a file-system call for each of its dozen reads.
  class Steady {
   public:
    explicit Steady(BenchFile& file);
    ~Steady();
    Steady(const Steady&) = delete;
    Steady& operator=(const Steady&) = delete;

   private:
    BenchFile& file_;
    DWORD outer_;
  };

 private:
  void RefreshLocked();

  std::string path_;
  lm::CriticalSection lock_;
  IniText ini_;
  FILETIME stamp_{};
  uint64_t size_ = 0;
  DWORD steadyThread_ = 0;  // the thread of the Steady that lives, 0 none
  bool looked_ = false;     // that thread has looked at the file
};

// Runs change over the bench file's text as it is on disk now and writes the
// result back whole, atomically, under the file's machine-wide mutex. The
// text handed to change is the one written; false when the file could not be
// read (then change is not run) or written.
bool UpdateBenchFile(const std::string& path, const std::function<void(IniText&)>& change);

// The bench file's text as it is on disk now (empty when it cannot be read).
IniText ReadBenchFile(const std::string& path);

// Hex byte texts ("01 a0 FF" or "01a0ff") and back ("01 A0 FF").
std::vector<uint8_t> ParseHex(const std::string& text);
std::string FormatHex(const uint8_t* data, size_t size);
int64_t ParseInt(const std::string& text, int64_t fallback);

}  // namespace bench
