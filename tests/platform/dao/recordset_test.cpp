#include "platform/dao/recordset.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/dao/database.h"
#include "platform/dao/jet_errors.h"
#include "platform/errors.h"
#include "support/fixtures.h"

namespace pellary::dao {
namespace {

using pellary::testing::errorOf;

// A databank shaped like the program's, written in Jet's table language.
constexpr const char* kSchema = R"(
CREATE TABLE Event (EventID LONG, Title TEXT(255), Memo TEXT, MemoLong MEMO, StartDate DATETIME,
                    EndDate DATETIME, OnSale DATETIME, Priority SHORT, Version SHORT, Action SHORT,
                    Status SHORT DEFAULT 1);
CREATE TABLE EventCat (EventID LONG, CatID LONG, Status SHORT);
CREATE UNIQUE INDEX EventCatKey ON EventCat (CatID, EventID);
CREATE TABLE Primary (ProductID SHORT, PID LONG, PrimaryName TEXT, Status SHORT);
CREATE UNIQUE INDEX PrimaryKey ON Primary (ProductID, PID);
CREATE TABLE Secondary (ProductID SHORT, PID SHORT, SID SHORT, SecondaryName TEXT, Status SHORT);
CREATE TABLE ReferenceChanges (TreeKey TEXT, Add BIT, Name TEXT, RefID, ProfileID, ProductID);
CREATE TABLE Figures (Label TEXT, Amount DOUBLE, Count LONG, Small SHORT, Flag BIT, Seen DATETIME);
CREATE TABLE Tertiary (ProductID SHORT, PID SHORT, SID SHORT, TID SHORT, CatID LONG, TertiaryName TEXT,
                       CatSettings SHORT, Status SHORT, TimeStamp LONG DEFAULT 0);
CREATE TABLE Products (ProductID SHORT, ProgProductID SHORT, ProductName TEXT, Status SHORT);
CREATE TABLE RETemplate (Product_Id SHORT, Template_Id LONG, Name TEXT, TimeStamp LONG, Status SHORT);
CREATE TABLE REStructure (Product_Id SHORT, ParentTemplate_Id LONG, ChildTemplate_Id LONG, TimeStamp LONG,
                          Status SHORT);
)";

constexpr const char* kRows = R"(
INSERT INTO Primary VALUES (3, 1, 'beta', 1), (3, 2, 'Alpha', 1), (3, 3, 'gamma', 0), (3, 4, 'alpha2', 1),
                           (3, 5, 'Charlie', 1), (4, 9, 'Other', 1);
INSERT INTO Secondary VALUES (3, 1, 1, 'S-one', 1), (3, 3, 1, 'S-three', 1), (3, 2, 1, 'S-two', 0);
INSERT INTO Event (EventID, Title, StartDate, EndDate, OnSale, Priority, Version)
       VALUES (1, 'Fair', #12/25/2020#, #12/26/2020#, Null, 1, 1), (2, 'Show', #2021-01-05#, #2021-01-05#, 0, 2, 1);
INSERT INTO EventCat VALUES (1, 10, 1), (2, 11, 1), (1, 12, 1);
INSERT INTO ReferenceChanges VALUES ('K1', True, 'one', 1, 1, 3), ('K2', False, 'two', 2, 1, 3);
INSERT INTO Tertiary VALUES (3, 1, 1, 1, 10, 'T-ten', 0, 1, 5), (3, 3, 1, 1, 12, 'T-twelve', 2, 1, 5);
INSERT INTO Products VALUES (3, 103, 'Almanac', 1);
INSERT INTO RETemplate VALUES (3, 1, 'Root', 0, 1), (3, 2, 'Topic', 0, 1), (3, 3, 'Retired', 0, 0);
INSERT INTO REStructure VALUES (3, 1, 2, 0, 1), (3, 1, 3, 0, 1);
)";

class RecordsetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db = Database::create(dir.path() / "almoner.mdb");
    db.execute(kSchema);
    db.execute(kRows);
  }

  // The values of one field from the current row to the end, joined by ",".
  static std::string values(Recordset rs, std::string_view field) {
    std::string out;
    while (!rs.eof()) {
      if (!out.empty()) out += ",";
      const Variant v = rs[field].value();
      out += v.isNull() ? "Null" : v.toString();
      rs.moveNext();
    }
    return out;
  }
  std::string values(std::string_view sql, std::string_view field) { return values(db.openRecordset(sql), field); }

  pellary::testing::TempDir dir;
  Database db;
};

