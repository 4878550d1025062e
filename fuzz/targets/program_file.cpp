// The program-file reader: the parser, then the form's display step over a
// form in memory. The input is tried as it is and with the CRC that makes it
// a valid file, so the fuzzer gets past the CRC check.
#include "tessaro/program_file.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "tessaro/crc16.h"
#include "tessaro/errors.h"
#include "tessaro/memory_form.h"

using namespace tessaro;

namespace {

void ReadOnce(std::shared_ptr<const std::vector<uint8_t>> bytes) {
  ProgramFileContent content = ParseProgramFile(bytes);
  if (content.error && content.error->offset > bytes->size()) std::abort();
  const bool complete = !content.error;
  const std::vector<uint8_t> commands = content.header.commands;
  ProgramFileRecords records;
  MemoryProgramFileForm form;
  bool shown = false;
  try {
    shown = ShowProgramFile(std::move(content), records, form);
  } catch (const TessaroError&) {
    if (complete) std::abort();  // a parsed file never raises while shown
  }
  // A file's command bytes survive the read unchanged.
  if (shown && records.header.commands != commands) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadOnce(std::make_shared<const std::vector<uint8_t>>(data, data + size));
  auto valid = std::make_shared<std::vector<uint8_t>>(data, data + size);
  valid->resize(size + 2);
  Crc16Append(valid->data(), size);
  ReadOnce(valid);
  return 0;
}
