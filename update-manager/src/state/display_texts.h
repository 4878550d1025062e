// The texts the dialog shows, written by the state thread and the language
// loader and copied by the dialog thread; every access holds the record's lock.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "lumetra/sync.h"

enum DisplaySlot : int {
  SLOT_TITLE = 0,
  SLOT_SUPPORTED_DEVICE = 3,
  SLOT_PACKAGE_RELEASE = 5,
  SLOT_DEVICE_TYPE = 8,
  SLOT_DEVICE_SERIAL = 10,
  SLOT_DEVICE_RELEASE = 12,
  SLOT_STATUS = 14,
  SLOT_STEP_LABEL = 17,
  SLOT_START_BUTTON = 25,
  SLOT_START_ENABLED = 26,
  SLOT_SHOW_DETAILS = 27,
  SLOT_HIDE_DETAILS = 28,
  SLOT_EXIT_BUTTON = 30,
  SLOT_STATE_TITLE = 31,
  DISPLAY_SLOT_COUNT = 32
};

struct DisplayTextsRecord {
  std::array<std::string, DISPLAY_SLOT_COUNT> texts;
  bool startEnabled = false;  // slot 26
};

class SharedDisplayTexts {
 public:
  void SetText(int slot, const std::string& text);
  void SetStartEnabled(bool enabled);
  // Changes several slots in one step under the record's lock.
  void Apply(const std::function<void(DisplayTextsRecord&)>& change);
  DisplayTextsRecord Copy() const;
  void Clear();

 private:
  mutable lm::CriticalSection mutex_;
  DisplayTextsRecord record_;
};

extern SharedDisplayTexts DisplayTexts;
