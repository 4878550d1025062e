// Binding a library's exported functions by name from a table of
// {name, &pointer} rows, the one way every module of the suite looks up the
// functions of a library it loaded:
//
//   lm::BindFunctions(module, {{"AssignDevice", &assignDevice_},
//                              {"GetSerNrs", &getSerNrs_}});
//
// A function the library lacks leaves its pointer null; the caller decides
// what a missing function means. Header-only, so that deliverables that
// share no code still bind the same way.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <type_traits>

namespace lm {

// One row of a binding table: an export's name and the pointer it fills.
class DllFunction {
 public:
  template <typename Fn>
  DllFunction(const char* name, Fn* pointer) : name_(name), slot_(pointer), assign_(&Assign<Fn>) {
    static_assert(std::is_pointer<Fn>::value &&
                      std::is_function<typename std::remove_pointer<Fn>::type>::value,
                  "a binding row fills a pointer to a function");
  }

  const char* Name() const { return name_; }
  // Fills the pointer with the export (null when there is none); true when found.
  bool Bind(HMODULE module) const {
    FARPROC found = module ? GetProcAddress(module, name_) : nullptr;
    assign_(slot_, found);
    return found != nullptr;
  }
  void Clear() const { assign_(slot_, nullptr); }

 private:
  template <typename Fn>
  static void Assign(void* slot, FARPROC found) {
    *static_cast<Fn*>(slot) = reinterpret_cast<Fn>(reinterpret_cast<void*>(found));
  }

  const char* name_;
  void* slot_;
  void (*assign_)(void*, FARPROC);
};

using DllFunctions = std::initializer_list<DllFunction>;

// Binds every row of the table from module (all null when module is null).
// Returns the name of the first export the library lacks, or null when it
// has them all. The table is a braced list or any container of rows (a
// class that binds and clears the same rows keeps them in an array).
template <typename Table>
const char* BindFunctions(HMODULE module, const Table& table) {
  const char* firstMissing = nullptr;
  for (const DllFunction& row : table)
    if (!row.Bind(module) && !firstMissing) firstMissing = row.Name();
  return firstMissing;
}
inline const char* BindFunctions(HMODULE module, DllFunctions table) {
  return BindFunctions<DllFunctions>(module, table);
}

// Sets every pointer of the table to null, as after the library was freed.
template <typename Table>
void ClearFunctions(const Table& table) {
  for (const DllFunction& row : table) row.Clear();
}
inline void ClearFunctions(DllFunctions table) { ClearFunctions<DllFunctions>(table); }

// One export by name, for a caller that needs a single function.
template <typename Fn>
Fn ProcAddress(HMODULE module, const char* name) {
  Fn fn = nullptr;
  DllFunction(name, &fn).Bind(module);
  return fn;
}

}  // namespace lm
