#include "status_texts.h"

#include <cstdio>
#include <cstring>

#include "corvel/corvel.h"

namespace corvel {
namespace {

struct StatusEntry {
  uint32_t code;
  const char* name;
  const char* text;
};

// In the order the texts are looked up.
constexpr StatusEntry kStatusTable[] = {
#define LM_STATUS_ROW(name, code, text) {code, #name, text},
    LM_STATUS_TABLE(LM_STATUS_ROW)
#undef LM_STATUS_ROW
};

const StatusEntry* Find(uint32_t status) {
  for (const StatusEntry& e : kStatusTable)
    if (e.code == status) return &e;
  return nullptr;
}

void CopyPadded(const char* text, char* buffer, int size) {
  if (!buffer || size <= 0) return;
  std::strncpy(buffer, text, static_cast<size_t>(size));
}

}  // namespace

const char* StatusText(uint32_t status) {
  const StatusEntry* e = Find(status);
  return e ? e->text : nullptr;
}

const char* StatusName(uint32_t status) {
  const StatusEntry* e = Find(status);
  return e ? e->name : nullptr;
}

uint32_t CopyStatusText(uint32_t status, char* buffer, int size) {
  if (const char* text = StatusText(status)) {
    CopyPadded(text, buffer, size);
    return LM_SUCCESS;
  }
  char unknown[32];
  std::snprintf(unknown, sizeof unknown, "Unknown Error 0x%X", static_cast<unsigned>(status));
  CopyPadded(unknown, buffer, size);
  return LM_WARN_UNKNOWN_STATUS;
}

}  // namespace corvel
