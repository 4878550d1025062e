#include "tessaro/program_file.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "tessaro/command_names.h"
#include "tessaro/crc16.h"
#include "tessaro/errors.h"
#include "tessaro/program_status.h"
#include "tessaro/text_utils.h"

namespace tessaro {

const char kHeaderMark[] = "UsbDevDescripToFile_v0.1000000";
const char kSelectedSectorsMark[] = "CntSelBnk";
const char kPathMark1[] = "PathTR410BD";
const char kPathMark2[] = "PathTR410BDtest";

void ProgramFileLog(TStrings* list, const std::string& format,
                    std::initializer_list<FormatArg> args) {
  LogHooks().programFile(list, "[ProgramingCtrls]" + format, args);
}

void ProgramFileHeader::Reset() {
  vid = 0xFFFF;
  pid = 0xFFFF;
  versionText = "?.????????";
  commands.clear();
  versions.clear();
}

namespace {

constexpr size_t kMarkSize = 31;

bool StartsWithIf(const std::string& line) { return line.compare(0, 3, "if(") == 0; }

// The parser's stop for a refused file: raised by ParseHeader, caught by
// ParseProgramFile.
struct Stop {
  ProgramFileError error;
};

[[noreturn]] void Refuse(size_t offset, const std::string& text) {
  throw Stop{{ProgramFileError::Refused, ProgramFileSection::Header, offset, text}};
}

void ParseHeader(ByteStream& file, ProgramFileContent& content) {
  ProgramFileHeader& header = content.header;
  uint8_t mark[kMarkSize];
  if (file.Read(mark, kMarkSize) != kMarkSize || mark[0] != std::strlen(kHeaderMark) ||
      std::memcmp(mark + 1, kHeaderMark, std::strlen(kHeaderMark)) != 0)
    throw TessaroError("Read error, UsbDevDescrMark from file.");
  const std::string error = "Read error, UsbDevDescrfrom file.";
  const size_t versionAt = file.Position();
  uint8_t major = file.ReadU8(error);
  uint8_t minor = file.ReadU8(error);
  header.vid = file.ReadU16(error);
  header.pid = file.ReadU16(error);
  uint16_t count = file.ReadU16(error);
  const uint8_t* commands = file.Take(count, error);
  header.commands.assign(commands, commands + count);
  // Every byte counts here, a conditional's parameter byte too.
  bool pathCommand = std::memchr(commands, kCommandPathBD, count) != nullptr;
  bool pathTestCommand = std::memchr(commands, kCommandPathBDTest, count) != nullptr;
  uint16_t versionCount = file.ReadU16(error);
  for (uint16_t i = 0; i < versionCount; ++i) header.versions.push_back(file.ReadU32(error));
  header.versionText = file.ReadShortString(error);

  if (major != kFormatMajor || minor != kFormatMinor)
    Refuse(versionAt, FormatText("Diferent verion: Glintor %d.%d, File %d.%d ",
                                 {kFormatMajor, kFormatMinor, major, minor}));
  if (pathCommand) {
    if (file.ReadShortString(error) != kPathMark1)
      Refuse(file.FieldStart(), "is use command \"PathTR410_BD\" but in binary file isn't version");
    content.pathFlag = true;
    content.pathVersion = file.ReadU32(error);
  }
  if (pathTestCommand) {
    if (file.ReadShortString(error) != kPathMark2) {
      content.pathFlag = false;
      Refuse(file.FieldStart(),
             "is use command \"PathTR410_BDtest\" but in binary file isn't version");
    }
    content.pathFlag = true;
    content.pathVersion = file.ReadU32(error);
  }
}

void ParseSelectedSectors(ByteStream& file, ProgramFileContent& content) {
  // Without the selected-sectors mark nothing is selected; the text read in
  // its place is gone, as the block reader then reports.
  const std::string error = "error read to file";
  if (file.ReadShortString(error) != kSelectedSectorsMark) return;
  content.hasSelectedSectors = true;
  uint16_t count = file.ReadU16(error);
  for (uint16_t i = 0; i < count; ++i) content.selectedSectors.push_back(file.ReadU16(error));
}

// True when the parser stopped in `section` and refused the file (the user
// is told); raises when it stopped there with an error.
bool StoppedIn(const ProgramFileContent& content, ProgramFileSection section,
               ProgramFileForm& form) {
  if (!content.error || content.error->section != section) return false;
  if (content.error->kind == ProgramFileError::Raised) throw TessaroError(content.error->text);
  form.ShowMessage(content.error->text);
  return true;
}

bool ReadFromMemory(std::shared_ptr<const std::vector<uint8_t>> bytes, ProgramFileRecords& records,
                    ProgramFileForm& form) {
  return ShowProgramFile(ParseProgramFile(std::move(bytes)), records, form);
}

}  // namespace

ProgramFileContent ParseProgramFile(std::shared_ptr<const std::vector<uint8_t>> bytes) {
  ProgramFileContent content;
  if (!Crc16Check(bytes->data(), bytes->size())) {
    content.error = ProgramFileError{ProgramFileError::Raised, ProgramFileSection::Crc,
                                     bytes->size() < 2 ? 0 : bytes->size() - 2, "Error CRC16"};
    return content;
  }
  ByteStream file(bytes->data(), bytes->size());
  ProgramFileSection section = ProgramFileSection::Header;
  try {
    ParseHeader(file, content);
    section = ProgramFileSection::Flash;
    FlashRecord flash;
    ReadFlashRecord(file, flash);
    content.flash = std::move(flash);
    section = ProgramFileSection::SelectedSectors;
    ParseSelectedSectors(file, content);
    section = ProgramFileSection::Blocks;
    content.blocks.ShareSource(bytes);
    ReadProgramBlocks(file, content.blocks, true);
  } catch (const Stop& stop) {
    content.error = stop.error;
  } catch (const TessaroError& e) {
    content.error =
        ProgramFileError{ProgramFileError::Raised, section, file.FieldStart(), e.what()};
  }
  return content;
}

bool ShowProgramFile(ProgramFileContent&& content, ProgramFileRecords& records,
                     ProgramFileForm& form) {
  StoppedIn(content, ProgramFileSection::Crc, form);

  ProgramFileHeader& header = records.header;
  header.Reset();
  header.vid = content.header.vid;
  header.pid = content.header.pid;
  header.commands = content.header.commands;
  header.versions = content.header.versions;
  header.versionText = content.header.versionText;
  if (content.pathFlag) header.pathFlag = *content.pathFlag;
  if (content.pathVersion) header.pathVersion = *content.pathVersion;
  if (StoppedIn(content, ProgramFileSection::Header, form)) return false;
  if (!HeaderToForm(header, form)) return false;

  StoppedIn(content, ProgramFileSection::Flash, form);
  records.flashes.Append(*content.flash);
  form.FlashListChanged(records.flashes);

  TSelectableList& sectors = form.SectorLines();
  for (uint16_t index : content.selectedSectors) {
    if (index >= sectors.Count()) {
      ProgramFileLog(form.InfoLines(), "  Error, selected bank %d isn't in list of banks (0..%d)!",
                     {index, sectors.Count() - 1});
      return false;
    }
    sectors.SetSelected(index, true);
  }
  StoppedIn(content, ProgramFileSection::SelectedSectors, form);

  records.blocks = std::move(content.blocks);
  StoppedIn(content, ProgramFileSection::Blocks, form);
  BlocksToLines(records.blocks, form.BlockLines(), form.SelectedFlash());
  form.BlockLines().SelectAll();

  // The command bytes stay as read: 46 and 47 share their name, and a
  // trailing conditional has no line, so the lines cannot give them back.
  ShowConditionalVersions(form.CommandLines(), form.VersionLines());
  return true;
}

bool ReadProgramBytes(std::shared_ptr<const std::vector<uint8_t>> bytes,
                      ProgramFileRecords& records, ProgramFileForm& form) {
  ProgramingState::SetStatus(3);
  bool ok = ReadFromMemory(std::move(bytes), records, form);
  ProgramingState::SetStatus(ok ? 2 : kStatusFileRejected);
  return ok;
}

bool ReadProgramFile(const std::string& fileName, ProgramFileRecords& records,
                     ProgramFileForm& form) {
  ProgramingState::SetStatus(3);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileName.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) {
    ProgramingState::SetStatus(kStatusFileRejected);
    return false;
  }
  TStrings* info = form.InfoLines();
  ProgramFileLog(info, " **********************************");
  ProgramFileLog(info, " ***   Opened file \"%s\".", {fileName});
  ProgramFileLog(info, " **********************************");

