// The bench file as text: read a value, change a value, and write the text
// back whole. The bench's device tree keeps its state in the bench file so a
// test can read it after the deliverable ended; changes must keep every other
// line (comments, the other sections) as it was.
// Plain portable C++: sections and keys compare ignoring ASCII case.
#pragma once

#include <string>
#include <vector>

namespace bench {

class IniText {
 public:
  explicit IniText(const std::string& text);

  // The value of key in section, trimmed; fallback when either is missing.
  std::string Get(const std::string& section, const std::string& key,
                  const std::string& fallback = {}) const;
  // Replaces the key's line, or adds it at the end of the section, adding the
  // section at the end of the text when it is missing.
  void Set(const std::string& section, const std::string& key, const std::string& value);

  // The whole text, lines ended by CR LF.
  std::string Text() const;

 private:
  // Index of the section's header line, or -1.
  int FindSection(const std::string& section) const;
  // Index one past the section's last line (the next header or the end).
  size_t SectionEnd(int header) const;

  std::vector<std::string> lines_;
};

// Splits "a,b , c" into trimmed non-empty parts.
std::vector<std::string> SplitList(const std::string& list, char separator = ',');

bool EqualNoCase(const std::string& a, const std::string& b);

// Reads an unsigned number written in decimal or with 0x in hexadecimal.
unsigned long ParseNumber(const std::string& text, unsigned long fallback = 0);

}  // namespace bench
