#include "flash_model.h"

#include <windows.h>

#include <cstdio>
#include <sstream>

#include "usb_protocol.h"

extern "C" DWORD BenchTickCount();

namespace bench {
namespace {

constexpr uint16_t kGetFlashStatus = 0x0300;
constexpr uint16_t kSetFlashStatus = 0x0310;
constexpr uint16_t kMarkerReboot = 0x0316;
constexpr uint16_t kAutoselect = 0x0320;
constexpr uint16_t kChipErase = 0x0330;
constexpr uint16_t kSectorErase = 0x0331;
constexpr uint16_t kProgram = 0x0340;
constexpr uint16_t kVerify = 0x0350;
constexpr uint16_t kSuspend = 0x3800;

constexpr uint16_t kBadLength = 0x0001;
constexpr uint16_t kBadCrc = 0x0002;
constexpr uint16_t kUnknownCommand = 0x0003;

// CRC-16 as the device computes it: polynomial 0x1021, initial 0, stored
// high byte first after the bytes it covers.
// A byte at a time through a table.
struct CrcTable {
  uint16_t entry[256];
  CrcTable() {
    for (int i = 0; i < 256; ++i) {
      uint16_t crc = static_cast<uint16_t>(i << 8);
      for (int b = 0; b < 8; ++b)
        crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
      entry[i] = crc;
    }
  }
};
const CrcTable kCrcTable;

uint16_t Crc16(const uint8_t* p, size_t n) {
  uint16_t crc = 0;
  for (size_t i = 0; i < n; ++i)
    crc = static_cast<uint16_t>(crc << 8 ^ kCrcTable.entry[(crc >> 8 ^ p[i]) & 0xFF]);
  return crc;
}

bool CrcGood(const uint8_t* p, uint32_t len) { return len >= 2 && Crc16(p, len) == 0; }

// The CRC is linear over GF(2): the digest of the whole flash changes by the
// CRC of the changed bytes' difference, carried through the unchanged bytes
// after them, which is a product with x^(8 n) modulo the polynomial.
uint16_t MulMod(uint16_t a, uint16_t b) {
  uint16_t product = 0;
  for (int bit = 15; bit >= 0; --bit) {
    product = static_cast<uint16_t>(product & 0x8000 ? (product << 1) ^ 0x1021 : product << 1);
    if (b >> bit & 1) product ^= a;
  }
  return product;
}

// crc followed by n zero bytes.
uint16_t CarryThroughZeros(uint16_t crc, uint64_t n) {
  uint16_t power = 0x0100;  // x^8: one zero byte
  for (; n; n >>= 1) {
    if (n & 1) crc = MulMod(crc, power);
    power = MulMod(power, power);
  }
  return crc;
}

bool StampOf(const std::string& path, FILETIME* stamp, uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  *stamp = data.ftLastWriteTime;
  *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

}  // namespace

// Only a device whose section gives FlashSize has flash memory; the flash
// requests go to channel 0 (other channels stay plain registers).
bool FlashModel::HandlesIn(uint16_t facId, uint16_t wIndex) {
  if (facId == kFacStatus) return file_.Has(section_, "StatusSequence");
  return facId == kGetFlashStatus && wIndex == 0 && file_.Has(section_, "FlashSize");
}

bool FlashModel::HandlesOut(uint16_t facId, uint16_t wIndex) {
  return ((facId >= 0x0300 && facId <= 0x0361) || facId == kSuspend) && wIndex == 0 &&
         file_.Has(section_, "FlashSize");
}

int64_t FlashModel::Key(const std::string& key, int64_t fallback) {
  return file_.GetInt(section_, key, fallback);
}

std::string FlashModel::CommandKey(const char* prefix, uint16_t command) const {
  char key[40];
  std::snprintf(key, sizeof key, "%s.%04X", prefix, command);
  return key;
}

uint32_t FlashModel::Size() { return static_cast<uint32_t>(Key("FlashSize", 0x10000)); }

std::vector<FlashModel::Sector> FlashModel::Sectors() {
  std::vector<Sector> out;
  std::string text = file_.Get(section_, "FlashSectors");
  if (!text.empty()) {
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
      size_t colon = item.find(':');
      if (colon == std::string::npos) continue;
      out.push_back({static_cast<uint32_t>(ParseInt(item.substr(0, colon), 0)),
                     static_cast<uint32_t>(ParseInt(item.substr(colon + 1), 0))});
    }
    return out;
  }
  uint32_t size = Size(), step = static_cast<uint32_t>(Key("FlashSectorSize", 0x1000));
  if (step == 0) step = size;
  for (uint32_t a = 0; a < size; a += step) out.push_back({a, step});
  return out;
}

std::string FlashModel::ContentPath() const {
  return file_.Path() + ".flash" + std::to_string(slot_);
}

std::vector<uint8_t> FlashModel::Load() {
  std::vector<uint8_t> content(Size(), 0xFF);
  // A bench file written anew has no digest yet: contents left beside it by
  // an earlier bench are not its flash.
  if (!file_.Has(section_, "FlashDigest")) return content;
  HANDLE f = CreateFileA(ContentPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return content;
  DWORD got = 0;
  ReadFile(f, content.data(), static_cast<DWORD>(content.size()), &got, nullptr);
  CloseHandle(f);
  return content;
}

std::vector<uint8_t>& FlashModel::Content() {
  std::string digestText = file_.Get(section_, "FlashDigest");
  FILETIME stamp{};
  uint64_t fileSize = 0;
  bool exists = StampOf(ContentPath(), &stamp, &fileSize);
  if (cache_.valid && digestText == cache_.digestText && fileSize == cache_.fileSize &&
      CompareFileTime(&stamp, &cache_.stamp) == 0 && cache_.content.size() == Size())
    return cache_.content;
  cache_.content = Load();
  cache_.digest = Crc16(cache_.content.data(), cache_.content.size());
  cache_.digestText = digestText;
  cache_.fileWhole = exists && !digestText.empty() && fileSize == cache_.content.size();
  cache_.stamp = stamp;
  cache_.fileSize = fileSize;
  cache_.valid = true;
  return cache_.content;
}

bool FlashModel::Read(uint32_t address, uint32_t n, std::vector<uint8_t>* bytes) {
  if (!file_.Has(section_, "FlashSize")) return false;
  const uint32_t base = static_cast<uint32_t>(Key("FlashBase", 0));
  const std::vector<uint8_t>& content = Content();
  if (address < base || address - base > content.size() || n > content.size() - (address - base))
    return false;
  bytes->assign(content.begin() + (address - base), content.begin() + (address - base + n));
  return true;
}

void FlashModel::Store(uint32_t offset, const uint8_t* bytes, uint32_t n) {
  std::vector<uint8_t>& content = Content();
  uint16_t change = 0;
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t d = content[offset + i] ^ bytes[i];
    change = static_cast<uint16_t>(change << 8 ^ kCrcTable.entry[(change >> 8 ^ d) & 0xFF]);
    content[offset + i] = bytes[i];
  }
  cache_.digest ^= CarryThroughZeros(change, content.size() - offset - n);
  const std::string path = ContentPath();
  HANDLE f = INVALID_HANDLE_VALUE;
  if (cache_.fileWhole)
    f = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                    nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    // No file yet, or one that is not this flash's: written whole.
    f = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0,
                    nullptr);
    offset = 0;
    n = static_cast<uint32_t>(content.size());
  }
  cache_.fileWhole = false;
  if (f != INVALID_HANDLE_VALUE) {
    DWORD put = 0;
    cache_.fileWhole =
        SetFilePointer(f, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == offset &&
        WriteFile(f, content.data() + offset, n, &put, nullptr) && put == n;
    CloseHandle(f);
  }
  char digest[8];
  std::snprintf(digest, sizeof digest, "%04X", cache_.digest);
  file_.Set(section_, "FlashDigest", digest);
  cache_.digestText = digest;
  cache_.valid = StampOf(path, &cache_.stamp, &cache_.fileSize);
}