TEST_F(RecordsetTest, JetQueriesRunAsWritten) {
  std::string orList;
  for (int i = 1; i <= 5000; ++i) orList += (i > 1 ? " OR " : "") + std::string("(CatID = ") + std::to_string(i) + ")";
  const struct {
    const char* what;
    std::string sql;
    const char* field;
    const char* expected;
  } cases[] = {
      {"text compares without case", "SELECT * FROM Primary WHERE PrimaryName = 'ALPHA'", "PrimaryName", "Alpha"},
      {"text sorts without case", "SELECT * FROM Primary WHERE ProductID = 3 ORDER BY PrimaryName", "PrimaryName",
       "Alpha,alpha2,beta,Charlie,gamma"},
      {"descending too", "SELECT * FROM Primary WHERE ProductID = 3 ORDER BY PrimaryName DESC", "PID", "3,5,1,4,2"},
      {"reserved table name, two blanks before the column",
       "SELECT * FROM Primary WHERE (Status = 1) AND (ProductID = 3) ORDER BY  PrimaryName ASC", "PrimaryName",
       "Alpha,alpha2,beta,Charlie"},
      {"qualified reserved name", "SELECT Primary.PID FROM Primary WHERE Primary.PrimaryName = 'BETA'", "PID", "1"},
      {"Jet True", "SELECT * FROM ReferenceChanges WHERE Add = True", "TreeKey", "K1"},
      {"bracketed names and False", "SELECT [TreeKey] FROM [ReferenceChanges] WHERE [Add] = False", "TreeKey", "K2"},
      {"date literal", "SELECT * FROM Event WHERE StartDate = #12/25/2020#", "Title", "Fair"},
      {"LIKE without case", "SELECT * FROM Primary WHERE PrimaryName LIKE 'AL%' ORDER BY PID", "PrimaryName",
       "Alpha,alpha2"},
      {"IN without case", "SELECT * FROM Primary WHERE PrimaryName IN ('BETA', 'charlie') ORDER BY PID", "PID", "1,5"},
      {"not equal", "SELECT * FROM Primary WHERE Status <> 0 AND ProductID = 4", "PrimaryName", "Other"},
      {"join on a reserved name",
       "SELECT * FROM Secondary INNER JOIN Primary ON Secondary.PID = Primary.PID WHERE (Secondary.Status = 1) AND "
       "(Secondary.ProductID = 3) ORDER BY SecondaryName ASC",
       "Primary.PrimaryName", "beta,gamma"},
      {"five thousand categories",
       "SELECT Event.*, EventCat.CatID FROM Event INNER JOIN EventCat ON Event.EventID = EventCat.EventID WHERE "
       "(Event.Status = 1) AND (" +
           orList + ")  ORDER BY Event.StartDate ASC",
       "Title", "Fair,Fair,Show"},
      {"the category preview",
       "SELECT Event.*, EventCat.CatID, Products.ProgProductID FROM Event, EventCat, Tertiary, Products, Primary WHERE "
       "Event.EventID = EventCat.EventID AND EventCat.CatID = Tertiary.CatID AND Tertiary.PID = Primary.PID AND "
       "Primary.ProductID = Products.ProductID AND (EventCat.CatID= 12)  ORDER BY Event.StartDate ASC",
       "ProgProductID", "103"},
      {"the reference tree, table names in other case",
       "select * from REStructure, RETEmplate where REStructure.Status <> 0 and RETEmplate.Product_Id = 3 and "
       "REStructure.ParentTemplate_Id = RETEmplate.Template_Id and RETEmplate.Status <> 0 and REStructure.Product_Id "
       "= RETEmplate.Product_Id order by REStructure.ParentTemplate_Id, REStructure.ChildTemplate_Id ASC",
       "ChildTemplate_Id", "2,3"},
      {"an unqualified name only one table has",
       "SELECT Tertiary.CatID, TimeStamp FROM EventCat, Tertiary WHERE EventCat.CatID = Tertiary.CatID and "
       "EventCat.EventID = 1 ORDER BY Tertiary.TertiaryName ASC",
       "CatID", "10,12"},
      {"expression columns", "SELECT Title, EndDate - StartDate AS Span FROM Event ORDER BY EventID", "Span", "1,0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      EXPECT_EQ(values(c.sql, c.field), c.expected);
    } catch (const AppError& e) {
      ADD_FAILURE() << e.number() << " " << e.description();
    }
  }
}

