#include "tessaro/program_status.h"

#include <atomic>

namespace tessaro {
namespace {

// Both halves in one word, so a reader takes them together. GetStatus reads it
// from any thread without a lock, the core writes it below the library's context.
std::atomic<uint32_t> g_word{0};
std::atomic<bool> g_progressRegistered{false};

void Update(uint32_t mask, uint32_t value) {
  uint32_t old = g_word.load();
  while (!g_word.compare_exchange_weak(old, (old & ~mask) | (value & mask))) {
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

int16_t ProgramingState::Status() { return static_cast<int16_t>(g_word.load() & 0xFFFFu); }

void ProgramingState::RegisterProgress() { g_progressRegistered = true; }

void ProgramingState::SetProgress(int32_t position, int32_t maximum) {
  if (!g_progressRegistered) return;
  Update(0xFFFF0000u, static_cast<uint32_t>(ProgressOf(position, maximum)) << 16);
}

uint16_t ProgramingState::Progress() { return static_cast<uint16_t>(g_word.load() >> 16); }

uint32_t ProgramingState::StatusWord() { return g_word.load(); }

void ProgramingState::Reset() {
  g_progressRegistered = false;
  g_word = 0;
}

}  // namespace tessaro
