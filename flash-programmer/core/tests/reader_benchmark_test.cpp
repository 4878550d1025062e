// Not a timed test: prints how long reading and checking a 16 MiB program
// file takes beside a plain CRC-16 pass over the same bytes.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

#include "tessaro/crc16.h"
#include "tessaro/memory_form.h"
#include "tessaro/program_file.h"
#include "tessaro_test/program_file_writer.h"

using namespace tessaro;

TEST(ReaderBenchmark, SixteenMegabyteFileAgainstAPlainCrcPass) {
  tessaro_test::Bytes file =
      tessaro_test::ProgramFileWriter::Write(tessaro_test::LargeProgramFileSpec(16u << 20));
  LARGE_INTEGER frequency, t0, t1, t2;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&t0);
  uint16_t crc = Crc16(0, file.data(), file.size());
  QueryPerformanceCounter(&t1);
  ProgramFileRecords records;
  MemoryProgramFileForm form;
  bool ok = ReadProgramBytes("big.bin", file.data(), file.size(), records, form);
  QueryPerformanceCounter(&t2);
  EXPECT_EQ(0, crc);
  EXPECT_TRUE(ok);
  double crcMs = 1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / frequency.QuadPart;
  double readMs = 1000.0 * static_cast<double>(t2.QuadPart - t1.QuadPart) / frequency.QuadPart;
  std::printf("program file of %zu bytes, %u blocks: CRC pass %.1f ms, reader %.1f ms (%.2fx)\n",
              file.size(), records.blocks.Count(), crcMs, readMs, readMs / crcMs);
}
