#include "tessaro/command_interpreter.h"

#include "command_handlers.h"
#include "tessaro/command_names.h"
#include "tessaro/device_control.h"
#include "tessaro/flash_operations.h"
#include "tessaro/program_status.h"
#include "tessaro/utilities.h"

namespace tessaro {
namespace {

std::string Stamp() { return RunTimeText(LocalNow()); }

// Whether the list erases, programs or verifies the flash. The byte after a
// conditional is its parameter, not a command.
bool ListTouchesFlash(const std::vector<uint8_t>& commands) {
  for (size_t i = 0; i < commands.size(); ++i) {
    if (commands[i] == kCommandIfVersion)
      ++i;
    else if (lm::ProgramCommandHas(commands[i], lm::kCommandTouchesFlash))
      return true;
  }
  return false;
}

// The box a failed module-data command shows; none for the other commands.
void FailureBox(RunContext& run, int code, const std::string& startStamp) {
  const char* tail = nullptr;
  std::string argument;
  switch (code) {
    case lm::cmd::PathTR410BD:
      tail =
          "There is a problem with patch for this application ...Please, try upload again, in "
          "case of the same result contact support\r\nMsg for sup.: QV PathTR410.3 \"%s\"";
      argument = "ucPathTR410_BD";
      break;
    case lm::cmd::TR410ReadBD:
      tail =
          "Unable to read old Baugr.Data...Please, try upload again, in case of the same result "
          "contact support\r\nMsg for sup.: QV PathTR410.3 \"%s\"";
      argument = startStamp;
      break;
    case lm::cmd::TR410WriteBD:
      tail =
          "Unable to write new Baugr.Data...Please, don't erase TR410_BaugrDataBackup_*.zip file "
          "and contact support\r\nMsg for sup.: QV PathTR410.3 \"%s\"";
      argument = "ucTR410_Write_BD";
      break;
    case lm::cmd::PathTR410TestBD:
      tail =
          "There is a problem with BaugruppenDaten test...Please, try upload again, in case of "
          "the same result contact support\r\nMsg for sup.: QV PathTR410.3 \"%s\"";
      argument = "ucPathTR410test_BD";
      break;
    default:
      return;
  }
  run.Box(FormatText(std::string(kBoxHeadTo) + tail, {argument}));
}

// One command as the table says: skipped in safe mode with its line, its
// own action, and a success that fills the bar.
bool Command(RunContext& run, int code) {
  const CommandEntry& entry = CommandFor(code);
  if (run.safeMode && lm::ProgramCommandHas(code, lm::kCommandSkippedInSafeMode)) {
    run.Log(entry.skipText);
    return true;
  }
  bool ok = entry.handler(run);
  if (ok && lm::ProgramCommandHas(code, lm::kCommandFillsBar)) run.Full();
  return ok;
}

// Passes over a command a conditional skips; true when it was skipped.
bool Skipped(RunContext& run, size_t i, int& lineNo) {
  if (!(run.skipCount & 0xFF)) return false;
  const std::vector<uint8_t>& commands = run.header.commands;
  --run.skipCount;
  if (run.skipCount & 0xFF) {
    const char* next = i + 1 < commands.size() ? ProgramCommandName(commands[i + 1]) : "";
    run.Log("  skip command \"%s\"", {next});
    ++lineNo;
  }
  return true;
}

// Runs command `i` of the list with its lines; false when it failed.
bool Step(RunContext& run, size_t i, int& lineNo) {
  int code = run.header.commands[i];
  run.view.ShowCommandLine(static_cast<int>(i));
  run.job.SetStatus(static_cast<int16_t>(code));
  run.events.SetProgressMaximum(100);
  run.events.SetProgressPosition(0);
  ProcessMessages();
  std::string started = Stamp();
  run.Log(
      "\r\n\xBB\xBB\xBB\xBB\xBB\xBB\xBB\xBB\xBB\xBB Binary file: DO COMMAND %d: \"%s\" at %s "
      "\xAB\xAB\xAB\xAB\xAB\xAB\xAB\xAB\xAB\xAB",
      {static_cast<int>(i), ProgramCommandName(code), started});
  bool ok = false;
  try {
    run.position = i;
    ok = Command(run, code);
  } catch (...) {
    // An error inside a command fails it as visibly as a false result.
    run.job.SetStatus(FailedCommandStatus(code));
    run.End();
    throw;
  }
  if (!ok) {
    FailureBox(run, code, started);
    run.job.SetStatus(FailedCommandStatus(code));
    run.End();
    return false;
  }
  ProcessMessages();
  run.view.CommandLines().SetSelected(lineNo, false);
  ++lineNo;
  run.Log("\xBB OK, Command \"%s\". at %s \xAB", {ProgramCommandName(code), Stamp()});
  return true;
}

// A block the flash cannot take fails only when its turn comes, after the
// erase and the blocks before it: the device would be left half programmed
// in its boot code. Such a file is refused before the first command, as the
// reader refuses a file it cannot use.
bool ImageFitsTheFlash(RunContext& run) {
  if (!ListTouchesFlash(run.header.commands) ||
      CheckImageAgainstFlash(run.job.Records().blocks, run.flash(), run.log()))
    return true;
  run.Log(
      "  ERROR, the program blocks don't fit the flash \"%s\": the file is refused, nothing "
      "was erased or programmed.",
      {run.flash().name});
  run.job.SetStatus(kStatusFileRejected);
  run.End();
  return false;
}

bool Execute(RunContext& run) {
  SetPsPidAlias(false);
  SetAddressControl(true);
  ProgramingState::RegisterProgress();
  // The command bytes run as the file holds them: the lines cannot give them
  // back (46 and 47 share a name). A conditional at the end has no line, so
  // the run ends before it, as the list rebuilt from the lines would.
  VersionsFromLines(run.header, run.view.VersionLines(), &run.view);
  SelectedListEntries(run.view.SectorLines(), run.selectedSectors);
  SelectedListEntries(run.view.BlockLines(), run.selectedBlocks);
  run.view.CommandLines().SelectAll();
  run.view.ShowCommandLine(0);
  run.wanted = run.Wanted();
  if (!ImageFitsTheFlash(run)) return false;
  const std::vector<uint8_t>& commands = run.header.commands;
  int lineNo = 0;
  for (size_t i = 0; i < commands.size(); ++i) {
    if (Skipped(run, i, lineNo)) continue;
    if (commands[i] == kCommandIfVersion && i + 1 == commands.size()) break;
    if (!Step(run, i, lineNo)) return false;
  }
  run.job.SetStatus(9);
  run.events.SetProgressMaximum(100);
  run.events.SetProgressPosition(100);
  run.End();
  return true;
}

}  // namespace

int16_t FailedCommandStatus(int code) {
  return static_cast<int16_t>(code >= 10 ? -code : -(256 + code));
}

bool RunProgramCommands(TProgrammingJob& job, uint16_t vid, uint16_t pid,
                        const std::string& serialNumber) {
  RunContext run(job, CurrentLoad(), vid, pid, serialNumber);
  return Execute(run);
}

}  // namespace tessaro
