#include "tools/install.h"

#include <cstdlib>
#include <fstream>

#include "core/registry.h"
#include "core/schema.h"
#include "core/shellwrap.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "platform/paths.h"

#ifndef PELLARY_SOURCE_DIR
#define PELLARY_SOURCE_DIR "."
#endif

namespace pellary::install {

namespace fs = std::filesystem;

std::pair<std::string, std::string> calendarPlatformNames(int code) {
  switch (code) {
    case 1: return {"Psion Series 3 Agenda", "Series 3"};
    case 3: return {"Microsoft Outlook", "Outlook"};
    case 4: return {"Day-Timer Organizer", "Day-Timer"};
    case 6: return {"Lotus Organizer", "Organizer"};
    case 9: return {"Lotus Notes", "Notes"};
    case 12: return {"Palm Desktop Date Book", "Palm"};
    case 15:
    case 16: return {"Psion Series 5 Agenda", "Series 5"};
    default: return {"None", "None"};
  }
}

std::pair<std::string, std::string> referencePlatformNames(int code) {
  switch (code) {
    case 1: return {"PC reference pages", "PC"};
    case 2: return {"Palm handheld", "Palm"};
    case 4: return {"Windows CE Handheld PC", "Handheld PC"};
    case 8: return {"Windows CE Palm-size PC", "Palm-size PC"};
    case 32: return {"Psion Series 3", "Series 3"};
    case 16:
    case 64:
    case 128:
    case 256: return {"Psion Series 5", "Series 5"};
    default: return {"None", "None"};
  }
}

fs::path defaultDataFolder() {
  if (const char* d = std::getenv("PELLARY_DATA"); d && *d) return d;
  return fs::path(PELLARY_SOURCE_DIR) / "data";
}

namespace {

void setIfMissing(const char* section, const char* name, const std::string& value) {
  if (Breg_GetRegSetting(section, name).empty()) Breg_WriteRegSettings(section, name, value);
}

void writeTextIfMissing(const fs::path& p, const std::string& text) {
  if (fs::exists(p)) return;
  std::ofstream out(p, std::ios::binary);
  out << text;
}

void writeHelpPages(const fs::path& help) {
  fs::create_directories(help);
  writeTextIfMissing(help / "index.htm",
                     "<html><head><title>Pellary Almoner Help</title></head><body>\n"
                     "<h1>Pellary Almoner Help</h1>\n"
                     "<p>Pellary Almoner writes the dates of the events you choose into your calendar "
                     "and the reference pages you choose onto your PC or handheld.</p>\n"
                     "<p>Choose categories on the selection screen, check the summary, then let the "
                     "wizard write them to your calendar.</p>\n</body></html>\n");
  writeTextIfMissing(help / "search.htm",
                     "<html><head><title>Search the Help</title></head><body>\n"
                     "<h1>Search the Help</h1><p>Use your browser's find command on the "
                     "<a href=\"index.htm\">contents page</a>.</p>\n</body></html>\n");
}

void writePlatform(const char* key, int code, const std::pair<std::string, std::string>& names) {
  std::string k = key;
  Breg_WriteRegSettings("Support", k, std::to_string(code));
  Breg_WriteRegSettings("Support", k + "Name", names.first);
  Breg_WriteRegSettings("Support", k + "ShortName", names.second);
}

}  // namespace

Result installProgramFolder(const Options& options) {
  Result result;
  fs::path home = paths::programFolder();
  fs::create_directories(home);
  for (const char* sub : {"CUE", "Updates", "Reference", "Products"}) {
    fs::path p = paths::resolve(home, sub);
    if (!fs::exists(p)) fs::create_directories(p);
  }
  writeHelpPages(paths::resolve(home, "Help"));

  // The databank: created empty with its schema, never replaced.
  setIfMissing("Support", "Name", kDatabankName);
  fs::path db = paths::resolve(home, Breg_GetRegSetting("Support", "Name"));
  if (!fs::exists(db)) {
    dao::Database created = dao::Database::create(db.string());
    createDatabankSchema(created);
    created.close();
    result.createdDatabank = true;
    result.notes.push_back("created databank " + db.string());
  }

  // Targets: Outlook and PC pages unless told otherwise; the stand-ins of both
  // write files a Linux user can open.
  if (options.datesPlat || Breg_GetRegSetting("Support", "DatesPlat").empty()) {
    int code = options.datesPlat.value_or(3);
    writePlatform("DatesPlat", code, calendarPlatformNames(code));
  }
  if (options.refPlat1 || Breg_GetRegSetting("Support", "RefPlat1").empty()) {
    int code = options.refPlat1.value_or(1);
    writePlatform("RefPlat1", code, referencePlatformNames(code));
  }
  if (options.refPlat2) writePlatform("RefPlat2", *options.refPlat2, referencePlatformNames(*options.refPlat2));

  setIfMissing("Support", "HighNodeCount", "0");
  setIfMissing("User", "FirstRun", "True");
  setIfMissing("User", "ShowTips", "True");
  setIfMissing("Settings", "Ref1", "on");
  setIfMissing("Settings", "Ref2", "off");
  setIfMissing("CUE", "CUEVersion", "1.0");
  setIfMissing("CUE", "AlmoVersion", "1.0");
  setIfMissing("AutoCUE", "Recommended", "04001");
  setIfMissing("Comms", "CommTool", "1");
  result.notes.push_back("program folder " + home.string());

  if (options.demo) {
    fs::path data = options.dataFolder.empty() ? defaultDataFolder() : options.dataFolder;
    fs::path cue = data / "CUE";
    if (!fs::is_directory(cue)) {
      result.notes.push_back("no demo data set at " + cue.string());
    } else {
      fs::path target = paths::resolve(home, "CUE");
      for (const auto& entry : fs::directory_iterator(cue))
        if (entry.is_regular_file())
          fs::copy_file(entry.path(), target / entry.path().filename(), fs::copy_options::overwrite_existing);
      result.notes.push_back("copied the demo data set into " + target.string());
    }
  }
  return result;
}

}  // namespace pellary::install
