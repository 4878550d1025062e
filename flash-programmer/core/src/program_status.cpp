#include "tessaro/program_status.h"

#include <atomic>

#include "tessaro/library_parts.h"

namespace tessaro {
namespace {

// The word of the library's parts: the core writes it below the library's
// context.
std::atomic<uint32_t>& Word() { return Parts().statusWord; }

void Update(uint32_t mask, uint32_t value) {
  std::atomic<uint32_t>& word = Word();
  uint32_t old = word.load();
  while (!word.compare_exchange_weak(old, (old & ~mask) | (value & mask))) {
  }
}

}  // namespace

uint16_t ProgressOf(int32_t position, int32_t maximum) {
  if (maximum <= 0 || position <= 0) return 0;
  if (position >= maximum) return 10000;
  int64_t scaled = static_cast<int64_t>(position) * 10000;
  int64_t q = scaled / maximum;
  int64_t r = scaled % maximum;
  if (2 * r > maximum || (2 * r == maximum && (q & 1))) ++q;
  return static_cast<uint16_t>(q);
}

void ProgramingState::SetStatus(int16_t status) { Update(0xFFFFu, static_cast<uint16_t>(status)); }

int16_t ProgramingState::Status() { return static_cast<int16_t>(Word().load() & 0xFFFFu); }

void ProgramingState::RegisterProgress() { Parts().progressRegistered = true; }

void ProgramingState::SetProgress(int32_t position, int32_t maximum) {
  if (!Parts().progressRegistered) return;
  Update(0xFFFF0000u, static_cast<uint32_t>(ProgressOf(position, maximum)) << 16);
}

uint16_t ProgramingState::Progress() { return static_cast<uint16_t>(Word().load() >> 16); }

uint32_t ProgramingState::StatusWord() { return Word().load(); }

void ProgramingState::Reset() {
  Parts().progressRegistered = false;
  Word() = 0;
}

}  // namespace tessaro
