// The library's status word: the step code of the running job in the low 16
// bits and its progress (0..10000) in the high 16 bits. The job's thread
// writes it; GetStatus reads it from any thread in one atomic load, so a
// reader never waits for the job and never sees half of an update.
#pragma once

#include <cstdint>

namespace tessaro {

// The step code of a program file the job refuses: the reader's for a file
// it cannot read, the interpreter's for blocks the flash cannot take.
constexpr int16_t kStatusFileRejected = -2;

class ProgramingState {
 public:
  static void SetStatus(int16_t status);
  static int16_t Status();
  // Registers the job's progress display: from now on the progress counts.
  static void RegisterProgress();
  // Position and maximum of the progress display; a maximum of 0 or less
  // gives progress 0, a position beyond the maximum gives 10000.
  static void SetProgress(int32_t position, int32_t maximum);
  static uint16_t Progress();
  // Progress << 16 | status as an unsigned 16-bit value.
  static uint32_t StatusWord();
  // Back to the state after load (status 0, no progress display).
  static void Reset();
};

// Progress 0..10000 of position/maximum, rounded to nearest, halves to even.
uint16_t ProgressOf(int32_t position, int32_t maximum);

}  // namespace tessaro
