#include "core/trees.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "core/databank.h"
#include "core/field_values.h"
#include "core/products.h"
#include "core/profile_lists.h"
#include "core/screen_link.h"
#include "core/tree_keys.h"
#include "core/tree_view.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "platform/text/collation.h"

namespace pellary {

namespace {

// Names sort as a reader expects: accents beside their base letters, case ignored.
const std::string kByName = std::string(" COLLATE ") + platform::text::kNameCollation;

// Adds a node unless its key is taken (categories of two products that share
// numbers on one tab) or its parent is missing (an orphan row); the first row
// of a key wins. True when the node was added.
bool addOnce(TreeView& tree, const std::string& parent, const std::string& key, const std::string& text,
             const std::string& image = {}) {
  if (tree.exists(key)) return false;
  if (!parent.empty() && !tree.exists(parent)) return false;
  tree.add(parent, parent.empty() ? TreeRelation::Last : TreeRelation::Child, key, text, image);
  return true;
}

// A chosen entry goes directly after its tab's heading, so the newest stands
// first; without a heading it is appended as a root rather than lost.
void addChosen(TreeView& tree, const std::string& heading, const std::string& key, const std::string& text) {
  if (tree.exists(key)) return;
  if (tree.exists(heading))
    tree.add(heading, TreeRelation::Next, key, text, kChosenImage);
  else
    tree.add({}, TreeRelation::Last, key, text, kChosenImage);
}

bool fitsTertiary(int32_t pid, int32_t sid, int32_t tid, int32_t catID, int32_t settings) {
  return fitsWidth(pid, 3) && fitsWidth(sid, 3) && fitsWidth(tid, 3) && fitsWidth(catID, 5) && fitsWidth(settings, 5);
}

std::unordered_set<int32_t>& shownCategories() { return treeSetup().shownCategories; }

// Chosen categories no tree shows (their product is not installed, or their
// primary or secondary row is missing) stay in the profile; a heading says so.
void noteKeptCategories() {
  int kept = 0;
  const ProfileLists& lists = Bsda();
  for (int32_t i = 1; i < lists.Bsda_ProfileCatNext && size_t(i) < lists.Bsda_ProfileCatList.size(); ++i) {
    const ProfileCatRecord& r = lists.Bsda_ProfileCatList[size_t(i)];
    if (r.Status != 0 && !shownCategories().count(r.CatID)) ++kept;
  }
  if (kept == 0) return;
  Bset().Bset_NoProfileCats = false;
  TreeView* chosen = screenLink().tvSelectedItems;
  if (!chosen) return;
  const std::string text = kept == 1 ? "1 stored choice not shown here is kept"
                                     : std::to_string(kept) + " stored choices not shown here are kept";
  if (chosen->exists(kKeptItemsKey)) chosen->remove(kKeptItemsKey);
  chosen->add({}, TreeRelation::Last, kKeptItemsKey, text);
  chosen->setBold(kKeptItemsKey, true);
}

void fillCategories(int entry) {
  const ProductSetup& s = Bset();
  int tab = s.Bset_Viewers[entry] == 2 ? s.Bset_GenDatesEntry : entry;
  TreeView* tree = screenLink().categorySelector(tab);
  if (!tree) return;
  TreeView* chosen = screenLink().tvSelectedItems;
  const std::string product = std::to_string(s.Bset_ProductID[entry]);
  const std::string heading = headingKey(s.Bset_ProgProductID[tab]);
  dao::Database& db = Bsql_DataBank();

  dao::Recordset primary = db.openRecordset("SELECT * FROM Primary WHERE (Status = 1) AND (ProductID = " + product +
                                            ") ORDER BY  PrimaryName" + kByName + " ASC");
  for (; !primary.eof(); primary.moveNext())
    addOnce(*tree, {}, primaryKey(longOf(primary["PID"])), textOf(primary["PrimaryName"]));
  primary.close();

  dao::Recordset secondary =
      db.openRecordset(std::string("SELECT * FROM Secondary INNER JOIN Primary ON Secondary.PID = Primary.PID ") +
                       "WHERE (Secondary.Status = 1) AND (Secondary.ProductID = " + product +
                       ") ORDER BY SecondaryName" + kByName + " ASC");
  for (; !secondary.eof(); secondary.moveNext()) {
    int32_t pid = longOf(secondary["Primary.PID"]);
    addOnce(*tree, primaryKey(pid), secondaryKey(pid, longOf(secondary["SID"])), textOf(secondary["SecondaryName"]));
  }
  secondary.close();

  dao::Recordset tertiary = db.openRecordset(
      std::string("SELECT * FROM Tertiary INNER JOIN Primary ON Tertiary.PID = Primary.PID WHERE ") +
      "(Tertiary.Status = 1) AND (Tertiary.ProductID = " + product + ") ORDER BY TertiaryName" + kByName + " ASC");
  for (; !tertiary.eof(); tertiary.moveNext()) {
    int32_t pid = longOf(tertiary["Primary.PID"]), sid = longOf(tertiary["SID"]), tid = longOf(tertiary["TID"]);
    int32_t catID = longOf(tertiary["CatID"]), settings = shortOf(tertiary["CatSettings"]);
    // A number wider than its place would move the CatID out of its
    // characters, and the key would name another category.
    if (!fitsTertiary(pid, sid, tid, catID, settings)) continue;
    std::string parent = secondaryKey(pid, sid);
    std::string key = tertiaryKey(pid, sid, tid, catID, settings);
    std::string name = textOf(tertiary["TertiaryName"]);
    if (!addOnce(*tree, parent, key, name, kFileIconImage)) continue;

    const int32_t pos = catPosition(catID);
    if (pos == 0 || Bsda().Bsda_ProfileCatList[pos].Status == 0) continue;
    shownCategories().insert(catID);
    tree->setForeColor(key, kColorGrayText);
    Bset().Bset_NoProfileCats = false;
    if (!chosen) continue;
    std::string grand = tree->parentKey(parent);
    std::string text = name + ", " + tree->text(parent) + ", " + (grand.empty() ? std::string() : tree->text(grand));
    addChosen(*chosen, heading, chosenCategoryKey(tab, key), text);
  }
  tertiary.close();
}

// The template numbers on the path of a topic key ("R001002" holds 1 and 2).
bool onPath(const std::string& key, int32_t templateID) {
  for (size_t i = 1; i + 3 <= key.size(); i += 3)
    if (valOf(std::string_view(key).substr(i, 3)) == templateID) return true;
  return false;
}

// The product whose topics a tab shows; template numbers are per product,
// so every query and lookup names it.
std::string tabProduct(int16_t tab) {
  return std::to_string(tab >= 0 && tab < kMaxProducts ? Bset().Bset_ProductID[size_t(tab)] : 0);
}

// Adds the children of one template; a child without a template row, one
// whose number does not fit its three digits, or one already on the path
// (a cycle in the structure) is passed over with its subtree.
void addChildren(TreeView& tree, const TemplateNames& templates, int16_t tab, const std::string& parentKey,
                 int16_t level, int32_t parentTemplate) {
  std::vector<std::pair<std::string, int32_t>> added;
  const std::string product = tabProduct(tab);
  dao::Recordset links =
      Bsql_DataBank().openRecordset("SELECT * FROM REStructure WHERE Status <> 0 AND Product_Id = " + product +
                                    " AND ParentTemplate_Id = " + std::to_string(parentTemplate));
  for (; !links.eof(); links.moveNext()) {
    int32_t child = longOf(links["ChildTemplate_Id"]);
    if (!fitsWidth(child, 3) || child == parentTemplate || onPath(parentKey, child)) continue;
    // A retired template is no topic to offer.
    const auto name = templates.find(child);
    if (name == templates.end()) continue;
    std::string key = topicKey(parentKey, child);
    if (!addOnce(tree, parentKey, key, name->second)) continue;
    added.emplace_back(key, child);
  }
  links.close();
  for (const auto& [key, child] : added) Bset_RefTreeRecursive(tab, key, static_cast<int16_t>(level + 1), child);
}

// The names of a product's live templates, read in one query: the tree asks
// for one per topic, and other products' templates never enter the search.
TemplateNames templateNames(int16_t tab) {
  TemplateNames names;
  dao::Recordset rs = Bsql_DataBank().openRecordset(
      "SELECT Template_Id, Name FROM RETemplate WHERE Status <> 0 AND Product_Id = " + tabProduct(tab));
  for (; !rs.eof(); rs.moveNext()) names.emplace(longOf(rs["Template_Id"]), textOf(rs["Name"]));
  rs.close();
  return names;
}

}  // namespace

TreeSetupState& treeSetup() {
  static TreeSetupState state;
  return state;
}

void resetTreeSetup() { treeSetup() = TreeSetupState{}; }

void Bset_CategoryLists() {
  trapped("Bset_CategoryLists", [] {
    Bset().Bset_NoProfileCats = true;
    int count = Bset().Bset_ProductCount;
    if (count > kMaxProducts) count = kMaxProducts;
    shownCategories().clear();
    // The last entry is the other-products page, whose tab shows no trees:
    // loading it would show a product numbered 1 a second time.
    for (int e = 0; e < count; ++e)
      if (!(e == count - 1 && Bset().Bset_ProgProductID[e] == 1)) fillCategories(e);
    noteKeptCategories();
  });
}

void Bset_RefTreeRecursive(int16_t tab, const std::string& parentKey, int16_t level, int32_t parentTemplate) {
  trapped("Bset_RefTreeRecursive", [&] {
    TreeView* tree = screenLink().referenceSelector(tab);
    if (!tree) return;
    // Called on its own (not from the setup), it reads the templates for itself.
    const std::optional<TemplateNames>& names = treeSetup().templates;
    if (names) {
      addChildren(*tree, *names, tab, parentKey, level, parentTemplate);
      return;
    }
    addChildren(*tree, templateNames(tab), tab, parentKey, level, parentTemplate);
  });
}

namespace {

// Fills one tab's reference selector and its chosen topics from the loaded structure.
void fillReferenceTab(int16_t tab, int32_t rootTemplate, int16_t level) {
  TreeView* tree = screenLink().referenceSelector(tab);
  if (!tree) return;
  struct ForgetTemplates {
    ~ForgetTemplates() { treeSetup().templates.reset(); }
  } forgetTemplates;
  std::optional<TemplateNames>& templates = treeSetup().templates;
  templates = templateNames(tab);
  addChildren(*tree, *templates, tab, {}, level, rootTemplate);

  // The profile's chosen topics of this tab's product, read once rather than
  // filtered per leaf.
  const int32_t product = tab >= 0 && tab < kMaxProducts ? Bset().Bset_ProductID[size_t(tab)] : 0;
  std::unordered_set<int32_t> chosenRefs;
  dao::Recordset& refs = Bset().Bset_rsProfileRefList;
  if (refs.isOpen() && refs.recordCount() != 0) {
    for (refs.moveFirst(); !refs.eof(); refs.moveNext())
      if (shortOf(refs["Status"]) != 0 && longOf(refs["Product_Id"]) == product)
        chosenRefs.insert(longOf(refs["RefID"]));
    refs.moveFirst();
  }
  TreeView* chosen = screenLink().tvReferenceSelected;
  const std::string heading = headingKey(tab >= 0 && tab < kMaxProducts ? Bset().Bset_ProgProductID[size_t(tab)] : 0);
  for (const std::string& key : tree->keys()) {
    if (tree->childCount(key) != 0) continue;
    tree->setImage(key, kFileIconImage);
    int32_t refID = valOf(std::string_view(key).substr(key.size() - 3));
    if (!chosenRefs.count(refID)) continue;
    tree->setForeColor(key, kColorGrayText);
    if (!chosen) continue;
    std::string text = tree->text(key);
    for (std::string cur = key; cur.size() >= 5;) {
      cur = tree->parentKey(cur);
      if (cur.empty()) break;
      text += ", " + tree->text(cur);
    }
    addChosen(*chosen, heading, chosenTopicKey(tab, key), text);
  }
}

}  // namespace

void Bset_SetupReferenceTree(int16_t tab, int32_t rootTemplate, int16_t level) {
  trapped("Bset_SetupReferenceTree", [&] {
    screenLink().loadReferenceStructure();
    fillReferenceTab(tab, rootTemplate, level);
  });
}

void Bset_SetupReferenceTrees() {
  trapped("Bset_SetupReferenceTree", [&] {
    screenLink().loadReferenceStructure();
    const ProductSetup& s = Bset();
    // Installed products come first in the product table; a tab's index is
    // the product's installed position, which the topic keys carry.
    const int installed = std::min<int>(s.Bset_InstalledProductCount, kMaxProducts);
    for (int tab = 0; tab < installed; ++tab)
      if (s.Bset_Viewers[size_t(tab)] != 1) fillReferenceTab(static_cast<int16_t>(tab), 1, 2);
  });
}

}  // namespace pellary
