#include "status_texts.h"

#include <cstdio>
#include <cstring>

#include "corvel/corvel.h"
#include "lumetra/status_table.h"

namespace corvel {
namespace {

// In the order the texts are looked up.
constexpr lm::StatusRow kStatusTable[] = {
#define LM_STATUS_ROW(name, code, text) {code, #name, text},
    LM_STATUS_TABLE(LM_STATUS_ROW)
#undef LM_STATUS_ROW
};

void CopyPadded(const char* text, char* buffer, int size) {
  if (!buffer || size <= 0) return;
  std::strncpy(buffer, text, static_cast<size_t>(size));
}

}  // namespace

const char* StatusText(Status status) { return lm::StatusTextIn(kStatusTable, status); }

const char* StatusName(Status status) { return lm::StatusNameIn(kStatusTable, status); }

Status CopyStatusText(Status status, char* buffer, int size) {
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
