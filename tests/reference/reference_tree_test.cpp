#include <gtest/gtest.h>

#include "core/databank.h"
#include "core/products.h"
#include "core/schema.h"
#include "core/screen_link.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "reference/reference_tree.h"
#include "support/fixtures.h"

namespace pellary {
namespace {

class RefTree : public testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    resetProductSetup();
    resetReferenceTree();
    resetScreenLink();
    Bsql_DataBank() = dao::Database::create(root() / "bank.db");
    createDatabankSchema(Bsql_DataBank());
    setReportHandler([this](long number, std::string_view location, std::string_view) {
      reported = number;
      where = std::string(location);
    });
    ProductSetup& s = Bset();
    s.Bset_ProductID[0] = 3;
    s.Bset_ProductID[1] = 4;  // only retired links
    s.Bset_ProductID[2] = 5;
    s.Bset_InstalledProductCount = 3;
    // Product 3:  1 -> 2 -> {4, 5}, 1 -> 3, and 3 -> 5 (5 has two parents).
    for (long t = 1; t <= 6; ++t) tmpl(3, t, "T" + std::to_string(t));
    edge(3, 1, 3);
    edge(3, 1, 2);
    edge(3, 2, 5);
    edge(3, 2, 4);
    edge(3, 3, 5);
    edge(3, 6, 1, 0);  // retired
    tmpl(4, 1, "R");
    tmpl(4, 2, "S");
    edge(4, 1, 2, 0);
    tmpl(5, 1, "Root");
    tmpl(5, 2, "Only");
    edge(5, 1, 2);
    exec("INSERT INTO ProfileRefList (ProfileID, RefID, Product_Id, Status) VALUES (2, 4, 3, 1)");
    exec("INSERT INTO ProfileRefList (ProfileID, RefID, Product_Id, Status) VALUES (1, 3, 3, 0)");
  }
  void TearDown() override {
    setReportHandler({});
    resetReferenceTree();
    resetProductSetup();
    Bsql_CloseDataBank();
    Bsql_DataBank() = dao::Database();
    IsolatedEnvTest::TearDown();
  }
  static void exec(const std::string& sql) { Bsql_DataBank().execute(sql); }
  static void tmpl(int product, long id, const std::string& name, int status = 1) {
    exec("INSERT INTO RETemplate (Product_Id, Template_Id, Name, Status) VALUES (" + std::to_string(product) + ", " +
         std::to_string(id) + ", '" + name + "', " + std::to_string(status) + ")");
  }
  static void edge(int product, long parent, long child, int status = 1) {
    exec("INSERT INTO REStructure (Product_Id, ParentTemplate_Id, ChildTemplate_Id, Status) VALUES (" +
         std::to_string(product) + ", " + std::to_string(parent) + ", " + std::to_string(child) + ", " +
         std::to_string(status) + ")");
  }
  RefProductRecord& product3() { return Bhtm().Bhtm_RefProducts[Bhtm_LookupProductPosition(3)]; }
  std::vector<bool> selection() {
    std::vector<bool> out;
    for (int t = 1; t <= 6; ++t) out.push_back(product3().selected(t));
    return out;
  }
  long reported = 0;
  std::string where;
};

TEST_F(RefTree, LoadBuildsOneRecordPerProductWithActiveLinks) {
  EXPECT_EQ(Bhtm_LookupProductPosition(3), -2);
  Bhtm_LoadReferenceStructure();
  auto& products = Bhtm().Bhtm_RefProducts;
  ASSERT_EQ(products.size(), 3u);  // 3, 5 and the spare
  EXPECT_EQ(products[0].ProductID, 3);
  EXPECT_EQ(products[1].ProductID, 5);
  EXPECT_EQ(products[2].ProductID, 0);
  EXPECT_EQ(Bhtm_LookupProductPosition(4), -1);
  EXPECT_EQ(Bhtm_LookupProductPosition(0), 2);

  RefProductRecord& r = products[0];
  EXPECT_EQ(r.parentUpperBound(), 3);
  EXPECT_EQ(r.childUpperBound(), 5);
  EXPECT_EQ(r.templateUpperBound(), 6);
  EXPECT_EQ(r.ParentNodes[1].ChildIDs, (std::vector<int32_t>{0, 2, 3, 0}));
  EXPECT_EQ(r.ParentNodes[2].ChildIDs, (std::vector<int32_t>{0, 4, 5, 0}));
  EXPECT_EQ(r.ParentNodes[1].childCount(), 2);
  EXPECT_EQ(r.ParentOf[5], 3);  // the later link in (parent, child) order
  EXPECT_EQ(r.TopicNames[4], "T4");
  EXPECT_TRUE(r.selected(4));   // another profile's row counts too
  EXPECT_FALSE(r.selected(3));  // retired row
}

