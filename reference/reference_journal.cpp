#include "reference/reference_journal.h"

#include <cctype>

#include "core/databank.h"
#include "core/field_values.h"
#include "core/preview_lists.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/screen_link.h"
#include "core/tree_keys.h"
#include "core/tree_view.h"
#include "core/trees.h"
#include "core/update_run.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/text/lines.h"
#include "reference/file_helpers.h"
#include "reference/html_generator.h"
#include "reference/reference_tree.h"

namespace pellary {

namespace {

dao::Recordset& journal() { return Bset().Bset_rsReferenceChanges; }

bool allDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// The node's text behind the texts of its ancestors: "Europe, Holidays Guide" reads
// "Holidays Guide, Europe".
std::string pathText(const TreeView& tree, const std::string& key) {
  std::string text = tree.text(key);
  for (std::string cur = key; cur.size() >= 5;) {
    cur = tree.parentKey(cur);
    if (cur.empty()) break;
    text = tree.text(cur) + ", " + text;
  }
  return text;
}

void addSelectedNode(TreeView& tree, const std::string& relative, const std::string& key, const std::string& text) {
  if (tree.exists(key)) return;
  if (tree.exists(relative))
    tree.add(relative, TreeRelation::Next, key, text, kChosenImage);
  else
    tree.add({}, TreeRelation::Last, key, text, kChosenImage);
}

void setColour(TreeView* tree, const std::string& key, uint32_t colour) {
  if (tree && tree->exists(key)) tree->setForeColor(key, colour);
}

void removeNode(TreeView* tree, const std::string& key) {
  if (tree && tree->exists(key)) tree->remove(key);
}

}  // namespace

void Bhtm_TrackProfileChanges(int16_t productID, int32_t refID, bool added, const std::string& treeKey) {
  trapped("Bhtm_TrackProfileChanges", [&] {
    dao::Recordset& rs = journal();
    const int16_t profile = Bset().Bset_ProfileID;
    rs.setFilter("ProfileID = " + std::to_string(profile) + " AND ProductID = " + std::to_string(productID) +
                 " AND RefID = " + std::to_string(refID));
    dao::Recordset same = rs.openRecordset();
    const std::string key = treeKey.empty() ? std::string("Null") : treeKey;
    if (same.recordCount() == 0) {
      rs.addNew();
      rs["RefID"] = Variant(refID);
      rs["ProfileID"] = Variant(profile);
      rs["ProductID"] = Variant(productID);
      rs["Add"] = Variant(added);
      rs["TreeKey"] = Variant(key);
      rs.update();
    } else {
      // A second change of the same topic undoes the first.
      same.moveFirst();
      same.deleteRow();
    }
    same.close();
    rs.setFilter("");
    rs.requery();
  });
}

void Bhtm_ShowReferencePreview() {
  trapped("Bhtm_ShowReferencePreview", [] {
    PreviewList* list = &previewTargets().referenceList();
    if (!Bupd_UpdateRun()) {
      if (list) list->clear();
      dao::Recordset rs =
          Bsql_DataBank().openRecordset(std::string("select * from RETemplate, ReferenceChanges ") +
                                        " where RETemplate.Product_Id = ReferenceChanges.ProductID" +
                                        " and RETemplate.Template_Id = ReferenceChanges.RefID" +
                                        " and ReferenceChanges.ProfileID = " + std::to_string(Bset().Bset_ProfileID));
      for (; !rs.eof(); rs.moveNext()) {
        PreviewRow row;
        row.key = textOf(rs["TreeKey"]);
        row.text = rs["Add"].value().toBool() ? "Add" : "Remove";
        row.subItems.push_back(textOf(rs["Name"]));
        row.checked = true;
        if (list) list->addRow(row);
      }
      rs.close();
      return;
    }
    const auto file = paths::inProgramFolder("\\CUE\\REPAGES.cue");
    if (!std::filesystem::exists(file)) return;
    int n = 0;
    for (const std::string& line : platform::text::splitLines(readWholeFile(file))) {
      PreviewRow row;
      row.key = "p" + std::to_string(++n);
      row.text = line.substr(0, line.find(','));
      row.checked = false;
      if (list) list->addRow(row);
    }
  });
}

void Bhtm_ChangePreviewSelection(const std::string& rowKey, bool ticked, const std::string& rowText) {
  trapped("Bhtm_ChangePreviewSelection", [&] {
    const std::string key = rowKey;
    if (key.size() < 4 || !allDigits(std::string_view(key).substr(1, 2)) ||
        !allDigits(std::string_view(key).substr(key.size() - 3)))
      raise(err::TypeMismatch);
    const int position = tabOfChosenKey(key);
    const int32_t templateID = std::stoi(key.substr(key.size() - 3));
    const std::string nodeKey = ownKeyOfChosen(key);
    if (position >= kMaxProducts) raise(err::SubscriptOutOfRange);
    const ProductSetup& s = Bset();
    const int16_t product = s.Bset_ProductID[size_t(position)];
    ScreenLink& link = screenLink();
    TreeView* selector = link.referenceSelector(position);
    TreeView* chosen = link.tvReferenceSelected;

    auto putBack = [&](const std::string& relative) {
      setColour(selector, nodeKey, kColorGrayText);
      const std::string newKey = chosenTopicKey(position, nodeKey);
      if (chosen) {
        std::string text = selector && selector->exists(nodeKey) ? pathText(*selector, nodeKey) : std::string();
        addSelectedNode(*chosen, relative, newKey, text);
      }
      Bhtm_TrackProfileChanges(product, templateID, true, newKey);
    };
    auto takeOut = [&](bool added) {
      Bhtm_TrackProfileChanges(product, templateID, added, key);
      removeNode(chosen, key);
      setColour(selector, nodeKey, 0);
    };

    if (rowText == "Add") {
      if (!ticked)
        takeOut(true);
      else
        putBack(kNewItemsKey);
    } else {
      if (!ticked)
        putBack(headingKey(s.Bset_ProgProductID[size_t(position)]));
      else
        takeOut(false);
    }
  });
}

void Bhtm_ProcessProfileChanges() {
  trapped("Bhtm_ProcessProfileChanges", [] {
    dao::Recordset& rs = journal();
    const ProductSetup& s = Bset();
    if (rs.recordCount() != 0) {
      for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
        const bool added = rs["Add"].value().toBool();
        const int16_t product = shortOf(rs["ProductID"]);
        const int32_t refID = longOf(rs["RefID"]);
        if (added)
          Bhtm_AddNode(product, refID);
        else
          Bhtm_DeleteNode(product, refID);
      }
      dao::Database& db = Bsql_DataBank();
      dao::Recordset refs = db.openRecordset("SELECT * FROM ProfileRefList WHERE Status <> 0");
      for (; !refs.eof(); refs.moveNext()) refs.deleteRow();
      refs.close();
      dao::Recordset list = db.openRecordset("ProfileRefList");
      const int installed = std::min<int>(s.Bset_InstalledProductCount, kMaxProducts);
      for (int i = 0; i < installed; ++i) {
        int16_t position = Bhtm_LookupProductPosition(s.Bset_ProductID[size_t(i)]);
        if (position < 0) continue;
        const RefProductRecord& r = Bhtm().Bhtm_RefProducts[size_t(position)];
        for (int32_t t = 1; t <= r.templateUpperBound(); ++t) {
          if (!r.Selected[size_t(t)]) continue;
          list.addNew();
          list["RefID"] = Variant(t);
          list["ProfileID"] = Variant(s.Bset_ProfileID);
          list["Product_Id"] = Variant(r.ProductID);
          list["Status"] = Variant(int16_t(1));
          list.update();
        }
      }
      list.close();
      ignoring(err::DbNoCurrentRecord, [&] {
        for (rs.moveFirst(); !rs.eof(); rs.moveNext()) rs.deleteRow();
      });
      rs.requery();
    }
    if (screenLink().firstRun()) Breg_WriteRegSettings("User", "FirstRun", "False");
  });
}

void Bhtm_InitialiseHandler() {
  trapped("Bhtm_InitialiseHandler", [] {
    HtmlGeneratorState& g = Bhtm_Generator();
    if (g.Bhtm_Initialised) return;
    Bhtm_LoadReferenceStructure();
    Bhtm_ProcessProfileChanges();
    g.Bhtm_Initialised = true;
  });
}

}  // namespace pellary
