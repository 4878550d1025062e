// The demo's package files, its bench and its report, for tools/demo:
//   kestor_demo_package write <package folder>
//     writes the sample package's program files (module firmware 2.11 and
//     supply firmware 3.11, each for the normal and the safe mode; both
//     images carry their version in their flash) and its front-panel file
//     (version 1.05) with the project's own writers;
//   kestor_demo_package bench <bench file> <time scale>
//     writes the demo's bench: a supply with its TR440 on older releases,
//     both with the flash their program file describes;
//   kestor_demo_package report <bench file>
//     prints, from the bench, the releases and firmware versions;
//   kestor_demo_package check <bench file> <package folder>
//     the report, and whether the flashes hold the package's images and the
//     front panel its file; exit code 0 when the update is in place.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "benchctl/bench_control.h"
#include "sample_package.h"

namespace {

std::string ReleaseText(const std::string& bench) {
  const std::string hex = benchctl::ReadState(bench, "Device0", "SupplyBlock");
  if (hex.size() >= 300 * 3) {
    const int release = std::stoi(hex.substr(298 * 3, 2), nullptr, 16) |
                        std::stoi(hex.substr(299 * 3, 2), nullptr, 16) << 8;
    return std::to_string(release / 10) + "." + std::to_string(release % 10) + " (written)";
  }
  const int release = std::atoi(benchctl::ReadState(bench, "Device0", "Release").c_str());
  return std::to_string(release / 10) + "." + std::to_string(release % 10);
}

// The version a device reports: its image's once that is in its flash.
std::string FirmwareText(const std::string& bench, int slot) {
  const std::string image = kestortest::FlashImageVersion(bench, slot);
  if (image != "erased") return image;
  return benchctl::ReadState(bench, "Device" + std::to_string(slot), "Version");
}

void Report(const std::string& bench) {
  std::printf("demo: supply release %s, supply firmware %s, module firmware %s, front panel %s\n",
              ReleaseText(bench).c_str(), FirmwareText(bench, 0).c_str(),
              FirmwareText(bench, 1).c_str(),
              benchctl::ReadState(bench, "Device0", "PanelRevision").c_str());
}

int Check(const std::string& bench, const std::string& package) {
  using namespace kestortest;
  Report(bench);
  const bool supplyIn = FlashHolds(bench, 0, SupplyFirmwareSpec());
  const bool moduleIn = FlashHolds(bench, 1, ModuleFirmwareSpec());
  const bool panelIn = PanelHoldsSampleFile(bench);
  const std::string out = package + "\\outfile\\";
  std::printf("demo: the supply's flash %s the package's image %s\n",
              supplyIn ? "holds" : "does NOT hold", (out + kSampleSupplyFile).c_str());
  std::printf("demo: the module's flash %s the package's image %s\n",
              moduleIn ? "holds" : "does NOT hold", (out + kSampleModuleFile).c_str());
  std::printf("demo: the front panel %s the package's file %s\n",
              panelIn ? "holds" : "does NOT hold", (out + kSamplePanelFile).c_str());
  const bool released = !benchctl::ReadState(bench, "Device0", "SupplyBlock").empty();
  return supplyIn && moduleIn && panelIn && released ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (argc == 3 && command == "write") return kestortest::WriteSamplePackageFiles(argv[2]) ? 0 : 1;
  if (argc == 4 && command == "bench") {
    const int scale = std::atoi(argv[3]);
    if (scale < 1) return 2;
    return kestortest::SupplyWithTr440OnFlash(scale).Write(argv[2]) ? 0 : 1;
  }
  if (argc == 3 && command == "report") {
    Report(argv[2]);
    return 0;
  }
  if (argc == 4 && command == "check") return Check(argv[2], argv[3]);
  std::puts(
      "usage: kestor_demo_package write <package> | bench <bench> <time scale> | report <bench> "
      "| check <bench> <package>");
  return 2;
}
