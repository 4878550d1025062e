// Not a timed test: prints how long reading and checking a 16 MiB program
// file takes beside a plain CRC-16 pass over the same bytes.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

#include "tessaro/crc16.h"
#include "tessaro/memory_form.h"
#include "tessaro/program_file.h"
#include "tessaro_test/program_file_writer.h"
#include "testsupport/testdir.h"

using namespace tessaro;

namespace {

double Ms(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

}  // namespace

TEST(ReaderBenchmark, SixteenMegabyteFileAgainstAPlainCrcPass) {
  auto file = std::make_shared<const tessaro_test::Bytes>(
      tessaro_test::ProgramFileWriter::Write(tessaro_test::LargeProgramFileSpec(16u << 20)));
  testsupport::TestFolder folder;
  std::string path = folder / "big.bin";
  testsupport::WriteFile(path, std::string(file->begin(), file->end()));

  LARGE_INTEGER t0, t1, t2, t3;
  QueryPerformanceCounter(&t0);
  uint16_t crc = Crc16(0, file->data(), file->size());
  QueryPerformanceCounter(&t1);
  ProgramFileRecords records;
  MemoryProgramFileForm form;
  bool inMemory = ReadProgramBytes(file, records, form);
  QueryPerformanceCounter(&t2);
  ProgramFileRecords again;
  MemoryProgramFileForm form2;
  bool fromDisk = ReadProgramFile(path, again, form2);
  QueryPerformanceCounter(&t3);
  EXPECT_EQ(0, crc);
  EXPECT_TRUE(inMemory);
  EXPECT_TRUE(fromDisk);
  std::printf(
      "program file of %zu bytes, %u blocks: CRC pass %.1f ms; reader over the bytes %.1f ms "
      "(%.2fx); reader with the file read from disk %.1f ms\n",
      file->size(), records.blocks.Count(), Ms(t0, t1), Ms(t1, t2), Ms(t1, t2) / Ms(t0, t1),
      Ms(t2, t3));
}
