#include "config/update_config.h"

#include <windows.h>

#include <cstdint>

#include "config/ini_values.h"
#include "environment/log_writer.h"
#include "environment/release_date.h"
#include "environment/system_environment.h"
#include "lumetra/device_protocol.h"
#include "package_check/package_check.h"

UpdateConfig* theConfig = nullptr;
int customerPid = 0;
// Filled while theConfig is built during static initialisation, perhaps before
// this file's own initialisers run: constinit leaves nothing to run later that
// could empty it again.
constinit std::string customerDeviceName;
bool rebootPsAfterSusbStart = false;

namespace {

const char* const kStepStateTexts[] = {"Ready for update", "Updating...", "Update finished",
                                       "Update error", "Update canceled"};

// VER + 2 x CHECK in 32-bit arithmetic: any key values, however large, wrap
// instead of overflowing.
int VerifyMode(int ver, int check) {
  return static_cast<int>(static_cast<uint32_t>(ver) + 2u * static_cast<uint32_t>(check));
}

// The reader runs before the debug log of this run is settled.
void LogConfigLine(const std::string& text) { LogStartup(text); }

}  // namespace

bool IsReleaseStepName(const std::string& name) {
  const std::string upper = UpperCase(name);
  return upper == "SET REVISION" || upper == "SET UPDATE REVISION";
}

UpdateConfig::UpdateConfig() : UpdateConfig(ApplicationFolder()) {}

UpdateConfig::UpdateConfig(const std::string& appFolder) : appFolder_(appFolder) {
  if (!ReadConfiguration("configfiles\\KEST.ini")) packageInvalid = true;
}

std::string UpdateConfig::Text(const std::string& section, const std::string& key, size_t width,
                               const char* fallback) const {
  std::vector<char> buffer(width + 1);
  DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback, buffer.data(),
                                     static_cast<DWORD>(buffer.size()), iniPath_.c_str());
  return std::string(buffer.data(), n);
}

int UpdateConfig::Integer(const std::string& section, const std::string& key, int fallback) const {
  return static_cast<int>(
      GetPrivateProfileIntA(section.c_str(), key.c_str(), fallback, iniPath_.c_str()));
}

bool UpdateConfig::OutfilePath(const std::string& value, std::string* path) {
  // An empty key names no file. Taken as a path it would be the outfile
  // folder itself, which exists, and pass the check.
  if (value.empty()) {
    path->clear();
    return true;
  }
  *path = appFolder_ + "outfile\\" + value;
  if (FileExists(*path)) return true;
  MessageBoxA(nullptr, ("UpdateFile " + *path + " not found!!!").c_str(), kMessageCaption,
              MB_OK | MB_ICONERROR);
  return false;
}

