#include "platform/dao/sql_adapt.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/errors.h"

namespace pellary::dao::sql {
namespace {

struct Case {
  const char* jet;
  const char* sqlite;
};

TEST(SqlAdaptTest, ExpressionsBecomeSqlite) {
  const Case cases[] = {
      {"Primary.PID = 3", "\"Primary\".PID = 3"},
      {"Add = True AND Status <> False", "\"Add\" = -1 AND Status <> 0"},
      {"[Subject] = 'it''s' AND [Start Date] > 1", "\"Subject\" = 'it''s' AND \"Start Date\" > 1"},
      {"'Primary' = Name", "'Primary' = Name"},
      {"\"Add\" = 1", "\"Add\" = 1"},
      {"t.True = 1", "t.True = 1"},
      {"StartDate >= #12/25/2020#", "StartDate >= 44190"},
      {"StartDate < #2020-12-25 12:00#", "StartDate < 44190.5"},
      {"StartDate = #1/2/99#", "StartDate = 36162"},
      {"Action = 2", "\"Action\" = 2"},
      // Runs of equalities over one column become IN lists.
      {"(CatID = 1) OR (CatID = 2) OR (CatID = 3)", "CatID IN (1, 2, 3)"},
      {"(Event.CatID = 1) OR (event.catid = -2)", "Event.CatID IN (1, -2)"},
      {"X = 1 OR X = 2", "X IN (1, 2)"},
      {"(Status = 1) AND ((CatID = 12) OR (CatID = 345))", "(Status = 1) AND (CatID IN (12, 345))"},
      // AND binds tighter than OR: the neighbour of an AND stays out of the list.
      {"A = 1 AND X = 1 OR X = 2 OR X = 3", "A = 1 AND X = 1 OR X IN (2, 3)"},
      {"X = 1 OR X = 2 AND B = 1", "X = 1 OR X = 2 AND B = 1"},
      {"NOT X = 1 OR X = 2", "NOT X = 1 OR X = 2"},
      {"(X = 1) OR (Y = 2) OR (Y = 3)", "(X = 1) OR Y IN (2, 3)"},
      {"(X = 'a') OR (X = 'b')", "(X = 'a') OR (X = 'b')"},
      {"Name = 'a OR b' OR Name = 'c'", "Name = 'a OR b' OR Name = 'c'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.jet);
    EXPECT_EQ(adaptExpression(c.jet), c.sqlite);
  }
}

TEST(SqlAdaptTest, StatementsKeepTheirTextAndFixNames) {
  const Case cases[] = {
      {"SELECT * FROM Primary WHERE (Status = 1) AND (ProductID = 3) ORDER BY  PrimaryName ASC",
       "SELECT * FROM \"Primary\" WHERE (Status = 1) AND (ProductID = 3) ORDER BY  PrimaryName ASC"},
      {"SELECT * FROM Secondary INNER JOIN Primary ON Secondary.PID = Primary.PID",
       "SELECT * FROM Secondary INNER JOIN \"Primary\" ON Secondary.PID = \"Primary\".PID"},
      {"CREATE TABLE Primary (ProductID SHORT, PID LONG, PrimaryName TEXT, PRIMARY KEY (ProductID, PID))",
       "CREATE TABLE \"Primary\" (ProductID SHORT, PID LONG, PrimaryName TEXT COLLATE NOCASE, PRIMARY KEY (ProductID, PID))"},
      {"CREATE TABLE Event (Memo TEXT(50), MemoLong MEMO, Tag TEXT COLLATE BINARY, Status SHORT DEFAULT 1)",
       "CREATE TABLE Event (Memo TEXT(50) COLLATE NOCASE, MemoLong LONGTEXT COLLATE NOCASE, Tag TEXT COLLATE BINARY, "
       "Status SHORT DEFAULT 1)"},
      {"CREATE TABLE ReferenceChanges (TreeKey TEXT, Add BIT DEFAULT False)",
       "CREATE TABLE ReferenceChanges (TreeKey TEXT COLLATE NOCASE, \"Add\" BIT DEFAULT 0)"},
      {"ALTER TABLE ReferenceChanges ADD COLUMN Add BIT", "ALTER TABLE ReferenceChanges ADD COLUMN \"Add\" BIT"},
      {"ALTER TABLE Add ADD Name TEXT", "ALTER TABLE \"Add\" ADD Name TEXT COLLATE NOCASE"},
      {"CREATE TABLE a (b LONG REFERENCES Action (ActionID) ON DELETE NO ACTION)",
       "CREATE TABLE a (b LONG REFERENCES \"Action\" (ActionID) ON DELETE NO ACTION)"},
      {"CREATE UNIQUE INDEX PrimaryKey ON Primary (ProductID, PID)",
       "CREATE UNIQUE INDEX PrimaryKey ON \"Primary\" (ProductID, PID)"},
      {"DELETE FROM Action; DELETE FROM Primary", "DELETE FROM \"Action\"; DELETE FROM \"Primary\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.jet);
    EXPECT_EQ(adaptStatement(c.jet), c.sqlite);
  }
}

TEST(SqlAdaptTest, MalformedLiteralsAreSyntaxErrors) {
  for (const char* bad : {"Name = 'open", "[Name = 1", "StartDate = #13/45/2020#", "StartDate = #soon"}) {
    SCOPED_TRACE(bad);
    try {
      adaptExpression(bad);
      ADD_FAILURE() << "accepted";
    } catch (const AppError& e) {
      EXPECT_EQ(e.number(), err::DbSyntax);
    }
  }
}

TEST(SqlAdaptTest, ThousandsOfOrTermsBecomeOneList) {
  std::string list;
  for (int i = 1; i <= 5000; ++i) list += (i > 1 ? " OR " : "") + std::string("(CatID = ") + std::to_string(i) + ")";
  const std::string out =
      adaptStatement("SELECT * FROM EventCat WHERE (Status = 1) AND (" + list + ")  ORDER BY CatID");
  EXPECT_EQ(out.find(" OR "), std::string::npos);
  EXPECT_NE(out.find("(CatID IN (1, 2, 3,"), std::string::npos);
  EXPECT_NE(out.find(", 5000))  ORDER BY CatID"), std::string::npos);
}

TEST(SqlAdaptTest, RecordSourcesAndSelectShapes) {
  EXPECT_EQ(tableNameSource("Event"), "Event");
  EXPECT_EQ(tableNameSource(" [Primary] "), "Primary");
  EXPECT_EQ(tableNameSource("SELECT * FROM Event"), std::nullopt);

  auto toks = adaptTokens(
      "SELECT e.*, c.CatID FROM (Event AS e INNER JOIN EventCat c ON (e.EventID = c.EventID)) "
      "LEFT JOIN Primary ON Primary.PID = c.CatID WHERE e.Status = 1 ORDER BY e.StartDate",
      true);
  SelectShape shape = analyzeSelect(toks);
  ASSERT_TRUE(shape.rowBased);
  ASSERT_EQ(shape.tables.size(), 3u);
  EXPECT_EQ(shape.tables[0].table, "Event");
  EXPECT_EQ(shape.tables[0].alias, "e");
  EXPECT_EQ(shape.tables[1].alias, "c");
  EXPECT_EQ(shape.tables[2].table, "Primary");
  EXPECT_EQ(withCondition(toks, shape, "Version = 3"),
            "SELECT e.*, c.CatID FROM (Event AS e INNER JOIN EventCat c ON (e.EventID = c.EventID)) LEFT JOIN "
            "\"Primary\" ON \"Primary\".PID = c.CatID WHERE ( e.Status = 1 ) AND (Version = 3) ORDER BY e.StartDate");

  for (const char* notRows : {"SELECT DISTINCT CatID FROM EventCat", "SELECT count(*) FROM Event",
                              "SELECT CatID FROM EventCat GROUP BY CatID", "SELECT * FROM (SELECT * FROM Event)",
                              "SELECT 1 UNION SELECT 2"}) {
    SCOPED_TRACE(notRows);
    EXPECT_FALSE(analyzeSelect(adaptTokens(notRows, true)).rowBased);
  }
}

}  // namespace
}  // namespace pellary::dao::sql
