#include "tools/install.h"
#include "tools/help_pages.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/registry.h"
#include "core/schema.h"
#include "core/shellwrap.h"
#include "platform/automation/class_registry.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/process/process.h"
#include "standins/handheld/handheld.h"
#include "standins/palm/palm_desktop.h"
#include "standins/psiwin/psiwin_engine.h"

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

// An empty Series 3 agenda: the database header, whose last word is the
// offset of the first record, and no records. A file already there is kept.
void writeEmptySeries3Agenda(const fs::path& file) {
  if (file.empty() || fs::exists(file)) return;
  fs::create_directories(file.parent_path());
  std::string header("OPLDatabaseFile", 15);
  header += '\0';
  header += std::string("\x0F\x10\x14\x00", 4);  // version, then the 20 header bytes
  std::ofstream(file, std::ios::binary) << header;
}

// The selection screen's other-products tab shows this page.
void writeProductsPage(const fs::path& products) {
  fs::create_directories(products);
  writeTextIfMissing(products / "index.htm",
                     "<html><head><title>Other products</title></head><body>\n"
                     "<h1>Other products</h1>\n"
                     "<p>More dates and reference guides for Pellary Almoner come with the Internet "
                     "update service.</p>\n</body></html>\n");
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
  for (const char* sub :
       {"CUE", "Updates", "Reference", "Products", "PCMappa", "Reference/HPC/Output", "Reference/PPC/Output", "Palm"}) {
    fs::path p = paths::resolve(home, sub);
    if (!fs::exists(p)) fs::create_directories(p);
  }
  writeHelpPages(paths::resolve(home, "Help"));
  writeProductsPage(paths::resolve(home, "Products"));
  // The portal shows this page while an update run starts.
  writeTextIfMissing(paths::resolve(home, "cueinit.htm"),
                     "<html><head><title>Pellary Almoner update</title></head><body>\n"
                     "<h1>Pellary Almoner update</h1>\n"
                     "<p>The update is starting: contacting the update service. Please wait...</p>\n"
                     "</body></html>\n");

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

  // A Palm target needs a HotSync user on the desktop that stands in for Palm
  // Desktop, and the viewer package the reference page installs.
  int datesPlat = std::atoi(Breg_GetRegSetting("Support", "DatesPlat").c_str());
  int refPlat2 = std::atoi(Breg_GetRegSetting("Support", "RefPlat2").c_str());
  if (datesPlat == 12 || refPlat2 == 2) {
    standins::palm::installDesktop();
    if (standins::palm::users().empty()) standins::palm::addUser("Demo User");
    writeTextIfMissing(paths::resolve(home, "Palm\\Orrery.prc"), "Mappa viewer package for the handheld\n");
    result.notes.push_back("Palm Desktop stand-in with a HotSync user");
  }

  // A Psion target (either agenda, or the reference section on a Psion)
  // needs PsiWin 2.2 and the handheld: one folder that PsiWin, the file and
  // folder dialogs and the reference copier all reach. Each agenda target
  // finds an empty agenda there; an agenda already on the device is kept.
  const bool series3Dates = datesPlat == 1, series5Dates = datesPlat == 15 || datesPlat == 16;
  const bool psionReference = refPlat2 == 16 || refPlat2 == 32 || refPlat2 == 64 || refPlat2 == 128 || refPlat2 == 256;
  if (series3Dates || series5Dates || psionReference) {
    standins::psiwin::installPsiWin(true);
    if (standins::handheld::driveFolder('C').empty()) standins::handheld::addDrive('C', "Internal");
    // The Series 3 reference section lives on its internal drive M.
    if (refPlat2 == 32 && standins::handheld::driveFolder('M').empty()) standins::handheld::addDrive('M', "Internal");
    if (series5Dates && !fs::exists(standins::psiwin::devicePath(kSeries5DemoAgenda)))
      standins::psiwin::createAgendaFile(kSeries5DemoAgenda);
    if (series3Dates) writeEmptySeries3Agenda(standins::psiwin::devicePath(kSeries3DemoAgenda));
    std::string note = "PsiWin stand-in and the handheld " + standins::handheld::deviceFolder().string();
    if (series5Dates) note += std::string(" with an empty agenda ") + kSeries5DemoAgenda;
    if (series3Dates) note += std::string(" with an empty agenda ") + kSeries3DemoAgenda;
    result.notes.push_back(note);
  }

  // The reference sources the page generator reads; files already there are kept.
  fs::path sources = (options.dataFolder.empty() ? defaultDataFolder() : options.dataFolder) / "Reference";
  if (fs::is_directory(sources)) {
    fs::copy(sources, paths::resolve(home, "Reference"), fs::copy_options::recursive | fs::copy_options::skip_existing);
    result.notes.push_back("reference sources in " + paths::resolve(home, "Reference").string());
  }
  // The viewer's files that the Psion reference page puts on a device
  // ("psion5", "Psion3" of the program folder); files already there are kept.
  fs::path viewers = (options.dataFolder.empty() ? defaultDataFolder() : options.dataFolder) / "Viewers";
  if (fs::is_directory(viewers)) {
    fs::copy(viewers, home, fs::copy_options::recursive | fs::copy_options::skip_existing);
    result.notes.push_back("viewer files in " + home.string());
  }

  // Components are created by class name, so their classes must be registered.
  for (const fs::path& module : options.components.empty() ? defaultComponents() : options.components) {
    if (!fs::exists(module)) {
      result.notes.push_back("component not found: " + module.string());
      continue;
    }
    platform::automation::registerServer(module);
    result.notes.push_back("registered " + module.string());
  }

  if (options.demo) {
    fs::path data = options.dataFolder.empty() ? defaultDataFolder() : options.dataFolder;
    fs::path hushbank = options.hushbank.empty() ? defaultHushbankProgram() : options.hushbank;
    result.demoLoaded = loadDemoDataSet(data, hushbank, result.notes);
  }
  return result;
}