void FlashModel::StoreWhole() {
  std::vector<uint8_t> erased(Size(), 0xFF);
  Content();
  // The file is written anew: a flash of another size leaves no tail behind.
  cache_.fileWhole = false;
  Store(0, erased.data(), static_cast<uint32_t>(erased.size()));
}

void FlashModel::StartWith(uint16_t command, uint16_t busy, uint16_t result,
                           const uint8_t data[4]) {
  op_ = Operation{};
  op_.busy = busy;
  op_.result = static_cast<uint16_t>(Key(CommandKey("FlashAnswer", command), result));
  for (int i = 0; i < 4; ++i) op_.data[i] = data[i];
  op_.pollsLeft = busy ? Key(CommandKey("FlashBusyPolls", command), 1) : 0;
  int64_t ms = Key(CommandKey("FlashBusyMs", command), 0);
  op_.timed = busy && ms > 0;
  op_.doneAt = BenchTickCount() + static_cast<uint32_t>(ms);
}

void FlashModel::Start(uint16_t command, uint16_t busy, uint16_t result, uint32_t address) {
  uint8_t data[4];
  PutU32(data, address + static_cast<uint32_t>(Key("FlashAddressSkew", 0)));
  StartWith(command, busy, result, data);
}

uint16_t FlashModel::EraseSector(uint32_t start) {
  for (const Sector& s : Sectors()) {
    if (s.start != start) continue;
    uint32_t size = static_cast<uint32_t>(Content().size());
    uint32_t from = s.start < size ? s.start : size;
    uint32_t n = s.size < size - from ? s.size : size - from;
    Store(from, std::vector<uint8_t>(n, 0xFF).data(), n);
    return 0x0032;
  }
  return 0x0033;  // no sector starts there
}

