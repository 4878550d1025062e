// The update package's configuration, "configfiles\KEST.ini" below the
// application folder, read once when the object is built.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/step_texts.h"
#include "lumetra/sync.h"

enum StepState : int {
  STEP_READY = 0,
  STEP_UPDATING = 1,
  STEP_FINISHED = 2,
  STEP_ERROR = 3,
  STEP_CANCELED = 4
};

struct StepFile {
  std::string path;  // application folder + "outfile\" + File<j>
  std::string preCom;
  std::string postCom = "0";
  int stepSize = 0;
};

struct UpdateStep {
  std::string name;
  std::string rev;
  StepState state = STEP_READY;
  bool hasFileList = false;
  std::vector<StepFile> fileList;
  std::string date;
  std::string beta;
  // The release record's Rev, Beta and Date as the supply stores them; the
  // reader refuses a package whose values do not fit.
  int16_t releaseTimesTen = 0;
  int16_t betaNumber = 0;
  uint16_t packedDate = 0;
  std::string deviceVersion;
  // Read into the record; they play no part in the update.
  int size = 0;
  int index = 0;
  std::string file, preCommand, postCommand, method, md5;
};

struct StepRow {
  std::string name, status, deviceVersion, rev, beta;
};

struct FirmwareImage {
  bool prog = false;
  bool goSusb = false;
  std::string verifyNormFile, verifySusbFile, progNormFile, progSusbFile;
  int verifyMode = 0;
  int results[10] = {};
};

struct FirmwarePart {
  FirmwareImage firmware;
  FirmwareImage bootloader;
  bool blFirst = false;
  bool reboot = false;
  // The package's DEBUG switch: the power supply's reboot file runs also when
  // the run began with the supply in its short-USB mode.
  bool rebootAfterUpdateModeStart = false;
  std::string goSusbFile;
  std::string rebootFile;
};

class UpdateConfig {
 public:
  static constexpr int kMaxSteps = 10;

  // Reads appFolder + "configfiles\KEST.ini"; appFolder ends with "\"
  // (default: the folder of the running program).
  UpdateConfig();
  explicit UpdateConfig(const std::string& appFolder);
  virtual ~UpdateConfig() = default;

  bool ReadConfiguration(const std::string& relativePath);

  int StepCount() const;
  UpdateStep GetStep(int index) const;
  StepRow GetStepRow(int index) const;
  bool SetStepStatus(int index, int state);
  bool SetStepDetail(int index, const std::string& text);
  FirmwarePart* FirmwareParts() { return firmwareParts; }
  std::string SupportedDevice() const { return SuppDevice; }
  std::string UpdateRevision() const { return Version; }
  bool GetLanguages(std::vector<std::string>& list) const;
  std::string GetLanguageFile(int n) const;
  std::string IniPath() const { return iniPath_; }
  // The folder the package lies in, ending with "\".
  std::string AppFolder() const { return appFolder_; }

  std::string SuppDevice;
  std::string Version;
  std::vector<std::string> ExcludedDevSerials, ExcludedModSerials, ExcludedPSSerials, ExcludedRevs;
  bool packageInvalid = false;
  int mmiWait = 50;
  int rebootWait = 90000;
  // Read before the steps, so that each firmware part gets it.
  bool rebootAfterUpdateModeStart = false;
  FirmwarePart firmwareParts[2];
  StepStatusTexts StatusTextTable;

 private:
  bool ReadExclusions(const char* section, bool asReleases, std::vector<std::string>& list);
  bool ReadSteps();
  bool ReadFirmwarePart(const std::string& section, FirmwarePart& part);
  bool ReadFileList(const std::string& section, UpdateStep& step);
  // The release record's Rev, Beta and Date, checked and packed as the supply
  // stores them.
  bool ReadRelease(const std::string& section, UpdateStep& step);
  // A value that cannot reach a device as it stands: the message box and the
  // log line name its key; false, the package is invalid.
  bool RefuseValue(const std::string& section, const std::string& key, const std::string& value,
                   const char* rule);
  // appFolder + "outfile\" + value; an empty value names no file.
  bool OutfilePath(const std::string& value, std::string* path);
  std::string Text(const std::string& section, const std::string& key, size_t width,
                   const char* fallback = "") const;
  int Integer(const std::string& section, const std::string& key, int fallback = 0) const;

  std::string appFolder_;
  std::string iniPath_;
  mutable lm::CriticalSection stepsMutex_;
  int stepCount_ = 0;
  UpdateStep steps_[kMaxSteps];
};

extern UpdateConfig* theConfig;

// Whether a step of this name (in any case) is the release step: the release
// check and the release write at the end of the run.
bool IsReleaseStepName(const std::string& name);

// Written by the reader: the extra product id of the device search (0 none),
// the name a device found under it gets, and whether the power supply's
// reboot file also runs after its short-USB mode was started.
extern int customerPid;
extern std::string customerDeviceName;
extern bool rebootPsAfterSusbStart;

// Kestor's message boxes carry the program's name as caption.
inline constexpr const char* kMessageCaption = "Kestor";
