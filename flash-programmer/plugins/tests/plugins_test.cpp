// Plug-ins end to end: the stand-in module-data plug-in (and copies of it
// that lack exports) loaded from a Plugins folder below the test program's
// folder, bound to a bench connection, its form shown and hidden, and its
// module-data functions called through the bound entries.
#include "tessaro/plugins.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "benchctl/bench_control.h"
#include "hwport/port.h"
#include "tessaro/gdi.h"
#include "testsupport/testdir.h"

namespace tessaro {
namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();
// Loaded plug-ins stay loaded until the process ends; each test run starts
// with the copies of earlier runs gone.
const bool kCasesCleared = testsupport::RemoveTree(testsupport::TestDir() + "\\plugin_cases");

std::string Pointer(const void* p) {
  char b[32];
  std::snprintf(b, sizeof b, "%p", p);
  return b;
}

void ToList(void*, const std::string& text, TStrings* list) {
  if (list) list->Add(text);
}

// A plug-in of one test's own: a build of the stand-in copied as
// "plugin_cases\<test>\Plugins\Orvane.dll" below the test program, with its
// steering file "Orvane.ini" beside it (recording on).
class PluginCase {
 public:
  // variant: "Orvane" (the stand-in), "orvane_no_guid", "orvane_no_class",
  // "orvane_bare", or "" for no library at all.
  explicit PluginCase(const std::string& variant, const std::string& settings = {}) {
    static int counter = 0;
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::string id =
        name + "_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
    Relative = "plugin_cases\\" + id + "\\Plugins\\Orvane.dll";
    Folder = testsupport::TestDir() + "\\plugin_cases\\" + id + "\\Plugins";
    testsupport::WriteFile(Folder + "\\Orvane.ini", "[Orvane]\r\nRecord=1\r\n" + settings);
    if (variant.empty()) return;
    std::string from = variant == "Orvane"
                           ? testsupport::ProgramDir() + "\\Plugins\\Orvane.dll"
                           : testsupport::TestDir() + "\\plugin_variants\\" + variant + ".dll";
    EXPECT_TRUE(testsupport::CopyFileTo(from, Folder + "\\Orvane.dll")) << from;
  }
  std::vector<std::string> Record() const {
    return testsupport::SplitLines(testsupport::ReadFileOr(Folder + "\\Orvane.rec"));
  }
  std::string Relative;
  std::string Folder;
};

class Plugins : public ::testing::Test {
 protected:
  void SetUp() override {
    benchctl::BenchSpec spec;
    spec.TimeScale(1000).Instrument(5, "1001");
    ASSERT_FALSE(benchctl::UseBench(folder_.Path(), spec).empty()) << hwport::BenchLoadError();
    connection_ = std::make_unique<TGDI>(TDeviceInfo(0, 0x0E7B, 5), 0, 0, 0, 0, 0, 0);
    LogHooks().plugin.method = &ToList;
  }
  void TearDown() override { LogHooks().plugin.Clear(); }
  // The calls with "C" standing for the connection as the plug-in saw it.
  std::vector<std::string> WithConnection(std::vector<std::string> calls) const {
    std::string c = Pointer(static_cast<TDevice*>(connection_.get()));
    for (std::string& call : calls) {
      size_t at = call.find("(C,");
      if (at != std::string::npos) call.replace(at + 1, 1, c);
    }
    return calls;
  }

