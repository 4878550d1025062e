#include "config/step_texts.h"

#include <cstdlib>

void StepStatusTexts::InitStatusTexts() {
  static const struct {
    int code;
    const char* text;
  } defaults[] = {{1, "Valid binary file name"},
                  {2, "Open binary file"},
                  {9, "Actual step is done"},
                  {10, "Open device"},
                  {11, "Close device"},
                  {12, "Flash autoselect"},
                  {13, "Flash erase chip"},
                  {14, "Flash erase sectors"},
                  {15, "Flash program"},
                  {16, "Flash verify"},
                  {17, "Stop processes"},
                  {18, "Set marker"},
                  {19, "Clear marker"},
                  {20, "Restart device to safe"},
                  {21, "Restart device with firmware"},
                  {22, "Wait 1000 ms"},
                  {23, "Wait 500 ms"},
                  {24, "Wait 100 ms"},
                  {25, "Disable address control"},
                  {26, "Test module state"},
                  {27, "Reboot test"},
                  {28, "Version test"},
                  {29, "Test on update mode"},
                  {30, "Read status"},
                  {31, "Kill running processes"},
                  {32, "Old PSU support, enabled"},
                  {33, "Wrong device path"},
                  {34, "Device reading error"},
                  {35, "Device writing error"},
                  {36, "Reboot Via PSU"},
                  {37, "Wrong device path "},
                  {38, "Reboot test with 1s pause..."},
                  {39, "Restart device to update mode with 1s pause"},
                  {40, "Delete log file"},
                  {41, "Dont create log file"},
                  {42, "Create log file"},
                  {43, "Get Device Info"},
                  {44, "Suspend TR410 module"},
                  {45, "Get device version"},
                  {46, "reserved"},
                  {47, "reserved"},
                  {48, "Restart device to firmware..."},
                  {49, "if (version) do next cmd"},
                  {50, "Reboot via PSU..."},
                  {51, "User swich off and switch on"},
                  {52, "Device is booting..."},
                  {100, "Sending MMI update file"},
                  {101, "Executing batch files"},
                  {105, "Stopping MMI"},
                  {106, "Waiting for device"},
                  {107, "Checking installed versions"},
                  {110, "Update finnished!"},
                  {150, " Error!"}};
  lm::Lock lock(mutex_);
  table_.assign(kEntries, " ");
  for (const auto& d : defaults) table_[d.code] = d.text;
}

std::string StepStatusTexts::StepText(int code) const {
  const bool failed = code < 0;
  // Widened before negating: the code may be the most negative int.
  const long long magnitude = failed ? -static_cast<long long>(code) : code;
  lm::Lock lock(mutex_);
  // A program file may carry any command code; one without an entry shows
  // its number instead of reading past the table.
  std::string text =
      magnitude < kEntries ? table_[magnitude] : "Status " + std::to_string(magnitude);
  if (failed) text += table_[kErrorSuffix];
  return text;
}

std::string StepStatusTexts::Entry(int index) const {
  lm::Lock lock(mutex_);
  return index >= 0 && index < kEntries ? table_[index] : std::string();
}

void StepStatusTexts::Replace(int index, const std::string& text) {
  if (text.empty() || index < 0 || index >= kEntries) return;
  lm::Lock lock(mutex_);
  table_[index] = text;
}
