// The building blocks the flash operations share: logged sends and reads,
// headings, the progress view, the stop test, the status poll and the
// result report.
#pragma once

#include <cstdint>
#include <string>

#include "lumetra/wire.h"
#include "tessaro/flash_operations.h"

namespace tessaro {

// An M line: through the hook (which appends it to `log`), else to `log` only.
void LogM(TLineList* log, const std::string& format, std::initializer_list<FormatArg> args = {});
void LogHeading(TLineList* log, const std::string& format,
                std::initializer_list<FormatArg> args = {});
// False when the device did not take the request (its error line is logged).
bool SendFacility(TDevice* device, uint16_t facId, const uint8_t* data, uint16_t size,
                  TLineList* log, const std::string& title, TStrings* transfer);
int ReadFacility(TDevice* device, uint16_t facId, uint8_t* buffer, uint16_t size, TLineList* log,
                 const std::string& title, TStrings* transfer);

// Clears the stop request and announces `total` steps of `phase`.
void ResetProgress(const FlashProgress& progress, FlashPhase phase, int total);
void FinishProgress(const FlashProgress& progress);
void StepProgress(const FlashProgress& progress, FlashPhase phase, int done, int total);
bool StopCheck(const std::string& name, TLineList* log);
// The error box and line of an operation that failed with an error.
void ReportError(const std::string& name, const std::string& message, TLineList* log);
void SleepMs(int32_t ms);

constexpr uint8_t kNoIndex = 255;

struct PollSpec {
  uint8_t busy = 0, success = 0, error = 0;
  int32_t timeout = 0;
  int lengthLimit = 4;
  bool stoppable = false;  // lets messages through and tests the stop request
  bool byteCode = false;   // the status code is the byte at offset 0 alone
  std::string title;       // of each status read
  std::string lengthLine;  // (time, count, 8)
  std::string crcLine;     // (time, received, computed)
};

struct PollResult {
  int polls = 0;
  int lastCount = 0;
  uint16_t receivedCrc = 0, computedCrc = 0;
  uint8_t answer[8] = {};
  int32_t Time() const;  // polls x poll period, at most INT32_MAX
};

// Polls the flash status while FlashState is the busy index.
PollResult PollFlashStatus(TDevice* device, const PollSpec& spec, TLineList* log,
                           TStrings* transfer);

void ReportFlashResult(const std::string& name, uint8_t state, TLineList* log, uint8_t errorIndex,
                       uint8_t successIndex, const std::string& detail, const PollResult& poll);

}  // namespace tessaro
