// The program-file reader over files from the writer: a valid file, every
// kind of broken one, and the reader's edge cases.
#include "tessaro/program_file.h"

#include <gtest/gtest.h>

#include <functional>

#include "tessaro/errors.h"
#include "tessaro/memory_form.h"
#include "tessaro/program_status.h"
#include "tessaro_test/program_file_writer.h"
#include "testsupport/testdir.h"

using namespace tessaro;
using tessaro_test::Bytes;
using tessaro_test::ProgramFileSpec;
using tessaro_test::ProgramFileWriter;

namespace {

// Captures what the program-file unit logs.
std::vector<std::string> g_logged;
void Capture(void*, const std::string& text, TStrings* list) {
  g_logged.push_back(text);
  if (list) list->Add(text);
}

struct Outcome {
  bool result = false;
  std::string error;  // the raised error's message, empty when none
  int16_t status = 0;
};

class ProgramFileReader : public ::testing::Test {
 protected:
  void SetUp() override {
    g_logged.clear();
    LogHooks().programFile.method = &Capture;
    ProgramingState::Reset();
  }
  void TearDown() override { LogHooks().programFile.Clear(); }

  Outcome Read(const Bytes& bytes) {
    std::string path = folder / "job.bin";
    testsupport::WriteFile(path, std::string(bytes.begin(), bytes.end()));
    return ReadPath(path);
  }
  Outcome ReadPath(const std::string& path) {
    Outcome o;
    try {
      o.result = ReadProgramFile(path, records, form);
    } catch (const TessaroError& e) {
      o.error = e.what();
    }
    o.status = ProgramingState::Status();
    return o;
  }
  Outcome Read(const ProgramFileSpec& spec) { return Read(ProgramFileWriter::Write(spec)); }

  testsupport::TestFolder folder;
  ProgramFileRecords records;
  MemoryProgramFileForm form;
};

}  // namespace

TEST_F(ProgramFileReader, ValidFileFillsHeaderFormAndRecords) {
  Outcome o = Read(ProgramFileSpec{});
  EXPECT_TRUE(o.result) << o.error;
  EXPECT_EQ(2, o.status);
  const ProgramFileHeader& h = records.header;
  EXPECT_EQ(0x0E7B, h.vid);
  EXPECT_EQ(5, h.pid);
  EXPECT_EQ(Bytes({10, 12, 14, 15, 16, 11}), h.commands);
  EXPECT_EQ(std::vector<uint32_t>({0x00010002, 0x00020000}), h.versions);
  EXPECT_EQ("2.01", h.versionText);
  EXPECT_EQ("0x0E7B", form.vidText);
  EXPECT_EQ("0x0005", form.pidText);
  EXPECT_EQ("2.01", form.versionText);
  EXPECT_EQ(std::vector<std::string>({"OpenDevice", "FlashAutoselect", "FlashEraseSectors",
                                      "FlashProgram", "FlashVerify", "CloseDevice"}),
            form.commands.Lines());
  EXPECT_EQ(std::vector<std::string>({"1.2", "2.0"}), form.versions.Lines());
  EXPECT_EQ("Manufacture ID 0x01,  Device ID 0x22AB", form.flashIdText);
  ASSERT_EQ(7, form.sectors.Count());
  EXPECT_EQ("00: 0x00000000, 0x00003FFF (16384)", form.sectors.Line(0));
  EXPECT_EQ("06: 0x00030000, 0x0003FFFF (65536)", form.sectors.Line(6));
  EXPECT_TRUE(form.sectors.Selected(0));
  EXPECT_TRUE(form.sectors.Selected(1));
  EXPECT_FALSE(form.sectors.Selected(2));
  EXPECT_EQ(std::vector<std::string>({"  00: 0x000000-0x00001F, 0x0020B (00032) <000,0000032>",
                                      "  01: 0x004100-0x00410F, 0x0010B (00016) <001,0000048>"}),
            form.blocks.Lines());
  EXPECT_TRUE(form.blocks.Selected(0) && form.blocks.Selected(1));
  ASSERT_EQ(1, records.flashes.Count());
  EXPECT_EQ(0x400000u, records.flashes.Last()->baseFlashAddress);
  EXPECT_EQ(400, records.flashes.Last()->autoselectTimeout);
  ASSERT_EQ(2, records.blocks.Count());
  const ProgramBlock& second = records.blocks.Blocks()[1];
  EXPECT_EQ(0x4100u, second.address);
  EXPECT_EQ(Bytes(16, 0x5A), Bytes(second.Data(), second.Data() + second.Size()));
  std::string path = folder / "job.bin";
  EXPECT_EQ(std::vector<std::string>({"[ProgramingCtrls] **********************************",
                                      "[ProgramingCtrls] ***   Opened file \"" + path + "\".",
                                      "[ProgramingCtrls] **********************************",
                                      ">> OK, Selected flash \"AM29F400BB\""}),
            form.info.Lines());
  EXPECT_TRUE(form.messages.empty());
}

