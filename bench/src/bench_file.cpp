#include "bench_file.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace bench {
namespace {

// How long a bench waits for another process's change of the same file
// before it goes ahead: changes take milliseconds.
constexpr DWORD kFileLockMs = 10000;

bool StampOf(const std::string& path, FILETIME* stamp, uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  *stamp = data.ftLastWriteTime;
  *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

bool ReadWhole(const std::string& path, std::string* text) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  text->clear();
  char buf[4096];
  DWORD n = 0;
  while (::ReadFile(f, buf, sizeof buf, &n, nullptr) && n > 0) text->append(buf, n);
  CloseHandle(f);
  return true;
}

// A whole new file replaces the old one in one step: a reader sees either.
bool WriteWhole(const std::string& path, const std::string& text) {
  std::string tmp = path + ".tmp" + std::to_string(GetCurrentProcessId());
  HANDLE f = CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = ::WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
            written == text.size();
  FlushFileBuffers(f);
  CloseHandle(f);
  if (!ok || !MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileA(tmp.c_str());
    return false;
  }
  return true;
}

// A change that keeps the text's length (a digest, a flag, a counter) is
// written in place, only the few bytes that differ, in one write within one
// page: a reader sees the old or the new text, and no new file has to reach
// the disk before it replaces the old one (that costs milliseconds, and the
// flash model changes its digest at every block). False when the change is
// not of that kind or could not be written so.
bool WriteInPlace(const std::string& path, const std::string& before, const std::string& after) {
  constexpr size_t kMostBytes = 64, kPage = 4096;
  if (before.size() != after.size()) return false;
  size_t first = 0, end = before.size();
  while (first < end && before[first] == after[first]) ++first;
  if (first == end) return true;  // nothing changed: nothing to write
  while (before[end - 1] == after[end - 1]) --end;
  if (end - first > kMostBytes || first / kPage != (end - 1) / kPage) return false;
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  FILETIME stamp{};
  bool ok =
      GetFileSize(f, nullptr) == before.size() && GetFileTime(f, nullptr, nullptr, &stamp) &&
      SetFilePointer(f, static_cast<LONG>(first), nullptr, FILE_BEGIN) == first &&
      ::WriteFile(f, after.data() + first, static_cast<DWORD>(end - first), &written, nullptr) &&
      written == end - first;
  if (ok) {
    // The size stays, so readers notice the change by its time alone; the
    // file system's clock is coarse and the last change may be that recent,
    // so the time moves on by a step of its own.
    ULARGE_INTEGER last{}, next{};
    last.LowPart = stamp.dwLowDateTime;
    last.HighPart = stamp.dwHighDateTime;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    next.LowPart = now.dwLowDateTime;
    next.HighPart = now.dwHighDateTime;
    if (next.QuadPart <= last.QuadPart) next.QuadPart = last.QuadPart + 1;
    stamp.dwLowDateTime = next.LowPart;
    stamp.dwHighDateTime = next.HighPart;
    ok = SetFileTime(f, nullptr, nullptr, &stamp) != FALSE;
  }
  CloseHandle(f);
  return ok;
}

// A machine-wide mutex per bench file, so two processes (and the bus model
// and the device tree of one) never interleave their read-modify-write of
// the same file.
HANDLE FileMutex(const std::string& path) {
  // Opened once per file and kept for the life of the process: a change is
  // made at every register write, and the bench clock may run a thousand
  // times faster than the wall.
  static lm::CriticalSection lock;
  static std::map<std::string, HANDLE> mutexes;
  lm::Lock guard(lock);
  HANDLE& mutex = mutexes[path];
  if (!mutex) {
    uint32_t hash = 2166136261u;
    for (char c : path) {
      hash ^= static_cast<uint8_t>(std::tolower(static_cast<unsigned char>(c)));
      hash *= 16777619u;
    }
    char name[64];
    std::snprintf(name, sizeof name, "LumetraBenchFile_%08X", hash);
    mutex = CreateMutexA(nullptr, FALSE, name);
  }
  return mutex;
}

class FileLock {
 public:
  explicit FileLock(const std::string& path) : mutex_(FileMutex(path)) {
    if (mutex_) WaitForSingleObject(mutex_, kFileLockMs);
  }
  ~FileLock() {
    if (mutex_) ReleaseMutex(mutex_);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  HANDLE mutex_;
};

}  // namespace

IniText ReadBenchFile(const std::string& path) {
  std::string text;
  return ReadWhole(path, &text) ? IniText(text) : IniText();
}

bool UpdateBenchFile(const std::string& path, const std::function<void(IniText&)>& change) {
  FileLock lock(path);
  std::string text;
  // A file that cannot be read now is left alone rather than written anew
  // from nothing.
  if (!ReadWhole(path, &text)) return false;
  IniText ini(text);
  change(ini);
  std::string after = ini.Text();
  return WriteInPlace(path, text, after) || WriteWhole(path, after);
}

int64_t ParseInt(const std::string& text, int64_t fallback) {
  std::string t = Trim(text);
  if (t.empty()) return fallback;
  char* end = nullptr;
  long long v = std::strtoll(t.c_str(), &end, 0);
  if (end == t.c_str()) return fallback;
  return v;
}

std::vector<uint8_t> ParseHex(const std::string& text) {
  std::vector<uint8_t> out;
  int nibbles = 0;
  uint8_t cur = 0;
  for (char c : text) {
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else {
      if (nibbles == 1) out.push_back(cur);
      nibbles = 0;
      cur = 0;
      continue;
    }
    cur = static_cast<uint8_t>(cur << 4 | v);
    if (++nibbles == 2) {
      out.push_back(cur);
      nibbles = 0;
      cur = 0;
    }
  }
  if (nibbles == 1) out.push_back(cur);
  return out;
}

std::string FormatHex(const uint8_t* data, size_t size) {
  std::string out;
  char b[4];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(b, sizeof b, i ? " %02X" : "%02X", data[i]);
    out += b;
  }
  return out;
}

