#include "bench/ini_text.h"

#include <cctype>
#include <cstdlib>

namespace bench {

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

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

IniText::Line IniText::Parse(const std::string& text) {
  Line line;
  line.text = text;
  std::string t = Trim(text);
  if (t.empty() || t[0] == ';' || t[0] == '#') return line;
  if (t[0] == '[') {
    size_t close = t.find(']');
    line.kind = Kind::Header;
    line.name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return line;
  }
  size_t eq = t.find('=');
  if (eq == std::string::npos) return line;
  line.kind = Kind::Key;
  line.name = Trim(t.substr(0, eq));
  line.value = Trim(t.substr(eq + 1));
  return line;
}

IniText::IniText(const std::string& text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines_.push_back(Parse(line));
    start = end + 1;
  }
}

int IniText::FindKey(const std::string& section, const std::string& key) const {
  // A section may appear more than once; its keys are those of all its parts,
  // and a key written again overrides what was written before.
  int found = -1;
  bool inside = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Line& l = lines_[i];
    if (l.kind == Kind::Header)
      inside = EqualNoCase(l.name, section);
    else if (inside && l.kind == Kind::Key && EqualNoCase(l.name, key))
      found = static_cast<int>(i);
  }
  return found;
}

std::string IniText::Get(const std::string& section, const std::string& key,
                         const std::string& fallback) const {
  int at = FindKey(section, key);
  return at < 0 ? fallback : lines_[static_cast<size_t>(at)].value;
}

bool IniText::Has(const std::string& section, const std::string& key) const {
  return FindKey(section, key) >= 0;
}

std::vector<std::string> IniText::Sections() const {
  std::vector<std::string> names;
  for (const Line& l : lines_) {
    if (l.kind != Kind::Header) continue;
    bool seen = false;
    for (const std::string& n : names) seen = seen || EqualNoCase(n, l.name);
    if (!seen) names.push_back(l.name);
  }
  return names;
}

void IniText::Set(const std::string& section, const std::string& key, const std::string& value) {
  Line line = Parse(key + "=" + value);
  int at = FindKey(section, key);
  if (at >= 0) {
    lines_[static_cast<size_t>(at)] = line;
    return;
  }
  size_t header = lines_.size();
  for (size_t i = 0; i < lines_.size() && header == lines_.size(); ++i)
    if (lines_[i].kind == Kind::Header && EqualNoCase(lines_[i].name, section)) header = i;
  if (header == lines_.size()) {
    if (!lines_.empty() && !Trim(lines_.back().text).empty()) lines_.push_back(Parse(""));
    lines_.push_back(Parse("[" + section + "]"));
    lines_.push_back(line);
    return;
  }
  size_t end = header + 1;
  while (end < lines_.size() && lines_[end].kind != Kind::Header) ++end;
  // After the section's last non-empty line, so blank separators stay between sections.
  while (end > header + 1 && Trim(lines_[end - 1].text).empty()) --end;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(end), line);
}

bool IniText::Remove(const std::string& section, const std::string& key) {
  // Every occurrence: an overridden one must not come back.
  bool removed = false;
  for (int at = FindKey(section, key); at >= 0; at = FindKey(section, key)) {
    lines_.erase(lines_.begin() + at);
    removed = true;
  }
  return removed;
}

std::string IniText::Text() const {
  std::string text;
  for (const Line& line : lines_) text += line.text + "\r\n";
  return text;
}

}  // namespace bench
