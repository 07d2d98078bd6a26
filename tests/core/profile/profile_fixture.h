// A fresh databank with the whole schema as the open databank of the run, in
// a private program and settings folder, with every module state of the
// profile, the trees and the final selection reset.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/databank.h"
#include "core/final_selection.h"
#include "core/products.h"
#include "core/profile_lists.h"
#include "core/schema.h"
#include "core/screen_link.h"
#include "core/trees.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "platform/oledate.h"
#include "support/fixtures.h"

namespace pellary::testing {

inline void resetCoreState() {
  resetProductSetup();
  resetProfileLists();
  resetDatabaseAccess();
  resetTreeSetup();
  resetScreenLink();
}

class ProfileDb : public IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    resetCoreState();
    Bsql_DataBank() = dao::Database::create(root() / "bank.db");
    createDatabankSchema(Bsql_DataBank());
    setReportHandler([this](long number, std::string_view location, std::string_view) {
      reports.push_back({number, std::string(location)});
    });
  }
  void TearDown() override {
    setReportHandler({});
    resetCoreState();
    Bsql_CloseDataBank();
    Bsql_DataBank() = dao::Database();
    IsolatedEnvTest::TearDown();
  }

  struct Report {
    long number;
    std::string location;
  };
  std::vector<Report> reports;
  // Runs body, which must end the program through the reporter; the location reported.
  template <class F>
  std::string endsWith(F&& body) {
    reports.clear();
    EXPECT_THROW(body(), ProgramEnded);
    return reports.empty() ? std::string("(no report)") : reports.back().location;
  }

  static dao::Database& db() { return Bsql_DataBank(); }
  static void exec(const std::string& sql) { db().execute(sql); }
  static double day(int y, int m, int d) { return platform::oleFromCivil(y, m, d); }
  static std::string num(double v) { return std::to_string(v); }

  static void addProduct(int productID, int prog, int viewers, double start, int genDates, const char* name = "P") {
    exec("INSERT INTO Products (ProductID, ProgProductID, ProductName, Status, Viewers, StartDate, GenDates) VALUES (" +
         std::to_string(productID) + ", " + std::to_string(prog) + ", '" + name + "', 1, " + std::to_string(viewers) +
         ", " + (start == 0 ? std::string("NULL") : num(start)) + ", " + std::to_string(genDates) + ")");
  }
  static void addPrimary(int product, int pid, const std::string& name, int status = 1) {
    exec("INSERT INTO Primary (ProductID, PID, PrimaryName, Status) VALUES (" + std::to_string(product) + ", " +
         std::to_string(pid) + ", '" + name + "', " + std::to_string(status) + ")");
  }
  static void addSecondary(int product, int pid, int sid, const std::string& name, int status = 1) {
    exec("INSERT INTO Secondary (ProductID, PID, SID, SecondaryName, Status) VALUES (" + std::to_string(product) +
         ", " + std::to_string(pid) + ", " + std::to_string(sid) + ", '" + name + "', " + std::to_string(status) + ")");
  }
  static void addTertiary(int product, int pid, int sid, int tid, long catID, const std::string& name, int settings = 0,
                          int status = 1) {
    exec("INSERT INTO Tertiary (ProductID, PID, SID, TID, CatID, TertiaryName, CatSettings, Status) VALUES (" +
         std::to_string(product) + ", " + std::to_string(pid) + ", " + std::to_string(sid) + ", " +
         std::to_string(tid) + ", " + std::to_string(catID) + ", '" + name + "', " + std::to_string(settings) + ", " +
         std::to_string(status) + ")");
  }
  static void addEvent(long eventID, const std::string& title, double start, double end, int priority = 1,
                       int version = 1, int status = 1) {
    exec("INSERT INTO Event (EventID, Title, StartDate, EndDate, Priority, Version, Status) VALUES (" +
         std::to_string(eventID) + ", '" + title + "', " + num(start) + ", " + num(end) + ", " +
         std::to_string(priority) + ", " + std::to_string(version) + ", " + std::to_string(status) + ")");
  }
  static void link(long eventID, long catID) {
    exec("INSERT INTO EventCat (EventID, CatID, Status) VALUES (" + std::to_string(eventID) + ", " +
         std::to_string(catID) + ", 1)");
  }
  static void profileCat(long catID, int status, int duration = 0x0A01, int catSetting = 0, int addStatus = 0) {
    exec(
        "INSERT INTO ProfileCatList (ProfileID, CatID, StartDate, EndDate, Duration, CatSetting, Status, AddStatus) "
        "VALUES (1, " +
        std::to_string(catID) + ", 0, 0, " + std::to_string(duration) + ", " + std::to_string(catSetting) + ", " +
        std::to_string(status) + ", " + std::to_string(addStatus) + ")");
  }
  static void profileEvent(long eventID, long catID, int status, int version = 1, const std::string& platMisc = "",
                           const std::string& pubHol = "", int addStatus = 0) {
    exec(
        "INSERT INTO ProfileEventList (ProfileID, EventID, CatID, Version, Status, AddStatus, AuxDate, DateUsed, "
        "PlatMisc, PubHol) VALUES (1, " +
        std::to_string(eventID) + ", " + std::to_string(catID) + ", " + std::to_string(version) + ", " +
        std::to_string(status) + ", " + std::to_string(addStatus) + ", 0, 0, " +
        (platMisc.empty() ? std::string("NULL") : "'" + platMisc + "'") + ", " +
        (pubHol.empty() ? std::string("NULL") : "'" + pubHol + "'") + ")");
  }
  static long count(const std::string& sql) {
    dao::Recordset rs = db().openRecordset(sql);
    if (rs.recordCount() == 0) return 0;
    rs.moveLast();
    return rs.recordCount();
  }
  // A product table of one installed product whose window starts on start.
  static void oneProduct(double start, int16_t productID = 3, int32_t prog = 30) {
    ProductSetup& s = Bset();
    s.Bset_ProductID[0] = productID;
    s.Bset_ProgProductID[0] = prog;
    s.Bset_Viewers[0] = 1;
    s.Bset_ProductStartDate[0] = start;
    s.Bset_ProductID[1] = 1;
    s.Bset_ProgProductID[1] = 1;
    s.Bset_Viewers[1] = 4;
    s.Bset_ProductCount = 2;
    s.Bset_InstalledProductCount = 1;
  }
  static void loadProfile() {
    Bsda_LoadProfileCatList();
    Bsda_LoadProfileEventList();
  }
};

}  // namespace pellary::testing
