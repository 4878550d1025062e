#include "flash_steps.h"

#include <windows.h>

#include <climits>

#include "tessaro/crc16.h"
#include "tessaro/flash_codes.h"
#include "tessaro/flash_settings.h"
#include "tessaro/run_events.h"
#include "tessaro/utilities.h"

namespace tessaro {
namespace {

void ShowBox(const std::string& text) {
  LibraryAsk({text, "Tessaro", MB_OK, BoxOwner::kActiveWindow});
}

// At namespace scope: a function's static would need a guard, and with it
// the thread library.
std::function<void(const std::string&)> g_message = &ShowBox;

// After a poll that changed nothing: the last line of the log list grows by
// one "w" every five polls, its last character turning meanwhile.
void AdvanceWaiting(TLineList* log, int polls) {
  if (!log) return;
  int last = log->Count() - 1;
  std::string line = last >= 0 ? log->Line(last) : std::string();
  if (line.empty() || polls < 2) {
    log->Add("  waiting: .");
    return;
  }
  if (line.back() == 'w') line += '.';
  line.back() = "-/|\\w"[polls % 5];
  log->SetLine(last, line);
}

}  // namespace

FlashShared& Flash() { return Settings().flash; }
void SetAddressControl(bool on) { Flash().AddressControl = on; }
void ResetFlashShared() { Flash() = FlashShared(); }
LogHook& FlashLog() { return LogHooks().flash; }

std::function<void(const std::string&)>& FlashMessage() { return g_message; }

void LogM(TLineList* log, const std::string& format, std::initializer_list<FormatArg> args) {
  if (FlashLog().Bound())
    FlashLog()(log, format, args);
  else if (log)
    log->Add(FormatText(format, args));
}

void LogHeading(TLineList* log, const std::string& format, std::initializer_list<FormatArg> args) {
  if (log) log->Add("");
  LogM(log, format, args);
}

bool SendFacility(TDevice* device, uint16_t facId, const uint8_t* data, uint16_t size,
                  TLineList* log, const std::string& title, TStrings* transfer) {
  device->Log(transfer, "%s", {title});
  std::string error;
  Dev_SetFacilityData(device, facId, 0, &error, transfer, size, data);
  if (error.empty()) return true;
  if (log) log->Add("");
  LogM(log, "%s", {error});
  return false;
}

int ReadFacility(TDevice* device, uint16_t facId, uint8_t* buffer, uint16_t size, TLineList* log,
                 const std::string& title, TStrings* transfer) {
  device->Log(transfer, "----- %s -----", {title});
  std::string error;
  int n = Dev_GetFacilityData(device, facId, 0, &error, transfer, size, buffer);
  if (!error.empty()) {
    if (log) log->Add("");
    LogM(log, "%s", {error});
  }
  return n;
}

void ResetProgress(const FlashProgress& progress, FlashPhase phase, int total) {
  if (progress) progress(phase, 0, total);
  SetStopRequested(false);
}

void FinishProgress(const FlashProgress& progress) {
  if (progress) progress(FlashPhase::kDone, 0, 0);
}

void StepProgress(const FlashProgress& progress, FlashPhase phase, int done, int total) {
  if (progress) progress(phase, done, total);
}

bool StopCheck(const std::string& name, TLineList* log) {
  if (!IsStopRequested()) return false;
  LogM(log, "   WARNING %s, Action was STORNO by user", {name});
  return true;
}

void ReportError(const std::string& name, const std::string& message, TLineList* log) {
  std::string text = FormatText("  --- ERROR %s, %s ---", {name, message});
  LogM(log, "%s", {text});
  FlashMessage()(text);
}

void SleepMs(int32_t ms) { WaitLettingMessagesThrough(static_cast<DWORD>(ms < 0 ? 0 : ms)); }

int32_t PollResult::Time() const {
  int64_t ms = int64_t{polls} * CurrentFlashTimes().pollPeriod;
  return ms > INT32_MAX ? INT32_MAX : static_cast<int32_t>(ms);
}

PollResult PollFlashStatus(TDevice* device, const PollSpec& spec, TLineList* log,
                           TStrings* transfer) {
  PollResult r;
  int badLength = 0, badCrc = 0;
  int32_t period = CurrentFlashTimes().pollPeriod;
  uint8_t& state = Flash().FlashState;
  while (state == spec.busy) {
    if (spec.stoppable) {
      // Messages go through while the poll waits; Esc among them ends the
      // wait at once, not after the period.
      WaitLettingMessagesThrough(static_cast<DWORD>(period), &IsStopRequested);
      if (IsStopRequested()) break;
    } else {
      SleepMs(period);
    }
    ++r.polls;
    uint8_t answer[8] = {};
    int n = ReadFacility(device, CMD_GET_FLASH_STATUS, answer, 8, log, spec.title, transfer);
    r.lastCount = n;
    if (n != 8) {
      if (++badLength >= spec.lengthLimit)
        state = kStateBadLength;
      else
        LogM(log, spec.lengthLine, {TimeText(LocalNow()), n, 8});
      continue;
    }
    if (!Crc16CheckTrailer(answer, 8, &r.receivedCrc, &r.computedCrc)) {
      if (++badCrc >= 4)
        state = kStateBadCrc;
      else
        LogM(log, spec.crcLine, {TimeText(LocalNow()), r.receivedCrc, r.computedCrc});
      continue;
    }
    std::copy(answer, answer + 8, r.answer);
    uint16_t code = spec.byteCode ? answer[0] : le::U16(answer);
    state = static_cast<uint8_t>(StatusIndexOfCode(code));
    if (state == spec.success || state == spec.error) break;
    // In 64 bits: a huge poll period from a file must not wrap below the time-out.
    if (int64_t{r.polls} * period > spec.timeout) {
      state = kStateTimeout;
      break;
    }
    AdvanceWaiting(log, r.polls);
  }
  return r;
}

void ReportFlashResult(const std::string& name, uint8_t state, TLineList* log, uint8_t errorIndex,
                       uint8_t successIndex, const std::string& detail, const PollResult& poll) {
  int32_t time = poll.Time();
  auto sent = [&](const char* status) {
    LogM(log, std::string("  ERROR %s, Device sent respond \"") + status + "\" (%dms)",
         {name, time});
  };
  switch (state) {
    case kStateBadLength:
      LogM(log,
           "  ERROR %s, readen bad length of data ( %d B, must be %d B), reading is stop (%dms)",
           {name, poll.lastCount, 8, time});
      return;
    case kStateBadCrc:
      LogM(log, "  ERROR %s, Bad CRC16 ( 0x%4.4X , must be 0x%4.4X B), reading is stop (%dms)",
           {name, poll.receivedCrc, poll.computedCrc, time});
      return;
    case kStateDisabled:
      return sent("disabled_command");
    case kStateTimeout:
      LogM(log, "  ERROR, %s, TIMEOUT%s (%dms)", {name, detail, time});
      return;
    case kAutoselectError:
      return sent("error_autoselect");
    case kChipEraseError:
      return sent("error_chip_erase");
    case kSectorEraseError:
      return sent("error_sector_erase");
    case kProgramError:
      return sent("programming_error");
    case kVerifyError:
      return sent("error_verifying");
    default:
      break;
  }
  if (state == successIndex) {
    LogM(log, "  OK %s, (%d ms)", {name, time});
  } else if (state == errorIndex) {
    LogM(log, "  ERROR %s, Device sent respond \"%s\" (%dms)", {name, StatusName(state), time});
  } else {
    LogM(log, "  ERROR %s, unknow status \"%s\" [no.%d(%d)] (%dms)",
         {name, StatusName(state), StatusCodeOfIndex(state), state, time});
  }
}

}  // namespace tessaro
