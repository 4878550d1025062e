#include "tessaro/command_interpreter.h"

#include <cctype>
#include <functional>

#include "loging.h"
#include "registry_dump.h"
#include "tessaro/command_names.h"
#include "tessaro/device_control.h"
#include "tessaro/errors.h"
#include "tessaro/flash_operations.h"
#include "tessaro/flash_settings.h"
#include "tessaro/module_data.h"
#include "tessaro/program_status.h"
#include "tessaro/supply_modules.h"
#include "tessaro/utilities.h"

namespace tessaro {
namespace {

InterpreterFlags g_flags;

constexpr uint16_t kReadyEvent = 0x6020;
constexpr uint16_t kStornoEvent = 0x6F02;
constexpr int32_t kReadyWaitMs = 60000;
constexpr int kWriteAttempts = 10;
constexpr int kWriteRetries = 3;
constexpr int kSupplyRebootRounds = 3;

const char kBoxHeadFor[] =
    "The version of binary file is determined for upgrade a firmware with old Baugr.Data\r\nto a "
    "firmware with new Baugr.Data.\r\n";
const char kBoxHeadTo[] =
    "The version of binary file is determined to upgrade firmware with old Baugr.Data\r\nby "
    "firmware with new Baugr.Data.\r\n";

std::string Stamp() { return RunTimeText(LocalNow()); }

// Whether the list erases, programs or verifies the flash. The byte after a
// conditional is its parameter, not a command.
bool ListTouchesFlash(const std::vector<uint8_t>& commands) {
  for (size_t i = 0; i < commands.size(); ++i) {
    if (commands[i] == kCommandIfVersion)
      ++i;
    else if (commands[i] >= 13 && commands[i] <= 16)
      return true;
  }
  return false;
}

// Everything one run works with.
class Run {
 public:
  Run(TProgrammingJob& job, uint16_t vid, uint16_t pid, const std::string& serial)
      : job_(job),
        view_(job.View()),
        header_(job.Records().header),
        vid_(vid),
        pid_(pid),
        serial_(serial),
        bar_([&job](int position, int maximum) { job.SetProgress(position, maximum); }) {
    control_.log = &view_.Info();
    control_.tree = view_.DeviceTree();
    control_.bar = &bar_;
  }

  bool Execute();

 private:
  void Log(const std::string& format, std::initializer_list<FormatArg> args = {}) {
    ProgramFileLog(info(), format, args);
  }
  TLineList* info() { return &view_.Info(); }
  TLineList* messages() { return &view_.Messages(); }
  // The flash operations' two lists: the Info lines log, the Message lines the transfers.
  LogList log() { return LogList{info()}; }
  TransferList transfer() { return TransferList{messages()}; }
  const FlashRecord& flash() { return view_.SelectedFlash(); }
  // The open connection a command needs; none is a library error naming the command.
  TDevice* Device(int code) {
    if (!connection_)
      throw TessaroError(FormatText(
          "Command \"%s\" needs an open device: no OpenDevice ran before it, or CloseDevice did",
          {ProgramCommandName(code)}));
    return connection_.get();
  }
  void Full() { bar_.SetPosition(bar_.Maximum()); }
  // What a flash operation reports moves the run's progress display (so the
  // status word's progress with it); the view shows its status line.
  FlashProgress FlashBar() {
    return [this, line = job_.FlashProgressSink()](FlashPhase phase, int done, int total) {
      if (phase == FlashPhase::kDone) {
        bar_.SetPosition(0);
      } else {
        bar_.SetMaximum(total);
        bar_.SetPosition(done);
      }
      line(phase, done, total);
    };
  }
  bool Skip(const char* text) {
    if (!safeMode_) return false;
    Log(text);
    return true;
  }
  int Ask(const std::string& text, UINT type) { return control_.Ask(text, type); }
  void Box(const std::string& text) { Ask(text, MB_OK); }

  bool Command(int code, size_t position);
  bool Command49(size_t position);
  bool Command35();
  bool Command33(bool boxes);
  bool SupplyReboot(bool intelligent, const DeviceIdentity& who, bool required, bool userToo);
  void AfterSupplyReboot();
  void FailureBox(int code, const std::string& startStamp);
  void End() {
    connection_.reset();
    psConnection_.reset();
  }

