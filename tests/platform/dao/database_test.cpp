#include "platform/dao/database.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/dao/jet_errors.h"
#include "platform/errors.h"
#include "support/fixtures.h"

namespace pellary::dao {
namespace {

using pellary::testing::errorOf;

namespace fs = std::filesystem;
using pellary::testing::TempDir;

TEST(DatabaseOpenTest, BadPathsRaiseJetErrorsAndCreateNothing) {
  TempDir dir;
  const fs::path folder = dir.path() / "folder";
  fs::create_directory(folder);
  pellary::testing::writeFile(dir.path() / "notes.txt", "These are not the tables you are looking for.\n");
  pellary::testing::writeFile(dir.path() / "empty.mdb", "");
  const struct {
    fs::path path;
    long error;
  } cases[] = {
      {dir.path() / "missing.mdb", err::DbFileNotFound},
      {dir.path() / "nofolder" / "data.mdb", err::DbCannotOpen},
      {folder, err::DbCannotOpen},
      {fs::path(folder.string() + "/"), err::DbCannotOpen},
      {fs::path(dir.path().string() + "\\"), err::DbCannotOpen},
      {fs::path(), err::DbCannotOpen},
      {dir.path() / "notes.txt", err::DbNotDatabase},
      {dir.path() / "empty.mdb", err::DbNotDatabase},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.string());
    EXPECT_EQ(errorOf([&] { Database::open(c.path); }), c.error);
  }
  EXPECT_FALSE(fs::exists(dir.path() / "missing.mdb"));
  EXPECT_FALSE(fs::exists(dir.path() / "nofolder"));
  EXPECT_EQ(pellary::testing::readFile(dir.path() / "notes.txt"), "These are not the tables you are looking for.\n");
  EXPECT_EQ(fs::file_size(dir.path() / "empty.mdb"), 0u);
  size_t entries = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 3u);

  try {
    Database::open(dir.path() / "missing.mdb");
  } catch (const AppError& e) {
    EXPECT_EQ(e.description(), "Could not find file '" + (dir.path() / "missing.mdb").string() + "'.");
  }
}

TEST(DatabaseOpenTest, CreateRefusesExistingFilesAndOpenFindsWhatCreateWrote) {
  TempDir dir;
  const fs::path file = dir.path() / "data.mdb";
  {
    Database db = Database::create(file);
    db.execute("CREATE TABLE Action (ActionID LONG, ActionName TEXT)");
    db.execute("INSERT INTO Action VALUES (1, 'New')");
  }
  EXPECT_EQ(errorOf([&] { Database::create(file); }), jet::DatabaseExists);
  pellary::testing::writeFile(dir.path() / "other.txt", "keep");
  EXPECT_EQ(errorOf([&] { Database::create(dir.path() / "other.txt"); }), jet::DatabaseExists);
  EXPECT_EQ(pellary::testing::readFile(dir.path() / "other.txt"), "keep");

  Database db = Database::open(file);
  EXPECT_TRUE(db.isOpen());
  Recordset rs = db.openRecordset("Action");
  EXPECT_EQ(rs["ActionName"].value(), Variant("New"));
}

class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db = Database::create(dir.path() / "t.mdb");
    db.execute("CREATE TABLE T (ID LONG, Name TEXT)");
  }
  long rows() {
    Recordset rs = db.openRecordset("T");
    return rs.recordCount();
  }
  TempDir dir;
  Database db;
};

TEST_F(DatabaseTest, ExecuteReportsChangesAndJetErrors) {
  EXPECT_EQ(db.execute("INSERT INTO T VALUES (1, 'a'); INSERT INTO T VALUES (2, 'b')"), 2);
  EXPECT_EQ(db.execute("UPDATE T SET Name = 'c' WHERE Name = 'A'"), 1);
  EXPECT_EQ(errorOf([&] { db.execute("SELEKT * FROM T"); }), err::DbSqlError);
  EXPECT_EQ(errorOf([&] { db.execute("DELETE FROM Nowhere"); }), jet::NoSuchTable);
  EXPECT_EQ(errorOf([&] { db.openRecordset("Nowhere"); }), jet::NoSuchTable);
  EXPECT_EQ(errorOf([&] { db.openRecordset("SELECT Nope FROM T"); }), jet::TooFewParameters);
  EXPECT_EQ(errorOf([&] { db.openRecordset("DELETE FROM T"); }), jet::InvalidOperation);
  EXPECT_EQ(rows(), 2);  // the statement given as a record source did not run
}

