#include "tessaro/supply_modules.h"

#include <iterator>
#include <utility>
#include <vector>

#include "lumetra/wire.h"

namespace tessaro {

namespace {

struct PartRow {
  uint16_t pid;
  double partNo;
};

// Row index = bit index in the masks. The old and the new power supply share
// one part number.
constexpr PartRow kPartRows[] = {
    {6, 1362500100},  {7, 1362500200},  {5, 1362500300},  {8, 1362500400}, {8, 1362500500},
    {40, 1362500600}, {41, 1362500700}, {16, 1362500800}, {9, 1362500800},
};

void Log(TStrings* lines, const std::string& format, std::initializer_list<FormatArg> args) {
  LogHooks().supply(lines, format, args);
}

}  // namespace

bool PartNumbersText(uint16_t vid, uint16_t pid, std::string& text) {
  bool found = false;
  std::string out(1, '[');
  if (vid == lm::kVandrelVendorId) {
    for (const PartRow& row : kPartRows) {
      if (row.pid != pid) continue;
      out += std::to_string(static_cast<int64_t>(row.partNo)) + ",";
      found = true;
    }
  }
  out += ']';
  text = std::move(out);
  return found;
}

bool PartMaskForPid(uint16_t vid, uint16_t pid, uint16_t& mask) {
  mask = 0;
  if (vid != lm::kVandrelVendorId) return false;
  for (size_t r = 0; r < std::size(kPartRows); ++r)
    if (kPartRows[r].pid == pid) mask |= static_cast<uint16_t>(1u << r);
  return mask != 0;
}

bool PartMaskForPartNo(uint16_t& mask, double partNo) {
  mask = 0;
  for (size_t r = 0; r < std::size(kPartRows); ++r)
    if (kPartRows[r].partNo == partNo) mask |= static_cast<uint16_t>(1u << r);
  return mask != 0;
}

bool PsVersionSupported(uint16_t major, uint16_t minor) { return major > 0 || minor >= 7; }

bool FindModuleSerial(uint16_t vid, uint16_t pid, TDevice* supply, TStrings* lines,
                      TransferList readLog, int32_t& serial) {
  serial = -1;
  bool result = false;
  std::string parts;
  if (!PartNumbersText(vid, pid, parts)) {
    Log(lines, "    cannot find part number for Dev(vid:0x%4.4x,pid:0x%4.4x)", {vid, pid});
    return false;
  }
  Log(lines, "    part numbers %s for Dev(vid:0x%4.4x,pid:0x%4.4x)", {parts, vid, pid});
  try {
    std::vector<uint8_t> block(wire::SupplyBlock::kSize, 0);
    int got = supply ? Dev_GetFacilityData(supply, FAC_PS_MODULES, 0, nullptr, readLog,
                                           static_cast<uint16_t>(block.size()), block.data())
                     : -1;
    uint16_t wanted = 0;
    PartMaskForPid(vid, pid, wanted);
    Log(lines, "   read structure with istalled modules form PS", {});
    if (got != static_cast<int>(block.size())) return false;
    const wire::SupplyBlockView view(block);
    for (int pos = 0; pos < static_cast<int>(wire::SupplyBlock::kModuleCount); ++pos) {
      uint8_t installed = view.Installed(pos);
      uint32_t moduleSerial = view.ModuleSerial(pos);
      double partNo = view.ModulePartNo(pos);
      uint16_t rows = 0;
      bool taken =
          !result && installed == 1 && PartMaskForPartNo(rows, partNo) && (rows & wanted) != 0;
      if (taken) {
        serial = static_cast<int32_t>(moduleSerial);
        result = true;
      }
      Log(lines, "   pos. %d. Installed_Modules:%d, Module_Part_No: %f, Module_Ser_No: %d, %s",
          {pos, installed, partNo, static_cast<int32_t>(moduleSerial), taken ? "YES" : "NO"});
    }
  } catch (...) {
    // A failed read is the caller's "not found"; the result so far stands.
  }
  return result;
}

}  // namespace tessaro
