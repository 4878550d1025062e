#include "pe_image.h"

#include <algorithm>

#include "lumetra/wire.h"

namespace release {
namespace {

constexpr uint32_t kMaxEntries = 65536;  // more names or DLLs than any real image holds

struct Section {
  uint32_t rva, size, offset, rawSize;
};

class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

  bool Has(uint64_t offset, uint64_t size) const {
    return offset <= bytes_.size() && size <= bytes_.size() - offset;
  }
  uint16_t U16(uint32_t offset) const { return le::U16(&bytes_[offset]); }
  uint32_t U32(uint32_t offset) const { return le::U32(&bytes_[offset]); }
  uint64_t U64(uint32_t offset) const {
    return U32(offset) | static_cast<uint64_t>(U32(offset + 4)) << 32;
  }

  // File offset of `size` bytes at `rva`, or false when no section holds them.
  bool Offset(uint32_t rva, uint32_t size, uint32_t* offset) const {
    for (const Section& s : sections_) {
      // Bytes past the file's part of a section are zeros the loader adds.
      uint32_t span = s.size ? std::min(s.size, s.rawSize) : s.rawSize;
      if (rva < s.rva || rva - s.rva >= span) continue;
      uint64_t within = rva - s.rva;
      if (within + size > span) return false;
      if (!Has(s.offset + within, size)) return false;
      *offset = static_cast<uint32_t>(s.offset + within);
      return true;
    }
    return false;
  }
  // A zero-terminated name at `rva`, within its section.
  bool Name(uint32_t rva, std::string* name) const {
    uint32_t offset = 0;
    if (!Offset(rva, 1, &offset)) return false;
    name->clear();
    for (uint32_t i = 0; i < 1024; ++i) {
      uint32_t o = 0;
      if (!Offset(rva + i, 1, &o)) return false;
      if (bytes_[o] == 0) return true;
      name->push_back(static_cast<char>(bytes_[o]));
    }
    return false;
  }

  std::vector<Section> sections_;

 private:
  const std::vector<uint8_t>& bytes_;
};

bool Fail(std::string* error, const std::string& text) {
  *error = text;
  return false;
}

bool ReadImports(const Reader& r, uint32_t rva, bool pe32Plus, PeImage* image, std::string* error) {
  for (uint32_t i = 0;; ++i) {
    if (i >= kMaxEntries) return Fail(error, "import directory without end");
    uint32_t d = 0;
    if (!r.Offset(rva + i * 20, 20, &d)) return Fail(error, "import directory outside the image");
    uint32_t lookup = r.U32(d), nameRva = r.U32(d + 12), thunks = r.U32(d + 16);
    if (lookup == 0 && nameRva == 0 && thunks == 0) return true;
    ImportedDll dll;
    if (!r.Name(nameRva, &dll.dll)) return Fail(error, "import DLL name outside the image");
    uint32_t table = lookup ? lookup : thunks;
    uint32_t width = pe32Plus ? 8 : 4;
    for (uint32_t j = 0;; ++j) {
      if (j >= kMaxEntries) return Fail(error, "import list of " + dll.dll + " without end");
      uint32_t t = 0;
      if (!r.Offset(table + j * width, width, &t))
        return Fail(error, "import list of " + dll.dll + " outside the image");
      uint64_t entry = pe32Plus ? r.U64(t) : r.U32(t);
      if (entry == 0) break;
      bool byOrdinal = pe32Plus ? (entry >> 63) != 0 : (entry >> 31) != 0;
      if (byOrdinal) {
        dll.functions.push_back("#" + std::to_string(entry & 0xFFFF));
        continue;
      }
      std::string name;
      if (!r.Name(static_cast<uint32_t>(entry & 0x7FFFFFFF) + 2, &name))
        return Fail(error, "import name of " + dll.dll + " outside the image");
      dll.functions.push_back(name);
    }
    image->imports.push_back(std::move(dll));
  }
}

bool ReadExports(const Reader& r, uint32_t rva, PeImage* image, std::string* error) {
  uint32_t d = 0;
  if (!r.Offset(rva, 40, &d)) return Fail(error, "export directory outside the image");
  uint32_t base = r.U32(d + 16), functions = r.U32(d + 20), names = r.U32(d + 24);
  uint32_t nameTable = r.U32(d + 32), ordinalTable = r.U32(d + 36);
  if (functions > kMaxEntries || names > functions) return Fail(error, "export counts invalid");
  std::vector<bool> named(functions, false);
  for (uint32_t i = 0; i < names; ++i) {
    uint32_t n = 0, o = 0;
    if (!r.Offset(nameTable + i * 4, 4, &n) || !r.Offset(ordinalTable + i * 2, 2, &o))
      return Fail(error, "export tables outside the image");
    uint16_t index = r.U16(o);
    if (index >= functions) return Fail(error, "export name points past the functions");
    ExportedName e;
    if (!r.Name(r.U32(n), &e.name)) return Fail(error, "export name outside the image");
    e.ordinal = base + index;
    named[index] = true;
    image->exports.push_back(std::move(e));
  }
  uint32_t addresses = r.U32(d + 28);
  for (uint32_t i = 0; i < functions; ++i) {
    uint32_t a = 0;
    if (!r.Offset(addresses + i * 4, 4, &a))
      return Fail(error, "export addresses outside the image");
    if (!named[i] && r.U32(a) != 0) ++image->unnamedExports;
  }
  std::sort(image->exports.begin(), image->exports.end(),
            [](const ExportedName& a, const ExportedName& b) { return a.name < b.name; });
  return true;
}

}  // namespace

