#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../profile/profile_fixture.h"
#include "core/products.h"
#include "core/registry.h"

namespace pellary {
namespace {

class Products : public testing::ProfileDb {
 protected:
  static void node(int i, const std::string& text) {
    Breg_WriteRegSettings("Support", "Node" + std::to_string(i), text);
  }
};

TEST_F(Products, HighNodeCountEmptyLoadsNodeZeroAndTheFinalEntry) {
  addProduct(3, 30, 1, day(2026, 1, 1), 0);
  node(0, "3");
  int initialised = 0;
  screenLink().managerMainInitialize = [&] { ++initialised; };
  Bset_SetProducts();
  const ProductSetup& s = Bset();
  EXPECT_EQ(s.Bset_InstalledProductCount, 1);
  ASSERT_EQ(s.Bset_ProductCount, 2);
  EXPECT_EQ(s.Bset_ProductID[0], 3);
  EXPECT_EQ(s.Bset_ProgProductID[0], 30);
  EXPECT_EQ(s.Bset_ProductStartDate[0], day(2026, 1, 1));
  EXPECT_EQ(s.Bset_ProductID[1], 1);
  EXPECT_EQ(s.Bset_ProgProductID[1], 1);
  EXPECT_EQ(s.Bset_Viewers[1], 4);
  EXPECT_TRUE(s.Bset_OrryEdition);
  EXPECT_EQ(initialised, 1);
}

TEST_F(Products, GapsInTheNodesAndTheCombinedEntry) {
  addProduct(3, 30, 2, day(2026, 3, 1), 1);
  addProduct(4, 40, 2, day(2026, 6, 1), 1);
  Breg_WriteRegSettings("Support", "HighNodeCount", "2");
  node(0, "3");
  node(2, "4");
  Bset_SetProducts();
  const ProductSetup& s = Bset();
  EXPECT_EQ(s.Bset_InstalledProductCount, 2);
  ASSERT_EQ(s.Bset_ProductCount, 4);
  EXPECT_EQ(s.Bset_ProductID[1], 4);
  EXPECT_TRUE(s.Bset_OrryEdition);
  EXPECT_FALSE(s.Bset_FieldfareEdition);
  EXPECT_EQ(s.Bset_GenDatesEntry, 2);
  EXPECT_EQ(s.Bset_ProductID[2], 100);
  EXPECT_EQ(s.Bset_ProgProductID[2], 2);
  EXPECT_EQ(s.Bset_Viewers[2], 1);
  EXPECT_EQ(s.Bset_ProductStartDate[2], day(2026, 6, 1));
}

TEST_F(Products, AMissingStartDateIsStoredOnceAndKept) {
  addProduct(3, 30, 1, 0, 0);
  node(0, "3");
  Bset_SetProducts();
  double first = Bset().Bset_ProductStartDate[0];
  EXPECT_EQ(first, platform::today());
  exec("UPDATE Products SET StartDate = " + num(day(2020, 2, 2)));
  resetProductSetup();
  Bset_SetProducts();
  EXPECT_EQ(Bset().Bset_ProductStartDate[0], day(2020, 2, 2));
}

// The selection screen takes its tab names from here when it lays out the
// tabs: they are loaded before it is asked to.
TEST_F(Products, TheEntriesNamesAreLoadedBeforeTheScreenLaysOutItsTabs) {
  addProduct(3, 30, 1, day(2026, 1, 1), 1, "Almanac");
  addProduct(4, 40, 2, day(2026, 2, 1), 1, "Fixtures");
  addProduct(5, 30, 1, day(2026, 3, 1), 0, "Later row of 30");
  Breg_WriteRegSettings("Support", "HighNodeCount", "1");
  node(0, "3");
  node(1, "4");
  std::vector<std::string> seen;
  screenLink().managerMainInitialize = [&] {
    for (int i = 0; i < Bset().Bset_ProductCount; ++i) seen.push_back(Bset().Bset_ProductName[size_t(i)].toString());
  };
  Bset_SetProducts();
  ASSERT_EQ(Bset().Bset_ProductCount, 4);  // two products, the combined entry, other products
  EXPECT_EQ(seen, (std::vector<std::string>{"Almanac", "Fixtures", "", ""}));
}

TEST_F(Products, UnknownProductsAndATenthEntryEndTheProgram) {
  node(0, "77");
  EXPECT_EQ(endsWith([] { Bset_SetProducts(); }), "Bset_SetProducts");
  for (int i = 0; i < 9; ++i) {
    addProduct(10 + i, 100 + i, 1, day(2026, 1, 1), 0);
    node(i, std::to_string(10 + i));
  }
  Breg_WriteRegSettings("Support", "HighNodeCount", "8");
  resetProductSetup();
  EXPECT_EQ(endsWith([] { Bset_SetProducts(); }), "Bset_SetProducts");
}

TEST_F(Products, ProfileLoadReadsTheListsAndEmptiesTheJournal) {
  profileCat(10, 4);
  profileEvent(1, 10, 4);
  exec("INSERT INTO ReferenceChanges (TreeKey, Add, RefID, ProfileID, ProductID) VALUES ('R001', -1, 1, 1, 3)");
  exec("INSERT INTO ReferenceChanges (TreeKey, Add, RefID, ProfileID, ProductID) VALUES ('R002', 0, 2, 1, 3)");
  Bset_GetProfileSettings(1);
  EXPECT_EQ(Bset().Bset_ProfileID, 1);
  EXPECT_EQ(Bsda().catCount(), 1);
  EXPECT_EQ(Bsda().eventCount(), 1);
  EXPECT_TRUE(Bset().Bset_NoProfileRefs);
  EXPECT_EQ(count("SELECT * FROM ReferenceChanges"), 0);
  EXPECT_TRUE(Bset().Bset_rsReferenceChanges.isOpen());

  exec("INSERT INTO ProfileRefList (ProfileID, RefID, Product_Id, Status) VALUES (1, 5, 3, 1)");
  testing::resetCoreState();
  Bset_GetProfileSettings(1);
  EXPECT_FALSE(Bset().Bset_NoProfileRefs);
  EXPECT_EQ(Bset().Bset_rsProfileRefList.recordCount(), 1);
}

}  // namespace
}  // namespace pellary
