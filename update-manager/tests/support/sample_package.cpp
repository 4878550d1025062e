#include "sample_package.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "benchctl/bench_flash.h"
#include "mmi_file_writer.h"
#include "testsupport/testdir.h"

namespace kestortest {

namespace {

using tessaro_test::Bytes;
using tessaro_test::ProgramFileSpec;

// Erase, program, verify, through the device's safe mode and back; a device
// already in its safe mode skips the reboot test and the reboot into it. Its
// file starts with the safe-mode test, which takes the device found as the
// safe one (and asks the technician whether to go on): without it the reboot
// back into the firmware has no device to start from.
Bytes Commands(bool safeMode) {
  if (safeMode) return {29, 10, 12, 14, 15, 16, 19, 21, 22};
  return {26, 27, 10, 18, 20, 12, 14, 15, 16, 19, 21, 22};
}

Bytes VersionBytes(uint16_t major, uint16_t minor) {
  return {static_cast<uint8_t>(major), static_cast<uint8_t>(major >> 8),
          static_cast<uint8_t>(minor), static_cast<uint8_t>(minor >> 8)};
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
  return text;
}

}  // namespace

ProgramFileSpec ModuleFirmwareSpec(bool safeMode, uint16_t minor) {
  ProgramFileSpec spec;
  spec.pid = 5;
  spec.commands = Commands(safeMode);
  spec.blocks = {{0x0000, Bytes(32, 0xA5)},
                 {kFirmwareVersionAt - spec.flash.baseFlashAddress, VersionBytes(2, minor)},
                 {0x4100, Bytes(16, 0x5A)}};
  return spec;
}

ProgramFileSpec SupplyFirmwareSpec(bool safeMode) {
  ProgramFileSpec spec;
  spec.pid = 16;
  spec.commands = Commands(safeMode);
  spec.versionText = "3.11";
  spec.blocks = {{0x0000, Bytes(64, 0x3C)},
                 {kFirmwareVersionAt - spec.flash.baseFlashAddress, VersionBytes(3, 11)},
                 {0x8000, Bytes(24, 0xC3)}};
  return spec;
}

std::string ProgramFileBytes(const ProgramFileSpec& spec) {
  const Bytes file = tessaro_test::ProgramFileWriter::Write(spec);
  return std::string(file.begin(), file.end());
}

benchctl::BenchSpec& WithFlashOf(benchctl::BenchSpec& bench, int slot,
                                 const ProgramFileSpec& spec) {
  uint32_t size = 0;
  std::string sectors;
  for (const auto& sector : spec.flash.sectors) {
    if (!sectors.empty()) sectors += ",";
    sectors += Hex(sector.first) + ":" + Hex(sector.second);
    size = std::max(size, sector.first + sector.second);
  }
  return bench.WithDevice(slot, "FlashSize", Hex(size))
      .WithDevice(slot, "FlashBase", Hex(spec.flash.baseFlashAddress))
      .WithDevice(slot, "FlashSectors", sectors)
      .WithDevice(slot, "FlashDeviceId", Hex(spec.flash.deviceId))
      .WithDevice(slot, "FirmwareVersionAt", Hex(kFirmwareVersionAt));
}

benchctl::BenchSpec OlderSupplyWithTr440(int timeScale, const std::string& deviceSerial) {
  return OlderSupplyWithInstrument(timeScale, 5, deviceSerial);
}

benchctl::BenchSpec OlderSupplyWithInstrument(int timeScale, int productId,
                                              const std::string& deviceSerial) {
  benchctl::BenchSpec bench;
  bench.TimeScale(timeScale)
      .Supply(16, "0000004711")
      .With("SupplyId", "4711")
      .With("Release", "12")
      .With("ReleaseDate", "2968")
      .With("Version", "3.10")
      .With("PanelRevision", "1.02")
      .Instrument(productId, deviceSerial)
      .With("Parent", "0")
      .With("Version", "2.10");
  return bench;
}

benchctl::BenchSpec SupplyWithTr440OnFlash(int timeScale) {
  benchctl::BenchSpec bench = OlderSupplyWithTr440(timeScale);
  bench.WithDevice(0, "Module0", "1,5001234,1362500900");
  for (int slot : {0, 1}) bench.WithDevice(slot, "RebootMs", "1500");
  WithFlashOf(bench, 0, SupplyFirmwareSpec());
  return WithFlashOf(bench, 1, ModuleFirmwareSpec());
}

bool FlashHolds(const std::string& benchFile, int slot, const ProgramFileSpec& spec) {
  const std::vector<uint8_t> flash = benchctl::ReadFlash(benchFile, slot);
  if (flash.empty()) return false;
  for (const tessaro_test::BlockSpec& block : spec.blocks) {
    if (flash.size() < block.address + block.data.size() ||
        !std::equal(block.data.begin(), block.data.end(), flash.begin() + block.address))
      return false;
  }
  return true;
}

std::string FlashImageVersion(const std::string& benchFile, int slot) {
  const std::vector<uint8_t> flash = benchctl::ReadFlash(benchFile, slot);
  const uint32_t at = kFirmwareVersionAt - tessaro_test::FlashSpec().baseFlashAddress;
  if (flash.size() < at + 4 || (flash[at] == 0xFF && flash[at + 1] == 0xFF)) return "erased";
  return std::to_string(flash[at] | flash[at + 1] << 8) + "." +
         std::to_string(flash[at + 2] | flash[at + 3] << 8);
}

std::vector<uint8_t> SamplePanelFile() {
  return MmiFileBytes(3 * 2038 + 5, "TR440", "UPDATE", "\\flash\\front.bin",
                      "Front panel Version 1.05");
}

bool WriteSamplePackageFiles(const std::string& package) {
  const std::string out = package + "\\outfile\\";
  const std::vector<uint8_t> panel = SamplePanelFile();
  return testsupport::MakeFolders(package + "\\outfile") &&
         testsupport::WriteFile(out + kSampleModuleFile, ProgramFileBytes(ModuleFirmwareSpec())) &&
         testsupport::WriteFile(out + kSampleModuleSafeFile,
                                ProgramFileBytes(ModuleFirmwareSpec(true))) &&
         testsupport::WriteFile(out + kSampleSupplyFile, ProgramFileBytes(SupplyFirmwareSpec())) &&
         testsupport::WriteFile(out + kSampleSupplySafeFile,
                                ProgramFileBytes(SupplyFirmwareSpec(true))) &&
         testsupport::WriteFile(out + kSamplePanelFile, std::string(panel.begin(), panel.end()));
}

bool PanelHoldsSampleFile(const std::string& benchFile) {
  const std::vector<uint8_t> panel = SamplePanelFile();
  return testsupport::ReadFileOr(benchFile + ".panel0\\_flash_front.bin") ==
         std::string(panel.begin() + 1024, panel.end());
}

}  // namespace kestortest