// Every way a file is rejected: the result, the raised error, the status word
// and what the user or the log is told.
TEST_F(ProgramFileReader, RejectedFiles) {
  struct Row {
    const char* proves;
    std::function<Bytes()> file;
    bool result;
    std::string error;
    int16_t status;
    std::string message;   // shown to the user
    std::string infoLine;  // last Info line
  };
  auto spec = [](std::function<void(ProgramFileSpec&)> change) {
    return [change] {
      ProgramFileSpec s;
      change(s);
      return ProgramFileWriter::Write(s);
    };
  };
  const std::string unknown =
      "[ProgramingCtrls]   Error, Uknow command 53, valid are commands 0 (\"nil\") .. 52 "
      "(\"WaitForIDLEonTR410orTR420\")!";
  std::vector<Row> rows = {
      {"a wrong CRC is found before anything is read", spec([](auto& s) { s.correctCrc = false; }),
       false, "Error CRC16", 3, "", ""},
      {"changing the last two bytes breaks the CRC",
       [] {
         Bytes b = ProgramFileWriter::Write({});
         b[b.size() - 1] ^= 0x55;
         b[b.size() - 2] ^= 0x0F;
         return b;
       },
       false, "Error CRC16", 3, "", ""},
      {"an empty file has CRC 0 and no header mark", [] { return Bytes(); }, false,
       "Read error, UsbDevDescrMark from file.", 3, "", ""},
      {"a wrong header mark",
       spec([](auto& s) { s.headerMark = "UsbDevDescripToFile_v0.1000001"; }), false,
       "Read error, UsbDevDescrMark from file.", 3, "", ""},
      {"format version 1.2 is refused with both versions", spec([](auto& s) { s.formatMinor = 2; }),
       false, "", -2, "Diferent verion: Glintor 1.1, File 1.2 ", ""},
      {"format version 2.1", spec([](auto& s) { s.formatMajor = 2; }), false, "", -2,
       "Diferent verion: Glintor 1.1, File 2.1 ", ""},
      {"an unknown command code", spec([](auto& s) {
         s.commands = {10, 53, 15};
       }),
       false, "", -2, "", "[ProgramingCtrls]  Error, don't supported command!"},
      {"a wrong path mark 1", spec([](auto& s) {
         s.commands = {33, 15};
         s.pathMark1 = "PathTR410XX";
       }),
       false, "", -2, "is use command \"PathTR410_BD\" but in binary file isn't version", ""},
      {"a wrong path mark 2", spec([](auto& s) {
         s.commands = {37, 15};
         s.pathMark2 = "PathTR410BDtesX";
       }),
       false, "", -2, "is use command \"PathTR410_BDtest\" but in binary file isn't version", ""},
      {"a wrong flash mark", spec([](auto& s) { s.flash.mark = "FlashDescrToFile____v0.2000000"; }),
       false, "Difrend FlashMark in file.", 3, "", ""},
      {"a file without the selected-sectors section loses the block mark",
       spec([](auto& s) { s.withSelectedSectors = false; }), false,
       "Read error, ProgramBlocksMark from file.", 3, "", ""},
      {"a selected sector beyond the sector list is refused", spec([](auto& s) {
         s.selectedSectors = {1, 7};
       }),
       false, "", -2, "",
       "[ProgramingCtrls]  Error, selected bank 7 isn't in list of banks (0..6)!"},
      {"a wrong program-block mark",
       spec([](auto& s) { s.blocksMark = "ProgramBlocksToFile_v0.1000009"; }), false,
       "Read error, ProgramBlocksMark from file.", 3, "", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.proves);
    form = MemoryProgramFileForm();
    Outcome o = Read(r.file());
    EXPECT_EQ(r.result, o.result);
    EXPECT_EQ(r.error, o.error);
    EXPECT_EQ(r.status, o.status);
    EXPECT_EQ(r.message.empty() ? 0u : 1u, form.messages.size());
    if (!r.message.empty() && !form.messages.empty()) {
      EXPECT_EQ(r.message, form.messages[0]);
    }
    if (!r.infoLine.empty()) {
      ASSERT_GT(form.info.Count(), 0);
      EXPECT_EQ(r.infoLine, form.info.Line(form.info.Count() - 1));
    }
    if (r.infoLine.find("don't supported") != std::string::npos) {
      EXPECT_EQ(unknown, form.info.Line(form.info.Count() - 2));
    }
  }
}

