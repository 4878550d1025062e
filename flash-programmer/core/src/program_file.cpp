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

LogHook ProgramFileLogHook;

void ProgramFileLog(TStrings* list, const std::string& format,
                    std::initializer_list<FormatArg> args) {
  ProgramFileLogHook(list, "[ProgramingCtrls]" + format, args);
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

bool ReadFromMemory(std::shared_ptr<const std::vector<uint8_t>> bytes, ProgramFileRecords& records,
                    ProgramFileForm& form) {
  if (!Crc16Check(bytes->data(), bytes->size())) throw TessaroError("Error CRC16");
  ByteStream file(bytes->data(), bytes->size());
  if (!ReadProgramFileHeader(records.header, file, false, form)) return false;
  if (!HeaderToForm(records.header, form)) return false;

  FlashRecord flash;
  ReadFlashRecord(file, flash);
  records.flashes.Append(flash);
  form.FlashListChanged(records.flashes);

  // Without the selected-sectors mark nothing is selected; the text read in
  // its place is gone, as the block reader then reports.
  const std::string error = "error read to file";
  if (file.ReadShortString(error) == kSelectedSectorsMark) {
    uint16_t count = file.ReadU16(error);
    TSelectableList& sectors = form.SectorLines();
    for (uint16_t i = 0; i < count; ++i) {
      uint16_t index = file.ReadU16(error);
      if (index >= sectors.Count()) {
        ProgramFileLog(form.InfoLines(),
                       "  Error, selected bank %d isn't in list of banks (0..%d)!",
                       {index, sectors.Count() - 1});
        return false;
      }
      sectors.SetSelected(index, true);
    }
  }

  records.blocks.Clear();
  records.blocks.ShareSource(bytes);
  ReadProgramBlocks(file, records.blocks, true);
  BlocksToLines(records.blocks, form.BlockLines(), form.SelectedFlash());
  form.BlockLines().SelectAll();

  CommandsFromLines(records.header, form.CommandLines(), form.VersionLines());
  return true;
}

}  // namespace

bool ReadProgramBytes(std::shared_ptr<const std::vector<uint8_t>> bytes,
                      ProgramFileRecords& records, ProgramFileForm& form) {
  ProgramingState::SetStatus(3);
  bool ok = ReadFromMemory(std::move(bytes), records, form);
  ProgramingState::SetStatus(ok ? 2 : -2);
  return ok;
}

bool ReadProgramFile(const std::string& fileName, ProgramFileRecords& records,
                     ProgramFileForm& form) {
  ProgramingState::SetStatus(3);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileName.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) {
    ProgramingState::SetStatus(-2);
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
  ProgramingState::SetStatus(ok ? 2 : -2);
  return ok;
}

bool ReadProgramFileHeader(ProgramFileHeader& header, ByteStream& file, bool keep,
                           ProgramFileForm& form) {
  if (!keep) header.Reset();
  uint8_t mark[kMarkSize];
  if (file.Read(mark, kMarkSize) != kMarkSize || mark[0] != std::strlen(kHeaderMark) ||
      std::memcmp(mark + 1, kHeaderMark, std::strlen(kHeaderMark)) != 0)
    throw TessaroError("Read error, UsbDevDescrMark from file.");
  const std::string error = "Read error, UsbDevDescrfrom file.";
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

  if (major != header.formatMajor || minor != header.formatMinor) {
    form.ShowMessage(FormatText("Diferent verion: Glintor %d.%d, File %d.%d ",
                                {header.formatMajor, header.formatMinor, major, minor}));
    return false;
  }
  if (pathCommand) {
    if (file.ReadShortString(error) != kPathMark1) {
      form.ShowMessage("is use command \"PathTR410_BD\" but in binary file isn't version");
      return false;
    }
    header.pathFlag = true;
    header.pathVersion = file.ReadU32(error);
  }
  if (pathTestCommand) {
    if (file.ReadShortString(error) != kPathMark2) {
      header.pathFlag = false;
      form.ShowMessage("is use command \"PathTR410_BDtest\" but in binary file isn't version");
      return false;
    }
    header.pathFlag = true;
    header.pathVersion = file.ReadU32(error);
  }
  return true;
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

bool CommandsFromLines(ProgramFileHeader& header, TLineList& commandLines,
                       const TLineList& versionLines) {
  header.commands.clear();
  for (int i = 0; i < commandLines.Count(); ++i) {
    std::string line = commandLines.Line(i);
    bool conditional = StartsWithIf(line);
    int k = 0;
    if (conditional) {
      k = VersionIndexFromLine(line);
      line = ProgramCommandName(kCommandIfVersion);
    }
    int code = ProgramCommandCode(line);
    if (code < 0) return false;
    header.commands.push_back(static_cast<uint8_t>(code));
    if (conditional) {
      std::string version =
          k >= 0 && k < versionLines.Count() ? versionLines.Line(k) : "empty ver.list";
      commandLines.SetLine(i, FormatText("if(%d.from VersionList = %s)do next cmd", {k, version}));
      header.commands.push_back(static_cast<uint8_t>(k));
    }
  }
  return true;
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
