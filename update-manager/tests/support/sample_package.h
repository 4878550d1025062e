// The sample package's files and the bench they are made for: the TR440's
// module firmware 2.11 and its power supply's firmware 3.11, each a program
// file written by the project's own writer, the front-panel file 1.05, and
// the bench keys of the flash each program file describes. Tests,
// tools/demo and the benchmark take them from here, so the package and the
// bench always fit each other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "benchctl/bench_control.h"
#include "tessaro_test/program_file_writer.h"

namespace kestortest {

// Both images keep their version at this flash address: u16 major, u16
// minor, little-endian (the bench's FirmwareVersionAt).
constexpr uint32_t kFirmwareVersionAt = 0x400100;

// safeMode: the variant for a device already in its safe mode (an earlier
// run was interrupted): no reboot test, no reboot into the safe mode. The
// module's image carries version 2.minor.
tessaro_test::ProgramFileSpec ModuleFirmwareSpec(bool safeMode = false, uint16_t minor = 11);
tessaro_test::ProgramFileSpec SupplyFirmwareSpec(bool safeMode = false);

// The program file of `spec`, as the bytes of a file.
std::string ProgramFileBytes(const tessaro_test::ProgramFileSpec& spec);

// Gives the device in `slot` the flash that `spec` describes, with the
// version of its image read from kFirmwareVersionAt.
benchctl::BenchSpec& WithFlashOf(benchctl::BenchSpec& bench, int slot,
                                 const tessaro_test::ProgramFileSpec& spec);

// Supply 16 (supply id 4711, release 1.2 of 24.12.2005, firmware 3.10, front
// panel 1.02) carrying a TR440 (firmware 2.10, serial `deviceSerial`): older
// than the sample package's release 1.3 (supply 3.11, module 2.11, panel
// 1.05). Slots: 0 supply, 1 TR440. No flash.
benchctl::BenchSpec OlderSupplyWithTr440(int timeScale,
                                         const std::string& deviceSerial = "0000001001");
// The same supply carrying an instrument of another product id (a package's
// own CustPID).
benchctl::BenchSpec OlderSupplyWithInstrument(int timeScale, int productId,
                                              const std::string& deviceSerial);

// The demo's bench: OlderSupplyWithTr440 with the supply's module record
// and the flash of each device's image.
benchctl::BenchSpec SupplyWithTr440OnFlash(int timeScale);

// True when the flash of the device in `slot` holds every block of `spec`.
bool FlashHolds(const std::string& benchFile, int slot, const tessaro_test::ProgramFileSpec& spec);

// The version the image in the device's flash carries ("3.11"), "erased"
// while nothing is written there.
std::string FlashImageVersion(const std::string& benchFile, int slot);

// The sample package's front-panel file: version 1.05, for \flash\front.bin.
std::vector<uint8_t> SamplePanelFile();

// The outfile\ names that update-manager/sample-package's KEST.ini gives them.
inline constexpr const char* kSampleModuleFile = "tr440_module.bin";
inline constexpr const char* kSampleModuleSafeFile = "tr440_module_safe.bin";
inline constexpr const char* kSampleSupplyFile = "ps_firmware.bin";
inline constexpr const char* kSampleSupplySafeFile = "ps_firmware_safe.bin";
inline constexpr const char* kSamplePanelFile = "mmi_front.mmi";

// Writes the sample package's program files (normal and safe-mode variants)
// and its front-panel file into <package>\outfile\; false on a file error.
bool WriteSamplePackageFiles(const std::string& package);

// True when the bench's front panel holds the sample package's file.
bool PanelHoldsSampleFile(const std::string& benchFile);

}  // namespace kestortest