  testsupport::TestFolder folder_;
  std::unique_ptr<TGDI> connection_;
  TStringList log_;
};

TEST_F(Plugins, LoadingGivesAnObjectOnlyWithBothExports) {
  struct Row {
    const char* name;
    const char* variant;
    const char* settings;
    bool loaded;
    int objects;
    bool entries;
    std::vector<std::string> record;
  } rows[] = {
      {"the stand-in: one object, every entry",
       "Orvane",
       "",
       true,
       1,
       true,
       {"GetPluginClass", "Create"}},
      {"no GetGUID: loaded, no object, entries bound", "orvane_no_guid", "", true, 0, true, {}},
      {"no GetPluginClass: loaded, no object", "orvane_no_class", "", true, 0, true, {}},
      {"no module-data functions: an object, empty entries",
       "orvane_bare",
       "",
       true,
       1,
       false,
       {"GetPluginClass", "Create"}},
      {"no library: nothing", "", "", false, 0, false, {}},
      {"a plug-in that gives no class gives no object",
       "Orvane",
       "Fail=GetPluginClass\r\n",
       true,
       0,
       true,
       {"GetPluginClass"}},
      {"a constructor that gives nothing gives no object",
       "Orvane",
       "Fail=Create\r\n",
       true,
       0,
       true,
       {"GetPluginClass", "Create"}},
  };
  for (const Row& r : rows) {
    PluginCase plugin(r.variant, r.settings);
    TBDPlugin p(plugin.Relative);
    EXPECT_EQ(testsupport::TestDir() + "\\" + plugin.Relative, p.Path()) << r.name;
    EXPECT_EQ(r.loaded, p.Module() != nullptr) << r.name;
    EXPECT_EQ(r.objects, p.Count()) << r.name;
    bool entries[] = {p.OrvaneModuleToFile != nullptr, p.OrvaneFileToFile != nullptr,
                      p.OrvaneFileToModule != nullptr, p.OrvanePath != nullptr,
                      p.OrvaneFileDelete != nullptr,   p.OrvaneGetStatus != nullptr,
                      p.OrvaneWriteSerNumb != nullptr};
    for (bool bound : entries) EXPECT_EQ(r.entries, bound) << r.name;
    EXPECT_EQ(r.record, plugin.Record()) << r.name;
  }
}

TEST_F(Plugins, BindingAsksTheObjectAndShowsItsForm) {
  struct Row {
    const char* name;
    const char* variant;
    const char* settings;
    bool show;
    bool bound;
    std::vector<std::string> calls;  // after GetPluginClass and Create
  } rows[] = {
      {"accepted and shown", "Orvane", "", true, true, {"Accepts(C,1)", "ObjectInUse(C,1)"}},
      {"accepted, not shown", "Orvane", "", false, true, {"Accepts(C,1)", "ObjectInUse(C,1)"}},
      {"connection refused", "Orvane", "Fail=Accepts\r\n", true, false, {"Accepts(C,1)"}},
      {"no object in use",
       "Orvane",
       "Fail=ObjectInUse\r\n",
       true,
       false,
       {"Accepts(C,1)", "ObjectInUse(C,1)"}},
      {"no plug-in object", "orvane_no_guid", "", true, false, {}},
      {"no library", "", "", true, false, {}},
  };
  for (const Row& r : rows) {
    PluginCase plugin(r.variant, r.settings);
    TBDPlugin p(plugin.Relative);
    EXPECT_EQ(r.bound, p.BindPlugin(connection_.get(), r.show)) << r.name;
    EXPECT_EQ(r.bound, p.InUse != nullptr) << r.name;
    HWND form = p.InUse ? p.InUse->Form() : nullptr;
    EXPECT_EQ(r.bound && r.show, form && IsWindowVisible(form)) << r.name;
    std::vector<std::string> record = plugin.Record();
    if (record.size() >= 2 && record[0] == "GetPluginClass")
      record.erase(record.begin(), record.begin() + 2);
    EXPECT_EQ(WithConnection(r.calls), record) << r.name;

    // Unbinding hides the form and frees the object in use.
    EXPECT_TRUE(p.UnbindPlugin()) << r.name;
    EXPECT_EQ(nullptr, p.InUse) << r.name;
    if (form) {
      EXPECT_FALSE(IsWindow(form)) << r.name;
    }
    record = plugin.Record();
    EXPECT_EQ(r.bound, !record.empty() && record.back() == "Free object in use") << r.name;
  }
}

TEST_F(Plugins, UnbindingWithoutAnObjectInUseSucceeds) {
  PluginCase plugin("Orvane");
  TBDPlugin p(plugin.Relative);
  EXPECT_TRUE(p.UnbindPlugin());
  EXPECT_EQ((std::vector<std::string>{"GetPluginClass", "Create"}), plugin.Record());
}

TEST_F(Plugins, DestroyingThePlugInFreesItsObjects) {
  PluginCase plugin("Orvane");
  {
    TBDPlugin p(plugin.Relative);
    ASSERT_TRUE(p.BindPlugin(connection_.get(), true));
  }
  EXPECT_EQ(WithConnection({"GetPluginClass", "Create", "Accepts(C,1)", "ObjectInUse(C,1)",
                            "Free object in use", "Free plug-in object"}),
            plugin.Record());
}

TEST_F(Plugins, ConnectAndDisconnectUnderTheModuleDataName) {
  // The stand-in sits in "Plugins" beside the test program, as beside Kestor.
  std::unique_ptr<TBDPlugin> holder;
  EXPECT_TRUE(ConnectPlugin(connection_.get(), kModuleDataPlugin, holder, true, &log_));
  ASSERT_TRUE(holder);
  EXPECT_EQ(ExecutableFolder() + "\\Plugins\\Orvane.dll", holder->Path());
  ASSERT_TRUE(holder->InUse);
  HWND form = holder->InUse->Form();
  EXPECT_TRUE(IsWindowVisible(form));
  TBDPlugin* made = holder.get();

  EXPECT_TRUE(DisconnectPlugin(holder, &log_));
  EXPECT_FALSE(IsWindow(form));
  EXPECT_EQ(made, holder.get()) << "the holder keeps the plug-in";
  EXPECT_EQ(nullptr, holder->InUse);

  // A second connection reuses the plug-in the holder keeps.
  EXPECT_TRUE(ConnectPlugin(connection_.get(), kModuleDataPlugin, holder, false, &log_));
  EXPECT_EQ(made, holder.get());
  EXPECT_TRUE(DisconnectPlugin(holder, &log_));

  const std::vector<std::string> expected = {
      "[UsbDevCtrl]   OK, connect plugin Plugins\\Orvane.dll",
      "[UsbDevCtrl]   OK, Unconnect pluggin",
      "[UsbDevCtrl]   OK, connect plugin Plugins\\Orvane.dll",
      "[UsbDevCtrl]   OK, Unconnect pluggin",
  };
  EXPECT_EQ(expected, log_.Lines());
}

TEST_F(Plugins, ConnectFailuresAreLoggedAsErrors) {
  struct Row {
    const char* name;
    const char* variant;
    const char* settings;
  } rows[] = {
      {"missing plug-in", "", ""},
      {"plug-in without GetGUID", "orvane_no_guid", ""},
      {"plug-in without GetPluginClass", "orvane_no_class", ""},
      {"connection refused", "Orvane", "Fail=Accepts\r\n"},
  };
  for (const Row& r : rows) {
    PluginCase plugin(r.variant, r.settings);
    std::unique_ptr<TBDPlugin> holder;
    log_.Clear();
    EXPECT_FALSE(ConnectPlugin(connection_.get(), plugin.Relative, holder, true, &log_)) << r.name;
    EXPECT_TRUE(holder) << r.name << ": the holder keeps the plug-in all the same";
    EXPECT_EQ(std::vector<std::string>{"[UsbDevCtrl]   ERROR, connect plugin " + plugin.Relative},
              log_.Lines())
        << r.name;
  }
}

TEST_F(Plugins, DisconnectWithoutAPlugInIsAnError) {
  std::unique_ptr<TBDPlugin> holder;
  EXPECT_FALSE(DisconnectPlugin(holder, &log_));
  EXPECT_EQ(std::vector<std::string>{"[UsbDevCtrl]   ERROR, Unconnect pluggin"}, log_.Lines());
}

// The stand-in's module-data functions through the bound entries, as the
// module-data flows call them: the data folder, the files it keeps there,
// the low byte of each result, and its progress.
TEST_F(Plugins, ModuleDataFunctionsThroughTheEntries) {
  struct Step {
    const char* call;
    int32_t result;
    bool dat, cnv;  // the files in the data folder afterwards
  };
  struct Row {
    const char* name;
    const char* settings;
    std::vector<Step> steps;
  } rows[] = {
      {"read, convert, write back, delete",
       "",
       {{"ModuleToFile", 1, true, false},
        {"FileToFile", 1, true, true},
        {"FileToModule", 1, true, true},
        {"FileDelete", 1, false, false}}},
      {"nothing to convert or write back without a read",
       "",
       {{"FileToFile", 0x100, false, false}, {"FileToModule", 0x100, false, false}}},
      {"a failing read leaves a zero low byte in a non-zero result",
       "Fail=ModuleToFile\r\n",
       {{"ModuleToFile", 0x100, false, false}, {"FileToFile", 0x100, false, false}}},
      {"a failing delete keeps the files",
       "Fail=FileDelete\r\n",
       {{"ModuleToFile", 1, true, false}, {"FileDelete", 0x100, true, false}}},
  };
  for (const Row& r : rows) {
    PluginCase plugin("Orvane", std::string(r.settings) + "Steps=8\r\n");
    TBDPlugin p(plugin.Relative);
    ASSERT_TRUE(p.BindPlugin(connection_.get(), false)) << r.name;
    std::string data = plugin.Folder + "\\data\\";
    ASSERT_TRUE(testsupport::MakeFolders(data)) << r.name;
    p.OrvanePath(data.c_str());
    for (const Step& s : r.steps) {
      std::string call = s.call;
      OrvaneWorkFn fn = call == "ModuleToFile"   ? p.OrvaneModuleToFile
                        : call == "FileToFile"   ? p.OrvaneFileToFile
                        : call == "FileToModule" ? p.OrvaneFileToModule
                                                 : p.OrvaneFileDelete;
      EXPECT_EQ(s.result, fn()) << r.name << ": " << call;
      EXPECT_EQ(s.dat, testsupport::FileExists(data + "Baugr.dat")) << r.name << ": " << call;
      EXPECT_EQ(s.cnv, testsupport::FileExists(data + "Baugr.cnv")) << r.name << ": " << call;
    }
    int64_t done = -1, total = -1;
    p.OrvaneGetStatus(&done, &total);
    EXPECT_EQ(8, total) << r.name;
    EXPECT_EQ(8, done) << r.name;
    p.OrvaneWriteSerNumb(4711);
    std::vector<std::string> record = plugin.Record();
    EXPECT_EQ("OrvanePath(" + data + ")", record[4]) << r.name;
    EXPECT_EQ("OrvaneWriteSerNumb(4711)", record.back()) << r.name;
  }
}

}  // namespace
}  // namespace tessaro