uint16_t FlashModel::Program(uint32_t offset, const uint8_t* bytes, uint32_t n) {
  const std::vector<uint8_t>& content = Content();
  if (offset > content.size() || n > content.size() - offset) return 0x0045;
  bool good = true;
  // Programming only clears bits: a byte not erased before keeps its ones off.
  std::vector<uint8_t> result(content.begin() + offset, content.begin() + offset + n);
  for (uint32_t i = 0; i < n; ++i) {
    result[i] &= bytes[i];
    if (result[i] != bytes[i]) good = false;
  }
  Store(offset, result.data(), n);
  return good ? 0x0042 : 0x0043;
}

uint16_t FlashModel::Verify(uint32_t offset, const uint8_t* bytes, uint32_t n) {
  const std::vector<uint8_t>& content = Content();
  if (offset > content.size() || n > content.size() - offset) return 0x0053;
  for (uint32_t i = 0; i < n; ++i)
    if (content[offset + i] != bytes[i]) return 0x0053;
  return 0x0052;
}

uint32_t FlashModel::Out(uint16_t facId, const uint8_t* data, uint32_t len) {
  if (facId == kSuspend) {
    file_.Set(section_, "Status", std::to_string(Key("SuspendedStatus", 128)));
    file_.Set(section_, "StatusSequence", "");
    return kStatusOk;
  }
  uint8_t none[4] = {};
  auto fail = [&](uint16_t code) {
    StartWith(facId, 0, code, none);
    return kStatusOk;
  };
  auto need = [&](uint32_t size) { return len == size; };
  switch (facId) {
    case kSetFlashStatus:
      if (!need(4)) return fail(kBadLength);
      if (!CrcGood(data, len)) return fail(kBadCrc);
      return fail(GetU16(data));
    case kMarkerReboot: {
      if (!need(4)) return fail(kBadLength);
      if (!CrcGood(data, len)) return fail(kBadCrc);
      uint16_t what = GetU16(data);
      if (what < 1 || what > 3) {
        Start(facId, 0x0101, 0x1006, 0);
      } else {
        if (what != 3) file_.Set(section_, "RebootMarker", what == 1 ? "1" : "0");
        Start(facId, 0x0101, 0x0102, 0);
      }
      return kStatusOk;
    }
    case kAutoselect: {
      if (!need(15)) return fail(kBadLength);
      if (!CrcGood(data, len)) return fail(kBadCrc);
      uint8_t id[4];
      id[0] = static_cast<uint8_t>(Key("FlashManufacturer", 0x01));
      id[1] = static_cast<uint8_t>(Key("FlashProtection", 0));
      PutU16(&id[2], static_cast<uint16_t>(Key("FlashDeviceId", 0x2258)));
      StartWith(facId, 0x0011, 0x0012, id);
      return kStatusOk;
    }
    case kChipErase: {
      if (!need(6)) return fail(kBadLength);
      if (!CrcGood(data, len)) return fail(kBadCrc);
      StoreWhole();
      Start(facId, 0x0021, 0x0022, GetU32(data));
      return kStatusOk;
    }
    case kSectorErase: {
      if (!need(10)) return fail(kBadLength);
      if (!CrcGood(data, len)) return fail(kBadCrc);
      uint32_t start = GetU32(data + 4);
      Start(facId, 0x0031, EraseSector(start), start);
      return kStatusOk;
    }
    case kProgram:
    case kVerify: {
      // {addresses, u16 n, zeros} 16 bytes ahead of the data, 2 zeros and the CRC after it.
      if (len < 20 || GetU16(data + (facId == kProgram ? 8 : 4)) != len - 20)
        return fail(kBadLength);
      if (!CrcGood(data, len)) return fail(kBadCrc);
      uint32_t n = len - 20;
      if (facId == kProgram) {
        uint32_t address = GetU32(data + 4);
        Start(facId, 0x0041, Program(address, data + 16, n), address);
      } else {
        uint32_t absolute = GetU32(data);
        uint32_t base = static_cast<uint32_t>(Key("FlashBase", 0));
        uint16_t result = absolute < base ? 0x0053 : Verify(absolute - base, data + 16, n);
        Start(facId, 0x0051, result, absolute);
      }
      return kStatusOk;
    }
    default:
      return fail(kUnknownCommand);
  }
}