TEST_F(RecordsetTest, FieldValuesKeepJetTypes) {
  Recordset rs = db.openRecordset("SELECT * FROM Event ORDER BY EventID");
  EXPECT_EQ(rs["EventID"].value(), Variant(int32_t(1)));
  EXPECT_EQ(rs["Priority"].value(), Variant(int16_t(1)));
  EXPECT_EQ(rs["StartDate"].value(), Variant::date(2020, 12, 25));
  EXPECT_EQ(rs["Status"].value(), Variant(int16_t(1)));  // the column default
  // Null and a zero date are different values.
  EXPECT_TRUE(rs["OnSale"].isNull());
  rs.moveNext();
  EXPECT_EQ(rs["OnSale"].value(), Variant::date(0));
  EXPECT_EQ(rs["onsale"].type(), ColumnType::Date);

  Recordset refs = db.openRecordset("SELECT * FROM ReferenceChanges WHERE TreeKey = 'k1'");
  EXPECT_EQ(refs["Add"].value(), Variant(true));
  EXPECT_EQ(refs["Add"].value().toLong(), -1);
  EXPECT_EQ(refs["RefID"].value(), Variant(int32_t(1)));  // untyped: as stored
  Recordset raw = db.openRecordset("SELECT Add + 0 AS Raw FROM ReferenceChanges WHERE TreeKey = 'K1'");
  EXPECT_EQ(raw["Raw"].value(), Variant(int32_t(-1)));
}

TEST_F(RecordsetTest, WritesConvertToTheColumnType) {
  Recordset rs = db.openRecordset("Figures");
  rs.addNew();
  rs["Label"] = 12.5;
  rs["Amount"] = "2.25";
  rs["Count"] = "12";
  rs["Small"] = 7.5;  // rounds half to even
  rs["Flag"] = true;
  rs["Seen"] = "25/12/2020 10:30";
  rs.update();
  const struct {
    const char* field;
    Variant value;
    long error;
  } bad[] = {
      {"Small", Variant(int32_t(40000)), err::DbNumericOverflow}, {"Small", Variant(-32768.6), err::DbNumericOverflow},
      {"Count", Variant(3e10), err::DbNumericOverflow},           {"Count", Variant("twelve"), err::DbTypeConversion},
      {"Amount", Variant("1.2.3"), err::DbTypeConversion},        {"Seen", Variant("soon"), err::DbTypeConversion},
      {"Flag", Variant("maybe"), err::DbTypeConversion},
  };
  rs.addNew();
  for (const auto& b : bad) {
    SCOPED_TRACE(b.field);
    EXPECT_EQ(errorOf([&] { rs[b.field] = b.value; }), b.error);
  }
  rs.cancelUpdate();

  Recordset back = db.openRecordset(
      "SELECT Label, Amount, Count, Small, Flag, Seen, typeof(Count) AS T, Flag * 1 AS F FROM Figures");
  EXPECT_EQ(back.recordCount(), 1);
  EXPECT_EQ(back["Label"].value(), Variant("12.5"));
  EXPECT_EQ(back["Amount"].value(), Variant(2.25));
  EXPECT_EQ(back["Count"].value(), Variant(int32_t(12)));
  EXPECT_EQ(back["T"].value(), Variant("integer"));
  EXPECT_EQ(back["Small"].value(), Variant(int16_t(8)));
  EXPECT_EQ(back["Flag"].value(), Variant(true));
  EXPECT_EQ(back["F"].value(), Variant(int32_t(-1)));
  EXPECT_EQ(back["Seen"].value(), Variant::date(2020, 12, 25, 10, 30, 0));
}

