// The program file: one flash programming job for one kind of device. The
// parser checks the whole file's CRC, then reads the header (device ids,
// command list, firmware versions), the flash description, the selected
// sectors and the program blocks into a content record; a separate step shows
// that record in the form and stores it into the library's records.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
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

// The program-file unit's "M" lines through LogHooks().programFile, with the
// prefix "[ProgramingCtrls]".
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

// The sections of a program file, in file order.
enum class ProgramFileSection : uint8_t { Crc, Header, Flash, SelectedSectors, Blocks };

// Why the parser stopped: the section, the offset of the field it could not
// read or accept, and the text. A raised error is what the reader raises
// (TessaroError with the text); a refused file is told to the user.
struct ProgramFileError {
  enum Kind : uint8_t { Raised, Refused };
  Kind kind = Raised;
  ProgramFileSection section = ProgramFileSection::Crc;
  size_t offset = 0;
  std::string text;
};

// A program file as parsed, up to where the parser stopped.
struct ProgramFileContent {
  // vid, pid, commands, versions and version text as far as they were read;
  // the rest as after Reset.
  ProgramFileHeader header;
  // What the path sections set, when they were read.
  std::optional<bool> pathFlag;
  std::optional<uint32_t> pathVersion;
  std::optional<FlashRecord> flash;
  // The selected-sectors mark was there; the indexes as far as they were read.
  bool hasSelectedSectors = false;
  std::vector<uint16_t> selectedSectors;
  // The blocks as far as they were read; they refer to the file's bytes.
  ProgramBlocks blocks;
  std::optional<ProgramFileError> error;
};

// Parses a whole program file. Never raises; a file it cannot accept ends in
// `error`, with everything before the failing field kept.
ProgramFileContent ParseProgramFile(std::shared_ptr<const std::vector<uint8_t>> bytes);

// Shows parsed content in the form and stores it into the records, section by
// section; where the parser stopped, raises its error (TessaroError) or tells
// the user and returns false. Also false for what the form refuses (an
// unknown command, a selected sector the flash lacks). The command bytes stay
// as the file holds them.
bool ShowProgramFile(ProgramFileContent&& content, ProgramFileRecords& records,
                     ProgramFileForm& form);

// Reads and checks `fileName` into the records and the form; sets the status
// word (3 while reading, then 2 or -2). Errors of the file's content raise
// TessaroError and leave the status at 3.
bool ReadProgramFile(const std::string& fileName, ProgramFileRecords& records,
                     ProgramFileForm& form);

// The same over the file's bytes already in memory; the program blocks refer
// to them.
bool ReadProgramBytes(std::shared_ptr<const std::vector<uint8_t>> bytes,
                      ProgramFileRecords& records, ProgramFileForm& form);

bool HeaderToForm(ProgramFileHeader& header, ProgramFileForm& form);
bool CommandsToLines(const ProgramFileHeader& header, TStrings& commandLines, TStrings* info);
bool WriteSupFWsToStrs(const ProgramFileHeader& header, TStrings& versionLines);
// Shows each conditional line ("if(k....") with version k of the list.
void ShowConditionalVersions(TLineList& commandLines, const TLineList& versionLines);
bool VersionsFromLines(ProgramFileHeader& header, const TLineList& versionLines,
                       ProgramFileForm* form = nullptr);
int VersionIndexFromLine(const std::string& text);
// The value major << 16 | minor of a version line; false when a character is
// not allowed. Conversion errors are reported through `form` and count 0.
bool ParseVersionLine(const std::string& text, uint32_t& value, ProgramFileForm* form = nullptr);

}  // namespace tessaro
