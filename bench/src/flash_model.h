// The flash memory of a bench device and its boot code's flash commands
// (FacIds 0x0300..0x0361): requests written to the device start an
// operation, status reads (0x0300) answer its busy code until it is done,
// then its result. The device's status register (0x0200) and the suspend
// request (0x3800) answer here too when the bench file asks for it.
//
// A device has flash memory when its section gives FlashSize. Further keys:
//   FlashSize=0x10000, FlashBase=0, FlashSectors=0:0x1000,0x1000:0x1000,...
//   (else sectors of FlashSectorSize=0x1000), FlashManufacturer=0x01,
//   FlashDeviceId=0x2258, FlashProtection=0,
//   FlashBusyPolls.XXXX=n  status reads that answer busy (XXXX the command),
//   FlashBusyMs.XXXX=ms    bench-clock time the operation stays busy,
//   FlashAnswer.XXXX=code  the result code the operation ends with,
//   FlashAddressSkew=n     added to every address the device reports,
//   StatusSequence=2 2 0   successive status-register reads (last repeats),
//   SuspendedStatus=128    the status register after a suspend request.
// The contents live beside the bench file ("<bench file>.flash<slot>"); the
// section's FlashDigest holds their CRC-16. Without a digest the flash is erased.
// A change is written in place, only the bytes it changed, and the digest
// follows it without reading the whole flash again: a 1 MiB flash rewritten
// and summed at every block cost more than the modelled device's own time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench_file.h"

namespace bench {

class FlashModel {
 public:
  FlashModel(BenchFile& file, const std::string& section, int slot)
      : file_(file), section_(section), slot_(slot) {}

  // True when the model answers this request; status as for ControlIn/Out.
  bool HandlesIn(uint16_t facId, uint16_t wIndex);
  bool HandlesOut(uint16_t facId, uint16_t wIndex);
  uint32_t In(uint16_t facId, uint32_t maxLen, std::vector<uint8_t>* answer);
  uint32_t Out(uint16_t facId, const uint8_t* data, uint32_t len);
  // The n bytes at a flash address (FlashBase counts); false when they lie
  // outside the flash or the device has none.
  bool Read(uint32_t address, uint32_t n, std::vector<uint8_t>* bytes);

 private:
  struct Sector {
    uint32_t start;
    uint32_t size;
  };
  struct Operation {
    uint16_t busy = 0;
    uint16_t result = 0x0009;  // flash_idle before any command
    uint8_t data[4] = {};
    int64_t pollsLeft = 0;
    uint32_t doneAt = 0;  // bench clock
    bool timed = false;
  };

  void Start(uint16_t command, uint16_t busy, uint16_t ok, uint32_t address);
  void StartWith(uint16_t command, uint16_t busy, uint16_t result, const uint8_t data[4]);
  uint16_t Execute(uint16_t command, const uint8_t* data, uint32_t len, uint32_t* address);
  uint16_t EraseSector(uint32_t start);
  uint16_t Program(uint32_t offset, const uint8_t* bytes, uint32_t n);
  uint16_t Verify(uint32_t offset, const uint8_t* bytes, uint32_t n);

  int64_t Key(const std::string& key, int64_t fallback);
  std::string CommandKey(const char* prefix, uint16_t command) const;
  uint32_t Size();
  std::vector<Sector> Sectors();
  std::string ContentPath() const;
  std::vector<uint8_t> Load();
  // The contents as they are now: this process's copy while neither the
  // digest nor the contents file changed since it last read or wrote them.
  std::vector<uint8_t>& Content();
  // Puts n new bytes at offset into the contents, the file and the digest.
  void Store(uint32_t offset, const uint8_t* bytes, uint32_t n);
  void StoreWhole();

  BenchFile& file_;
  std::string section_;
  int slot_;
  Operation op_;
  int64_t statusReads_ = 0;

  struct Cache {
    bool valid = false;
    std::vector<uint8_t> content;
    uint16_t digest = 0;     // CRC-16 of content
    std::string digestText;  // FlashDigest as it was read or written
    bool fileWhole = false;  // the file holds exactly content
    FILETIME stamp{};        // the contents file then
    uint64_t fileSize = 0;
  };
  Cache cache_;
};

}  // namespace bench
