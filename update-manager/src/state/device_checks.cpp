#include "state/device_checks.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "config/update_config.h"
#include "device/device_updater.h"

namespace {

bool IsFirmwareStep(const std::string& upperName) {
  return upperName == "MODULE" || upperName == "MODUL" || upperName == "PWR SUPPLY" ||
         upperName == "POWERSUPPLY";
}

// The text of a release as the debug log shows it.
std::string NumberText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

bool SameDeviceName(const std::string& supported, const std::string& found) {
  return UpperCase(supported) == UpperCase(found);
}

int CompareStepRevision(const std::string& stepName, const std::string& onDevice,
                        const std::string& inPackage) {
  if (IsFirmwareStep(UpperCase(stepName))) return CompareFirmwareVersions(onDevice, inPackage);
  const double device = LeadingNumber(onDevice);
  const double package = LeadingNumber(inPackage);
  return device < package ? -1 : package < device ? 1 : 0;
}

bool ReadDeviceVersions(const StateContext& context, DeviceUpdater& updater, UpdateConfig& config) {
  updater.ReadAllDevData();
  if (!updater.SupplyBlockRead() && !context.CancelRequested()) {
    context.LogStatus("Powersupply block not read, reading it again\n");
    updater.ReadPsRelease();
  }
  const RevisionInfo info = updater.GetRevisionInfo();
  for (int i = 0; i < config.StepCount(); ++i) {
    const std::string name = UpperCase(config.GetStep(i).name);
    if (name == "MMI") {
      config.SetStepDetail(i, info.mmiRevision);
    } else if (name == "MODULE" || name == "MODUL") {
      config.SetStepDetail(i, info.deviceRevision);
    } else if (name == "PWR SUPPLY" || name == "POWERSUPPLY") {
      config.SetStepDetail(i, info.psRevision);
    } else if (IsReleaseStepName(name)) {
      config.SetStepDetail(i, info.release);
    }
  }
  return true;
}

bool IsSerialExcluded(const StateContext& context, const std::string& serial,
                      const std::vector<std::string>& list) {
  const int64_t value = LeadingSerial(serial);
  for (size_t k = 0; 2 * k + 1 < list.size(); ++k) {
    const std::string& minimum = list[2 * k];
    const std::string& maximum = list[2 * k + 1];
    if (LeadingSerial(minimum) <= value && value <= LeadingSerial(maximum)) {
      context.LogStatus("\nSerial Number (" + std::to_string(value) + ") is in excluded area " +
                        minimum + " - " + maximum + " for this");
      return true;
    }
  }
  return false;
}

DeviceCheck CheckDeviceAgainstPackage(const StateContext& context, const RevisionInfo& info,
                                      const std::string& foundName, const std::string& supplySerial,
                                      const UpdateConfig& config) {
  if (!SameDeviceName(config.SupportedDevice(), foundName)) return DeviceCheck::WrongType;
  const struct {
    const std::string& serial;
    const std::vector<std::string>& list;
    const char* what;
  } serialLists[] = {{info.serialNumber, config.ExcludedDevSerials, " Device\n"},
                     {info.serialNumber, config.ExcludedModSerials, " Modul\n"},
                     {supplySerial, config.ExcludedPSSerials, " Powersupply\n"}};
  for (const auto& s : serialLists) {
    if (IsSerialExcluded(context, s.serial, s.list)) {
      context.LogStatus(s.what);
      return DeviceCheck::SerialExcluded;
    }
  }
  const double release = LeadingNumber(info.release);
  const std::vector<std::string>& revs = config.ExcludedRevs;
  for (size_t k = 0; 2 * k + 1 < revs.size(); ++k) {
    const double minimum = LeadingNumber(revs[2 * k]);
    const double maximum = LeadingNumber(revs[2 * k + 1]);
    if (minimum <= release && release <= maximum) {
      context.LogStatus("\nDevice Revision Number (" + NumberText(release) +
                        ") is in excluded area " + NumberText(minimum) + " - " +
                        NumberText(maximum) + "!\n");
      return DeviceCheck::ReleaseExcluded;
    }
  }
  for (int i = 0; i < config.StepCount(); ++i) {
    const StepRow row = config.GetStepRow(i);
    if (!IsReleaseStepName(row.name)) continue;
    if (CompareStepRevision(row.name, row.deviceVersion, row.rev) > 0)
      return DeviceCheck::NewerThanPackage;
    break;
  }
  return DeviceCheck::Passed;
}

void LogDeviceInfo(const StateContext& context, const RevisionInfo& info) {
  std::string text = "DeviceSerNr    " + info.serialNumber + "\n" + "STPC-SerNr     " +
                     info.moduleSerial + "\n\n" + "\nRevisions:\n" + "PS   : " + info.psRevision +
                     "\nMod  : " + info.deviceRevision + "\nMMI  : " + info.mmiRevision +
                     "\nRev  : " + info.release;
  if (info.beta != "0") text += " Beta " + info.beta;
  text += "\n Date  : " + info.releaseDate + "\n";
  context.LogStatus(text);
}

bool VerifyRevisionsAfterUpdate(const StateContext& context, DeviceUpdater& updater,
                                UpdateConfig& config) {
  updater.ReadAllDevData();
  const RevisionInfo info = updater.GetRevisionInfo();
  bool result = true;
  for (int i = 0; i < config.StepCount(); ++i) {
    const UpdateStep step = config.GetStep(i);
    const std::string name = UpperCase(step.name);
    std::string value;
    const char* label;
    const char* what;
    if (name == "POWERSUPPLY" || name == "PWR SUPPLY") {
      value = info.psRevision;
      label = "PS";
      what = "Powersupply";
    } else if (name == "MODULE" || name == "MODUL") {
      value = info.deviceRevision;
      label = "Modul";
      what = "Modul";
    } else if (name == "MMI") {
      value = info.mmiRevision;
      label = "MMI";
      what = "MMI";
    } else {
      continue;
    }
    if (CompareStepRevision(step.name, value, step.rev) == 0) continue;
    result = false;
    config.SetStepDetail(i, value + "(err)");
    context.LogStatus(std::string("Error comparing ") + what + "-Revisions after update!\n");
    context.LogStatus(std::string(label) + " on Device : " + value + "\n" + label +
                      " in Update : " + step.rev + "\n\n");
  }
  return result;
}