TEST_F(DatabaseTest, NamesOrderWithTheNameCollation) {
  db.execute(
      "INSERT INTO T VALUES (1, 'Zypern'); INSERT INTO T VALUES (2, '\xc3\x96sterreich');"
      "INSERT INTO T VALUES (3, 'oman'); INSERT INTO T VALUES (4, 'Deutschland')");
  Recordset rs = db.openRecordset("SELECT * FROM T ORDER BY Name COLLATE NAMES ASC");
  std::vector<long> ids;
  for (; !rs.eof(); rs.moveNext()) ids.push_back(rs["ID"].value().toLong());
  EXPECT_EQ(ids, (std::vector<long>{4, 3, 2, 1}));
}

// A repeated query: parameters bound afresh each time, values typed as
// stored, and a recordset open meanwhile sees no stale values.
TEST_F(DatabaseTest, SelectBindsItsParametersAndReturnsTypedRows) {
  db.execute(
      "INSERT INTO T VALUES (1, 'one'); INSERT INTO T VALUES (2, NULL); INSERT INTO T VALUES (3000000000, 'big')");
  Recordset open = db.openRecordset("T");
  const std::string query = "SELECT ID, Name FROM T WHERE ID >= ?1 ORDER BY ID";
  const std::vector<Database::Row> all = db.select(query, {Variant(int32_t(1))});
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0][0].type(), Variant::Type::Long);
  EXPECT_EQ(all[0][1].toString(), "one");
  EXPECT_TRUE(all[1][1].isNull());
  EXPECT_EQ(all[2][0].type(), Variant::Type::Double);  // beyond a Long
  EXPECT_EQ(db.select(query, {Variant(int32_t(2))}).size(), 2u);
  EXPECT_EQ(db.select(query, {Variant(int32_t(4000000))}).size(), 1u);
  // The column's own collation holds: text columns ignore letter case.
  EXPECT_EQ(db.select("SELECT count(*) FROM T WHERE Name = ?1", {Variant("ONE")})[0][0].toLong(), 1);
  EXPECT_EQ(errorOf([&] { db.select("SELEKT 1"); }), err::DbSqlError);
  db.execute("UPDATE T SET Name = 'uno' WHERE ID = 1");
  EXPECT_EQ(open["Name"].value().toString(), "uno");
}

TEST_F(DatabaseTest, TransactionsNest) {
  db.beginTrans();
  db.execute("INSERT INTO T VALUES (1, 'outer')");
  db.beginTrans();
  db.execute("INSERT INTO T VALUES (2, 'inner')");
  EXPECT_EQ(db.transactionDepth(), 2);
  db.rollback();
  EXPECT_EQ(rows(), 1);
  db.beginTrans();
  db.execute("INSERT INTO T VALUES (3, 'inner again')");
  db.commitTrans();
  db.commitTrans();
  EXPECT_EQ(db.transactionDepth(), 0);
  EXPECT_EQ(rows(), 2);

  db.beginTrans();
  db.execute("DELETE FROM T");
  db.rollback();
  EXPECT_EQ(rows(), 2);
  EXPECT_EQ(errorOf([&] { db.commitTrans(); }), jet::NoTransaction);
  EXPECT_EQ(errorOf([&] { db.rollback(); }), jet::NoTransaction);
}

TEST_F(DatabaseTest, RecordsetsOutlivingTheirDatabaseRaise3420) {
  db.execute("INSERT INTO T VALUES (1, 'a')");
  Recordset rs = db.openRecordset("T");
  Field f = rs["Name"];
  Database copy = db;  // the same connection
  copy.close();
  EXPECT_FALSE(db.isOpen());
  EXPECT_EQ(errorOf([&] { (void)f.value(); }), err::DbObjectClosed);
  EXPECT_EQ(errorOf([&] { rs.moveNext(); }), err::DbObjectClosed);
  EXPECT_EQ(errorOf([&] { rs.addNew(); }), err::DbObjectClosed);
  EXPECT_EQ(errorOf([&] { db.execute("DELETE FROM T"); }), err::DbObjectClosed);
  EXPECT_EQ(errorOf([&] { db.openRecordset("T"); }), err::DbObjectClosed);
  EXPECT_EQ(errorOf([] { Recordset().moveFirst(); }), err::DbObjectClosed);
  db.close();  // twice is harmless

  Database again = Database::open(dir.path() / "t.mdb");
  Recordset closed = again.openRecordset("T");
  closed.close();
  EXPECT_FALSE(closed.isOpen());
  EXPECT_EQ(errorOf([&] { (void)closed.recordCount(); }), err::DbObjectClosed);
}

}  // namespace
}  // namespace pellary::dao