TEST_F(RefTree, AddSelectsAncestorsAndSubtreeDeleteWalksUpWhileNoSiblingIsLeft) {
  Bhtm_LoadReferenceStructure();
  product3().Selected.assign(7, false);
  Bhtm_AddNode(3, 2);
  EXPECT_EQ(selection(), (std::vector<bool>{true, true, false, true, true, false}));
  Bhtm_AddNode(3, 3);
  Bhtm_DeleteNode(3, 4);  // sibling 5 still selected
  EXPECT_EQ(selection(), (std::vector<bool>{true, true, true, false, true, false}));
  Bhtm_DeleteNode(3, 2);  // 3 still selected: root stays
  EXPECT_EQ(selection(), (std::vector<bool>{true, false, true, false, false, false}));
  Bhtm_DeleteNode(3, 3);  // last selected child of the root: the root goes
  EXPECT_EQ(selection(), (std::vector<bool>{false, false, false, false, false, false}));
}

TEST_F(RefTree, UnknownProductsRaiseTheirErrors) {
  Bhtm_LoadReferenceStructure();
  EXPECT_THROW(Bhtm_AddNode(4, 2), ProgramEnded);
  EXPECT_EQ(reported, 10000);
  EXPECT_EQ(where, "ERR_Bhtm_AddNode");
  EXPECT_THROW(Bhtm_DeleteNode(4, 2), ProgramEnded);
  EXPECT_EQ(reported, 20001);
}

// A cycle or a template outside the arrays would loop for ever or run off
// the arrays; each topic is visited once and numbers beyond the arrays are passed over.
TEST_F(RefTree, CyclesAndOutOfRangeNumbersDoNotEndTheProgram) {
  edge(3, 4, 2);  // 2 -> 4 -> 2
  edge(3, 5, 5);
  exec("INSERT INTO ProfileRefList (ProfileID, RefID, Product_Id, Status) VALUES (1, 999, 3, 1)");
  Bhtm_LoadReferenceStructure();
  product3().Selected.assign(7, false);
  EXPECT_NO_THROW(Bhtm_AddNode(3, 2));
  EXPECT_NO_THROW(Bhtm_AddNode(3, 77));
  EXPECT_NO_THROW(Bhtm_DeleteNode(3, 4));
  EXPECT_NO_THROW(Bhtm_RecursiveAddDeleteNode(0, 5, true));
  EXPECT_EQ(reported, 0);
}

// Page and device menus name topics through one accessor: a number outside
// the product's templates is a fault in the tree, raised, never written as an
// empty name; so is a product position outside the list.
TEST_F(RefTree, TopicNamesAndProductPositionsOutsideTheTreeRaise) {
  Bhtm_LoadReferenceStructure();
  const RefProductRecord& r = refProductAt(0);
  EXPECT_EQ(r.ProductID, 3);
  EXPECT_EQ(r.topicName(4), "T4");
  for (int32_t t : {0, -1, 7, 1000}) EXPECT_THROW((void)r.topicName(t), AppError) << t;
  for (int16_t p : {-1, 3}) EXPECT_THROW((void)refProductAt(p), AppError) << p;
}

TEST_F(RefTree, UnloadKeepsTheTreeWhileOutputIsPending) {
  Bhtm_LoadReferenceStructure();
  bool pending = true;
  Bhtm().referenceOutputPending = [&] { return pending; };
  Bhtm_UnloadProfile();
  EXPECT_EQ(Bhtm_LookupProductPosition(3), 0);
  pending = false;
  Bhtm_UnloadProfile();
  EXPECT_EQ(Bhtm_LookupProductPosition(3), -1);
  EXPECT_TRUE(Bhtm().Bhtm_TreeLoaded);
}

TEST_F(RefTree, TheCoreTreeSetupLoadsThisTree) {
  Bhtm_ConnectToScreenLink();
  screenLink().loadReferenceStructure();
  EXPECT_EQ(Bhtm_LookupProductPosition(5), 1);
}

}  // namespace
}  // namespace pellary
