#include "tessaro/format_text.h"

#include <cctype>
#include <cstdio>
#include <vector>

namespace tessaro {
namespace {

// Widths and precisions above this count as this: the formats are constants,
// but the helper stays total, and a stray "%3000000000d" must not allocate
// gigabytes or raise an error.
constexpr int kMaxFieldSize = 1024;
// Argument indexes saturate here; any index past the list writes "<?>".
constexpr int kMaxIndex = 1 << 20;

// The decimal number of the digits at format[k..] (k moves past them),
// saturated at `highest`.
int Digits(const std::string& format, size_t& k, int highest) {
  int value = 0;
  for (; k < format.size() && std::isdigit(static_cast<unsigned char>(format[k])); ++k) {
    const int digit = format[k] - '0';
    value = value > (highest - digit) / 10 ? highest : value * 10 + digit;
  }
  return value;
}

struct Spec {
  bool left = false;
  int width = -1;
  int precision = -1;
  char kind = 0;
};

std::string Pad(std::string text, const Spec& spec) {
  if (spec.width > 0 && static_cast<int>(text.size()) < spec.width) {
    std::string fill(static_cast<size_t>(spec.width) - text.size(), ' ');
    text = spec.left ? text + fill : fill + text;
  }
  return text;
}

std::string Integer(const FormatArg& arg, const Spec& spec, bool* ok) {
  const auto& v = arg.Value();
  uint64_t magnitude = 0;
  bool negative = false;
  if (auto i = std::get_if<int64_t>(&v)) {
    negative = *i < 0 && (spec.kind == 'd');
    magnitude = negative ? static_cast<uint64_t>(-(*i + 1)) + 1 : static_cast<uint64_t>(*i);
    if (!negative && *i < 0)
      magnitude = static_cast<uint32_t>(*i);  // hex/unsigned of a negative: 32 bits
  } else if (auto u = std::get_if<uint64_t>(&v)) {
    magnitude = *u;
  } else {
    *ok = false;
    return {};
  }
  char digits[40];
  if (spec.kind == 'x')
    std::snprintf(digits, sizeof digits, "%llx", static_cast<unsigned long long>(magnitude));
  else if (spec.kind == 'X')
    std::snprintf(digits, sizeof digits, "%llX", static_cast<unsigned long long>(magnitude));
  else
    std::snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(magnitude));
  std::string text = digits;
  // The precision of an integer is its least number of digits.
  if (spec.precision > static_cast<int>(text.size()))
    text = std::string(static_cast<size_t>(spec.precision) - text.size(), '0') + text;
  if (negative) text = "-" + text;
  return text;
}

std::string Float(const FormatArg& arg, const Spec& spec, bool* ok) {
  const auto& v = arg.Value();
  double d = 0;
  if (auto f = std::get_if<double>(&v))
    d = *f;
  else if (auto i = std::get_if<int64_t>(&v))
    d = static_cast<double>(*i);
  else if (auto u = std::get_if<uint64_t>(&v))
    d = static_cast<double>(*u);
  else {
    *ok = false;
    return {};
  }
  const int precision = spec.precision < 0 ? 2 : spec.precision;
  int length = std::snprintf(nullptr, 0, "%.*f", precision, d);
  if (length <= 0) return {};
  std::vector<char> text(static_cast<size_t>(length) + 1);
  std::snprintf(text.data(), text.size(), "%.*f", precision, d);
  return std::string(text.data(), static_cast<size_t>(length));
}

std::string Text(const FormatArg& arg, const Spec& spec, bool* ok) {
  const auto* s = std::get_if<std::string>(&arg.Value());
  if (!s) {
    *ok = false;
    return {};
  }
  return spec.precision >= 0 ? s->substr(0, static_cast<size_t>(spec.precision)) : *s;
}

// Reads the spec of the '%' at format[i]: an index "n:" (which sets `next`),
// "-", the width and ".precision". Gives the position of the kind's letter,
// or format.size() when the format ends first.
size_t ReadSpec(const std::string& format, size_t i, size_t& next, Spec& spec) {
  size_t j = i + 1;
  // An index "n:" picks the argument; numbering goes on from there.
  size_t k = j;
  int number = Digits(format, k, kMaxIndex);
  if (k > j && k < format.size() && format[k] == ':') {
    next = static_cast<size_t>(number);
    j = k + 1;
  }
  if (j < format.size() && format[j] == '-') {
    spec.left = true;
    ++j;
  }
  k = j;
  number = Digits(format, k, kMaxFieldSize);
  if (k > j) spec.width = number;
  j = k;
  if (j < format.size() && format[j] == '.') {
    ++j;
    k = j;
    spec.precision = Digits(format, k, kMaxFieldSize);
    j = k;
  }
  return j;
}

// The argument at `index` written by its spec; "<?>" when there is no such
// argument or it does not suit the kind.
std::string Piece(const std::vector<const FormatArg*>& list, size_t index, const Spec& spec) {
  if (index >= list.size()) return "<?>";
  const FormatArg& arg = *list[index];
  bool ok = true;
  std::string piece;
  switch (std::tolower(static_cast<unsigned char>(spec.kind))) {
    case 'd':
    case 'u':
    case 'x':
      piece = Integer(arg, spec, &ok);
      break;
    case 'f':
    case 'n':
      piece = Float(arg, spec, &ok);
      break;
    case 's':
      piece = Text(arg, spec, &ok);
      break;
    default:
      ok = false;
  }
  return ok ? Pad(piece, spec) : "<?>";
}

}  // namespace

std::string FormatText(const std::string& format, std::initializer_list<FormatArg> args) {
  std::vector<const FormatArg*> list;
  for (const FormatArg& a : args) list.push_back(&a);
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%') {
      out += c;
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    Spec spec;
    size_t j = ReadSpec(format, i, next, spec);
    if (j >= format.size()) {
      out += format.substr(i);
      break;
    }
    spec.kind = format[j];
    i = j;
    out += Piece(list, next++, spec);
  }
  return out;
}

}  // namespace tessaro
