// The bench file's text: the one INI engine of the bench. It reads values and
// changes them line by line, so that a change keeps every other line as it
// was: comments (lines starting with ';' or '#'), blank lines, the order of
// sections and keys. Sections and keys compare ignoring ASCII case; a key
// written again, in the same section or a later one of the same name,
// overrides the earlier value (a test's bench description adds a key to
// change a default). Plain portable C++.
#pragma once

#include <string>
#include <vector>

namespace bench {

class IniText {
 public:
  IniText() = default;
  explicit IniText(const std::string& text);

  // The value of key in section, trimmed; fallback when either is missing.
  std::string Get(const std::string& section, const std::string& key,
                  const std::string& fallback = {}) const;
  bool Has(const std::string& section, const std::string& key) const;
  // The section names in the order of the text, each once.
  std::vector<std::string> Sections() const;

  // Replaces the key's line (the one that counts), or adds it after the
  // section's last non-empty line, adding the section at the end of the text
  // when it is missing.
  void Set(const std::string& section, const std::string& key, const std::string& value);
  // Removes every line of the key; false when there was none.
  bool Remove(const std::string& section, const std::string& key);

  // The whole text, lines ended by CR LF.
  std::string Text() const;

 private:
  enum class Kind { Other, Header, Key };
  struct Line {
    std::string text;
    Kind kind = Kind::Other;
    std::string name;   // the section of a header, the key of a key line
    std::string value;  // a key line's value, trimmed
  };
  static Line Parse(const std::string& text);
  // Index of the key's line that counts (the last), or -1.
  int FindKey(const std::string& section, const std::string& key) const;

  std::vector<Line> lines_;
};

// Splits "a,b , c" into trimmed non-empty parts.
std::vector<std::string> SplitList(const std::string& list, char separator = ',');

bool EqualNoCase(const std::string& a, const std::string& b);
std::string Trim(const std::string& text);

// Reads an unsigned number written in decimal or with 0x in hexadecimal.
unsigned long ParseNumber(const std::string& text, unsigned long fallback = 0);

}  // namespace bench
