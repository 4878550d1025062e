#include "ui_texts/language_texts.h"

namespace kestor {

const std::array<LanguageKey, kLanguageTextCount> kLanguageKeys = {{
    {"WindowTitel", "Titel", "Kestor"},
    {"UpdateBox", "Upd_Box_Label", "Update"},
    {"UpdateBox", "Upd_Dev_Label", "Supported Instrument:"},
    {"UpdateBox", "Upd_Rev_Label", "Release:"},
    {"DeviceBox", "Dev_Box_Label", "Device"},
    {"DeviceBox", "Dev_Rev_Label", "Current Release No:"},
    {"DeviceBox", "Dev_Ser_Label", "Serial Number:"},
    {"DeviceBox", "Dev_Type_Label", "Type:"},
    {"DeviceBox", "Dev_Status_Label", "Status:"},
    {"UpdateprozessBox", "UpdProc_Box_Text", "Update:"},
    {"UpdateprozessBox", "UpdProc_All_Label", "Update:"},
    {"UpdateprozessBox", "UpdProc_Step_Label", "Update Step:"},
    {"UpdateprozessBox", "StartUpd_Button_Text", "Start &Update"},
    {"UpdateprozessBox", "StartUpd_Button_Continue_Text", "Continue &Update"},
    {"UpdateprozessBox", "StartUpd_Button_Cancel_Text", "Cancel &Update"},
    {"UpdateprozessBox", "Detail_Button_Show_Text", "Show &Details"},
    {"UpdateprozessBox", "Detail_Button_Hide_Text", "Hide &Details"},
    {"ErrorMessages", "ErrorText1",
     "Error - Update file invalid: Please reinstall the application!"},
    {"ErrorMessages", "ErrorText2", "Error - No Windows2000/XP operating system found!"},
    {"ErrorMessages", "ErrorText3", "Error - No USB port found!"},
    {"ErrorMessages", "ErrorText4",
     "Error - No USB port and Windows 2000/XP operating system found!"},
    {"ErrorMessages", "ErrorText5", "Error - No Vandrel Lumetra device driver found!"},
    {"ErrorMessages", "ErrorText6",
     "Error - No supported Lumetra device found: Please connect instrument to USB port!"},
    {"ErrorMessages", "ErrorText7",
     "Error - More than one Lumetra device found: Please connect only one instrument for the "
     "update!"},
    {"ErrorMessages", "ErrorText8",
     "Error - Wrong device type connected. Only the supported instrument type can be updated!"},
    {"ErrorMessages", "ErrorText9",
     "Error - communication failure: Please check the USB connection!"},
    {"ErrorMessages", "ErrorText10",
     "Error - Update not possible: Installed release not supported by the update software."},
    {"ErrorMessages", "ErrorText11",
     "Error - Update not possible: The serial number of the connected device is not supported."},
    {"ErrorMessages", "ErrorText12",
     "Warning - The update package release and the installed release are identical: Update not "
     "necessary!"},
    {"ErrorMessages", "ErrorText13",
     "Warning - Firmware is newer than the firmware in the update package. Downgrade is not "
     "recommended!"},
    {"ErrorMessages", "ErrorText14",
     "Error - Device was disconnected during the update process: Please restart the "
     "application!"},
    {"ErrorMessages", "ErrorText15",
     "Update cancelled by user: Please restart the application to finish the update!"},
    {"ErrorMessages", "ErrorText16",
     "Error - The update process was not successful: Please restart the application to finish "
     "the update!"},
    {"ErrorMessages", "ErrorText17",
     "Error - The Lumetra driver installation failed: Please reinstall the application!"},
    {"SoftwareBox", "Label", "Software"},
    {"SoftwareBox", "Col1", "Update step"},
    {"SoftwareBox", "Col2", "Status"},
    {"SoftwareBox", "Col3", "DevVers"},
    {"SoftwareBox", "Col4", "UpdVers"},
    {"ExitButton", "Text", "E&xit"},
    {"MessageBoxes", "SameRev",
     "Warning - The update package release and the installed release are identical: Update not "
     "necessary if all firmware parts identical! Install anyway?"},
    {"MessageBoxes", "OldRev",
     "The device firmware is newer than the firmware in the update package! Install anyway?"},
    {"MessageBoxes", "InstallDriver", "No Lumetra device driver found! Install now?"},
    {"MessageBoxes", "ExitAbort", "Do you really want to cancel the update process?"},
    {"MessageBoxes", "ExitImpossible",
     "Unable to cancel the update process at this update step! Please wait update will be "
     "interrupted in a moment!"},
    {"MessageBoxes", "ExitStopUpdate",
     "Do you really want to close the application? This will leave the instrument in an "
     "undefined state!"},
    {"MessageBoxes", "ExitAbortHeader", "Warning!"},
    {"MessageBoxes", "NotifyDeviceLockup",
     "Warning! The device is not responding. Please wait or restart the device manually."},
    {"Status", "UpdateReadyText", "Press button 'Start Update' to start the update process!"},
    {"Status", "RunningUpdate", "Update running..."},
    {"Status", "CloseUpdater", "Update installed successfully! Press Exit to close the Kestor!"},
    {"Status", "NoDriver", "No Lumetra device driver found!"},
    {"Status", "DriverInstall", "Installing Driver..."},
    {"Status", "ReadDev", "Reading device data..."},
    {"Status", "NoDev", "Searching for device..."},
    {"Status", "DevBoot", "Device is booting..."},
    {"Status", "USBOn", "Reactivating USB2.0..."},
    {"Status", "USBOff", "USB2.0 found - deactivating for update..."},
    {"Status", "DevStatusSUSB", "The device is in the update mode"},
}};

std::string LanguageTextTable::ErrorText(int n) const {
  if (n < 1 || n > 17) return {};
  return texts_[static_cast<int>(LangText::ErrorText1) + n - 1];
}

}  // namespace kestor