TEST_F(RecordsetTest, AddNewAppliesDefaultsAndJoinsTheEnd) {
  Recordset rs = db.openRecordset("SELECT * FROM Event WHERE Status = 1 ORDER BY EventID");
  ASSERT_EQ(rs.recordCount(), 2);
  rs.addNew();
  EXPECT_EQ(rs.editMode(), Recordset::EditMode::AddNew);
  rs["EventID"] = 3;
  rs["Title"] = "Parade";
  EXPECT_EQ(rs["Status"].value(), Variant(int16_t(1)));  // the default, before it is saved
  rs.update();
  EXPECT_EQ(rs.recordCount(), 3);
  EXPECT_EQ(rs["EventID"].value(), Variant(int32_t(1)));  // still on the row it was on
  EXPECT_EQ(values(rs, "Title"), "Fair,Show,Parade");
  rs.setBookmark(rs.lastModified());
  EXPECT_EQ(rs["Status"].value(), Variant(int16_t(1)));
  EXPECT_EQ(values("SELECT * FROM Event WHERE Status = 1 AND EventID = 3", "Title"), "Parade");

  // On an empty set the new row is there to move to.
  Recordset empty = db.openRecordset("SELECT * FROM EventCat WHERE CatID = 99");
  EXPECT_TRUE(empty.eof() && empty.bof());
  empty.addNew();
  empty["CatID"] = 99;
  empty["EventID"] = 1;
  empty.update();
  empty.moveFirst();
  EXPECT_EQ(empty["CatID"].value(), Variant(int32_t(99)));
}

TEST_F(RecordsetTest, DuplicateKeyLeavesTheRecordsetUsable) {
  Recordset rs = db.openRecordset("Primary");
  const long before = rs.recordCount();
  rs.addNew();
  rs["ProductID"] = 3;
  rs["PID"] = 1;
  rs["PrimaryName"] = "dup";
  try {
    rs.update();
    FAIL() << "duplicate accepted";
  } catch (const AppError& e) {
    EXPECT_EQ(e.number(), err::DbDuplicateKey);
    EXPECT_EQ(e.description(), standardDescription(err::DbDuplicateKey));
  }
  EXPECT_EQ(rs.editMode(), Recordset::EditMode::AddNew);  // still cancellable
  EXPECT_EQ(rs.recordCount(), before);
  rs.addNew();  // starts over; the failed row is gone
  rs["ProductID"] = 3;
  rs["PID"] = 6;
  rs["PrimaryName"] = "fresh";
  rs.update();
  rs.moveLast();
  EXPECT_EQ(rs["PrimaryName"].value(), Variant("fresh"));
  EXPECT_EQ(values("SELECT * FROM Primary WHERE PrimaryName IN ('dup', 'fresh')", "PID"), "6");

  // The loaders' way: on 3022, filter to the key and edit the existing row.
  rs.addNew();
  rs["ProductID"] = 3;
  rs["PID"] = 2;
  rs["PrimaryName"] = "Alpha renamed";
  EXPECT_EQ(errorOf([&] { rs.update(); }), err::DbDuplicateKey);
  rs.setFilter("ProductID = 3 AND PID = 2");
  Recordset existing = rs.openRecordset();
  existing.edit();
  existing["PrimaryName"] = "Alpha renamed";
  existing.update();
  existing.close();
  EXPECT_EQ(values("SELECT * FROM Primary WHERE PID = 2", "PrimaryName"), "Alpha renamed");
}