uint32_t FlashModel::In(uint16_t facId, uint32_t maxLen, std::vector<uint8_t>* answer) {
  std::vector<uint8_t> data;
  if (facId == kFacStatus) {
    std::stringstream in(file_.Get(section_, "StatusSequence"));
    std::string word, last;
    for (int64_t i = 0; i <= statusReads_ && in >> word;) {
      last = word;
      ++i;
    }
    ++statusReads_;
    data.resize(2);
    PutU16(data.data(), static_cast<uint16_t>(ParseInt(last, 0)));
  } else {
    data.assign(8, 0);
    bool busy =
        op_.busy && (op_.pollsLeft > 0 ||
                     (op_.timed && static_cast<int32_t>(BenchTickCount() - op_.doneAt) < 0));
    if (busy) {
      if (op_.pollsLeft > 0) --op_.pollsLeft;
      PutU16(&data[0], op_.busy);
    } else {
      PutU16(&data[0], op_.result);
      for (int i = 0; i < 4; ++i) data[2 + i] = op_.data[i];
    }
    uint16_t crc = Crc16(data.data(), 6);
    data[6] = static_cast<uint8_t>(crc >> 8);
    data[7] = static_cast<uint8_t>(crc);
  }
  if (data.size() > maxLen) data.resize(maxLen);
  *answer = std::move(data);
  return kStatusOk;
}

}  // namespace bench
