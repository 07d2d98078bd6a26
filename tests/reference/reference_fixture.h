// A databank with two products' reference topics and the PC, handheld and
// palm-sized source folders of a program folder, for the journal, the page
// generator and the copiers.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "core/databank.h"
#include "core/preview_lists.h"
#include "core/products.h"
#include "core/schema.h"
#include "core/screen_link.h"
#include "core/update_run.h"
#include "core/wizard/page_engine.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "reference/html_generator.h"
#include "reference/reference_tree.h"
#include "reference_template.h"
#include "support/fixtures.h"

namespace pellary::testing {

// Product 101:  1 Guide -> 2 Cities -> {4 London, 5 Paris}, 1 -> 3 Phrases, 1 -> 22 Tube map.
// Product 7:    1 Basics -> 2 Intro.
class ReferenceTest : public IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    resetProductSetup();
    resetReferenceTree();
    resetHtmlGenerator();
    resetScreenLink();
    resetWizardState();
    Bupd_UpdateRun() = false;
    updateRunSurface() = UpdateRunSurface{};
    updateRunSurface().setProgress = [this](int16_t p) { portal.push_back(p); };
    updateRunSurface().setStatus = [this](const std::string& t) { portalText = t; };
    previewTargets().reference = &preview;
    fs::create_directories(home());
    Bsql_DataBank() = dao::Database::create(home() / "bank.db");
    createDatabankSchema(Bsql_DataBank());
    setReportHandler([this](long number, std::string_view location, std::string_view) {
      reported = number;
      where = std::string(location);
    });
    ProductSetup& s = Bset();
    s.Bset_ProductID[0] = 101;
    s.Bset_ProgProductID[0] = 11;
    s.Bset_ProductID[1] = 7;
    s.Bset_ProgProductID[1] = 12;
    s.Bset_InstalledProductCount = 2;
    s.Bset_ProfileID = 1;
    const std::map<int, std::string> names101 = {{1, "Guide"},  {2, "Cities"}, {3, "Phrases"},
                                                 {4, "London"}, {5, "Paris"},  {22, "Tube map"}};
    for (const auto& [id, name] : names101) tmpl(101, id, name);
    edge(101, 1, 2);
    edge(101, 1, 3);
    edge(101, 1, 22);
    edge(101, 2, 4);
    edge(101, 2, 5);
    tmpl(7, 1, "Basics");
    tmpl(7, 2, "Intro");
    edge(7, 1, 2);
    s.Bset_rsReferenceChanges = Bsql_DataBank().openRecordset("ReferenceChanges");
    makeSources("PC");
    makeSources("HPC");
    makeSources("PPC");
    fs::create_directories(home() / "PCMappa");
    fs::create_directories(home() / "Reference" / "HPC" / "Output");
    fs::create_directories(home() / "Reference" / "PPC" / "Output");
  }
  void TearDown() override {
    setReportHandler({});
    previewTargets().reference = nullptr;
    updateRunSurface() = UpdateRunSurface{};
    Bupd_UpdateRun() = false;
    Bset().Bset_rsReferenceChanges = dao::Recordset();
    resetReferenceTree();
    resetHtmlGenerator();
    resetProductSetup();
    resetScreenLink();
    resetWizardState();
    Bsql_CloseDataBank();
    Bsql_DataBank() = dao::Database();
    IsolatedEnvTest::TearDown();
  }

  void makeSources(const std::string& platform) {
    const fs::path src = home() / "Reference" / platform / "Source";
    fs::create_directories(src / "Perm");
    writeFile(src / "101.tem", kTemplate);
    writeFile(src / "7.tem", kTemplate);
    for (int t : {3, 4, 5, 22})
      writeFile(src / ("101_" + std::to_string(t) + ".htm"), "content 101_" + std::to_string(t));
    writeFile(src / "7_2.htm", "content 7_2");
    writeFile(src / "Perm" / "index.htm", "<frameset><frame name=main></frameset>");
    for (const char* image : {"tubemap.gif", "tuber.gif", "tubem.gif", "tubel.gif", "tubemap.2bp"})
      writeFile(src / image, image);
  }

  static void exec(const std::string& sql) { Bsql_DataBank().execute(sql); }
  static void tmpl(int product, long id, const std::string& name) {
    exec("INSERT INTO RETemplate (Product_Id, Template_Id, Name, Status) VALUES (" + std::to_string(product) + ", " +
         std::to_string(id) + ", '" + name + "', 1)");
  }
  static void edge(int product, long parent, long child) {
    exec("INSERT INTO REStructure (Product_Id, ParentTemplate_Id, ChildTemplate_Id, Status) VALUES (" +
         std::to_string(product) + ", " + std::to_string(parent) + ", " + std::to_string(child) + ", 1)");
  }
  static void choose(int product, long refID) {
    exec("INSERT INTO ProfileRefList (ProfileID, RefID, Product_Id, Status) VALUES (1, " + std::to_string(refID) +
         ", " + std::to_string(product) + ", 1)");
  }
  static std::set<std::string> profileRefs() {
    std::set<std::string> out;
    dao::Recordset rs = Bsql_DataBank().openRecordset("SELECT * FROM ProfileRefList WHERE Status <> 0");
    for (; !rs.eof(); rs.moveNext())
      out.insert(rs["Product_Id"].value().toString() + "_" + rs["RefID"].value().toString());
    return out;
  }
  static long journalRows() {
    dao::Recordset rs = Bsql_DataBank().openRecordset("SELECT * FROM ReferenceChanges");
    long n = 0;
    for (; !rs.eof(); rs.moveNext()) ++n;
    return n;
  }
  std::set<std::string> files(const fs::path& folder) const {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(folder))
      if (e.is_regular_file()) out.insert(e.path().filename().string());
    return out;
  }

  MemoryPreviewList preview;
  std::vector<int16_t> portal;
  std::string portalText;
  long reported = 0;
  std::string where;
};

}  // namespace pellary::testing