TEST_F(RecordsetTest, EditReadsBackAsStored) {
  Recordset rs = db.openRecordset("SELECT CatID, Status FROM EventCat ORDER BY CatID");
  rs.edit();
  rs["Status"] = "0";
  EXPECT_EQ(rs["Status"].value(), Variant(int16_t(0)));  // the buffer, converted
  rs.update();
  EXPECT_EQ(rs["Status"].value(), Variant(int16_t(0)));
  EXPECT_EQ(values("SELECT * FROM EventCat WHERE Status = 0", "CatID"), "10");

  rs.edit();
  rs["Status"] = 5;
  rs.cancelUpdate();
  EXPECT_EQ(rs["Status"].value(), Variant(int16_t(0)));
  EXPECT_EQ(errorOf([&] { rs.update(); }), err::DbUpdateWithoutEdit);
  EXPECT_EQ(errorOf([&] { rs["Status"] = 1; }), err::DbUpdateWithoutEdit);

  // Moving away drops a pending edit.
  rs.edit();
  rs["Status"] = 7;
  rs.moveNext();
  rs.movePrevious();
  EXPECT_EQ(rs["Status"].value(), Variant(int16_t(0)));
}

TEST_F(RecordsetTest, FilterOpensAnUpdatableSubset) {
  Recordset journal = db.openRecordset("ReferenceChanges");
  journal.setFilter("ProfileID = 1 AND ProductID = 3 AND RefID = 2");
  Recordset sub = journal.openRecordset();
  ASSERT_EQ(sub.recordCount(), 1);
  EXPECT_EQ(sub["TreeKey"].value(), Variant("K2"));
  sub.edit();
  sub["Name"] = "second";
  sub.update();
  sub.moveFirst();
  sub.deleteRow();
  journal.setFilter("TreeKey = 'k1'");  // case does not matter in filters either
  Recordset other = journal.openRecordset();
  EXPECT_EQ(other.recordCount(), 1);
  other.addNew();
  other["TreeKey"] = "K3";
  other["Add"] = false;
  other.update();
  journal.setFilter("");
  journal.requery();
  EXPECT_EQ(values(journal, "TreeKey"), "K1,K3");

  // A filter over a join whose tables share a name reads the set's own columns.
  Recordset written = db.openRecordset(
      "SELECT Event.*, EventCat.CatID FROM Event INNER JOIN EventCat ON Event.EventID = EventCat.EventID WHERE "
      "(CatID = 10) OR (CatID = 11) OR (CatID = 12)  ORDER BY Event.StartDate ASC");
  written.setFilter("(Version = 1) AND (EventID = 1)");
  Recordset row = written.openRecordset();
  EXPECT_EQ(row.recordCount(), 2);  // event 1 in categories 10 and 12
  row.edit();
  row["Title"] = "Fair (moved)";
  row.update();
  EXPECT_EQ(values("SELECT * FROM Event WHERE EventID = 1", "Title"), "Fair (moved)");
  EXPECT_EQ(written.filter(), "(Version = 1) AND (EventID = 1)");
  written.setFilter("EventID >= 1");
  EXPECT_EQ(values(written.openRecordset(), "StartDate"), "25/12/2020,25/12/2020,05/01/2021");  // the query's order
}

TEST_F(RecordsetTest, FindFirstAndFindNext) {
  Recordset rs = db.openRecordset("SELECT * FROM Primary ORDER BY PID");
  EXPECT_FALSE(rs.findFirst("PrimaryName = 'delta'"));
  EXPECT_TRUE(rs.noMatch());
  EXPECT_EQ(rs["PID"].value(), Variant(int32_t(1)));  // the current row stays

  EXPECT_TRUE(rs.findFirst("PrimaryName LIKE 'ALPHA%' AND Status = 1"));
  EXPECT_FALSE(rs.noMatch());
  EXPECT_EQ(rs["PID"].value(), Variant(int32_t(2)));
  EXPECT_TRUE(rs.findNext("PrimaryName LIKE 'ALPHA%' AND Status = 1"));
  EXPECT_EQ(rs["PID"].value(), Variant(int32_t(4)));
  EXPECT_FALSE(rs.findNext("PrimaryName LIKE 'ALPHA%' AND Status = 1"));
  EXPECT_EQ(rs["PID"].value(), Variant(int32_t(4)));
  EXPECT_TRUE(rs.findPrevious("Status = 1"));
  EXPECT_EQ(rs["PID"].value(), Variant(int32_t(2)));
  EXPECT_TRUE(rs.findLast("[Status] = True + 1"));
  EXPECT_EQ(rs["PID"].value(), Variant(int32_t(3)));
  EXPECT_TRUE(rs.findFirst("PrimaryName = \"CHARLIE\""));  // Jet's double-quoted text
  EXPECT_EQ(rs["PID"].value(), Variant(int32_t(5)));

  Recordset join = db.openRecordset("SELECT * FROM Secondary INNER JOIN Primary ON Secondary.PID = Primary.PID");
  EXPECT_TRUE(join.findFirst("Primary.Status = 0"));
  EXPECT_EQ(join["SecondaryName"].value(), Variant("S-three"));
  EXPECT_EQ(errorOf([&] { join.findFirst("Nonsense = 1"); }), jet::UnknownName);
  EXPECT_EQ(errorOf([&] { join.findFirst("Status = = 1"); }), err::DbSyntax);
}