  TProgrammingJob& job_;
  JobView& view_;
  ProgramFileHeader& header_;
  uint16_t vid_, pid_;
  std::string serial_;
  ProgressBar bar_;
  ControlView control_;
  DeviceIdentity wanted_, safe_, firmware_;
  Connection connection_, psConnection_;
  bool safeMode_ = false;
  TArrayOfInteger selectedSectors_, selectedBlocks_;
  int lineNo_ = 0;
  FirmwareVersion version_;  // shared by 45 and 49
};

bool Run::Execute() {
  SetPsPidAlias(false);
  SetAddressControl(true);
  ProgramingState::RegisterProgress();
  // A skip left by the last job (a 49 at the end of its list) is not this job's.
  g_flags.SkipCount = 0;
  // The command bytes run as the file holds them: the lines cannot give them
  // back (46 and 47 share a name). A conditional at the end has no line, so
  // the run ends before it, as the list rebuilt from the lines would.
  VersionsFromLines(header_, view_.VersionLines(), &view_);
  SelectedListEntries(view_.SectorLines(), selectedSectors_);
  SelectedListEntries(view_.BlockLines(), selectedBlocks_);
  view_.CommandLines().SelectAll();
  view_.ShowCommandLine(0);
  wanted_ = {vid_, pid_, "", "", serial_};
  lineNo_ = 0;
  const std::vector<uint8_t>& commands = header_.commands;
  // A block the flash cannot take fails only when its turn comes, after the
  // erase and the blocks before it: the device would be left half
  // programmed in its boot code. Such a file is refused before the first
  // command, as the reader refuses a file it cannot use.
  if (ListTouchesFlash(commands) &&
      !CheckImageAgainstFlash(job_.Records().blocks, flash(), info())) {
    Log("  ERROR, the program blocks don't fit the flash \"%s\": the file is refused, nothing "
        "was erased or programmed.",
        {flash().name});
    job_.SetStatus(kStatusFileRejected);
    End();
    return false;
  }
  for (size_t i = 0; i < commands.size(); ++i) {
    int code = commands[i];
    if (g_flags.SkipCount & 0xFF) {
      --g_flags.SkipCount;
      if (g_flags.SkipCount & 0xFF) {
        const char* next = i + 1 < commands.size() ? ProgramCommandName(commands[i + 1]) : "";
        Log("  skip command \"%s\"", {next});
        ++lineNo_;
      }
      continue;
    }
    if (code == kCommandIfVersion && i + 1 == commands.size()) break;
    view_.ShowCommandLine(static_cast<int>(i));
    job_.SetStatus(static_cast<int16_t>(code));
    bar_.SetMaximum(100);
    bar_.SetPosition(0);
    ProcessMessages();
    std::string started = Stamp();
    Log("\r\n\xBB\xBB\xBB\xBB\xBB\xBB\xBB\xBB\xBB\xBB Binary file: DO COMMAND %d: \"%s\" at %s "
        "\xAB\xAB\xAB\xAB\xAB\xAB\xAB\xAB\xAB\xAB",
        {static_cast<int>(i), ProgramCommandName(code), started});
    bool ok = false;
    try {
      ok = Command(code, i);
    } catch (...) {
      // An error inside a command fails it as visibly as a false result.
      job_.SetStatus(FailedCommandStatus(code));
      End();
      throw;
    }
    if (!ok) {
      FailureBox(code, started);
      job_.SetStatus(FailedCommandStatus(code));
      End();
      return false;
    }
    ProcessMessages();
    view_.CommandLines().SetSelected(lineNo_, false);
    ++lineNo_;
    Log("\xBB OK, Command \"%s\". at %s \xAB", {ProgramCommandName(code), Stamp()});
  }
  job_.SetStatus(9);
  bar_.SetMaximum(100);
  bar_.SetPosition(100);
  End();
  return true;
}

void Run::FailureBox(int code, const std::string& startStamp) {
  const char* tail = nullptr;
  std::string argument;
  switch (code) {
    case 33:
      tail =
          "There is a problem with patch for this application ...Please, try upload again, in "
          "case of the same result contact support\r\nMsg for sup.: QV PathTR410.3 \"%s\"";
      argument = "ucPathTR410_BD";
      break;
    case 34:
      tail =
          "Unable to read old Baugr.Data...Please, try upload again, in case of the same result "
          "contact support\r\nMsg for sup.: QV PathTR410.3 \"%s\"";
      argument = startStamp;
      break;
    case 35:
      tail =
          "Unable to write new Baugr.Data...Please, don't erase TR410_BaugrDataBackup_*.zip file "
          "and contact support\r\nMsg for sup.: QV PathTR410.3 \"%s\"";
      argument = "ucTR410_Write_BD";
      break;
    case 37:
      tail =
          "There is a problem with BaugruppenDaten test...Please, try upload again, in case of "
          "the same result contact support\r\nMsg for sup.: QV PathTR410.3 \"%s\"";
      argument = "ucPathTR410test_BD";
      break;
    default:
      return;
  }
  Box(FormatText(std::string(kBoxHeadTo) + tail, {argument}));
}

bool Run::Command33(bool boxes) {
  bool result = false;
  std::string text;
  if (header_.pathFlag) {
    try {
      g_flags.PathBDActive = FirmwareVersionBelow(Device(boxes ? 33 : 37), header_.pathVersion,
                                                  log(), transfer(), &text);
      result = g_flags.PathBDActive;
      if (!boxes) result = true;
      if (boxes && !g_flags.PathBDActive)
        Box(FormatText(std::string(kBoxHeadFor) +
                           "Off limits vesion is less then FW version.Pleasse, get on to "
                           "support\r\nMsg for sup.: QV PathTR410.1 \"%s\"",
                       {text}));
    } catch (const std::exception& e) {
      // Any error of the check, a device's or a missing connection's, is
      // the check's failure: the log and the user are told what it was.
      Log("  exception \"%s\", error => cannot to finish command", {e.what()});
      if (boxes)
        Box(FormatText(std::string(kBoxHeadFor) +
                           "Exeption on reading version off limits.Pleasse, try new upload, if "
                           "will result same then get on to support\r\nMsg for sup.: QV "
                           "PathTR410.3 \"%s\"",
                       {e.what()}));
      result = false;
    }
  } else if (boxes) {
    Box(FormatText(std::string(kBoxHeadFor) +
                       "Is use path command, but is not writen version off limits.Pleasse, get "
                       "on to support\r\nMsg for sup.: QV PathTR410.2 \"%s\"",
                   {text}));
  } else {
    g_flags.PathBDActive = false;
  }
  Log("  Set PathTR410BD on \"%s\"", {g_flags.PathBDActive ? "TRUE" : "FALSE"});
  return result;
}

bool Run::Command49(size_t position) {
  const std::vector<uint8_t>& commands = header_.commands;
  try {
    // The parameter byte; a 49 without one (the list's end) has nothing to compare.
    int k = position + 1 < commands.size() ? commands[position + 1] : -1;
    int last = static_cast<int>(header_.versions.size()) - 1;
    if (k < 0 || k > last) {
      Log("  error, %d. isn't in VersionList(0..%d).", {k, last});
      return false;
    }
    uint32_t wanted = header_.versions[static_cast<size_t>(k)];
    uint16_t major = static_cast<uint16_t>(wanted >> 16), minor = static_cast<uint16_t>(wanted);
    Log("  %d.from VersionList => %d.%d", {k, major, minor});
    if (!ReadFirmwareVersion(safeMode_ ? connection_.get() : Device(49), version_, safeMode_, log(),
                             transfer())) {
      Log("  error, cannot read FW version.");
      return false;
    }
    Log("  FW version is %d.%d.", {version_.major, version_.minor});
    if (major == version_.major && minor == version_.minor) {
      g_flags.SkipCount = 1;
      Log("  from VersionList %d.%d = %d.%d from Device => will do next command",
          {major, minor, version_.major, version_.minor});
    } else {
      g_flags.SkipCount = 2;
      Log("  from VersionList %d.%d <> %d.%d from Device => will skip next command",
          {major, minor, version_.major, version_.minor});
    }
    return true;
  } catch (const std::exception& e) {
    Log("  exception \"%s\", error => cannot to finish command", {e.what()});
    return false;
  }
}

void Run::AfterSupplyReboot() {
  Log("  Device succesfully reboot via PSs, now will wait 1s");
  WaitLettingMessagesThrough(1000);
  if (connection_ && connection_->SerialNumber) wanted_.serial = connection_->SerialNumber;
  psConnection_.reset();
  std::string lower = wanted_.serial;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  safeMode_ = lower.find("safe") != std::string::npos;
}

// The power-supply reboots of 48 and 50, then the user's power cycle.
bool Run::SupplyReboot(bool intelligent, const DeviceIdentity& who, bool required, bool userToo) {
  if (intelligent && IntelligentRebootViaPs(who, required, connection_, control_, psConnection_)) {
    AfterSupplyReboot();
    return true;
  }
  if (RebootViaPs(wanted_, required, connection_, control_, psConnection_)) {
    AfterSupplyReboot();
    return true;
  }
  return userToo && UserPowerCycle(wanted_, connection_, control_, true, safeMode_, 100);
}

bool Run::Command35() {
  if (!g_flags.PathBDActive) {
    Log("  Skip TR410_Write_BD");
    return true;
  }
  Device(35);
  bool serialFound = false;
  int32_t serial = -1;  // keeps the module's serial number: none is written unasked
  Log(" %s, was%s found PowerSupply (%s) of device via rebooting",
      {"Error", psConnection_ ? "" : " not", ADevToStr(psConnection_.get(), true)});
  if (psConnection_) {
    Log("  Try read from PS serial number of TR410");
    // The supply's own version, apart from the module's that 45 and 49 use.
    FirmwareVersion ps;
    bool read = ReadFirmwareVersion(psConnection_.get(), ps, false, log(), transfer());
    bool supported = read && PsVersionSupported(ps.major, ps.minor);
    Log(" %s, FW version (v%d.%d) of PS %s support the function (0.7 =< Sup.Ver.)",
        {supported ? "OK" : "Error", ps.major, ps.minor, supported ? "" : " not"});
    if (supported) {
      int32_t found = -1;
      serialFound = FindModuleSerial(connection_->VID, connection_->PID, psConnection_.get(),
                                     info(), transfer(), found);
      if (serialFound) serial = found;
      Log(" %s, was %s found in Baugr.Data serial number for TR410: %s.",
          {serialFound ? "OK" : "Error", serialFound ? "" : "not",
           serialFound ? FormatText("%d", {found}) : std::string("nil")});
    }
  }
  bool show = view_.Showing();
  if (WaitOnIrptCommand(connection_, info(), kReadyEvent, kStornoEvent, kReadyWaitMs,
                        "DEVICE READY", "BAD BLOCK OF BAUGR.DATA", false, &bar_,
                        show) != kIrptReady)
    return false;
  for (int n = 1; n <= kWriteAttempts; ++n) {
    Log("  %d. ********** Try write DB and test its right **********", {n});
    bool written = WriteModuleData(connection_, control_, show, serial);
    // A write that succeeds on a retry goes on as written: a device that
    // alternates failure and success cannot keep the attempt going forever.
    for (int retry = 0; !written && retry < kWriteRetries; ++retry) {
      WaitWithProgress(3000, 100, &bar_, info());
      Log("  Error in Write BD, will wait 3s and then try TR410_Write_BD again");
      written = WriteModuleData(connection_, control_, show, serial);
    }
    if (!written) return false;
    Log("  Is possible that device (%s) has now a new serial number, I try find it",
        {ADevToStr(connection_.get(), true)});
    bool refound = ReopenByIdentity(connection_, control_, 100);
    Log("   %s, self finding (%s).",
        {refound ? "OK" : "ERROR", ADevToStr(connection_.get(), true)});
    DeviceIdentity device = connection_ ? IdentityOf(*connection_) : wanted_;
    if (!RebootDevice(device, connection_, control_, true)) {
      bool rebooted = false;
      for (int m = 1; m <= kSupplyRebootRounds && !rebooted; ++m) {
        try {
          // With no connection left (the failed reboot freed it) there is
          // nothing to find again: the line must not repeat an earlier find.
          refound = connection_ && ReopenByIdentity(connection_, control_, 100);
          Log("  %s, self finding (%s).",
              {refound ? "OK" : "ERROR", ADevToStr(connection_.get(), true)});
          Log("  %d. Try reboot via PS in Write_DB", {m});
          rebooted = RebootViaPs(device, true, connection_, control_, psConnection_);
          if (rebooted) Log("  succesfully, %d. Try reboot via PS in Write_DB", {m});
        } catch (const std::exception&) {
          Log("  exception, %d. Try reboot via PS in Write_DB", {m});
        }
      }
      if (!rebooted) return false;
    }
    Log("  Device succesfully reboot ...");
    int result = WaitOnIrptCommand(connection_, info(), kReadyEvent, kStornoEvent, kReadyWaitMs,
                                   "DEVICE READY", "BAD BLOCK OF BAUGR.DATA", true, &bar_, show);
    if (result == kIrptStorno) {
      Log("  Wait on Irpt: BAD");
      continue;
    }
    if (result != kIrptReady) {
      Log("  Wait on Irpt: ERROR");
      return false;
    }
    Log("  Wait on Irpt: OK");
    Log("  Try clear files with Baugr.Data ... ");
    if (!ClearModuleData(connection_, control_, show)) return false;
    Log("  Files with Baugr.Data are successfully cleared.");
    return true;
  }
  return false;
}

bool Run::Command(int code, size_t position) {
  switch (code) {
    case 10:
      return OpenDevice(wanted_, connection_, control_);
    case 11:
      return CloseDevice(connection_, control_);
    case 12: {
      bool ok = FlashAutoselect(Device(code), flash(), flash().baseFlashAddress,
                                flash().sectorAddress, log(), transfer());
      if (ok) Full();
      return ok;
    }
    case 13: {
      bool ok = FlashEraseChip(Device(code), flash(), flash().baseFlashAddress, log(), transfer());
      if (ok) Full();
      return ok;
    }
    case 14: {
      TSelectableList& sectors = view_.SectorLines();
      SelectListEntries(selectedSectors_, static_cast<int>(selectedSectors_.size()) - 1, sectors);
      bool ok = FlashEraseSectors(Device(code), sectors, flash(), flash().baseFlashAddress, log(),
                                  transfer(), FlashBar());
      if (ok) Full();
      return ok;
    }
    case 15:
    case 16: {
      TSelectableList& blocks = view_.BlockLines();
      SelectListEntries(selectedBlocks_, static_cast<int>(selectedBlocks_.size()) - 1, blocks);
      auto operation = code == 15 ? &FlashProgram : &FlashVerify;
      bool ok = operation(Device(code), blocks, job_.Records().blocks, flash().baseFlashAddress,
                          flash(), log(), transfer(), FlashBar());
      if (ok) Full();
      return ok;
    }
    case 18: {
      if (Skip("Skip, SetMarker.")) return true;
      bool ok = SetMarker(Device(code), true, log(), transfer());
      if (ok) Full();
      return ok;
    }
    case 19: {
      bool ok = ClearMarker(Device(code), true, log(), transfer());
      if (ok) Full();
      return ok;
    }
    case 20:
    case 39: {
      if (Skip("Skip, RestartDeviceToSafe.")) return true;
      connection_.reset();
      if (!RebootToMode(wanted_, safe_, true, 1000, control_, connection_)) return false;
      safeMode_ = true;
      return true;
    }
    case 21: {
      connection_.reset();
      if (!RebootToMode(safe_, firmware_, false, 1000, control_, connection_)) return false;
      safeMode_ = false;
      return true;
    }
    case 22:
    case 23:
    case 24:
      WaitWithProgress(code == 22 ? 1000 : code == 23 ? 500 : 100, 100, &bar_, info());
      return true;
    case 25:
      SetAddressControl(false);
      Full();
      return true;
    case 26: {
      bool same = vid_ == header_.vid && pid_ == header_.pid;
      Log("  Wanted param.: VID:0x%4.4X,PID:0x%4.4X \t%s\t Param. in BinaryFile: "
          "VID:0x%4.4X,PID:0x%4.4X",
          {vid_, pid_, same ? "=" : "<>", header_.vid, header_.pid});
      if (!same || !CheckDeviceUnique(vid_, pid_, info())) return false;
      Full();
      return true;
    }
    case 27:
    case 38: {
      if (Skip(code == 27 ? "Skip, Reboot." : "Skip, RebootWith1sPause.")) return true;
      wanted_ = {vid_, pid_, "", "", serial_};
      connection_.reset();
      if (!RebootTest(wanted_, safe_, firmware_, code == 27 ? 0 : 1000, control_)) return false;
      if (code == 27) Full();
      return true;
    }
    case 28: {
      if (Skip("Skip, VersionTest.")) return true;
      bool ok =
          FirmwareVersionInList(Device(code), header_.versions,
                                static_cast<int>(header_.versions.size()) - 1, log(), transfer());
      if (ok) Full();
      return ok;
    }
    case 29: {
      if (SerialSaysSafe(serial_)) {
        int answer =
            Ask("Device is in SAFE mode.\r\nIf will continue than will skip same steps "
                "(RebootTest,VersionTest,SetMarker,RebootToSafe).\r\nDo you want stop?",
                MB_YESNO | MB_ICONWARNING);
        if (answer == IDYES) return false;
        if (answer == IDNO) {
          safeMode_ = true;
          safe_ = {vid_, pid_, "", "", serial_};
          // The firmware names itself by the safe serial without its "safe":
          // without it the reboot back into the firmware could find nothing.
          firmware_ = {vid_, pid_, "", "", FirmwareSerialText(serial_)};
          Log("  OK, TestOnSafeMode. Device is in safe mode, will skip same commands...");
        }
      } else {
        Log("  OK, TestOnSafeMode. Device isn't in safe mode.");
      }
      Full();
      return true;
    }
    case 30: {
      bool ok = GetFlashStatus(Device(code), log(), transfer());
      if (ok) Full();
      return ok;
    }
    case 31:
      return CommandKill(Device(code), false, log(), transfer());
    case 32:
      SetPsPidAlias(true);
      return true;
    case 33:
      return Command33(true);
    case 37:
      return Command33(false);
    case 34:
      if (!g_flags.PathBDActive) {
        Log("  Skip TR410_Read_BD");
        return true;
      }
      Device(code);
      return ReadModuleData(connection_, control_, view_.Showing());
    case 35:
      return Command35();
    case 36:
      if (!g_flags.PathBDActive) {
        Log("  Skip RebootViaPS");
        return true;
      }
      if (!RebootViaPs(wanted_, true, connection_, control_, psConnection_)) return false;
      Log("  Device succesfully reboot, now will wait 1s");
      WaitLettingMessagesThrough(1000);
      return true;
    case 40: {
      TLoging* logger = GlobalLogger();
      std::string path = logger ? logger->MainLogPath() : "";
      if (logger && logger->DeleteLog()) {
        Log("  was succesfully delete LOG file \"%s\"", {path});
        return true;
      }
      Log("  warning, cannot delete LOG file \"%s\"", {path});
      std::string own = ProgramFolder() + "Tessaro.log";
      if (!FileExists(own)) {
        Log("  ok, cannot delete \"%s\", because the file don't exists.", {own});
        return true;
      }
      if (DeleteFileA(own.c_str())) {
        Log("  ok, deleted LOG file \"%s\"", {own});
        return true;
      }
      Log("  error, cannot delete LOG file \"%s\"", {own});
      return false;
    }
    case 41:
      if (TLoging* logger = GlobalLogger()) logger->SetMainLogOn(false);
      Log("  was set DontCreate LOG file for Loging.");
      return true;
    case 42:
      if (TLoging* logger = GlobalLogger()) logger->SetMainLogOn(true);
      Log("  was set Create LOG file for Loging.");
      return true;
    case 43: {
      Log("  --- description start OPER.SYSTEM ---");
      std::string text = WindowsVersionText(), line;
      for (char c : text + "\r") {
        if (c == '\n') continue;
        if (c != '\r') {
          line += c;
          continue;
        }
        if (!line.empty()) Log("    %s", {line});
        line.clear();
      }
      try {
        FindInstalledUsbDrivers(header_.vid, header_.pid, *info());
      } catch (...) {
        // Its result and its errors do not decide the command.
      }
      Log("  --------- description end -----------");
      return true;
    }
    case 44: {
      if (Skip("  Skip, SuspendTR410.")) return true;
      if (!SuspendDevice(Device(code), log(), transfer(), FlashBar())) return false;
      Log("  ok, device is suspend.");
      return true;
    }
    case 45: {
      if (Skip("  Skip, GetDeviceVersion.")) return true;
      if (!ReadFirmwareVersion(Device(code), version_, safeMode_, log(), transfer())) return false;
      Log("  ok, FW version is %d.%d.", {version_.major, version_.minor});
      return true;
    }
    case 46:
    case 47:
      return true;
    case 48:
      connection_.reset();
      if (RebootToMode(safe_, firmware_, false, 1000, control_, connection_)) return true;
      return SupplyReboot(true, safe_, false, true);
    case 49:
      return Command49(position);
    case 50:
      return SupplyReboot(true, wanted_, true, true);
    case 51:
      return UserPowerCycle(wanted_, connection_, control_, true, safeMode_, 100);
    case 52: {
      if (Skip("  Skip, WaitForIDLEonTR410orTR420.")) return true;
      if (!WaitForIdle(Device(code), log(), transfer(), FlashBar())) return false;
      Log("  ok, device is in IDLE.");
      return true;
    }
    default:
      return false;  // 0 to 9, 17 and above 52 have no action
  }
}

}  // namespace

int16_t FailedCommandStatus(int code) {
  return static_cast<int16_t>(code >= 10 ? -code : -(256 + code));
}

InterpreterFlags& Interpreter() { return g_flags; }
void ResetInterpreter() { g_flags = InterpreterFlags(); }

bool RunProgramCommands(TProgrammingJob& job, uint16_t vid, uint16_t pid,
                        const std::string& serialNumber) {
  Run run(job, vid, pid, serialNumber);
  return run.Execute();
}

}  // namespace tessaro
