#include "bench/setupapi_ini.h"

#include <cctype>
#include <cstdlib>

namespace bench {
namespace {

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

bool IsHeader(const std::string& line, std::string* name) {
  std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[' || t.back() != ']') return false;
  if (name) *name = Trim(t.substr(1, t.size() - 2));
  return true;
}

// Splits "key=value" of a line that is neither a comment nor a header.
bool IsKeyLine(const std::string& line, std::string* key, std::string* value) {
  std::string t = Trim(line);
  if (t.empty() || t[0] == ';' || t[0] == '[') return false;
  size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  *key = Trim(t.substr(0, eq));
  if (value) *value = Trim(t.substr(eq + 1));
  return true;
}

}  // namespace

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::vector<std::string> SplitList(const std::string& list, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(separator, start);
    if (end == std::string::npos) end = list.size();
    std::string part = Trim(list.substr(start, end - start));
    if (!part.empty()) parts.push_back(part);
    start = end + 1;
  }
  return parts;
}

unsigned long ParseNumber(const std::string& text, unsigned long fallback) {
  std::string t = Trim(text);
  if (t.empty()) return fallback;
  char* end = nullptr;
  unsigned long value = std::strtoul(t.c_str(), &end, 0);
  return (end && *end == '\0') ? value : fallback;
}

IniText::IniText(const std::string& text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines_.push_back(line);
    start = end + 1;
  }
}

int IniText::FindSection(const std::string& section) const {
  std::string name;
  for (size_t i = 0; i < lines_.size(); ++i)
    if (IsHeader(lines_[i], &name) && EqualNoCase(name, section)) return static_cast<int>(i);
  return -1;
}

size_t IniText::SectionEnd(int header) const {
  size_t i = static_cast<size_t>(header) + 1;
  while (i < lines_.size() && !IsHeader(lines_[i], nullptr)) ++i;
  return i;
}

std::string IniText::Get(const std::string& section, const std::string& key,
                         const std::string& fallback) const {
  int header = FindSection(section);
  if (header < 0) return fallback;
  std::string k, v;
  for (size_t i = header + 1; i < SectionEnd(header); ++i)
    if (IsKeyLine(lines_[i], &k, &v) && EqualNoCase(k, key)) return v;
  return fallback;
}

void IniText::Set(const std::string& section, const std::string& key, const std::string& value) {
  std::string line = key + "=" + value;
  int header = FindSection(section);
  if (header < 0) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.push_back("");
    lines_.push_back("[" + section + "]");
    lines_.push_back(line);
    return;
  }
  size_t end = SectionEnd(header);
  std::string k;
  for (size_t i = header + 1; i < end; ++i) {
    if (IsKeyLine(lines_[i], &k, nullptr) && EqualNoCase(k, key)) {
      lines_[i] = line;
      return;
    }
  }
  // After the section's last non-empty line, so blank separators stay between sections.
  size_t at = end;
  while (at > static_cast<size_t>(header) + 1 && Trim(lines_[at - 1]).empty()) --at;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), line);
}

std::string IniText::Text() const {
  std::string text;
  for (const std::string& line : lines_) text += line + "\r\n";
  return text;
}

}  // namespace bench