TEST_F(RecordsetTest, RequerySeesRowsAddedElsewhere) {
  Recordset reader = db.openRecordset("SELECT * FROM EventCat WHERE EventID = 2");
  ASSERT_EQ(reader.recordCount(), 1);
  Recordset writer = db.openRecordset("EventCat");
  writer.addNew();
  writer["EventID"] = 2;
  writer["CatID"] = 13;
  writer.update();
  EXPECT_EQ(reader.recordCount(), 1);  // rows are fixed until requery
  reader.requery();
  EXPECT_EQ(reader.recordCount(), 2);
  EXPECT_EQ(values(reader, "CatID"), "11,13");

  // A requery that fails leaves an empty set, not half of one.
  Recordset figures = db.openRecordset("Figures");
  db.execute("DROP TABLE Figures");
  EXPECT_EQ(errorOf([&] { figures.requery(); }), jet::NoSuchTable);
  EXPECT_TRUE(figures.eof() && figures.bof());
  EXPECT_EQ(figures.recordCount(), 0);
  EXPECT_EQ(errorOf([&] { figures.moveFirst(); }), err::DbNoCurrentRecord);
}

TEST_F(RecordsetTest, ChangesMadeElsewhereShowOnTheFixedRows) {
  Recordset reader = db.openRecordset("SELECT * FROM Primary WHERE ProductID = 3 ORDER BY PID");
  db.execute("UPDATE Primary SET PrimaryName = 'BETA!' WHERE PID = 1");
  db.execute("DELETE FROM Primary WHERE PID = 2");
  EXPECT_EQ(reader["PrimaryName"].value(), Variant("BETA!"));
  EXPECT_EQ(values(reader, "PID"), "1,3,4,5");  // the deleted row is passed over
  EXPECT_EQ(reader.recordCount(), 4);
}

TEST_F(RecordsetTest, RowsAreReadAfreshAfterWrites) {
  // Event 1 is in two categories, so two rows of the join share its row.
  Recordset rs = db.openRecordset(
      "SELECT Event.Title, EventCat.CatID, Tertiary.TertiaryName FROM Event INNER JOIN EventCat ON Event.EventID = "
      "EventCat.EventID LEFT JOIN Tertiary ON Tertiary.CatID = EventCat.CatID ORDER BY EventCat.CatID");
  ASSERT_EQ(rs.recordCount(), 3);
  db.execute("UPDATE Event SET Title = 'Fair!' WHERE EventID = 1");
  EXPECT_EQ(values(rs, "Title"), "Fair!,Show,Fair!");
  rs.moveFirst();
  EXPECT_EQ(values(rs, "TertiaryName"), "T-ten,Null,T-twelve");  // no category 11: the outer join's Nulls
  db.execute("UPDATE Tertiary SET TertiaryName = 'T-12' WHERE CatID = 12");
  std::string backwards;
  rs.moveLast();
  while (!rs.bof()) {
    backwards += rs["CatID"].value().toString() + "=" + rs["Title"].value().toString() + ";";
    rs.movePrevious();
  }
  EXPECT_EQ(backwards, "12=Fair!;11=Show;10=Fair!;");
  rs.moveLast();
  EXPECT_EQ(rs["TertiaryName"].value(), Variant("T-12"));
  // A row of the join that lost its event is gone from the set.
  db.execute("DELETE FROM Event WHERE EventID = 2");
  rs.moveFirst();
  EXPECT_EQ(values(rs, "CatID"), "10,12");

  // The loaders' time-stamp pass: every row of a two-column select, edited in turn.
  Recordset stamps = db.openRecordset("SELECT CatID, TimeStamp FROM Tertiary");
  while (!stamps.eof()) {
    stamps.edit();
    stamps["TimeStamp"] = 77;
    stamps.update();
    stamps.moveNext();
  }
  EXPECT_EQ(values("SELECT * FROM Tertiary WHERE TimeStamp = 77", "CatID"), "10,12");
}

