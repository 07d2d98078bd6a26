#include "writers/palm/palm_module.h"

#include <fstream>
#include <system_error>

#include "core/app.h"
#include "core/registry.h"
#include "core/shellwrap.h"
#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "platform/text/codepages.h"
#include "platform/text/lines.h"
#include "platform/variant.h"
#include "reference/reference_tree.h"
#include "standins/palm/palm_desktop.h"

namespace pellary {

namespace fs = std::filesystem;
using platform::ByRef;

namespace {

int32_t standinShellExecute(intptr_t, const std::string& file, const std::string&, const std::string& parameters,
                            int32_t) {
  return standins::palm::recordToolStart(file, parameters, paths::appPath());
}

// One record of the table: its template, and the record numbers of its children.
struct TableRecord {
  int32_t templateID = 0;
  int16_t childCount = 0;
  std::vector<int32_t> children;
};

// One product's walk; element 0 of records is unused.
struct ProductTable {
  const RefProductRecord* product = nullptr;
  std::vector<TableRecord> records;
};

// A record line's fields: name and text are already Windows-1252 bytes.
struct TableRow {
  std::string name, text;
  std::vector<int32_t> children;
};

// The heading record of a table that holds several products.
constexpr const char* kTableTitle = "Mappa Reference Data";

std::string threeDigits(int32_t n) {
  std::string s = std::to_string(n);
  return s.size() < 3 ? std::string(3 - s.size(), '0') + s : s;
}

// The first line of a topic's text file; empty when there is none.
std::string topicText(const std::string& sourceFolder, int16_t product, int32_t templateID) {
  fs::path file =
      paths::resolve(sourceFolder + "\\" + std::to_string(product) + "_" + std::to_string(templateID) + ".txt");
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// The rows of one product's records, their numbers moved up by offset.
void appendRows(std::vector<TableRow>& rows, const ProductTable& table, int32_t offset,
                const std::string& sourceFolder) {
  const RefProductRecord& product = *table.product;
  for (size_t r = 1; r < table.records.size(); ++r) {
    const TableRecord& rec = table.records[r];
    const int32_t t = rec.templateID;
    TableRow row;
    // A line break in a name would forge a record of its own.
    row.name = platform::text::utf8ToCp1252(platform::text::oneLine(
        t >= 1 && t < static_cast<int32_t>(product.TopicNames.size()) ? product.TopicNames[static_cast<size_t>(t)]
                                                                      : ""));
    // Topic texts are already Windows-1252 bytes; names are converted.
    if (rec.childCount == 0) row.text = topicText(sourceFolder, product.ProductID, t);
    for (int32_t c : rec.children) row.children.push_back(c + offset);
    rows.push_back(std::move(row));
  }
}

// One product: its own records. Several with chosen topics: record 1 lists
// each product's root, whose records follow with their numbers moved past
// the ones before them.
std::vector<TableRow> tableRows(const std::vector<ProductTable>& tables, const std::string& sourceFolder) {
  std::vector<TableRow> rows;
  if (tables.size() == 1) {
    appendRows(rows, tables.front(), 0, sourceFolder);
    return rows;
  }
  rows.push_back(TableRow{kTableTitle, {}, {}});
  int32_t offset = 1;
  for (const ProductTable& table : tables) {
    rows.front().children.push_back(1 + offset);
    appendRows(rows, table, offset, sourceFolder);
    offset += static_cast<int32_t>(table.records.size()) - 1;
  }
  return rows;
}

// Record numbers are written as three digits run together, so a table holds
// at most kMostTableRecords. The walk numbers a record after its parent, so
// the records past the last number are whole subtrees: they go, and so do
// their numbers in the lists of the records kept. How many went is returned.
size_t keepToTableSize(std::vector<TableRow>& rows) {
  if (rows.size() <= size_t(kMostTableRecords)) return 0;
  const size_t dropped = rows.size() - size_t(kMostTableRecords);
  rows.resize(size_t(kMostTableRecords));
  for (TableRow& row : rows) std::erase_if(row.children, [](int32_t c) { return c > kMostTableRecords; });
  return dropped;
}

std::string tableText(const std::vector<TableRow>& rows) {
  const std::string crlf = "\r\n";
  std::string out = "#CDBID: CASL" + crlf + "#MAJREV: 2" + crlf + "#MINREV: 0" + crlf + "#FLDCNT: 5" + crlf +
                    "#RECCNT: " + std::to_string(rows.size()) + crlf + "#SYNCMODE: PC_to_PDA" + crlf;
  for (int n = 1; n <= 5; ++n)
    out += "#FLDNUM:" + std::to_string(n) + (n == 2 ? " TYPE:N SIZE:0" : " TYPE:S SIZE:0") + crlf;
  for (size_t r = 0; r < rows.size(); ++r) {
    const TableRow& row = rows[r];
    std::string kids;
    for (int32_t c : row.children) kids += threeDigits(c);
    if (r > 0) out += crlf;
    out += "0x00000000,0x0000,\"" + threeDigits(static_cast<int32_t>(r + 1)) + "\"," +
           std::to_string(row.children.size()) + ",\"" + kids + "\",\"" + row.name + "\",\"" + row.text + "\"";
  }
  return out;
}

struct OwnControls {
  std::shared_ptr<platform::Dispatch> userData, hotSyncApi;
};
OwnControls& ownControls() {
  static OwnControls c;
  return c;
}

std::optional<PalmRefPage> palmRefPage() { return loadedPalmRefPage() ? loadedPalmRefPage()() : std::nullopt; }

}  // namespace

std::function<std::optional<PalmRefPage>()>& loadedPalmRefPage() {
  static std::function<std::optional<PalmRefPage>()> page;
  return page;
}

std::shared_ptr<platform::Dispatch> palmRefUserData() {
  if (auto p = palmRefPage(); p && p->userData) return p->userData;
  auto& c = ownControls();
  if (!c.userData) c.userData = createPalmControl(standins::palm::kUserDataClass);
  return c.userData;
}

std::shared_ptr<platform::Dispatch> palmRefHotSyncApi() {
  if (auto p = palmRefPage(); p && p->hotSyncApi) return p->hotSyncApi;
  auto& c = ownControls();
  if (!c.hotSyncApi) c.hotSyncApi = createPalmControl(standins::palm::kHotSyncApiClass);
  return c.hotSyncApi;
}

intptr_t palmRefWindow() {
  auto p = palmRefPage();
  return p ? p->window : 0;
}

PalmModuleState& Bpm() {
  static PalmModuleState state;
  return state;
}

void resetPalmModule() { Bpm() = PalmModuleState{}; }

int32_t& Bpm_PalmUserID() { return Bpm().Bpm_PalmUserID; }

void Bpm_GetUserIDFromRegistry() {
  trapped("Bpm_GetUserIDFromRegistry", [] {
    std::string value = Breg_GetRegSetting("User", "PalmUserID");
    Bpm_PalmUserID() = value.empty() ? 0 : Variant(value).toLong();
  });
}

void Bpm_SavePalmUserID() { Breg_WriteRegSettings("User", "PalmUserID", std::to_string(Bpm_PalmUserID())); }

std::string Bpm_GetHotSyncDir() {
  std::string path = Breg_ReadFromRegistry(HKEY_CURRENT_USER, standins::palm::kCoreKey, "HotSyncPath", "");
  // Either separator ends the folder: the stored path is a path of this system.
  size_t cut = path.find_last_of("\\/");
  if (cut == std::string::npos) raise(err::SubscriptOutOfRange);
  return path.substr(0, cut + 1);
}

std::string Bpm_GetDesktopPath() {
  return Breg_ReadFromRegistry(HKEY_CURRENT_USER, standins::palm::kCoreKey, "Path", "");
}

std::string Bpm_GetUserName(int32_t userID) {
  auto control = palmRefUserData();
  Variant id = userID;
  // A user the control does not know must not leave the previous user's
  // folder in place.
  if (control->call(14, {ByRef(id)}).toLong() != 0) return {};
  return control->call(2).toString();
}

void Bpm_enQueue(int32_t a, int32_t b) {
  trapped("Bpm_enQueue", [&] {
    PalmModuleState& s = Bpm();
    if (s.queueCount == INT16_MAX) raise(err::Overflow);
    s.queue.emplace_back(a, b);
    ++s.queueCount;
  });
}

void Bpm_deQueue() {
  trapped("Bpm_deQueue", [] {
    PalmModuleState& s = Bpm();
    if (s.queueRead < 0 || s.queueRead >= s.queueCount) raise(err::SubscriptOutOfRange);
    s.currentPair = s.queue[static_cast<size_t>(s.queueRead)];
    ++s.queueRead;
  });
}

void Bpm_OutputPalmReference(const std::string& sourceFolder, int32_t rootTemplateID) {
  trapped("Bpm_OutputPalmReference", [&] {
    const auto& products = Bhtm().Bhtm_RefProducts;
    std::vector<ProductTable> tables;
    for (const RefProductRecord& product : products) {
      // The spare record at the end of the tree is no product.
      if (product.ProductID == 0) continue;
      PalmModuleState& s = Bpm();
      s.queue.clear();
      s.queueCount = 0;
      s.queueRead = 0;

      std::vector<TableRecord> records(2);  // element 0 unused
      records[1].templateID = rootTemplateID;
      s.currentPair = {rootTemplateID, 1};
      while (true) {
        auto [templateID, recordNo] = s.currentPair;
        if (templateID >= 1 && templateID <= product.parentUpperBound()) {
          const RefParentNode& node = product.ParentNodes[static_cast<size_t>(templateID)];
          for (int32_t k = 1; k <= node.childCount(); ++k) {
            int32_t child = node.ChildIDs[static_cast<size_t>(k)];
            if (!product.selected(child)) continue;
            int32_t number = static_cast<int32_t>(records.size());
            if (number > INT16_MAX) raise(err::Overflow);
            records.push_back(TableRecord{child, 0, {}});
            TableRecord& parent = records[static_cast<size_t>(recordNo)];
            ++parent.childCount;
            parent.children.push_back(number);
            Bpm_enQueue(child, number);
          }
        }
        if (s.queueRead >= s.queueCount) break;
        Bpm_deQueue();
      }
      // The device keeps one table: every product with chosen topics goes
      // into it; a lone product goes in whatever it holds.
      if (records.size() > 2 || products.size() == 2) tables.push_back(ProductTable{&product, std::move(records)});
    }
    if (products.size() < 2) return;

    fs::path palmFolder = paths::inProgramFolder("\\Palm");
    fs::create_directories(palmFolder);
    fs::path table = palmFolder / "KestOrry.cdi";
    if (fs::path old = paths::findCaseInsensitive(palmFolder, "KestOrry.cdi"); !old.empty()) fs::remove(old);
    {
      std::ofstream out(table, std::ios::binary | std::ios::trunc);
      std::vector<TableRow> rows = tableRows(tables, sourceFolder);
      if (size_t dropped = keepToTableSize(rows))
        MsgBox("The Palm reference table holds at most " + std::to_string(kMostTableRecords) +
                   " topics: " + std::to_string(dropped) +
                   " of the topics chosen were left out of it. Choose fewer reference "
                   "topics to have all of them on the handheld.",
               mb::Exclamation, appTitle());
      out << tableText(rows);
      out.flush();
      if (!out) raise(err::PathFileAccess);
    }

    std::string desktop = Bpm_GetDesktopPath();
    std::string user = Bpm_GetUserName(Bpm_PalmUserID());
    // Without a desktop folder or a user the target would be the root of
    // the file system.
    if (desktop.empty() || user.empty()) raise(err::PathNotFound);
    fs::path target = paths::resolve(desktop + "\\" + user + "\\Brackwater\\Mappa");
    fs::create_directories(target);
    fs::copy_file(table, target / "KestOrry.cdi", fs::copy_options::overwrite_existing);
  });
}

void Bpm_PalmReferenceHandler() { Bpm_OutputPalmReference(paths::appPath() + "\\Reference\\Palm", 1); }

static int32_t shellStart(intptr_t window, const std::string& file, const std::string& parameters, int32_t show) {
  auto& hook = Bpm().shellExecute;
  return hook ? hook(window, file, "open", parameters, show)
              : standinShellExecute(window, file, "open", parameters, show);
}

void Bpm_RegisterRefConduit() {
  trapped("Bpm_RegisterRefConduit", [] {
    std::string p = Breg_ReturnShortPathName(paths::appPath());
    const std::string q = "\"";
    shellStart(palmRefWindow(), p + "\\Palm\\condreg.exe",
               p + "\\Palm -AppName " + q + "Mappa" + q + " -CreatorID Orry -Directory " + q + "Brackwater\\Mappa" + q,
               0);
  });
}

void Bpm_RestartHotsync() {
  trapped("Bpm_RestartHotsync", [] {
    auto api = palmRefHotSyncApi();
    if (api->call(16).toLong() != 0) return;
    Variant started = false;
    if (api->call(15, {ByRef(started)}).toLong() != 0) return;
    if (started.toBool()) return;
    shellStart(0, paths::appPath() + "\\Palm\\RestartHS.exe", "", 1);
  });
}

void Bpm_InstallRefViewer(int32_t userID) {
  auto control = palmRefUserData();
  Variant id = userID;
  int32_t status = control->call(14, {ByRef(id)}).toLong();
  if (status != 0) throw AppError(status, "Bpm_InstallRefViewer");
  status = control->call(6, {paths::appPath() + "\\Palm\\Orrery.prc"}).toLong();
  if (status != 0 && status != standins::palm::status::AlreadyQueued) throw AppError(status, "Bpm_InstallRefViewer");
}

std::shared_ptr<platform::Dispatch> createPalmControl(const std::string& className) {
  try {
    return platform::automation::createObject(className);
  } catch (const AppError& e) {
    if (e.number() != platform::automation::errors::CannotCreateObject) throw;
  }
  standins::palm::registerPalmControls();
  return platform::automation::createObject(className);
}

}  // namespace pellary