// A file cut inside any field, with a CRC that fits the cut, fails with the
// error of the section that field belongs to.
TEST_F(ProgramFileReader, FileCutInsideEveryField) {
  std::vector<tessaro_test::FieldOffset> fields;
  Bytes whole = ProgramFileWriter::Write({}, &fields);
  auto expected = [](const std::string& field) -> std::string {
    if (field == "header.mark") return "Read error, UsbDevDescrMark from file.";
    if (field.rfind("header.", 0) == 0) return "Read error, UsbDevDescrfrom file.";
    if (field == "flash.mark") return "Read error, FlashMark from file.";
    if (field.rfind("flash.", 0) == 0) return "Read error, Flash from file.";
    if (field.rfind("selected.", 0) == 0) return "error read to file";
    if (field == "blocks.mark") return "Read error, ProgramBlocksMark from file.";
    return "Read error, ProgramBlocksfrom file.";
  };
  for (const auto& field : fields) {
    if (field.name == "crc") continue;
    for (size_t cut : {field.offset, field.offset + 1}) {
      SCOPED_TRACE(field.name + " cut at " + std::to_string(cut));
      form = MemoryProgramFileForm();
      Outcome o = Read(ProgramFileWriter::CutWithCrc(whole, cut));
      EXPECT_FALSE(o.result);
      if (field.name.rfind("selected.index", 0) == 0) {
        // The fresh CRC takes the index's place: a bank beyond the list, refused.
        EXPECT_EQ("", o.error);
        EXPECT_EQ(-2, o.status);
        continue;
      }
      EXPECT_EQ(expected(field.name), o.error);
      EXPECT_EQ(3, o.status);
    }
  }
}

TEST_F(ProgramFileReader, MissingFileIsRejectedWithoutMessage) {
  Outcome o = ReadPath(folder / "none.bin");
  EXPECT_FALSE(o.result);
  EXPECT_EQ("", o.error);
  EXPECT_EQ(-2, o.status);
  EXPECT_TRUE(form.messages.empty());
  EXPECT_TRUE(g_logged.empty());
}

TEST_F(ProgramFileReader, ParameterByte33OfAConditionalAsksForPathMark1) {
  ProgramFileSpec s;
  s.commands = {12, 49, 33, 15};
  Outcome o = Read(s);
  ASSERT_TRUE(o.result) << o.error;
  EXPECT_TRUE(records.header.pathFlag);
  EXPECT_EQ(0x00010005u, records.header.pathVersion);
  EXPECT_EQ(std::vector<std::string>({"FlashAutoselect",
                                      "if(33.from VersionList = empty ver.list)do next cmd",
                                      "FlashProgram"}),
            form.commands.Lines());
  EXPECT_EQ(Bytes({12, 49, 33, 15}), records.header.commands);
}