bool ReadPeImage(const std::vector<uint8_t>& bytes, PeImage* image, std::string* error) {
  *image = PeImage();
  Reader r(bytes);
  if (!r.Has(0, 64) || bytes[0] != 'M' || bytes[1] != 'Z') return Fail(error, "no MZ header");
  uint32_t pe = r.U32(60);
  if (!r.Has(pe, 24) || r.U32(pe) != 0x00004550) return Fail(error, "no PE signature");
  image->machine = r.U16(pe + 4);
  uint16_t sectionCount = r.U16(pe + 6);
  uint16_t optionalSize = r.U16(pe + 20);
  uint32_t opt = pe + 24;
  if (!r.Has(opt, optionalSize) || optionalSize < 2) return Fail(error, "optional header cut off");
  uint16_t magic = r.U16(opt);
  if (magic != 0x10B && magic != 0x20B) return Fail(error, "unknown optional header");
  image->pe32Plus = magic == 0x20B;
  uint32_t directories = opt + (image->pe32Plus ? 112 : 96);
  if (optionalSize < directories - opt) return Fail(error, "optional header cut off");
  image->osMajor = r.U16(opt + 40);
  image->osMinor = r.U16(opt + 42);
  image->subsystemMajor = r.U16(opt + 48);
  image->subsystemMinor = r.U16(opt + 50);
  image->subsystem = r.U16(opt + 68);
  uint32_t directoryCount = r.U32(directories - 4);
  uint32_t table = opt + optionalSize;
  if (!r.Has(table, uint64_t{sectionCount} * 40)) return Fail(error, "section table cut off");
  for (uint16_t i = 0; i < sectionCount; ++i) {
    uint32_t s = table + i * 40;
    r.sections_.push_back({r.U32(s + 12), r.U32(s + 8), r.U32(s + 20), r.U32(s + 16)});
  }
  auto directory = [&](uint32_t index, uint32_t* rva, uint32_t* size) {
    *rva = *size = 0;
    if (index >= directoryCount || optionalSize < directories - opt + (index + 1) * 8) return;
    *rva = r.U32(directories + index * 8);
    *size = r.U32(directories + index * 8 + 4);
  };
  uint32_t rva = 0, size = 0;
  directory(0, &rva, &size);
  if (rva && size && !ReadExports(r, rva, image, error)) return false;
  directory(1, &rva, &size);
  if (rva && size && !ReadImports(r, rva, image->pe32Plus, image, error)) return false;
  return true;
}

}  // namespace release