bool UpdateConfig::ReadConfiguration(const std::string& relativePath) {
  iniPath_ = appFolder_ + relativePath;
  if (!FileExists(iniPath_)) {
    MessageBoxA(nullptr, "Could not find initialisation-file", kMessageCaption,
                MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  if (!kestor::CheckPackage(appFolder_, LogConfigLine)) return false;

  SuppDevice = Text("Kestor", "SuppDevice", 19);
  Version = Text("Kestor", "Version", 9);
  const std::string customerPidText = Text("Kestor", "CustPID", 9, "0");
  const int pid = static_cast<int>(HexValue(customerPidText));
  // The device search takes the customer's product id for an instrument: a
  // supply's id ("10" meant as decimal) would have the module's firmware
  // programmed into the supply.
  if (pid == lm::kPowerSupplyProductId || pid == lm::kOldPowerSupplyProductId) {
    return RefuseValue("Kestor", "CustPID", customerPidText,
                       "a customer product id is not a power supply's");
  }
  customerPid = pid;
  if (pid > 0) customerDeviceName = SuppDevice;

  mmiWait = Integer("DEBUG", "MMI_WAIT", 50);
  rebootWait = Integer("DEBUG", "REBOOT_WAIT", 90000);
  rebootAfterUpdateModeStart = Integer("DEBUG", "RebootPSafterSUSBstart", 0) != 0;
  rebootPsAfterSusbStart = rebootAfterUpdateModeStart;

  ReadExclusions("Excluded Revs", true, ExcludedRevs);
  ReadExclusions("Excluded DevSerials", false, ExcludedDevSerials);
  ReadExclusions("Excluded ModSerials", false, ExcludedModSerials);
  ReadExclusions("Excluded PSSerials", false, ExcludedPSSerials);
  return ReadSteps();
}

bool UpdateConfig::ReadExclusions(const char* section, bool asReleases,
                                  std::vector<std::string>& list) {
  const size_t width = asReleases ? 4 : 10;
  for (int i = 1;; ++i) {
    const std::string minimum = Text(section, "min" + std::to_string(i), width);
    if (minimum.empty()) break;
    const std::string maximum = Text(section, "max" + std::to_string(i), width);
    const bool ordered = asReleases ? LeadingNumber(maximum) >= LeadingNumber(minimum)
                                    : LeadingInteger(maximum) >= LeadingInteger(minimum);
    if (!ordered) continue;
    list.push_back(minimum);
    list.push_back(maximum);
  }
  return true;
}

bool UpdateConfig::ReadSteps() {
  int count = 0;
  for (int i = 0;; ++i) {
    const std::string section = Text("UpdateSteps", std::to_string(i), 499);
    if (section.empty()) break;
    // The step table has room for ten steps. A package naming more is
    // refused: left out, a later step (the release step, say) would never
    // run, and the run would still end as an installed update.
    static_assert(kMaxSteps == 10, "the refusal below names the table's size");
    if (i >= kMaxSteps)
      return RefuseValue("UpdateSteps", std::to_string(i), section,
                         "a package holds at most 10 steps");
    UpdateStep step;
    step.size = Integer(section, "Size");
    step.file = Text(section, "File", 99);
    step.preCommand = Text(section, "PreCommand", 499);
    step.postCommand = Text(section, "PostCommand", 499);
    step.method = Text(section, "Method", 4);
    step.md5 = Text(section, "MD5", 31);
    step.name = Text(section, "Name", 29);
    step.index = Integer(section, "Index");
    step.rev = Text(section, "Rev", 9);

    const std::string kind = UpperCase(section);
    // The release written at the end is the [REV] section's record: a release
    // step of another section has none, and would write release 0.0 of no date.
    if (IsReleaseStepName(step.name) && kind != "REV")
      return RefuseValue(section, "Name", step.name, "only the [REV] section holds a release");
    if (kind == "MODUL" || kind == "MODULE" || kind == "POWERSUPPLY" || kind == "PWR SUPPLY") {
      FirmwarePart part;
      if (!ReadFirmwarePart(section, part)) return false;
      firmwareParts[(kind == "MODUL" || kind == "MODULE") ? 0 : 1] = part;
    } else if (kind == "REV") {
      if (!ReadRelease(section, step)) return false;
    } else if (!ReadFileList(section, step)) {
      return false;
    }
    lm::Lock lock(stepsMutex_);
    steps_[i] = step;
    count = i + 1;
  }
  lm::Lock lock(stepsMutex_);
  stepCount_ = count;
  return true;
}

bool UpdateConfig::ReadFirmwarePart(const std::string& section, FirmwarePart& part) {
  std::string* const paths[] = {&part.bootloader.verifyNormFile,
                                &part.bootloader.verifySusbFile,
                                &part.bootloader.progNormFile,
                                &part.bootloader.progSusbFile,
                                &part.firmware.verifyNormFile,
                                &part.firmware.verifySusbFile,
                                &part.firmware.progNormFile,
                                &part.firmware.progSusbFile,
                                &part.goSusbFile,
                                &part.rebootFile};
  const char* const keys[] = {"BLVERIFYNORM", "BLVERIFYSUSB", "BLPROGNORM", "BLPROGSUSB",
                              "FWVERIFYNORM", "FWVERIFYSUSB", "FWPROGNORM", "FWPROGSUSB",
                              "GOSUSB",       "REBOOTFILE"};
  for (size_t k = 0; k < 10; ++k) {
    if (!OutfilePath(Text(section, keys[k], 99), paths[k])) return false;
  }
  part.firmware.verifyMode = VerifyMode(Integer(section, "FWVER"), Integer(section, "FWCHECK"));
  part.bootloader.verifyMode = VerifyMode(Integer(section, "BLVER"), Integer(section, "BLCHECK"));
  part.firmware.goSusb = Integer(section, "FWGOSUSB") != 0;
  part.bootloader.goSusb = Integer(section, "BLGOSUSB") != 0;
  part.firmware.prog = Integer(section, "FWPROG") != 0;
  part.bootloader.prog = Integer(section, "BLPROG") != 0;
  part.blFirst = Integer(section, "BLFIRST") != 0;
  part.reboot = Integer(section, "REBOOT") != 0;
  part.rebootAfterUpdateModeStart = rebootAfterUpdateModeStart;
  return true;
}

bool UpdateConfig::ReadRelease(const std::string& section, UpdateStep& step) {
  const std::optional<int16_t> release = ReleaseTimesTen(step.rev);
  if (!release) {
    return RefuseValue(section, "Rev", step.rev,
                       "a release is 0.0 to 3276.7 with at most one decimal");
  }
  const std::string betaText = Text(section, "Beta", 99);
  const long beta = LeadingInteger(betaText);
  if (beta < INT16_MIN || beta > INT16_MAX)
    return RefuseValue(section, "Beta", betaText, "a beta number is -32768 to 32767");
  const std::string date = Text(section, "Date", 10);
  const std::optional<uint16_t> packedDate = PackDate(date);
  if (!packedDate) {
    return RefuseValue(section, "Date", date, "a date is dd.mm.yyyy in the years 2000 to 2063");
  }
  step.releaseTimesTen = *release;
  step.betaNumber = static_cast<int16_t>(beta);
  step.beta = std::to_string(beta);
  step.date = date;
  step.packedDate = *packedDate;
  return true;
}

bool UpdateConfig::RefuseValue(const std::string& section, const std::string& key,
                               const std::string& value, const char* rule) {
  const std::string text =
      "Invalid package value [" + section + "] " + key + "=" + value + ": " + rule;
  LogConfigLine(text + "\n");
  MessageBoxA(nullptr, text.c_str(), kMessageCaption, MB_OK | MB_ICONERROR);
  return false;
}

bool UpdateConfig::ReadFileList(const std::string& section, UpdateStep& step) {
  step.hasFileList = true;
  for (int j = 1;; ++j) {
    const std::string n = std::to_string(j);
    const std::string value = Text(section, "File" + n, 99);
    if (value.empty()) break;
    StepFile file;
    if (!OutfilePath(value, &file.path)) return false;
    file.stepSize = Integer(section, "StepSize" + n);
    file.preCom = Text(section, "PreCom" + n, 99);
    file.postCom = Text(section, "PostCom" + n, 99, "0");
    step.fileList.push_back(file);
  }
  return true;
}

int UpdateConfig::StepCount() const {
  lm::Lock lock(stepsMutex_);
  return stepCount_;
}

UpdateStep UpdateConfig::GetStep(int index) const {
  lm::Lock lock(stepsMutex_);
  return index >= 0 && index < kMaxSteps ? steps_[index] : UpdateStep{};
}

StepRow UpdateConfig::GetStepRow(int index) const {
  lm::Lock lock(stepsMutex_);
  if (index < 0 || index >= kMaxSteps) return {};
  const UpdateStep& s = steps_[index];
  return {s.name, kStepStateTexts[s.state], s.deviceVersion, s.rev, s.beta};
}

bool UpdateConfig::SetStepStatus(int index, int state) {
  lm::Lock lock(stepsMutex_);
  if (index < 0 || index >= stepCount_ || state < STEP_READY || state > STEP_CANCELED) return false;
  steps_[index].state = static_cast<StepState>(state);
  if (state == STEP_FINISHED) steps_[index].deviceVersion = steps_[index].rev;
  return true;
}

bool UpdateConfig::SetStepDetail(int index, const std::string& text) {
  lm::Lock lock(stepsMutex_);
  if (index < 0 || index >= stepCount_) return false;
  steps_[index].deviceVersion = text;
  return true;
}

bool UpdateConfig::GetLanguages(std::vector<std::string>& list) const {
  for (int n = 1; n <= 9; ++n) {
    const std::string name = Text("Language List", std::to_string(n), 9);
    if (name.empty()) break;
    list.push_back(name);
  }
  return !list.empty();
}

std::string UpdateConfig::GetLanguageFile(int n) const {
  if (n == 0) return {};
  const std::string name = Text("Language List", std::to_string(n), 9);
  return Text(name, "File", 99);
}
