#include "reference/reference_tree.h"

#include <unordered_set>

#include "core/databank.h"
#include "core/field_values.h"
#include "core/products.h"
#include "core/screen_link.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"

namespace pellary {

namespace {

int32_t parentOf(const RefProductRecord& r, int32_t child) {
  return child >= 1 && child <= r.childUpperBound() ? r.ParentOf[child] : 0;
}

void setSelected(RefProductRecord& r, int32_t templateID, bool value) {
  // Numbers beyond the product's templates name no topic: nothing to mark.
  if (templateID >= 1 && templateID <= r.templateUpperBound()) r.Selected[templateID] = value;
}

void markSubtree(RefProductRecord& r, int32_t templateID, bool add, std::unordered_set<int32_t>& seen) {
  // A cycle in the structure would recurse for ever; each topic is marked once.
  if (!seen.insert(templateID).second) return;
  if (templateID >= 1 && templateID <= r.parentUpperBound() && r.ParentNodes[templateID].HasChildren) {
    const std::vector<int32_t> children = r.ParentNodes[templateID].ChildIDs;
    for (size_t j = 1; j + 1 < children.size(); ++j) markSubtree(r, children[j], add, seen);
  }
  setSelected(r, templateID, add);
}

}  // namespace

bool RefProductRecord::selected(int32_t templateID) const {
  return templateID >= 1 && templateID <= templateUpperBound() && Selected[templateID];
}

const std::string& RefProductRecord::topicName(int32_t templateID) const {
  if (templateID < 1 || templateID > templateUpperBound()) raise(err::SubscriptOutOfRange);
  return TopicNames[size_t(templateID)];
}

RefProductRecord& refProductAt(int16_t position) {
  auto& products = Bhtm().Bhtm_RefProducts;
  if (position < 0 || position >= static_cast<int>(products.size())) raise(err::SubscriptOutOfRange);
  return products[size_t(position)];
}

ReferenceTreeState& Bhtm() {
  static ReferenceTreeState state;
  return state;
}

void resetReferenceTree() { Bhtm() = ReferenceTreeState{}; }

void Bhtm_LoadReferenceStructure() {
  trapped("Bhtm_LoadReferenceStructure", [] {
    ReferenceTreeState& t = Bhtm();
    t.Bhtm_RefProducts.assign(1, RefProductRecord{});
    const ProductSetup& s = Bset();
    dao::Database& db = Bsql_DataBank();
    for (int i = 0; i < s.Bset_InstalledProductCount; ++i) {
      if (i >= kMaxProducts) raise(err::SubscriptOutOfRange);
      const std::string p = std::to_string(s.Bset_ProductID[i]);
      dao::Recordset links = db.openRecordset(
          "select * from REStructure, RETEmplate where REStructure.Status <> 0 and RETEmplate.Product_Id = " + p +
          " and REStructure.ParentTemplate_Id = RETEmplate.Template_Id" +
          " and RETEmplate.Status <> 0 and REStructure.Product_Id = RETEmplate.Product_Id" +
          " order by REStructure.ParentTemplate_Id, REStructure.ChildTemplate_Id ASC");
      if (links.recordCount() == 0) {
        links.close();
        continue;
      }
      size_t k = t.Bhtm_RefProducts.size() - 1;
      t.Bhtm_RefProducts.emplace_back();
      RefProductRecord& r = t.Bhtm_RefProducts[k];
      r.ProductID = s.Bset_ProductID[i];

      links.moveLast();
      int32_t highParent = longOf(links["ParentTemplate_Id"]);
      r.ParentNodes.assign(static_cast<size_t>(std::max(highParent, 0)) + 1, RefParentNode{});

      dao::Recordset templates = db.openRecordset("SELECT * FROM RETemplate WHERE Status <> 0 and Product_Id = " + p +
                                                  " order by Template_Id DESC");
      int32_t high = templates.eof() ? 0 : std::max(longOf(templates["Template_Id"]), 0);
      r.Selected.assign(static_cast<size_t>(high) + 1, false);
      r.TopicNames.assign(static_cast<size_t>(high) + 1, std::string());
      for (; !templates.eof(); templates.moveNext()) {
        int32_t id = longOf(templates["Template_Id"]);
        if (id >= 1 && id <= high) r.TopicNames[id] = textOf(templates["Name"]);
      }
      templates.close();

      dao::Recordset refs = db.openRecordset("SELECT * FROM ProfileRefList WHERE Status <> 0 and Product_Id = " + p);
      for (; !refs.eof(); refs.moveNext()) setSelected(r, longOf(refs["RefID"]), true);
      refs.close();

      int32_t highChild = 0;
      r.ParentOf.assign(1, 0);
      for (links.moveFirst(); !links.eof(); links.moveNext()) {
        int32_t parent = longOf(links["ParentTemplate_Id"]), child = longOf(links["ChildTemplate_Id"]);
        if (parent < 1 || child < 1 || parent > r.parentUpperBound()) continue;
        if (child > highChild) {
          highChild = child;
          r.ParentOf.resize(static_cast<size_t>(child) + 1, 0);
        }
        r.ParentOf[child] = parent;
        RefParentNode& node = r.ParentNodes[parent];
        if (!node.HasChildren) {
          node.HasChildren = true;
          node.ChildIDs.assign(2, 0);
        }
        size_t n = node.ChildIDs.size() - 1;
        node.ChildIDs.push_back(0);
        node.ChildIDs[n] = child;
      }
      links.close();
    }
    t.Bhtm_TreeLoaded = true;
  });
}

int16_t Bhtm_LookupProductPosition(int16_t product) {
  return trapped("Bhtm_LookupProductPosition", [&]() -> int16_t {
    const ReferenceTreeState& t = Bhtm();
    if (!t.Bhtm_TreeLoaded) return -2;
    int16_t found = -1;
    for (size_t i = 0; i < t.Bhtm_RefProducts.size(); ++i)
      if (t.Bhtm_RefProducts[i].ProductID == product) found = static_cast<int16_t>(i);
    return found;
  });
}

void Bhtm_AddNode(int16_t product, int32_t templateID) {
  trapped("ERR_Bhtm_AddNode", [&] {
    int16_t position = Bhtm_LookupProductPosition(product);
    if (position < 0) raise(10000, "The reference product is not loaded.");
    RefProductRecord& r = refProductAt(position);
    // Up to the root; a topic without a parent or a cycle ends the walk.
    std::unordered_set<int32_t> seen;
    for (int32_t t = templateID; t != 1 && seen.insert(t).second;) {
      t = parentOf(r, t);
      if (t == 0) break;
      setSelected(r, t, true);
    }
    Bhtm_RecursiveAddDeleteNode(position, templateID, true);
  });
}

void Bhtm_DeleteNode(int16_t product, int32_t templateID) {
  trapped("Bhtm_DeleteNode", [&] {
    int16_t position = Bhtm_LookupProductPosition(product);
    if (position < 0) raise(20001, "The reference product is not loaded.");
    RefProductRecord& r = refProductAt(position);
    std::unordered_set<int32_t> seen;
    for (int32_t k = templateID; k != 1 && seen.insert(k).second;) {
      int32_t p = parentOf(r, k);
      if (p == 0) break;
      bool siblingSelected = false;
      if (p <= r.parentUpperBound() && r.ParentNodes[p].HasChildren) {
        const std::vector<int32_t>& children = r.ParentNodes[p].ChildIDs;
        for (size_t j = 1; j + 1 < children.size(); ++j)
          if (children[j] != k && r.selected(children[j])) siblingSelected = true;
      }
      if (siblingSelected) break;
      setSelected(r, p, false);
      k = p;
    }
    Bhtm_RecursiveAddDeleteNode(position, templateID, false);
  });
}

void Bhtm_RecursiveAddDeleteNode(int16_t position, int32_t templateID, bool add) {
  trapped("Bhtm_RecursiveAddDeleteNode", [&] {
    std::unordered_set<int32_t> seen;
    markSubtree(refProductAt(position), templateID, add, seen);
  });
}

void Bhtm_UnloadProfile() {
  trapped("Bhtm_UnloadProfile", [&] {
    if (!Bhtm().referenceOutputPending()) Bhtm().Bhtm_RefProducts.assign(1, RefProductRecord{});
  });
}

void Bhtm_ConnectToScreenLink() {
  screenLink().loadReferenceStructure = [] { Bhtm_LoadReferenceStructure(); };
}

}  // namespace pellary