std::vector<fs::path> defaultComponents() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  fs::path lib = ec ? fs::path("lib") : self.parent_path().parent_path() / "lib";
  return {lib / "libquoll.so", lib / "libbrindle.so"};
}

fs::path defaultHushbankProgram() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return "hushbank";
  return self.parent_path() / "hushbank";
}

namespace {

// The ProductID of a product file: its second value.
std::optional<int> productIdOf(const fs::path& productFile) {
  std::ifstream in(productFile, std::ios::binary);
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  std::stringstream fields(line);
  std::string first, second;
  if (!std::getline(fields, first, ',') || !std::getline(fields, second, ',')) return std::nullopt;
  try {
    return std::stoi(second);
  } catch (...) {
    return std::nullopt;
  }
}

bool runHushbank(const fs::path& program, std::vector<std::string>& notes) {
  // Unattended: an error goes to standard error and the log, never to a dialog.
  const char* old = std::getenv("PELLARY_UNATTENDED");
  std::string kept = old ? old : "";
  setenv("PELLARY_UNATTENDED", "1", 1);
  uint32_t r = platform::process::runAndWait(program.string(), {"silent"}, platform::process::kHide, 600000);
  if (old)
    setenv("PELLARY_UNATTENDED", kept.c_str(), 1);
  else
    unsetenv("PELLARY_UNATTENDED");
  if (r != platform::process::kWaitEnded) {
    notes.push_back("could not run " + program.string());
    return false;
  }
  return true;
}

// The demo files still waiting in "CUE" after a run.
std::vector<std::string> leftOver(const fs::path& cue, const std::vector<std::string>& names) {
  std::vector<std::string> out;
  for (const std::string& n : names)
    if (!paths::findCaseInsensitive(cue, n).empty()) out.push_back(n);
  return out;
}

}  // namespace

void addInstalledProducts(const std::vector<int>& productIds) {
  int high = 0;
  try {
    high = std::max(0, std::stoi(Breg_GetRegSetting("Support", "HighNodeCount")));
  } catch (...) {
  }
  for (int id : productIds) {
    const std::string text = std::to_string(id);
    bool named = false;
    for (int i = 0; i <= high && !named; ++i) named = Breg_GetRegSetting("Support", "Node" + std::to_string(i)) == text;
    if (named) continue;
    int slot = 2;  // Node0 and Node1 belong to the partner editions
    while (!Breg_GetRegSetting("Support", "Node" + std::to_string(slot)).empty()) ++slot;
    Breg_WriteRegSettings("Support", "Node" + std::to_string(slot), text);
    high = std::max(high, slot);
  }
  Breg_WriteRegSettings("Support", "HighNodeCount", std::to_string(high));
}

bool loadDemoDataSet(const fs::path& data, const fs::path& hushbank, std::vector<std::string>& notes) {
  fs::path cue = data / "CUE";
  if (!fs::is_directory(cue)) {
    notes.push_back("no demo data set at " + cue.string());
    return false;
  }
  fs::path home = paths::programFolder();
  fs::path target = paths::resolve(home, "CUE");
  fs::create_directories(target);

  std::vector<std::string> names;
  std::vector<fs::path> products;
  for (const auto& entry : fs::directory_iterator(cue)) {
    if (!entry.is_regular_file()) continue;
    names.push_back(entry.path().filename().string());
    fs::copy_file(entry.path(), target / entry.path().filename(), fs::copy_options::overwrite_existing);
    if (paths::equalsIgnoreCase(entry.path().filename().string(), "Product.cue")) products.push_back(entry.path());
  }
  notes.push_back("copied the demo data set into " + target.string());
  if (!runHushbank(hushbank, notes)) return false;
  if (std::vector<std::string> left = leftOver(target, names); !left.empty()) {
    notes.push_back("Hushbank did not load " + left.front() + " (see LY98ERR.log); it stays in " + target.string());
    return false;
  }

  // Further products: Hushbank adds one product per run.
  std::vector<fs::path> more;
  if (fs::is_directory(data / "products"))
    for (const auto& entry : fs::directory_iterator(data / "products"))
      if (entry.is_regular_file()) more.push_back(entry.path());
  std::sort(more.begin(), more.end());
  for (const fs::path& p : more) {
    fs::copy_file(p, target / "Product.cue", fs::copy_options::overwrite_existing);
    if (!runHushbank(hushbank, notes)) return false;
    if (!leftOver(target, {"Product.cue"}).empty()) {
      notes.push_back("Hushbank did not load " + p.filename().string() + " (see LY98ERR.log)");
      return false;
    }
    products.push_back(p);
  }

  std::vector<int> ids;
  for (const fs::path& p : products)
    if (std::optional<int> id = productIdOf(p)) ids.push_back(*id);
  addInstalledProducts(ids);
  notes.push_back("loaded the demo data set: " + std::to_string(ids.size()) + " products");
  return true;
}

}  // namespace pellary::install