bool BenchFile::Open(const std::string& path) {
  lm::Lock g(lock_);
  path_ = path;
  ini_ = IniText();
  size_ = 0;
  stamp_ = FILETIME{};
  std::string text;
  FileLock fl(path);
  if (!ReadWhole(path, &text)) return false;
  StampOf(path, &stamp_, &size_);
  ini_ = IniText(text);
  return true;
}

BenchFile::Steady::Steady(BenchFile& file) : file_(file) {
  lm::Lock g(file_.lock_);
  outer_ = file_.steadyThread_;
  if (outer_ == GetCurrentThreadId()) return;  // within another on this thread
  file_.steadyThread_ = GetCurrentThreadId();
  file_.looked_ = false;
}

BenchFile::Steady::~Steady() {
  lm::Lock g(file_.lock_);
  if (outer_ == file_.steadyThread_) return;
  file_.steadyThread_ = outer_;
  file_.looked_ = false;
}

void BenchFile::RefreshLocked() {
  if (steadyThread_ && steadyThread_ == GetCurrentThreadId()) {
    if (looked_) return;
    looked_ = true;
  }
  FILETIME stamp;
  uint64_t size;
  if (!StampOf(path_, &stamp, &size)) return;
  if (size == size_ && CompareFileTime(&stamp, &stamp_) == 0) return;
  std::string text;
  if (!ReadWhole(path_, &text)) return;
  stamp_ = stamp;
  size_ = size;
  ini_ = IniText(text);
}

std::string BenchFile::Get(const std::string& section, const std::string& key,
                           const std::string& fallback) {
  lm::Lock g(lock_);
  RefreshLocked();
  return ini_.Get(section, key, fallback);
}

bool BenchFile::Has(const std::string& section, const std::string& key) {
  lm::Lock g(lock_);
  RefreshLocked();
  return ini_.Has(section, key);
}

int64_t BenchFile::GetInt(const std::string& section, const std::string& key, int64_t fallback) {
  return ParseInt(Get(section, key), fallback);
}

std::vector<std::string> BenchFile::Sections() {
  lm::Lock g(lock_);
  RefreshLocked();
  return ini_.Sections();
}

void BenchFile::Set(const std::string& section, const std::string& key, const std::string& value) {
  lm::Lock g(lock_);
  // The change applies to what is on disk now: another process may have
  // changed it.
  bool written = UpdateBenchFile(path_, [&](IniText& ini) {
    if (value.empty())
      ini.Remove(section, key);
    else
      ini.Set(section, key, value);
    ini_ = ini;
  });
  if (written) StampOf(path_, &stamp_, &size_);
}

}  // namespace bench
