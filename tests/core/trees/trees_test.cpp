#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "../profile/profile_fixture.h"
#include "core/tree_keys.h"
#include "core/tree_view.h"
#include "core/trees.h"

namespace pellary {
namespace {

class Trees : public testing::ProfileDb {
 protected:
  void SetUp() override {
    ProfileDb::SetUp();
    for (int i = 0; i < 6; ++i) {
      selectors.push_back(std::make_unique<MemoryTreeView>());
      refSelectors.push_back(std::make_unique<MemoryTreeView>());
      screenLink().tvCategorySelector.push_back(selectors.back().get());
      screenLink().tvReferenceSelector.push_back(refSelectors.back().get());
    }
    screenLink().tvSelectedItems = &chosen;
    screenLink().tvReferenceSelected = &chosenRefs;
    // Entry 0 its own tab, entry 1 shown on the combined entry 2, entry 3 the other products.
    ProductSetup& s = Bset();
    const int16_t ids[] = {3, 4, 100, 1};
    const int32_t progs[] = {30, 40, 2, 1};
    const int32_t viewers[] = {1, 2, 1, 4};
    for (int i = 0; i < 4; ++i) {
      s.Bset_ProductID[i] = ids[i];
      s.Bset_ProgProductID[i] = progs[i];
      s.Bset_Viewers[i] = viewers[i];
    }
    s.Bset_ProductCount = 4;
    s.Bset_InstalledProductCount = 2;
    s.Bset_GenDatesEntry = 2;
    for (MemoryTreeView* t : {&chosen, &chosenRefs}) {
      t->add({}, TreeRelation::Last, kNewItemsKey, "New items");
      t->add({}, TreeRelation::Last, "XXXKey30", "Your existing A selection");
      t->add({}, TreeRelation::Last, "XXXKey2", "Your existing B selection");
    }
  }
  void catalogue() {
    addPrimary(3, 7, "Sport");
    addPrimary(3, 8, "Arts", 0);
    addSecondary(3, 7, 12, "Football");
    addTertiary(3, 7, 12, 3, 4711, "Premier League", 0);
    addTertiary(3, 7, 12, 4, 4712, "Cup", 6);
    addTertiary(3, 7, 12, 5, 4713, "Retired", 0, 0);
    addPrimary(4, 20, "Holidays");
    addSecondary(4, 20, 1, "Europe");
    addTertiary(4, 20, 1, 1, 12, "France", 1);
    addTertiary(4, 20, 1, 2, 40, "Spain", 1);
  }
  MemoryTreeView& tab(int i) { return *selectors[i]; }
  std::vector<std::unique_ptr<MemoryTreeView>> selectors, refSelectors;
  MemoryTreeView chosen, chosenRefs;
};

TEST(TreeKeys, FixedWidthsAndReadingBack) {
  std::string key = tertiaryKey(7, 12, 3, 4711, 0);
  EXPECT_EQ(key, "P0070120030471100000");
  EXPECT_EQ(catIDOfCategoryKey(key), 4711);
  EXPECT_EQ(settingOfCategoryKey(tertiaryKey(7, 12, 3, 4711, 6)), 6);
  std::string k = chosenCategoryKey(2, key);
  EXPECT_EQ(k, "K02P0070120030471100000");
  EXPECT_EQ(catIDOfChosenKey(k), 4711);
  EXPECT_EQ(settingOfChosenKey(chosenCategoryKey(0, tertiaryKey(1, 1, 1, 5, 3))), 3);
  EXPECT_EQ(primaryKey(1234), "P1234");  // too wide: all digits
  EXPECT_EQ(topicKey(topicKey({}, 2), 4), "R002004");
  EXPECT_EQ(chosenTopicKey(1, "R002004"), "R01R002004");
  EXPECT_EQ(catIDOfCategoryKey("P00"), 0);  // short keys read as 0, never fail
}

TEST(TreeKeys, ChosenKeysGiveBackTheirTabAndTheirOwnKey) {
  const std::string k = chosenCategoryKey(12, tertiaryKey(7, 12, 3, 4711, 0));
  EXPECT_EQ(tabOfChosenKey(k), 12);
  EXPECT_EQ(ownKeyOfChosen(k), "P0070120030471100000");
  EXPECT_EQ(tabOfChosenKey(chosenTopicKey(3, "R002")), 3);
  EXPECT_EQ(ownKeyOfChosen(chosenTopicKey(3, "R002")), "R002");
  EXPECT_EQ(ownKeyOfChosen("K01"), "");  // nothing after the tab
  EXPECT_EQ(ownKeyOfChosen(""), "");
  EXPECT_TRUE(isHeadingKey(headingKey(4)));
  EXPECT_TRUE(isHeadingKey(kNewItemsKey));
  EXPECT_FALSE(isHeadingKey(k));
  EXPECT_FALSE(isHeadingKey("XX"));
}

TEST_F(Trees, CategoryNodesKeysTextsAndChosenEntries) {
  catalogue();
  profileCat(4711, 4);
  profileCat(12, 4);
  profileCat(4712, 0);
  loadProfile();
  Bset_CategoryLists();

  EXPECT_EQ(tab(0).keys(),
            (std::vector<std::string>{"P007", "P007012", "P0070120040471200006", "P0070120030471100000"}));
  EXPECT_EQ(tab(0).text("P0070120040471200006"), "Cup");
  EXPECT_EQ(tab(0).image("P0070120030471100000"), kFileIconImage);
  EXPECT_EQ(tab(0).foreColor("P0070120030471100000"), kColorGrayText);
  EXPECT_EQ(tab(0).foreColor("P0070120040471200006"), kColorWindowText);
  EXPECT_EQ(tab(1).count(), 0);  // its categories are on the combined tab
  EXPECT_EQ(tab(2).keys(),
            (std::vector<std::string>{"P020", "P020001", "P0200010010001200001", "P0200010020004000001"}));

  EXPECT_EQ(chosen.rootKeys(), (std::vector<std::string>{"XXXKeyNew", "XXXKey30", "K00P0070120030471100000", "XXXKey2",
                                                         "K02P0200010010001200001"}));
  EXPECT_EQ(chosen.text("K00P0070120030471100000"), "Premier League, Football, Sport");
  EXPECT_EQ(chosen.text("K02P0200010010001200001"), "France, Europe, Holidays");
  EXPECT_EQ(chosen.image("K00P0070120030471100000"), kChosenImage);
  EXPECT_FALSE(Bset().Bset_NoProfileCats);
}

// Categories stored under ProductID 1 (the number of the other-products
// entry) are no product of their own: the last tab loads nothing, so a chosen
// category shows once.
TEST_F(Trees, TheOtherProductsEntryLoadsNoCategories) {
  addPrimary(1, 9, "Stray");
  addSecondary(1, 9, 1, "Stray");
  addTertiary(1, 9, 1, 1, 901, "Stray", 0);
  profileCat(901, 4);
  loadProfile();
  Bset_CategoryLists();
  EXPECT_EQ(tab(3).count(), 0);
  EXPECT_EQ(chosen.rootKeys(), (std::vector<std::string>{"XXXKeyNew", "XXXKey30", "XXXKey2", kKeptItemsKey}));
  EXPECT_FALSE(Bset().Bset_NoProfileCats);
}

TEST_F(Trees, NamesSortWithAccentsBesideTheirLettersAndCaseIgnored) {
  addPrimary(3, 7, "Europe");
  addSecondary(3, 7, 1, "Countries");
  addTertiary(3, 7, 1, 1, 101, "Zypern", 0);
  addTertiary(3, 7, 1, 2, 102, "\xc3\x96sterreich", 0);
  addTertiary(3, 7, 1, 3, 103, "oman", 0);
  addTertiary(3, 7, 1, 4, 104, "Norwegen", 0);
  loadProfile();
  Bset_CategoryLists();
  std::vector<std::string> names;
  for (const std::string& key : tab(0).childKeys("P007001")) names.push_back(tab(0).text(key));
  EXPECT_EQ(names, (std::vector<std::string>{"Norwegen", "oman", "\xc3\x96sterreich", "Zypern"}));
}

TEST_F(Trees, NewestChosenEntryStandsFirstUnderItsHeading) {
  catalogue();
  profileCat(4711, 4);
  profileCat(4712, 4);
  loadProfile();
  Bset_CategoryLists();
  // Cup comes first from the databank, so Premier League, added later, stands above it.
  EXPECT_EQ(chosen.rootKeys()[2], "K00P0070120030471100000");
  EXPECT_EQ(chosen.rootKeys()[3], "K00P0070120040471200006");
}

TEST_F(Trees, AnEmptyProfileLeavesOnlyTheHeadings) {
  catalogue();
  loadProfile();
  Bset_CategoryLists();
  EXPECT_TRUE(Bset().Bset_NoProfileCats);
  EXPECT_EQ(chosen.count(), 3);
  EXPECT_EQ(tab(0).count(), 4);
}

// Rows that would have ended the program: two products on one tab sharing
// category numbers, rows without their parent, numbers wider than their place.
TEST_F(Trees, BadCatalogueRowsArePassedOver) {
  ProductSetup& s = Bset();
  s.Bset_ProductID[0] = 5;
  s.Bset_Viewers[0] = 2;
  s.Bset_ProductID[1] = 6;
  s.Bset_Viewers[1] = 2;
  addPrimary(5, 1, "Shared A");
  addPrimary(6, 1, "Shared B");
  addSecondary(5, 1, 1, "Sub A");
  addSecondary(6, 1, 1, "Sub B");
  addTertiary(5, 1, 1, 1, 101, "Cat A");
  addTertiary(6, 1, 1, 1, 102, "Cat B");
  addTertiary(5, 1, 9, 1, 103, "Orphan");         // no secondary 9
  addTertiary(5, 1, 1, 2, 123456, "Wide CatID");  // six digits
  addPrimary(5, 1000, "Wide PID");
  addSecondary(5, 1000, 1, "Under wide");
  addTertiary(5, 1000, 1, 1, 104, "Shifted");
  profileCat(101, 4);
  profileCat(123456, 4);
  loadProfile();
  EXPECT_NO_THROW(Bset_CategoryLists());
  MemoryTreeView& t = tab(2);
  EXPECT_TRUE(t.exists("P0010010010010100000"));
  EXPECT_TRUE(t.exists("P0010010010010200000"));
  EXPECT_EQ(t.text("P001"), "Shared A");
  EXPECT_FALSE(t.exists("P0010090010010300000"));
  EXPECT_TRUE(t.exists("P1000"));
  int leaves = 0;
  for (const std::string& k : t.keys())
    if (t.image(k) == kFileIconImage) ++leaves;
  EXPECT_EQ(leaves, 2);
  EXPECT_TRUE(chosen.exists("K02P0010010010010100000"));
  // The wide CatID cannot be shown: a note says it is kept.
  EXPECT_EQ(chosen.count(), 5);
  EXPECT_EQ(chosen.text(kKeptItemsKey), "1 stored choice not shown here is kept");
}

class ReferenceTrees : public Trees {
 protected:
  static void tmpl(int product, long id, const std::string& name, int status = 1) {
    exec("INSERT INTO RETemplate (Product_Id, Template_Id, Name, Status) VALUES (" + std::to_string(product) + ", " +
         std::to_string(id) + ", '" + name + "', " + std::to_string(status) + ")");
  }
  static void edge(int product, long parent, long child, int status = 1) {
    exec("INSERT INTO REStructure (Product_Id, ParentTemplate_Id, ChildTemplate_Id, Status) VALUES (" +
         std::to_string(product) + ", " + std::to_string(parent) + ", " + std::to_string(child) + ", " +
         std::to_string(status) + ")");
  }
  static void ref(long id, int status) {
    exec("INSERT INTO ProfileRefList (ProfileID, RefID, Product_Id, Status) VALUES (1, " + std::to_string(id) +
         ", 3, " + std::to_string(status) + ")");
  }
  void structure() {
    tmpl(3, 1, "Root");
    tmpl(3, 2, "Travel");
    tmpl(3, 3, "Food");
    tmpl(3, 4, "Trains");
    tmpl(3, 5, "Buses");
    edge(3, 1, 2);
    edge(3, 1, 3);
    edge(3, 2, 4);
    edge(3, 2, 5);
    edge(3, 3, 6, 0);  // retired link
  }
};

TEST_F(ReferenceTrees, TopicKeysNestAndAChosenLeafComesFromTheProfile) {
  structure();
  ref(4, 1);
  ref(3, 0);
  Bset_GetProfileSettings(1);
  int loads = 0;
  screenLink().loadReferenceStructure = [&] { ++loads; };
  Bset_SetupReferenceTree(0, 1, 2);
  MemoryTreeView& t = *refSelectors[0];
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(t.keys(), (std::vector<std::string>{"R002", "R002004", "R002005", "R003"}));
  EXPECT_EQ(t.parentKey("R002004"), "R002");
  EXPECT_EQ(t.text("R002005"), "Buses");
  EXPECT_EQ(t.image("R002004"), kFileIconImage);
  EXPECT_EQ(t.image("R002"), "");
  EXPECT_EQ(t.foreColor("R002004"), kColorGrayText);
  EXPECT_EQ(t.foreColor("R003"), kColorWindowText);
  EXPECT_EQ(chosenRefs.rootKeys(), (std::vector<std::string>{"XXXKeyNew", "XXXKey30", "R00R002004", "XXXKey2"}));
  EXPECT_EQ(chosenRefs.text("R00R002004"), "Trains, Travel");
}

TEST_F(ReferenceTrees, CyclesMissingTemplatesAndWideNumbersDoNotEndTheProgram) {
  structure();
  edge(3, 4, 2);     // Trains -> Travel: a cycle
  edge(3, 5, 5);     // a topic its own child
  edge(3, 1, 9);     // no template 9
  edge(3, 1, 1000);  // four digits
  tmpl(3, 1000, "Wide");
  edge(7, 1, 2);  // another product's link with the same numbers
  tmpl(7, 2, "Other travel");
  Bset_GetProfileSettings(1);
  EXPECT_NO_THROW(Bset_SetupReferenceTree(0, 1, 2));
  MemoryTreeView& t = *refSelectors[0];
  EXPECT_EQ(t.keys(), (std::vector<std::string>{"R002", "R002004", "R002005", "R003"}));
}

// Template numbers are per product: two products numbering their topics
// alike each keep their own tree, names and chosen topics.
TEST_F(ReferenceTrees, EachTabShowsItsOwnProductsTopics) {
  Bset().Bset_Viewers[0] = 3;  // categories and topics
  structure();
  tmpl(4, 1, "Guide");
  tmpl(4, 2, "Europe");
  tmpl(4, 3, "Easter dates");
  tmpl(4, 4, "Retired topic", 0);
  edge(4, 1, 2);
  edge(4, 2, 3);
  edge(4, 2, 4);
  ref(4, 1);  // product 3's Trains
  exec("INSERT INTO ProfileRefList (ProfileID, RefID, Product_Id, Status) VALUES (1, 3, 4, 1)");
  Bset_GetProfileSettings(1);
  int loads = 0;
  screenLink().loadReferenceStructure = [&] { ++loads; };
  Bset_SetupReferenceTrees();
  EXPECT_EQ(loads, 1);
  MemoryTreeView& a = *refSelectors[0];
  MemoryTreeView& b = *refSelectors[1];
  EXPECT_EQ(a.keys(), (std::vector<std::string>{"R002", "R002004", "R002005", "R003"}));
  EXPECT_EQ(a.text("R002004"), "Trains");
  EXPECT_EQ(b.keys(), (std::vector<std::string>{"R002", "R002003"}));
  EXPECT_EQ(b.text("R002"), "Europe");
  EXPECT_EQ(b.text("R002003"), "Easter dates");
  // Each tab's chosen leaf is its own product's, under its own heading.
  EXPECT_EQ(a.foreColor("R002004"), kColorGrayText);
  EXPECT_EQ(a.foreColor("R003"), kColorWindowText);
  EXPECT_EQ(b.foreColor("R002003"), kColorGrayText);
  EXPECT_EQ(chosenRefs.text("R00R002004"), "Trains, Travel");
  EXPECT_EQ(chosenRefs.text("R01R002003"), "Easter dates, Europe");
  EXPECT_FALSE(chosenRefs.exists("R00R002003"));
  EXPECT_FALSE(chosenRefs.exists("R01R002004"));
  // The other tabs (the combined entry, the other products) get no topics.
  EXPECT_EQ(refSelectors[2]->count(), 0);
  EXPECT_EQ(refSelectors[3]->count(), 0);
}

// Called on its own, the recursion reads the product's templates itself:
// another product's rows with the same numbers, stored first, lend no names.
TEST_F(ReferenceTrees, TheRecursionOnItsOwnFindsItsProductsNames) {
  tmpl(7, 4, "Other trains");
  tmpl(7, 5, "Other buses");
  structure();
  tmpl(3, 7, "Retired", 0);
  edge(3, 2, 7);
  refSelectors[0]->add({}, TreeRelation::Last, "R002", "Travel");
  Bset_RefTreeRecursive(0, "R002", 3, 2);
  MemoryTreeView& t = *refSelectors[0];
  EXPECT_EQ(t.keys(), (std::vector<std::string>{"R002", "R002004", "R002005"}));
  EXPECT_EQ(t.text("R002004"), "Trains");
  EXPECT_EQ(t.text("R002005"), "Buses");
  EXPECT_FALSE(treeSetup().templates.has_value());
}

TEST_F(ReferenceTrees, ATabWithoutATreeIsPassedOver) {
  structure();
  Bset_GetProfileSettings(1);
  EXPECT_NO_THROW(Bset_SetupReferenceTree(7, 1, 2));
}

}  // namespace
}  // namespace pellary
