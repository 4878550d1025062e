// The front panel's (MMI's) operations, all through the power supply's
// string protocol: the panel's status and revision, the stop that switches
// it into its update mode, the files sent and executed, and the supply's
// reboot with the wait while it restarts. The device updater owns it and
// forwards to it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "device/command_line.h"
#include "device/device_records.h"
#include "device/front_panel.h"
#include "device/mmi_file.h"
#include "device/string_protocol.h"
#include "device/supply_link.h"
#include "device/worker_channel.h"
#include "qlinkx/qlinkx_library.h"
#include "vocabulary/cancel_token.h"

class MmiOperations {
 public:
  MmiOperations(QlinkxLibrary& qlinkx, DeviceRecord& record, SupplyLink& link,
                StringProtocol& strings, uint32_t& flashTiming, const CommandLine& switches,
                WorkerChannel& channel, const CancelToken& cancel, const FrontPanel& panel)
      : qlinkx_(qlinkx),
        record_(record),
        link_(link),
        strings_(strings),
        flashTiming_(flashTiming),
        switches_(switches),
        channel_(channel),
        cancel_(cancel),
        panel_(panel) {}
  MmiOperations(const MmiOperations&) = delete;
  MmiOperations& operator=(const MmiOperations&) = delete;

  // MMI_WAIT and REBOOT_WAIT of the package, copied at the start of a run.
  void SetWaits(int mmiWaitMs, int rebootWaitMs) {
    mmiWait_ = mmiWaitMs;
    rebootWait_ = rebootWaitMs;
  }

  int32_t UpdateMmiFile(MmiFileRecord& record);
  int32_t UpdateMmi(const std::vector<std::string>& files);
  int32_t stopMMI();
  int32_t executeBATCH(const std::string& path);
  int32_t ReadMMIStatus();
  std::string GetMMIRev();
  int32_t RebootAfterMmi() { return WriteReboot(); }
  // The supply's reboot request, then the wait while it restarts: 0, the
  // assignment's or the write's negative result, or MMI_CANCELLED when a
  // cancel ended the wait.
  int32_t WriteReboot();

 private:
  int32_t SendMmiPacket(const std::vector<uint8_t>& packet, UINT timerMs, int32_t* breakCode);
  int32_t SendUntilTaken(const std::vector<uint8_t>& packet, UINT timerMs, const char* failure);
  int32_t SwitchPanelToUpdateMode();
  int32_t ReadPanelReply(uint8_t* buffer, int32_t size, int32_t* length);
  // Waits REBOOT_WAIT while the supply and its panel restart; false when a
  // cancel ended the wait.
  bool WaitForRestart();

  QlinkxLibrary& qlinkx_;
  DeviceRecord& record_;
  SupplyLink& link_;
  StringProtocol& strings_;
  uint32_t& flashTiming_;
  // The command line's: its trace level sets how much of the files the trace shows.
  const CommandLine& switches_;
  WorkerChannel& channel_;
  const CancelToken& cancel_;
  const FrontPanel& panel_;
  int mmiWait_ = 50;
  int rebootWait_ = 0;
};
