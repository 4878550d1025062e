#include "state/english_texts.h"

std::string ErrorText(int index) {
  static const char* const texts[17] = {
      "Error - Update file invalid: Please reinstall the application!",
      "Error - No Windows2000/XP operating system found!",
      "Error - No USB port found!",
      "Error - No USB port and Windows 2000/XP operating system found!",
      "Error - No Vandrel Lumetra device driver found!",
      "Error - No supported Lumetra device found: Please connect instrument to USB port!",
      "Error - More than one Lumetra device found: Please connect only one instrument for the "
      "update!",
      "Error - Wrong device type connected. Only the supported instrument type can be updated!",
      "Error - communication failure: Please check the USB connection!",
      "Error - Update not possible: Installed release not supported by the update software.",
      "Error - Update not possible: The serial number of the connected device is not supported.",
      "Warning - The update package release and the installed release are identical: Update not "
      "necessary!",
      "Warning - Firmware is newer than the firmware in the update package. Downgrade is not "
      "recommended!",
      "Error - Device was disconnected during the update process: Please restart the "
      "application!",
      "Update cancelled by user: Please restart the application to finish the update!",
      "Error - The update process was not successful: Please restart the application to finish "
      "the update!",
      "Error - The Lumetra driver installation failed: Please reinstall the application!"};
  if (index < 1 || index > 17) return kUnknownErrorText;
  return texts[index - 1];
}
