#include "firmware/status_text.h"

namespace {

// Texts of the codes 10 to 52; the negative code is "Error " + the text.
const char* const kCommandTexts[] = {"Open Device",
                                     "Close Device",
                                     "Flash: Autoselect",
                                     "Flash: Erase Chip",
                                     "Flash: Erase Sectors",
                                     "Flash: Program",
                                     "Flash: Verify",
                                     "Stop Processes",
                                     "Set Marker",
                                     "Clear Marker",
                                     "Restart Device to safe",
                                     "Restart Device with firmware",
                                     "Wait 1000 ms",
                                     "Wait 500 ms",
                                     "Wait 100 ms",
                                     "Disable Address Control",
                                     "Test On One",
                                     "Reboot Test",
                                     "Version Test",
                                     "Test On Safe Mode",
                                     "Get Status",
                                     "Command Kill",
                                     "Path PS_PID0x0009 is Valid Too",
                                     "Path TR410 bad",
                                     "TR410 Read bad",
                                     "TR410 Write bad",
                                     "Reboot Via PS",
                                     "Path TR410 test bad",
                                     "Reboot Test With 1s Pause",
                                     "Restart Device To Safe With 1s Pause",
                                     "Delete Log File",
                                     "Dont Create Log File",
                                     "Create Log File",
                                     "Get Info",
                                     "Suspend TR410",
                                     "Get Device Version",
                                     "reserved",
                                     "reserved",
                                     "Intelig Restart Device To firmware",
                                     "if (version) do next cmd",
                                     "Intelig Reboot Via PS",
                                     "User Swicht Off And Switch On",
                                     "Wait For IDLE on TR410 or TR420"};

}  // namespace

std::string StatusText(int16_t code) {
  switch (code) {
    case 1:
      return "valid binary file name";
    case 2:
      return "Open Binary File";
    case 9:
      return "Is Done";
    case 100:
      return "Sending MMI-File";
    case 101:
      return "Executing Files";
    case 105:
      return "Stopping MMI";
    case 106:
      return "Rebooting...";
    case 107:
      return "Checking Installed Versions";
    case 110:
      return "Update Finished";
    case -1:
      return "Invalid Binary File Name";
    case -2:
      return "Error in Open Binary File";
    case -10:
      return "Error in Open  Device";
    case -11:
      return "Error in Close Device";
    case -46:
    case -47:
      return "reserved";
    default:
      break;
  }
  if (code >= 10 && code <= 52) return kCommandTexts[code - 10];
  if ((code <= -12 && code >= -45) || (code <= -48 && code >= -52))
    return std::string("Error ") + kCommandTexts[-code - 10];
  return {};
}