  auto bytes = std::make_shared<std::vector<uint8_t>>();
  long size = -1;
  if (std::fseek(file.get(), 0, SEEK_END) == 0) size = std::ftell(file.get());
  std::fseek(file.get(), 0, SEEK_SET);
  if (size < 0) throw TessaroError("Error ReadFile for CRC16");
  bytes->resize(static_cast<size_t>(size));
  if (std::fread(bytes->data(), 1, bytes->size(), file.get()) != bytes->size())
    throw TessaroError("Error ReadFile for CRC16");
  file.reset();

  bool ok = ReadFromMemory(std::move(bytes), records, form);
  ProgramingState::SetStatus(ok ? 2 : kStatusFileRejected);
  return ok;
}

bool HeaderToForm(ProgramFileHeader& header, ProgramFileForm& form) {
  bool result = CommandsToLines(header, form.CommandLines(), form.InfoLines());
  if (result) {
    result = WriteSupFWsToStrs(header, form.VersionLines());
    if (!result) ProgramFileLog(form.InfoLines(), "  Error, in WriteSupFWsToStrs()!");
  } else {
    ProgramFileLog(form.InfoLines(), "  Error, don't supported command!");
  }
  form.ShowHeaderFields(header);
  return result;
}

bool CommandsToLines(const ProgramFileHeader& header, TStrings& commandLines, TStrings* info) {
  commandLines.Clear();
  // Only a conditional command takes the next byte as its parameter; a
  // parameter byte that happens to be 49 is not a conditional itself.
  bool parameterNext = false;
  for (uint8_t code : header.commands) {
    if (parameterNext) {
      commandLines.Add(FormatText("if(%d.)do next cmd", {code}));
      parameterNext = false;
    } else if (code > kLastCommandCode) {
      ProgramFileLog(
          info, "   Error, Uknow command %d, valid are commands %d (\"%s\") .. %d (\"%s\")!",
          {code, 0, ProgramCommandName(0), kLastCommandCode, ProgramCommandName(kLastCommandCode)});
      return false;
    } else if (code == kCommandIfVersion) {
      parameterNext = true;
    } else {
      commandLines.Add(ProgramCommandName(code));
    }
  }
  return true;
}

