// A databank with one events product (Sport > Football > League, Cup), the
// other-products entry, the profile loaded, and the selection procedures'
// state fresh.
#pragma once

#include "core/idindex.h"
#include "core/preview_lists.h"
#include "core/previews.h"
#include "core/profile/profile_fixture.h"
#include "core/registry.h"
#include "core/tree_keys.h"
#include "core/tree_view.h"
#include "core/trees.h"
#include "core/wizard/page_engine.h"
#include "shell/selection_procedures.h"

namespace pellary::testing {

class SelectionDb : public ProfileDb {
 protected:
  void SetUp() override {
    ProfileDb::SetUp();
    resetSelectionScreenState();
    resetWizardState();
    oneProduct(day(2027, 3, 1));
    Bset().Bset_Viewers[0] = 3;
    addProduct(3, 30, 3, day(2027, 3, 1), 0, "Events Guide");
    Bset().Bset_ProductName[0] = Variant("Events Guide");  // as the product loader hands it on
    addProduct(1, 1, 4, 0, 0, "Other products");
    addPrimary(3, 7, "Sport");
    addSecondary(3, 7, 12, "Football");
    addTertiary(3, 7, 12, 3, 4711, "League", 4);
    addTertiary(3, 7, 12, 4, 4712, "Cup", 4);
    addEvent(1, "key match", day(2027, 3, 2), day(2027, 3, 2), 1);
    addEvent(2, "minor match", day(2027, 3, 3), day(2027, 3, 3), 3);
    link(1, 4711);
    link(2, 4711);
    profileCat(4712, 4, 0x0A01, 4);
    exec("INSERT INTO RETemplate (Template_Id, Product_Id, Name, Status) VALUES (1, 3, 'Root', 1)");
    Bset().Bset_rsReferenceChanges = db().openRecordset("ReferenceChanges");
  }
  void TearDown() override {
    resetSelectionScreenState();
    resetWizardState();
    previewTargets() = PreviewTargets{};
    eventOptionsLink() = EventOptionsLink{};
    ProfileDb::TearDown();
  }

  // Memory trees in the screen link with the selection screen's headings.
  void memoryTrees() {
    screenLink().tvCategorySelector = {&categories};
    screenLink().tvReferenceSelector = {&topics};
    screenLink().tvSelectedItems = &chosen;
    screenLink().tvReferenceSelected = &chosenTopics;
    for (MemoryTreeView* t : {&chosen, &chosenTopics}) {
      t->add("", TreeRelation::Last, kNewItemsKey, "New items");
      t->setBold(kNewItemsKey, true);
      t->add("", TreeRelation::Last, headingKey(30), "Your existing Events Guide selection");
      t->setBold(headingKey(30), true);
    }
    topics.add("", TreeRelation::Last, "R001", "Travel");
    topics.add("R001", TreeRelation::Child, "R001002", "Visas");
    topics.add("R001", TreeRelation::Child, "R001003", "Money");
  }
  ProfileCatRecord& record(int32_t catID) { return Bsda().Bsda_ProfileCatList[size_t(Bsda_GetCatIDIndex(catID))]; }
  static long journalRows() { return count("SELECT * FROM ReferenceChanges"); }

  const std::string league = tertiaryKey(7, 12, 3, 4711, 4);
  const std::string cup = tertiaryKey(7, 12, 4, 4712, 4);
  MemoryTreeView categories, topics, chosen, chosenTopics;
};

}  // namespace pellary::testing
