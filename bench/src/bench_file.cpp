#include "bench_file.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {
namespace {

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

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

class FileGuard {
 public:
  explicit FileGuard(HANDLE m) : m_(m) {
    if (m_) WaitForSingleObject(m_, 10000);
  }
  ~FileGuard() {
    if (m_) ReleaseMutex(m_);
  }

 private:
  HANDLE m_;
};

}  // namespace

// A machine-wide mutex per bench file, so two processes never interleave
// their read-modify-write of the same file.
HANDLE OpenBenchFileMutex(const std::string& path) {
  uint32_t hash = 2166136261u;
  for (char c : path) {
    hash ^= static_cast<uint8_t>(std::tolower(static_cast<unsigned char>(c)));
    hash *= 16777619u;
  }
  char name[64];
  std::snprintf(name, sizeof name, "LumetraBenchFile_%08X", hash);
  return CreateMutexA(nullptr, FALSE, name);
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

BenchFile::~BenchFile() {
  if (fileMutex_) CloseHandle(fileMutex_);
}

bool BenchFile::Open(const std::string& path) {
  lm::Lock g(lock_);
  path_ = path;
  if (fileMutex_) CloseHandle(fileMutex_);
  fileMutex_ = OpenBenchFileMutex(path);
  sections_.clear();
  size_ = 0;
  stamp_ = FILETIME{};
  std::string text;
  FileGuard fg(fileMutex_);
  if (!ReadWhole(path, &text)) return false;
  StampOf(path, &stamp_, &size_);
  ParseLocked(text);
  return true;
}

void BenchFile::RefreshLocked() {
  FILETIME stamp;
  uint64_t size;
  if (!StampOf(path_, &stamp, &size)) return;
  if (size == size_ && CompareFileTime(&stamp, &stamp_) == 0) return;
  std::string text;
  if (!ReadWhole(path_, &text)) return;
  stamp_ = stamp;
  size_ = size;
  ParseLocked(text);
}

void BenchFile::ParseLocked(const std::string& text) {
  sections_.clear();
  Section* current = nullptr;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      std::string name =
          Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      current = FindLocked(name);
      if (!current) {
        sections_.push_back(Section{name, {}});
        current = &sections_.back();
      }
      continue;
    }
    size_t eq = line.find('=');
    if (!current || eq == std::string::npos) continue;
    std::string key = Trim(line.substr(0, eq));
    std::string value = Trim(line.substr(eq + 1));
    bool replaced = false;
    for (auto& kv : current->keys)
      if (SameText(kv.first, key)) {
        kv.second = value;
        replaced = true;
      }
    if (!replaced) current->keys.emplace_back(key, value);
  }
}

std::string BenchFile::RenderLocked() const {
  std::string out;
  for (const Section& s : sections_) {
    out += "[" + s.name + "]\r\n";
    for (const auto& kv : s.keys) out += kv.first + "=" + kv.second + "\r\n";
    out += "\r\n";
  }
  return out;
}

BenchFile::Section* BenchFile::FindLocked(const std::string& name) {
  for (Section& s : sections_)
    if (SameText(s.name, name)) return &s;
  return nullptr;
}

std::string BenchFile::Get(const std::string& section, const std::string& key,
                           const std::string& fallback) {
  lm::Lock g(lock_);
  RefreshLocked();
  if (Section* s = FindLocked(section))
    for (const auto& kv : s->keys)
      if (SameText(kv.first, key)) return kv.second;
  return fallback;
}

bool BenchFile::Has(const std::string& section, const std::string& key) {
  static const std::string kMissing = "\x01missing";
  return Get(section, key, kMissing) != kMissing;
}

int64_t BenchFile::GetInt(const std::string& section, const std::string& key, int64_t fallback) {
  return ParseInt(Get(section, key), fallback);
}

std::vector<std::string> BenchFile::Sections() {
  lm::Lock g(lock_);
  RefreshLocked();
  std::vector<std::string> names;
  for (const Section& s : sections_) names.push_back(s.name);
  return names;
}

void BenchFile::Set(const std::string& section, const std::string& key, const std::string& value) {
  lm::Lock g(lock_);
  FileGuard fg(fileMutex_);
  // Start from what is on disk now: another process may have changed it.
  stamp_ = FILETIME{};
  RefreshLocked();
  Section* s = FindLocked(section);
  if (!s) {
    sections_.push_back(Section{section, {}});
    s = &sections_.back();
  }
  bool found = false;
  for (size_t i = 0; i < s->keys.size(); ++i)
    if (SameText(s->keys[i].first, key)) {
      found = true;
      if (value.empty())
        s->keys.erase(s->keys.begin() + static_cast<std::ptrdiff_t>(i));
      else
        s->keys[i].second = value;
      break;
    }
  if (!found && !value.empty()) s->keys.emplace_back(key, value);

  // A whole new file replaces the old one in one step: a reader sees either.
  std::string tmp = path_ + ".tmp" + std::to_string(GetCurrentProcessId());
  std::string text = RenderLocked();
  HANDLE f = CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  bool ok = ::WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
            written == text.size();
  FlushFileBuffers(f);
  CloseHandle(f);
  if (!ok || !MoveFileExA(tmp.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileA(tmp.c_str());
    return;
  }
  StampOf(path_, &stamp_, &size_);
}

}  // namespace bench
