#include "core/schema.h"

#include "platform/dao/dao.h"

namespace pellary {

// Column types are the databank layer's declared types: SHORT (16-bit),
// LONG (32-bit), DATETIME (OLE day number), TEXT and MEMO (compared without
// regard to case), BIT (-1 for true). Unique keys are those the loaders rely
// on for their duplicate-key handling; the profile lists have none, because
// their commit holds the old and the new rows at once.
const std::string& databankSchemaSql() {
  static const std::string sql = R"SQL(
CREATE TABLE "Event" (
  "EventID" LONG, "Title" TEXT COLLATE NOCASE, "Memo" MEMO COLLATE NOCASE,
  "MemoLong" MEMO COLLATE NOCASE, "StartDate" DATETIME, "EndDate" DATETIME,
  "OnSale" DATETIME, "URL" TEXT COLLATE NOCASE, "TelCountry" TEXT COLLATE NOCASE,
  "TelPrefix" TEXT COLLATE NOCASE, "Tel" TEXT COLLATE NOCASE, "Priority" SHORT,
  "Version" SHORT, "Action" SHORT, "Status" SHORT DEFAULT 1);
CREATE INDEX "Event_EventID" ON "Event" ("EventID");
CREATE INDEX "Event_Status" ON "Event" ("Status");

CREATE TABLE "EventCat" ("EventID" LONG, "CatID" LONG, "Status" SHORT);
CREATE UNIQUE INDEX "EventCat_Key" ON "EventCat" ("CatID", "EventID");
CREATE INDEX "EventCat_EventID" ON "EventCat" ("EventID");

CREATE TABLE "Primary" ("ProductID" SHORT, "PID" LONG, "PrimaryName" TEXT COLLATE NOCASE, "Status" SHORT);
CREATE UNIQUE INDEX "Primary_Key" ON "Primary" ("ProductID", "PID");

CREATE TABLE "Secondary" ("ProductID" SHORT, "PID" SHORT, "SID" SHORT,
  "SecondaryName" TEXT COLLATE NOCASE, "Status" SHORT);
CREATE UNIQUE INDEX "Secondary_Key" ON "Secondary" ("ProductID", "PID", "SID");

CREATE TABLE "Tertiary" ("ProductID" SHORT, "PID" LONG, "SID" SHORT, "TID" SHORT, "CatID" LONG,
  "TertiaryName" TEXT COLLATE NOCASE, "Priorities_Valid" SHORT, "CatSettings" SHORT,
  "Status" SHORT, "TimeStamp" LONG DEFAULT 0);
CREATE UNIQUE INDEX "Tertiary_Key" ON "Tertiary" ("ProductID", "PID", "SID", "TID");
CREATE INDEX "Tertiary_CatID" ON "Tertiary" ("CatID");

CREATE TABLE "Products" ("ProductID" SHORT, "ProgProductID" LONG, "ProductName" TEXT COLLATE NOCASE,
  "Status" SHORT, "Viewers" SHORT, "StartDate" DATETIME, "GenDates" SHORT);
CREATE UNIQUE INDEX "Products_Key" ON "Products" ("ProductID");

CREATE TABLE "Profiles" ("ProfileID" SHORT, "CalendarPlat" SHORT, "ReferencePlat" LONG,
  "Misc1" TEXT COLLATE NOCASE, "Misc2" TEXT COLLATE NOCASE, "Misc3" TEXT COLLATE NOCASE);

CREATE TABLE "ProfileCatList" ("ProfileID" SHORT, "CatID" LONG, "StartDate" DATETIME,
  "EndDate" DATETIME, "Duration" SHORT, "CatSetting" SHORT, "Status" SHORT, "AddStatus" SHORT DEFAULT 0);
CREATE INDEX "ProfileCatList_Profile" ON "ProfileCatList" ("ProfileID", "AddStatus");

CREATE TABLE "ProfileEventList" ("ProfileID" SHORT, "EventID" LONG, "CatID" LONG, "Version" SHORT,
  "Status" SHORT, "AddStatus" SHORT DEFAULT 0, "AuxDate" DATETIME, "DateUsed" DATETIME,
  "PlatMisc" MEMO COLLATE NOCASE, "PubHol" MEMO COLLATE NOCASE);
CREATE INDEX "ProfileEventList_Profile" ON "ProfileEventList" ("ProfileID", "AddStatus");
CREATE INDEX "ProfileEventList_Event" ON "ProfileEventList" ("ProfileID", "EventID");

CREATE TABLE "ProfileRefList" ("ProfileID" SHORT, "RefID" LONG, "Product_Id" SHORT, "Status" SHORT);

CREATE TABLE "REStructure" ("Product_Id" SHORT, "ParentTemplate_Id" LONG, "ChildTemplate_Id" LONG,
  "TimeStamp" LONG DEFAULT 0, "Status" SHORT);
CREATE UNIQUE INDEX "REStructure_Key" ON "REStructure" ("ParentTemplate_Id", "ChildTemplate_Id", "Product_Id");

CREATE TABLE "RETemplate" ("Product_Id" SHORT, "Template_Id" LONG, "Name" TEXT COLLATE NOCASE,
  "TimeStamp" LONG DEFAULT 0, "Status" SHORT, "Platforms" SHORT);
CREATE UNIQUE INDEX "RETemplate_Key" ON "RETemplate" ("Template_Id", "Product_Id");

CREATE TABLE "ReferenceChanges" ("TreeKey" TEXT COLLATE NOCASE, "Add" BIT, "Name" TEXT COLLATE NOCASE,
  "RefID" LONG, "ProfileID" SHORT, "ProductID" SHORT);

CREATE TABLE "Action" ("ActionID" LONG, "ActionName" TEXT COLLATE NOCASE, "PeckingNumber" SHORT);
CREATE UNIQUE INDEX "Action_Key" ON "Action" ("ActionID");
)SQL";
  return sql;
}

void createDatabankSchema(dao::Database& db) {
  db.beginTrans();
  db.execute(databankSchemaSql());
  // Action codes of event changes with their precedence: the events merge keeps
  // the highest pecking number, and the writers read it as the title prefix
  // (1 "Cancelled: ", 2 "Postponed: ", 3 "Updated: ", anything else none), so
  // a new event, whatever else its list says, gets no prefix.
  db.execute(
      "INSERT INTO \"Action\" (ActionID, ActionName, PeckingNumber) VALUES "
      "(1, 'Cancelled', 1), (2, 'Date changed', 2), (3, 'Details changed', 3), (4, 'New', 4)");
  db.execute("INSERT INTO Profiles (ProfileID, CalendarPlat, ReferencePlat) VALUES (1, 0, 0)");
  db.execute("PRAGMA user_version = " + std::to_string(kSchemaVersion));
  db.commitTrans();
}

}  // namespace pellary