TEST_F(RecordsetTest, QualifiedNamesPickClashingColumns) {
  Recordset rs = db.openRecordset(
      "SELECT * FROM Secondary INNER JOIN Primary ON Secondary.PID = Primary.PID WHERE Secondary.SID = 1 AND "
      "Secondary.PID = 3");
  ASSERT_EQ(rs.recordCount(), 1);
  EXPECT_EQ(rs["Primary.Status"].value(), Variant(int16_t(0)));
  EXPECT_EQ(rs["Secondary.Status"].value(), Variant(int16_t(1)));
  EXPECT_EQ(rs["[Primary].[Status]"].value(), Variant(int16_t(0)));
  EXPECT_EQ(rs["Status"].value(), Variant(int16_t(1)));  // unqualified: the first
  EXPECT_EQ(rs["primary.pid"].value(), Variant(int32_t(3)));
  EXPECT_EQ(rs["secondary.pid"].value(), Variant(int16_t(3)));
  EXPECT_EQ(errorOf([&] { rs["Tertiary.Status"]; }), err::DbItemNotFound);

  // Each column writes to its own table.
  rs.edit();
  rs["Primary.PrimaryName"] = "Gamma";
  rs["SecondaryName"] = "S-3";
  rs.update();
  EXPECT_EQ(values("SELECT * FROM Primary WHERE PID = 3", "PrimaryName"), "Gamma");
  EXPECT_EQ(values("SELECT * FROM Secondary WHERE PID = 3", "SecondaryName"), "S-3");
  // Deleting from a join is refused; so is writing to an expression.
  EXPECT_EQ(errorOf([&] { rs.deleteRow(); }), err::DbNotUpdatable);
  Recordset expr = db.openRecordset("SELECT PID, PrimaryName || '!' AS Loud FROM Primary");
  EXPECT_TRUE(expr.updatable());
  expr.edit();
  EXPECT_EQ(errorOf([&] { expr["Loud"] = "x"; }), err::DbNotUpdatable);
  EXPECT_FALSE(expr["Loud"].updatable());
  Recordset grouped = db.openRecordset("SELECT ProductID, count(*) AS N FROM Primary GROUP BY ProductID");
  EXPECT_FALSE(grouped.updatable());
  EXPECT_EQ(errorOf([&] { grouped.edit(); }), err::DbNotUpdatable);
  EXPECT_EQ(errorOf([&] { grouped.addNew(); }), err::DbNotUpdatable);
}

