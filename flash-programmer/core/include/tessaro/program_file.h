// The program file: one flash programming job for one kind of device. The
// reader checks the whole file's CRC, then reads the header (device ids,
// command list, firmware versions), the flash description, the selected
// sectors and the program blocks into the form and the library's records.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tessaro/byte_stream.h"
#include "tessaro/flash_description.h"
#include "tessaro/line_lists.h"
#include "tessaro/log_hook.h"

namespace tessaro {

extern const char kHeaderMark[];           // "UsbDevDescripToFile_v0.1000000"
extern const char kSelectedSectorsMark[];  // "CntSelBnk"
extern const char kPathMark1[];            // "PathTR410BD"
extern const char kPathMark2[];            // "PathTR410BDtest"
constexpr uint8_t kFormatMajor = 1;
constexpr uint8_t kFormatMinor = 1;

struct ProgramFileHeader {
  uint8_t formatMajor = kFormatMajor;  // the library's own format version
  uint8_t formatMinor = kFormatMinor;
  uint16_t vid = 0xFFFF;
  uint16_t pid = 0xFFFF;
  std::vector<uint8_t> commands;
  std::vector<uint32_t> versions;  // major << 16 | minor
  std::string versionText = "?.????????";
  bool pathFlag = false;
  uint32_t pathVersion = 0;

  // The state before a header is read; path flag and version are kept.
  void Reset();
};

// The program-file unit's log hook ("M" lines); its lines carry the prefix
// "[ProgramingCtrls]".
extern LogHook ProgramFileLogHook;
void ProgramFileLog(TStrings* list, const std::string& format,
                    std::initializer_list<FormatArg> args = {});

// What the reader fills: the form's lists and fields. The form implements it
// over its controls; tests over memory.
class ProgramFileForm {
 public:
  virtual ~ProgramFileForm() = default;
  virtual TStrings* InfoLines() = 0;
  virtual TSelectableList& CommandLines() = 0;
  virtual TSelectableList& VersionLines() = 0;
  virtual TSelectableList& SectorLines() = 0;
  virtual TSelectableList& BlockLines() = 0;
  // Shows VID, PID and version text and runs the fields' leave handlers,
  // which store the shown values back into the header.
  virtual void ShowHeaderFields(ProgramFileHeader& header) = 0;
  // Refills the flash selector from the list, selects its last entry and runs
  // the selection's change handler (sector lines, selected flash).
  virtual void FlashListChanged(const TFlashes& flashes) = 0;
  // The flash selected in the form (the one blocks are shown against).
  virtual const FlashRecord& SelectedFlash() const = 0;
  // A message the user must acknowledge.
  virtual void ShowMessage(const std::string& text) = 0;
};

// The records one load of the library keeps between reads.
struct ProgramFileRecords {
  ProgramFileHeader header;
  TFlashes flashes;
  ProgramBlocks blocks;
};

// Reads and checks `fileName` into the records and the form; sets the status
// word (3 while reading, then 2 or -2). Errors of the file's content raise
// TessaroError and leave the status at 3.
bool ReadProgramFile(const std::string& fileName, ProgramFileRecords& records,
                     ProgramFileForm& form);

// The same over the file's bytes already in memory; the program blocks refer
// to them.
bool ReadProgramBytes(std::shared_ptr<const std::vector<uint8_t>> bytes,
                      ProgramFileRecords& records, ProgramFileForm& form);

bool ReadProgramFileHeader(ProgramFileHeader& header, ByteStream& file, bool keep,
                           ProgramFileForm& form);
bool HeaderToForm(ProgramFileHeader& header, ProgramFileForm& form);
bool CommandsToLines(const ProgramFileHeader& header, TStrings& commandLines, TStrings* info);
bool WriteSupFWsToStrs(const ProgramFileHeader& header, TStrings& versionLines);
bool CommandsFromLines(ProgramFileHeader& header, TLineList& commandLines,
                       const TLineList& versionLines);
bool VersionsFromLines(ProgramFileHeader& header, const TLineList& versionLines,
                       ProgramFileForm* form = nullptr);
int VersionIndexFromLine(const std::string& text);
// The value major << 16 | minor of a version line; false when a character is
// not allowed. Conversion errors are reported through `form` and count 0.
bool ParseVersionLine(const std::string& text, uint32_t& value, ProgramFileForm* form = nullptr);

}  // namespace tessaro