TEST_F(ProgramFileReader, BothPathMarksKeepTheSecondVersion) {
  ProgramFileSpec s;
  s.commands = {33, 37};
  ASSERT_TRUE(Read(s).result);
  EXPECT_TRUE(records.header.pathFlag);
  EXPECT_EQ(0x00010006u, records.header.pathVersion);
}

TEST_F(ProgramFileReader, ConditionalWhoseParameterIs49IsNotRebuiltAsTwoConditionals) {
  ProgramFileSpec s;
  s.commands = {49, 49, 15};
  ASSERT_TRUE(Read(s).result);
  EXPECT_EQ(std::vector<std::string>(
                {"if(49.from VersionList = empty ver.list)do next cmd", "FlashProgram"}),
            form.commands.Lines());
  EXPECT_EQ(Bytes({49, 49, 15}), records.header.commands);
}

TEST_F(ProgramFileReader, ConditionalShowsItsVersionFromTheList) {
  ProgramFileSpec s;
  s.commands = {49, 1, 15};
  ASSERT_TRUE(Read(s).result);
  EXPECT_EQ(std::vector<std::string>({"if(1.from VersionList = 2.0)do next cmd", "FlashProgram"}),
            form.commands.Lines());
  EXPECT_EQ(Bytes({49, 1, 15}), records.header.commands);
}

// The command bytes survive a read unchanged, though two commands share the
// name "reserved" and a trailing conditional has no line of its own.
TEST_F(ProgramFileReader, CommandBytesSurviveTheRead) {
  struct Row {
    const char* proves;
    Bytes commands;
    std::vector<std::string> lines;
  } rows[] = {
      {"47 is not read back as 46", {46, 47, 15}, {"reserved", "reserved", "FlashProgram"}},
      {"a trailing conditional is kept", {10, 49}, {"OpenDevice"}},
      {"a conditional on 47", {49, 0, 47}, {"if(0.from VersionList = 1.2)do next cmd", "reserved"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.proves);
    form = MemoryProgramFileForm();
    ProgramFileSpec s;
    s.commands = r.commands;
    ASSERT_TRUE(Read(s).result);
    EXPECT_EQ(r.lines, form.commands.Lines());
    EXPECT_EQ(r.commands, records.header.commands);
  }
}

// The parser alone: the content as far as it was read, and where it stopped.
TEST(ProgramFileParser, StopsWithTheSectionOffsetAndTextOfTheFailingField) {
  std::vector<tessaro_test::FieldOffset> fields;
  const Bytes whole = ProgramFileWriter::Write({}, &fields);
  auto offsetOf = [&](const std::string& name) {
    for (const auto& f : fields)
      if (f.name == name) return f.offset;
    ADD_FAILURE() << "no field " << name;
    return size_t{0};
  };
  auto parse = [](const Bytes& bytes) {
    return ParseProgramFile(std::make_shared<const std::vector<uint8_t>>(bytes));
  };

  ProgramFileContent valid = parse(whole);
  EXPECT_FALSE(valid.error.has_value());
  EXPECT_EQ(0x0E7B, valid.header.vid);
  ASSERT_TRUE(valid.flash.has_value());
  EXPECT_EQ("AM29F400BB", valid.flash->name);
  EXPECT_TRUE(valid.hasSelectedSectors);
  EXPECT_EQ(std::vector<uint16_t>({0, 1}), valid.selectedSectors);
  EXPECT_EQ(2, valid.blocks.Count());

  // The fresh CRC takes two bytes after the cut: the rows are fields longer
  // than that.
  struct Row {
    const char* cutInside;
    ProgramFileSection section;
    std::string text;
  } rows[] = {
      {"header.versionText", ProgramFileSection::Header, "Read error, UsbDevDescrfrom file."},
      {"flash.name", ProgramFileSection::Flash, "Read error, Flash from file."},
      {"blocks.block1.data", ProgramFileSection::Blocks, "Read error, ProgramBlocksfrom file."},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.cutInside);
    const size_t at = offsetOf(r.cutInside);
    ProgramFileContent cut = parse(ProgramFileWriter::CutWithCrc(whole, at + 1));
    ASSERT_TRUE(cut.error.has_value());
    EXPECT_EQ(ProgramFileError::Raised, cut.error->kind);
    EXPECT_EQ(r.section, cut.error->section);
    EXPECT_EQ(at, cut.error->offset);
    EXPECT_EQ(r.text, cut.error->text);
  }

  Bytes badCrc = whole;
  badCrc.back() ^= 1;
  ProgramFileContent crc = parse(badCrc);
  ASSERT_TRUE(crc.error.has_value());
  EXPECT_EQ(ProgramFileSection::Crc, crc.error->section);
  EXPECT_EQ(whole.size() - 2, crc.error->offset);
  EXPECT_EQ("Error CRC16", crc.error->text);

  ProgramFileSpec newer;
  newer.formatMinor = 2;
  ProgramFileContent refused = parse(ProgramFileWriter::Write(newer));
  ASSERT_TRUE(refused.error.has_value());
  EXPECT_EQ(ProgramFileError::Refused, refused.error->kind);
  EXPECT_EQ(offsetOf("header.major"), refused.error->offset);
  EXPECT_EQ("Diferent verion: Glintor 1.1, File 1.2 ", refused.error->text);
  EXPECT_EQ(0x0E7B, refused.header.vid);  // read before the version was refused
}

