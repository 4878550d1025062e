// The demo's package files and its report, for tools/demo:
//   kestor_demo_package write <package folder>
//     writes the sample package's module program file and front-panel file
//     with the project's own writers (module image of release 2.11, which
//     carries its version at 0x400100; panel file of version 1.05);
//   kestor_demo_package check <bench file> <package folder>
//     prints, from the bench, the device's releases and revisions and whether
//     the flash holds the package's image and the panel its file; exit code 0
//     when the update is in place.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "benchctl/bench_control.h"
#include "benchctl/bench_flash.h"
#include "mmi_file_writer.h"
#include "tessaro_test/program_file_writer.h"
#include "testsupport/testdir.h"

namespace {

const char kModuleFile[] = "\\outfile\\tr440_module.bin";
const char kPanelFile[] = "\\outfile\\mmi_front.mmi";

tessaro_test::ProgramFileSpec ModuleSpec() {
  tessaro_test::ProgramFileSpec spec;
  spec.pid = 5;
  spec.commands = {26, 27, 10, 18, 20, 12, 14, 15, 16, 19, 21, 22};
  spec.blocks = {{0x0000, tessaro_test::Bytes(32, 0xA5)},
                 {0x0100, {0x02, 0x00, 0x0B, 0x00}},
                 {0x4100, tessaro_test::Bytes(16, 0x5A)}};
  return spec;
}

std::vector<uint8_t> PanelFile() {
  return kestortest::MmiFileBytes(3 * 2038 + 5, "TR440", "UPDATE", "\\flash\\front.bin",
                                  "Front panel Version 1.05");
}

bool Write(const std::string& package) {
  const tessaro_test::Bytes module = tessaro_test::ProgramFileWriter::Write(ModuleSpec());
  const std::vector<uint8_t> panel = PanelFile();
  return testsupport::WriteFile(package + kModuleFile, std::string(module.begin(), module.end())) &&
         testsupport::WriteFile(package + kPanelFile, std::string(panel.begin(), panel.end()));
}

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

int Check(const std::string& bench, const std::string& package) {
  const std::vector<uint8_t> flash = benchctl::ReadFlash(bench, 1);
  std::string image = "erased";
  if (flash.size() >= 0x104 && !(flash[0x100] == 0xFF && flash[0x101] == 0xFF))
    image = std::to_string(flash[0x100] | flash[0x101] << 8) + "." +
            std::to_string(flash[0x102] | flash[0x103] << 8);
  std::printf("demo: supply release %s; module firmware %s, its flash image %s; front panel %s\n",
              ReleaseText(bench).c_str(), benchctl::ReadState(bench, "Device1", "Version").c_str(),
              image.c_str(), benchctl::ReadState(bench, "Device0", "PanelRevision").c_str());
  bool imageIn = !flash.empty();
  for (const tessaro_test::BlockSpec& block : ModuleSpec().blocks) {
    if (flash.size() < block.address + block.data.size() ||
        !std::equal(block.data.begin(), block.data.end(), flash.begin() + block.address))
      imageIn = false;
  }
  const std::vector<uint8_t> panel = PanelFile();
  const std::string stored = testsupport::ReadFileOr(bench + ".panel0\\_flash_front.bin");
  const bool panelIn = stored == std::string(panel.begin() + 1024, panel.end());
  std::printf("demo: the module's flash %s the package's image %s\n",
              imageIn ? "holds" : "does NOT hold", (package + kModuleFile).c_str());
  std::printf("demo: the front panel %s the package's file %s\n",
              panelIn ? "holds" : "does NOT hold", (package + kPanelFile).c_str());
  const bool released = !benchctl::ReadState(bench, "Device0", "SupplyBlock").empty();
  return imageIn && panelIn && released ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "write") return Write(argv[2]) ? 0 : 1;
  if (argc == 4 && std::string(argv[1]) == "check") return Check(argv[2], argv[3]);
  std::puts("usage: kestor_demo_package write <package> | check <bench> <package>");
  return 2;
}
