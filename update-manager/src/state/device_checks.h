// What the device states decide about the connected device: the device
// versions of the update steps, the package's exclusion lists, the release
// comparison, the device entry of the debug log and the check of the
// revisions after an update run. Numbers in texts are read by LeadingSerial,
// LeadingNumber and CompareFirmwareVersions, the same way whatever the user's
// locale. What they log goes to the debug log of the context's environment.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/ini_values.h"
#include "device/device_records.h"
#include "state/state_outcomes.h"

class DeviceUpdater;
class UpdateConfig;

// The package's device name against the one found, ignoring case.
bool SameDeviceName(const std::string& supported, const std::string& found);

// The device's revision for an update step against the package's: negative,
// 0 or positive as the device's is older, the same or newer. The module's and
// the power supply's are firmware versions, ordered as (major, minor) pairs
// (CompareFirmwareVersions); the front panel's revision (× 100) and the
// release (× 10) are decimal numbers, ordered by value.
int CompareStepRevision(const std::string& stepName, const std::string& onDevice,
                        const std::string& inPackage);

// Reads the device (ReadAllDevData), the supply's block once more when it
// was not read, and fills each update step's device version from the
// revision info by the step's name.
bool ReadDeviceVersions(const StateContext& context, DeviceUpdater& updater, UpdateConfig& config);

// True for a serial inside one of the list's (minimum, maximum) pairs
// (bounds inclusive; a last entry without its pair is ignored); the debug
// log names the pair.
bool IsSerialExcluded(const StateContext& context, const std::string& serial,
                      const std::vector<std::string>& list);

// The package's checks, in order: device type, the three serial-number
// lists, the excluded releases, and the release comparison (a package older
// than the device passes with NewerThanPackage). Sets no error index.
DeviceCheck CheckDeviceAgainstPackage(const StateContext& context, const RevisionInfo& info,
                                      const std::string& foundName, const std::string& supplySerial,
                                      const UpdateConfig& config);

// The device's serial numbers and revisions, appended to the debug log.
void LogDeviceInfo(const StateContext& context, const RevisionInfo& info);

// After an update run: the device's revisions against the steps' ones; a
// step whose device value differs gets "(err)" in its device column.
bool VerifyRevisionsAfterUpdate(const StateContext& context, DeviceUpdater& updater,
                                UpdateConfig& config);