TEST_F(ProgramFileReader, ZeroBlocksAreAcceptedAndEmptyBlocksDropped) {
  ProgramFileSpec s;
  s.blocks = {};
  ASSERT_TRUE(Read(s).result);
  EXPECT_EQ(0, form.blocks.Count());
  EXPECT_EQ(0, records.blocks.Count());

  s.blocks = {{0x100, Bytes(4, 1)}, {0x200, {}}, {0x300, Bytes(2, 2)}};
  ASSERT_TRUE(Read(s).result);
  EXPECT_EQ(2, records.blocks.Count());
  EXPECT_EQ(2, form.blocks.Count());
}

TEST_F(ProgramFileReader, FlashListGrowsOverReadsOfOneLoad) {
  ASSERT_TRUE(Read(ProgramFileSpec{}).result);
  ProgramFileSpec s;
  s.flash.name = "SecondChip";
  ASSERT_TRUE(Read(s).result);
  EXPECT_EQ(std::vector<std::string>({"AM29F400BB", "SecondChip"}), form.flashNames);
  EXPECT_EQ("SecondChip", form.selectedFlash.name);
}

TEST(ProgramFileLines, VersionLinesAndIndexes) {
  EXPECT_EQ(12, VersionIndexFromLine("if(12.)do next cmd"));
  EXPECT_EQ(3, VersionIndexFromLine("if(3.from VersionList = 1.2)do next cmd"));
  EXPECT_EQ(0, VersionIndexFromLine("if("));
  EXPECT_EQ(0, VersionIndexFromLine("if(x.)"));
  uint32_t v = 0;
  EXPECT_TRUE(ParseVersionLine(" 1 . 2", v));
  EXPECT_EQ(0x00010002u, v);
  EXPECT_TRUE(ParseVersionLine("0x10.0x20", v));
  EXPECT_EQ(0x00100020u, v);
  EXPECT_FALSE(ParseVersionLine("1.2b-", v));
  MemoryProgramFileForm form;
  EXPECT_TRUE(ParseVersionLine("1a.2", v, &form));  // not a number: counts 0, still parsed
  EXPECT_EQ(0u, v);
  EXPECT_EQ(std::vector<std::string>({"'1a' is not a valid integer value"}), form.messages);
}
