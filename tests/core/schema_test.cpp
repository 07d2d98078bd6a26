#include <gtest/gtest.h>

#include "core/schema.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "support/fixtures.h"

namespace pellary {
namespace {

class Schema : public ::testing::Test {
 protected:
  void SetUp() override {
    db = dao::Database::create((dir.path() / "schema.db").string());
    createDatabankSchema(db);
  }
  testing::TempDir dir;
  dao::Database db;
};

// Each unique key the loaders rely on refuses a second row with 3022.
TEST_F(Schema, UniqueKeysRefuseDuplicates) {
  struct Case {
    const char* table;
    const char* row;
  } cases[] = {
      {"EventCat", "INSERT INTO EventCat (CatID, EventID, Status) VALUES (1, 2, 1)"},
      {"Primary", "INSERT INTO Primary (ProductID, PID, PrimaryName, Status) VALUES (1, 2, 'a', 1)"},
      {"Secondary", "INSERT INTO Secondary (ProductID, PID, SID, SecondaryName, Status) VALUES (1, 2, 3, 'a', 1)"},
      {"Tertiary", "INSERT INTO Tertiary (ProductID, PID, SID, TID, CatID, Status) VALUES (1, 2, 3, 4, 5, 1)"},
      {"RETemplate", "INSERT INTO RETemplate (Template_Id, Product_Id, Name, Status) VALUES (1, 2, 'a', 1)"},
      {"REStructure",
       "INSERT INTO REStructure (ParentTemplate_Id, ChildTemplate_Id, Product_Id, Status) VALUES (1, 2, 3, 1)"},
      {"Products", "INSERT INTO Products (ProductID, ProgProductID, ProductName) VALUES (9, 90, 'a')"},
      {"Action", "INSERT INTO Action (ActionID, ActionName, PeckingNumber) VALUES (99, 'a', 1)"},
  };
  for (const Case& c : cases) {
    db.execute(c.row);
    try {
      db.execute(c.row);
      ADD_FAILURE() << c.table << " took a duplicate";
    } catch (const AppError& e) {
      EXPECT_EQ(e.number(), err::DbDuplicateKey) << c.table;
    }
  }
  // The profile lists hold old and new rows at once during their commit.
  for (int i = 0; i < 2; ++i) {
    db.execute("INSERT INTO ProfileCatList (ProfileID, CatID, Status, AddStatus) VALUES (1, 5, 4, 0)");
    db.execute("INSERT INTO ProfileEventList (ProfileID, EventID, CatID, Status, AddStatus) VALUES (1, 5, 6, 4, 0)");
  }
}

TEST_F(Schema, DefaultsApplyToColumnsLeftOut) {
  dao::Recordset ev = db.openRecordset("Event");
  ev.addNew();
  ev["EventID"] = Variant(int32_t(100));
  ev["Title"] = Variant(std::string("New Year"));
  ev.update();
  dao::Recordset active = db.openRecordset("SELECT * FROM Event WHERE Status = 1");
  ASSERT_EQ(active.recordCount(), 1);
  EXPECT_EQ(active["Status"].value().toLong(), 1);
  EXPECT_TRUE(active["OnSale"].value().isNull());

  db.execute("INSERT INTO Tertiary (ProductID, PID, SID, TID, CatID, Status) VALUES (1, 1, 1, 1, 10, 1)");
  db.execute("INSERT INTO RETemplate (Template_Id, Product_Id, Status) VALUES (1, 1, 1)");
  db.execute("INSERT INTO REStructure (ParentTemplate_Id, ChildTemplate_Id, Product_Id, Status) VALUES (1, 2, 1, 1)");
  for (const char* t : {"Tertiary", "RETemplate", "REStructure"}) {
    dao::Recordset rs = db.openRecordset(t);
    EXPECT_EQ(rs["TimeStamp"].value().toLong(), 0) << t;
  }

  // A profile row added without AddStatus counts as committed, never as Null.
  db.execute("INSERT INTO ProfileCatList (ProfileID, CatID, Status) VALUES (1, 10, 4)");
  db.execute("INSERT INTO ProfileEventList (ProfileID, EventID, CatID, Status) VALUES (1, 100, 10, 4)");
  for (const char* t : {"ProfileCatList", "ProfileEventList"}) {
    dao::Recordset rs = db.openRecordset(t);
    ASSERT_FALSE(rs["AddStatus"].value().isNull()) << t;
    EXPECT_EQ(rs["AddStatus"].value().toLong(), 0) << t;
  }
}

TEST_F(Schema, TertiaryCarriesBothSettingsColumns) {
  db.execute(
      "INSERT INTO Tertiary (ProductID, PID, SID, TID, CatID, TertiaryName, Priorities_Valid, CatSettings, Status) "
      "VALUES (1, 1, 1, 1, 10, 'England', 5, 5, 1)");
  dao::Recordset rs = db.openRecordset("SELECT * FROM Tertiary WHERE TertiaryName = 'ENGLAND'");
  ASSERT_EQ(rs.recordCount(), 1);
  EXPECT_EQ(rs["CatSettings"].value().toLong(), 5);
  EXPECT_EQ(rs["Priorities_Valid"].value().toLong(), 5);
}

TEST_F(Schema, JournalTakesBooleanAdd) {
  dao::Recordset rs = db.openRecordset("ReferenceChanges");
  rs.addNew();
  rs["TreeKey"] = Variant(std::string("R01001"));
  rs["Add"] = Variant(true);
  rs.update();
  dao::Recordset added = db.openRecordset("SELECT * FROM ReferenceChanges WHERE Add = True");
  ASSERT_EQ(added.recordCount(), 1);
  EXPECT_TRUE(added["Add"].value().toBool());
}

// The merged Action is the title prefix the writers put on an entry (1
// "Cancelled: ", 2 "Postponed: ", 3 "Updated: "), so each change has its own
// code and a new event a code above them, which carries no prefix.
TEST_F(Schema, ShippedActionCodesMatchTheWritersPrefixes) {
  const std::pair<const char*, int> expected[] = {
      {"Cancelled", 1}, {"Date changed", 2}, {"Details changed", 3}, {"New", 4}};
  for (const auto& [name, pecking] : expected) {
    dao::Recordset rs =
        db.openRecordset(std::string("SELECT PeckingNumber FROM Action WHERE ActionName = '") + name + "'");
    ASSERT_FALSE(rs.eof()) << name;
    EXPECT_EQ(rs["PeckingNumber"].value().toLong(), pecking) << name;
  }
}

}  // namespace
}  // namespace pellary
