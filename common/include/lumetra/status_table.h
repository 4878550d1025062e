// The row type and lookup of a library's status table: one row per code with
// the name of its constant and its text. Each library keeps its own table;
// plain C++, free of Win32 types.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lm {

struct StatusRow {
  uint32_t code;
  const char* name;
  const char* text;
};

// The first row of `code` in `table`; null when the table has none.
template <size_t N>
constexpr const StatusRow* FindStatus(const StatusRow (&table)[N], uint32_t code) {
  for (const StatusRow& row : table)
    if (row.code == code) return &row;
  return nullptr;
}

// The name and the text of `code` in `table`; null when the table has none.
template <size_t N>
constexpr const char* StatusNameIn(const StatusRow (&table)[N], uint32_t code) {
  const StatusRow* row = FindStatus(table, code);
  return row ? row->name : nullptr;
}
template <size_t N>
constexpr const char* StatusTextIn(const StatusRow (&table)[N], uint32_t code) {
  const StatusRow* row = FindStatus(table, code);
  return row ? row->text : nullptr;
}

}  // namespace lm
