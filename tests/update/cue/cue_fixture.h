// A program folder with a fresh databank open, errors recorded instead of
// shown, and helpers to put files into "CUE" and read tables back.
#pragma once

#include <string>
#include <vector>

#include "core/databank.h"
#include "core/idindex.h"
#include "core/registry.h"
#include "core/schema.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "support/fixtures.h"
#include "update/cue/cue_loaders.h"

namespace pellary::testing {

struct ReportedError {
  long number;
  std::string location;
  std::string description;
};

class CueTest : public IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    fs::create_directories(home() / "CUE");
    fs::create_directories(home() / "Updates");
    Breg_WriteRegSettings("Support", "Name", "test.db");
    dao::Database created = dao::Database::create(home() / "test.db");
    createDatabankSchema(created);
    created.close();
    Bsql_OpenDataBanks();
    resetIdIndexes();
    Bcue_Engine() = ClientUpdateEngine{};
    setReportHandler([this](long number, std::string_view location, std::string_view) {
      reported.push_back({number, std::string(location), currentError().description});
      endProgram(1);
    });
  }
  void TearDown() override {
    setReportHandler(nullptr);
    Bsql_CloseDataBank();
    IsolatedEnvTest::TearDown();
  }

  dao::Database& db() { return Bsql_DataBank(); }
  void cueFile(const std::string& name, const std::string& bytes) { writeFile(home() / "CUE" / name, bytes); }
  bool inCue(const std::string& name) const { return fs::exists(home() / "CUE" / name); }

  // Rows of a query as "a|b|c" texts, Null as "<null>".
  std::vector<std::string> rows(const std::string& sql) {
    std::vector<std::string> out;
    dao::Recordset rs = db().openRecordset(sql);
    for (; rs.recordCount() && !rs.eof(); rs.moveNext()) {
      std::string line;
      for (int i = 0; i < rs.fieldCount(); ++i) {
        if (i) line += "|";
        Variant v = rs.field(i).value();
        line += v.isNull() ? "<null>" : v.toString();
      }
      out.push_back(line);
      if (rs.eof()) break;
    }
    return out;
  }
  long count(const std::string& sql) { return db().openRecordset(sql).recordCount(); }

  // Runs a loader that is expected to report; true when it ended the program.
  template <class F>
  bool ends(F&& f) {
    try {
      f();
    } catch (const ProgramEnded&) {
      return true;
    }
    return false;
  }

  std::vector<ReportedError> reported;
};

}  // namespace pellary::testing
