// What a Windows program or DLL asks of the loader, read from its bytes: the
// header fields that decide which Windows versions load it, the functions it
// imports per DLL, the names and ordinals it exports. Plain C++ over bytes;
// a malformed image gives an error text, never a read past the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace release {

struct ImportedDll {
  std::string dll;
  // Function names; an import by ordinal is written "#N".
  std::vector<std::string> functions;
};

struct ExportedName {
  std::string name;
  uint32_t ordinal;
};

struct PeImage {
  uint16_t machine = 0;  // 0x14C i386, 0x8664 AMD64
  bool pe32Plus = false;
  uint16_t subsystem = 0;  // 2 Windows GUI, 3 console
  uint16_t osMajor = 0, osMinor = 0;
  uint16_t subsystemMajor = 0, subsystemMinor = 0;
  std::vector<ImportedDll> imports;
  std::vector<ExportedName> exports;  // named exports, by name
  uint32_t unnamedExports = 0;        // exports reached by ordinal only
};

// False with `error` set when `bytes` is not a well-formed PE image.
bool ReadPeImage(const std::vector<uint8_t>& bytes, PeImage* image, std::string* error);

}  // namespace release