TEST_F(RecordsetTest, MovesAndTheCurrentRow) {
  Recordset empty = db.openRecordset("SELECT * FROM Event WHERE EventID = 42");
  EXPECT_EQ(empty.recordCount(), 0);
  EXPECT_TRUE(empty.bof());
  EXPECT_TRUE(empty.eof());
  EXPECT_EQ(errorOf([&] { empty.moveFirst(); }), err::DbNoCurrentRecord);
  EXPECT_EQ(errorOf([&] { empty.moveLast(); }), err::DbNoCurrentRecord);
  EXPECT_EQ(errorOf([&] { empty.moveNext(); }), err::DbNoCurrentRecord);
  EXPECT_EQ(errorOf([&] { (void)empty["Title"].value(); }), err::DbNoCurrentRecord);
  EXPECT_EQ(errorOf([&] { empty.edit(); }), err::DbNoCurrentRecord);
  EXPECT_EQ(errorOf([&] { empty["NoSuchField"]; }), err::DbItemNotFound);
  EXPECT_EQ(errorOf([&] { empty.field(99); }), err::DbItemNotFound);

  Recordset rs = db.openRecordset("SELECT * FROM Primary WHERE ProductID = 3 ORDER BY PID");
  EXPECT_EQ(rs.fieldCount(), 4);
  EXPECT_EQ(rs.fieldName(2), "PrimaryName");
  EXPECT_EQ(rs.field(1).value(), Variant(int32_t(1)));
  rs.moveLast();
  EXPECT_EQ(rs["PID"].value(), Variant(int32_t(5)));
  rs.moveNext();
  EXPECT_TRUE(rs.eof());
  EXPECT_FALSE(rs.bof());
  EXPECT_EQ(errorOf([&] { rs.moveNext(); }), err::DbNoCurrentRecord);
  rs.movePrevious();
  EXPECT_EQ(rs["PID"].value(), Variant(int32_t(5)));
  rs.moveFirst();
  rs.movePrevious();
  EXPECT_TRUE(rs.bof());
  EXPECT_EQ(errorOf([&] { rs.movePrevious(); }), err::DbNoCurrentRecord);
  rs.moveNext();
  EXPECT_EQ(rs["PID"].value(), Variant(int32_t(1)));
}

TEST_F(RecordsetTest, DeletedRowsReadAsDeletedUntilMoved) {
  Recordset rs = db.openRecordset("SELECT * FROM Primary WHERE ProductID = 3 ORDER BY PID");
  rs.moveNext();
  rs.deleteRow();
  EXPECT_EQ(errorOf([&] { (void)rs["PrimaryName"].value(); }), err::DbRecordDeleted);
  EXPECT_EQ(errorOf([&] { rs.edit(); }), err::DbRecordDeleted);
  EXPECT_EQ(errorOf([&] { rs.deleteRow(); }), err::DbRecordDeleted);
  EXPECT_EQ(rs.recordCount(), 4);
  rs.moveNext();
  EXPECT_EQ(rs["PID"].value(), Variant(int32_t(3)));
  rs.moveFirst();
  rs.moveNext();
  EXPECT_EQ(rs["PID"].value(), Variant(int32_t(3)));  // the deleted row is passed over

  // The commit's way: delete every row of a selection.
  Recordset all = db.openRecordset("SELECT * FROM Primary WHERE ProductID = 3");
  while (!all.eof()) {
    all.deleteRow();
    all.moveNext();
  }
  EXPECT_EQ(all.recordCount(), 0);
  EXPECT_EQ(errorOf([&] { all.moveFirst(); }), err::DbNoCurrentRecord);
  EXPECT_EQ(values("SELECT * FROM Primary", "PID"), "9");
}

TEST_F(RecordsetTest, BulkAddInsideATransaction) {
  // The loaders' pattern: one table recordset, many AddNew/Update, one commit;
  // a rollback takes the rows away again.
  Recordset rs = db.openRecordset("EventCat");
  db.beginTrans();
  for (int i = 0; i < 2000; ++i) {
    rs.addNew();
    rs["EventID"] = i;
    rs["CatID"] = 1000 + i % 7;
    if (i % 2) rs["Status"] = 1;
    rs.update();
  }
  db.commitTrans();
  EXPECT_EQ(rs.recordCount(), 2003);
  EXPECT_EQ(values("SELECT count(*) AS N, sum(Status IS NULL) AS Unset FROM EventCat WHERE CatID >= 1000", "Unset"),
            "1000");

  db.beginTrans();
  rs.addNew();
  rs["EventID"] = 5000;
  rs["CatID"] = 5000;
  rs.update();
  db.rollback();
  rs.moveLast();  // the rolled-back row no longer exists
  EXPECT_EQ(rs["EventID"].value(), Variant(int32_t(1999)));
}

}  // namespace
}  // namespace pellary::dao
