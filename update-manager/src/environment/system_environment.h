// Kestor's view of the computer it runs on: the operating system, the
// temporary folder and the logs in it.
#pragma once

#include <string>

class SystemEnvironment {
 public:
  // Takes the temporary folder from TEMP, else TMP (empty when both are missing).
  SystemEnvironment();
  virtual ~SystemEnvironment() = default;

  // Sets the operating-system name; true for Windows 2000 and XP (NT 5.x).
  bool CheckOperatingSystem();
  bool SetProgramFolder();

  std::string DebugLogPath() const { return tempFolder + "\\LM_Logfile.txt"; }
  std::string UpdateLogFolder() const { return tempFolder + "\\Kestor_log"; }
  std::string TempFolder() const { return tempFolder; }
  std::string OsName() const { return osName; }
  bool OsSupported() const { return osSupported; }

 private:
  bool osSupported = false;
  std::string programFolderText;
  std::string tempFolder;
  std::string osName;
};

extern SystemEnvironment* theEnvironment;

// The operating-system name for a version triple and whether Kestor runs on it;
// supported is left as it was for families it does not know.
std::string OperatingSystemName(unsigned platformId, unsigned major, unsigned minor,
                                bool* supported);

// Drive and folder of Kestor's own executable, ending with "\".
std::string ApplicationFolder();
// The platform reports attributes for the path (a file or a folder).
bool FileExists(const std::string& path);
std::string NumberText(int value);
