// Writes the seed corpus of each fuzz target into <folder>/<target>/<seed>:
// program files from the tests' program-file writer, MMI update files from
// Kestor's test writer, pipe transfers built with the wire helpers, and the
// texts the Kestor parsers meet. Each finding
// mended in a parser has a seed here, so that replaying the corpus catches it
// coming back.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "lumetra/wire.h"
#include "mmi_file_writer.h"
#include "tessaro/pipe_items.h"
#include "tessaro_test/program_file_writer.h"

namespace fs = std::filesystem;
using tessaro_test::Bytes;
using tessaro_test::ProgramFileSpec;
using tessaro_test::ProgramFileWriter;

namespace {

fs::path g_root;

void Seed(const std::string& target, const std::string& name, const Bytes& bytes) {
  fs::create_directories(g_root / target);
  std::ofstream out(g_root / target / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

void Seed(const std::string& target, const std::string& name, const std::string& text) {
  Seed(target, name, Bytes(text.begin(), text.end()));
}

// The program-file target appends the CRC itself: its seeds are files
// without their last two bytes.
void ProgramFile(const std::string& name, const ProgramFileSpec& spec, size_t cut = 0) {
  Bytes file = ProgramFileWriter::Write(spec);
  file.resize(cut ? cut : file.size() - 2);
  Seed("program_file", name, file);
}

void ProgramFiles() {
  ProgramFile("valid", {});
  ProgramFileSpec s;
  s.commands = {46, 47, 15};
  ProgramFile("commands-46-47", s);
  s.commands = {10, 49};
  ProgramFile("trailing-conditional", s);
  s.commands = {49, 0, 47};
  ProgramFile("conditional-on-47", s);
  s.commands = {33, 37, 15};
  ProgramFile("path-marks", s);
  s = {};
  s.commands = {10, 53};
  ProgramFile("unknown-command", s);
  s = {};
  s.formatMinor = 2;
  ProgramFile("newer-format", s);
  s = {};
  s.withSelectedSectors = false;
  ProgramFile("no-selected-sectors", s);
  s = {};
  s.selectedSectors = {1, 7};
  ProgramFile("sector-beyond-flash", s);
  s = {};
  s.blocks = {{0x100, Bytes(4, 1)}, {0x200, {}}, {0x7FFF0, Bytes(64, 2)}};
  ProgramFile("empty-and-outside-blocks", s);
  std::vector<tessaro_test::FieldOffset> fields;
  ProgramFileWriter::Write({}, &fields);
  for (const auto& f : fields)
    if (f.name == "flash.name") ProgramFile("cut-in-flash", {}, f.offset + 3);
}

// A pipe seed: the endpoint's index (0x81, 0x85, 0x83, 0x87), the read
// length, then the receive buffer.
void Transfer(const std::string& name, int endpointIndex, uint16_t read, const Bytes& buffer) {
  Bytes seed(3);
  seed[0] = static_cast<uint8_t>(endpointIndex);
  le::PutU16(seed.data() + 1, read);
  seed.insert(seed.end(), buffer.begin(), buffer.end());
  Seed("pipe_items", name, seed);
}

// A transfer of `payload` behind its size.
Bytes Sized(const Bytes& payload, bool pad = false) {
  Bytes out(2);
  le::PutU16(out.data(), static_cast<uint16_t>(payload.size() + 2));
  out.insert(out.end(), payload.begin(), payload.end());
  if (pad) out.push_back(0xAA);
  return out;
}

Bytes Event(uint16_t id, uint32_t lParam, uint16_t wParam) {
  Bytes e(8);
  le::PutU16(e.data(), id);
  le::PutU32(e.data() + 2, lParam);
  le::PutU16(e.data() + 6, wParam);
  return e;
}

Bytes DataMsg(const Bytes& data, uint16_t sizeField) {
  Bytes m(4);
  le::PutU16(m.data(), tessaro::MSG_DATA);
  le::PutU16(m.data() + 2, sizeField);
  m.insert(m.end(), data.begin(), data.end());
  return m;
}

void PipeTransfers() {
  auto whole = [](const std::string& name, int endpoint, const Bytes& transfer) {
    Transfer(name, endpoint, static_cast<uint16_t>(transfer.size()), transfer);
  };
  Bytes packet(2);
  le::PutU16(packet.data(), 0x1234);
  packet.insert(packet.end(), {1, 2, 3, 4});
  whole("bulk-packet", 0, Sized(packet));
  whole("bulk-packet-padded", 1, Sized(packet, true));
  Bytes wrongPad = Sized(packet);
  wrongPad.push_back(0);
  whole("bulk-wrong-pad", 0, wrongPad);
  whole("bulk-size-past-buffer", 0, {0xFF, 0xFF, 1, 0, 9});
  Bytes events = Event(tessaro::EVENT_ACKNOWLEDGE, 1, 2);
  Bytes second = Event(2, 5, 7);
  events.insert(events.end(), second.begin(), second.end());
  whole("interrupt-events", 2, Sized(events));
  Bytes chain = DataMsg({1, 2, 3, 4}, 8);
  Bytes link = DataMsg({5, 6, 7, 8}, 8);
  chain.insert(chain.end(), link.begin(), link.end());
  whole("interrupt-data-messages", 2, Sized(chain));
  whole("interrupt-data-size-below-8", 2, Sized(DataMsg({1, 2, 3, 4}, 6)));
  whole("interrupt-data-size-past-rest", 2, Sized(DataMsg({1, 2, 3, 4}, 12)));
  whole("interrupt-not-multiple-of-8", 2, Sized(Bytes(12, 5)));
  whole("raw-event", 3, Sized({0x42}));
  // Transfers too short for their size or first event id, in buffers of
  // their own length: the decoders check the length before reading.
  whole("interrupt-one-byte", 2, {1});
  whole("interrupt-three-bytes", 2, {3, 0, 0x45});
  whole("interrupt-empty", 2, {});
  whole("bulk-one-byte", 0, {1});
  Transfer("read-past-buffer", 2, 4000, Sized(Event(1, 2, 3)));
}

void KestorTexts() {
  const char* const values[][2] = {
      {"hex-32-bit-max", "0xFFFFFFFF"},
      {"hex-plain", "1F"},
      {"hex-negative", "-1F"},
      {"hex-past-32-bits", "0x100000000"},
      {"decimal-past-32-bits", "3000000000"},
      {"leading-integer", "  42abc"},
      {"leading-number", "1.25abc"},
      {"prefix-alone", "0x"},
      {"dollar-prefix", "$1F"},
  };
  for (const auto& v : values) Seed("config_values", v[0], std::string(v[1]));
  Seed("romtest_verdict", "accepts", std::string("1\r\n"));
  Seed("romtest_verdict", "zero", std::string("0.000\r\n"));
  Seed("romtest_verdict", "exponent", std::string("  -0.5e3"));
  Seed("romtest_verdict", "text", std::string("romtest: no package"));
  Seed("release_date", "valid", std::string("24.12.2005"));
  Seed("release_date", "month-13", std::string("24.13.2005"));
  Seed("release_date", "last-year", std::string("31.12.2063"));
  Seed("release_date", "short", std::string("1.1.2005"));
}

void MmiFiles() {
  using kestortest::MmiFileBytes;
  Seed("mmi_header", "update-file", MmiFileBytes(40));
  Seed("mmi_header", "header-only", MmiFileBytes(0));
  Bytes shortFile = MmiFileBytes(0);
  shortFile.pop_back();
  Seed("mmi_header", "one-byte-short", shortFile);
  Seed("mmi_header", "type-with-zero", MmiFileBytes(0, "TR440", std::string("UPDAT\0E", 7)));
  // Every text field filled to its end, no terminator in the file.
  Seed("mmi_header", "fields-full",
       MmiFileBytes(3, "TR440", "UPDATE", std::string(235, 'p'),
                    std::string(757, 't') + "Version 9.9"));
}

void Formats() {
  Seed("format_text", "huge-width", std::string("%3000000000d\n7"));
  Seed("format_text", "huge-precision", std::string("%.3000000000f\nf7"));
  Seed("format_text", "huge-index", std::string("%99999999999999999999:d\n7"));
  Seed("format_text", "indexed", std::string("0x%0:6.6X-0x%1:6.6X <%1:5.5d>\n16640\n16655"));
  Seed("format_text", "left-text", std::string("%-10s|%%\nab"));
  Seed("format_text", "float", std::string("%f%% of %d\nf12.5\n-17"));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: corpus_writer <corpus folder>\n");
    return 2;
  }
  g_root = argv[1];
  ProgramFiles();
  PipeTransfers();
  KestorTexts();
  MmiFiles();
  Formats();
  return 0;
}