bool WriteSupFWsToStrs(const ProgramFileHeader& header, TStrings& versionLines) {
  versionLines.Clear();
  for (uint32_t v : header.versions) versionLines.Add(FormatText("%d.%d", {v >> 16, v & 0xFFFF}));
  return true;
}

namespace {

// A conditional's line with version k of the list.
std::string ConditionalLine(int k, const TLineList& versionLines) {
  std::string version =
      k >= 0 && k < versionLines.Count() ? versionLines.Line(k) : "empty ver.list";
  return FormatText("if(%d.from VersionList = %s)do next cmd", {k, version});
}

}  // namespace

void ShowConditionalVersions(TLineList& commandLines, const TLineList& versionLines) {
  for (int i = 0; i < commandLines.Count(); ++i) {
    const std::string line = commandLines.Line(i);
    if (StartsWithIf(line))
      commandLines.SetLine(i, ConditionalLine(VersionIndexFromLine(line), versionLines));
  }
}

int VersionIndexFromLine(const std::string& text) {
  if (text.size() <= 3) return 0;
  size_t dot = text.find('.', 3);
  std::string digits = text.substr(3, dot == std::string::npos ? std::string::npos : dot - 3);
  for (char c : digits)
    if (c < '0' || c > '9') return 0;
  if (digits.empty() || digits.size() > 9) return 0;
  return std::stoi(digits);
}

bool ParseVersionLine(const std::string& text, uint32_t& value, ProgramFileForm* form) {
  std::string parts[2];
  int part = 0;
  for (char c : text) {
    if (c == ' ') continue;
    if (c == '.') {
      part = 1;
    } else if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
               c == 'x') {
      parts[part] += c;
    } else {
      return false;
    }
  }
  int64_t numbers[2] = {0, 0};
  for (int i = 0; i < 2; ++i) {
    if (!TextToInteger(parts[i], numbers[i])) {
      numbers[i] = 0;
      if (form) form->ShowMessage("'" + parts[i] + "' is not a valid integer value");
      break;
    }
  }
  value = (static_cast<uint32_t>(numbers[0]) & 0xFFFF) << 16 |
          (static_cast<uint32_t>(numbers[1]) & 0xFFFF);
  return true;
}

bool VersionsFromLines(ProgramFileHeader& header, const TLineList& versionLines,
                       ProgramFileForm* form) {
  header.versions.clear();
  for (int i = 0; i < versionLines.Count(); ++i) {
    uint32_t value = 0;
    if (!ParseVersionLine(versionLines.Line(i), value, form)) return false;
    header.versions.push_back(value);
  }
  return true;
}

}  // namespace tessaro
