#include "update/follow_on.h"

#include <set>
#include <string>
#include <utility>

#include "core/databank.h"
#include "core/final_selection.h"
#include "core/idindex.h"
#include "core/preview_lists.h"
#include "core/products.h"
#include "core/profile_commit.h"
#include "core/profile_lists.h"
#include "core/registry.h"
#include "core/wizard/page_engine.h"
#include "platform/dao/dao.h"
#include "platform/paths.h"
#include "platform/variant.h"
#include "reference/html_generator.h"
#include "update/replies.h"
#include "update/update_manager.h"
#include "writers/outlook/outlook_writer.h"
#include "writers/palm/palm_writer.h"
#include "writers/processor/final_preview.h"

namespace pellary {

Hook<void()>& updatePreviewShow() {
  static Hook<void()> show;
  return show;
}

void Bupd_ShowUpdatePreview() {
  Bsql_SetFinalRecordSelection();
  Bint_ShowFinalPreview();
  bool hasRows = previewTargets().datesList().rowCount() > 0 || previewTargets().referenceList().rowCount() > 0;
  if (hasRows) updatePreviewShow()();
}

void passReGenerate(int16_t reGenerate) { Bhtm_Generator().Bupd_ReGenerate = reGenerate; }

void Bupd_QueueProcesses() {
  trappedWithText("Bupd_QueueProcesses", [] {
    CUEUpdateManager& u = Bupd();
    std::string refPlat1 = Breg_GetRegSetting("Support", "RefPlat1");
    std::string refPlat2 = Breg_GetRegSetting("Support", "RefPlat2");
    std::string ref1 = Breg_GetRegSetting("Settings", "Ref1");
    std::string ref2 = Breg_GetRegSetting("Settings", "Ref2");
    if (!refPlat1.empty() && u.Bupd_ReGenerate != 0 && paths::equalsIgnoreCase(ref1, "on")) Bint_Ref1Pending() = true;
    if (!refPlat2.empty() && u.Bupd_ReGenerate != 0 && paths::equalsIgnoreCase(ref2, "on")) Bint_Ref2Pending() = true;
    Bint_DatesPending() = previewTargets().datesList().rowCount() > 0;

    if (Bint_Ref1Pending()) {
      Bhtm_StartHTMLReferenceWriter(1);
      Bint_Ref1Pending() = false;
    }
    if (Bint_Ref2Pending()) {
      switch (Bset().Bset_RefPlat2) {
        case 1:
          Bhtm_StartHTMLReferenceWriter(1);
          Bint_Ref2Pending() = false;
          break;
        case 2:
          Bpm_SetPilotPath();
          Bpm_SilentReference();
          Bint_Ref2Pending() = false;
          break;
        default: break;
      }
    }
    if (Bint_DatesPending()) {
      switch (Bset().Bset_DatesPlat) {
        case 3: Bout_InitialiseOutlook(); break;
        case 12:
          Bpm_SetPilotPath();
          Bpm_SilentDates();
          break;
        default: break;
      }
    }
    Bsda_UnloadProfileEventList();
    Bupd_UpdateTimeStamps();
  });
}

void Bupd_UpdateTimeStamps() {
  trappedWithText("Bupd_UpdateTimeStamps", [] {
    CUEUpdateManager& u = Bupd();
    dao::Database& db = Bsql_DataBank();
    int32_t stamp = replies::longOf(u.Bupd_TimeStamp);
    dao::inTransaction(db, [&] {
      dao::Recordset rs = db.openRecordset("SELECT CatID, TimeStamp FROM Tertiary");
      if (rs.recordCount()) {
        for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
          if (catPosition(rs["CatID"].value().toLong()) == 0) continue;
          rs.edit();
          rs["TimeStamp"] = Variant(stamp);
          rs.update();
        }
      }
      rs.close();
      // Template numbers are per product, so a chosen topic is its product and number.
      std::set<std::pair<int32_t, int32_t>> chosen;
      rs = db.openRecordset("SELECT RefID, Product_Id FROM ProfileRefList WHERE ProfileID = " +
                            std::to_string(Bset().Bset_ProfileID));
      if (rs.recordCount()) {
        Bsda_ClearCatTimeStampIndex();
        for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
          Bsda_AddCatTimeStampIndex(rs["Product_Id"].value().toLong(), rs["RefID"].value().toLong());
          chosen.emplace(rs["Product_Id"].value().toLong(), rs["RefID"].value().toLong());
        }
      }
      rs.close();
      rs = db.openRecordset("SELECT TimeStamp, Template_Id, Product_Id FROM RETemplate");
      if (rs.recordCount()) {
        for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
          if (!chosen.count({rs["Product_Id"].value().toLong(), rs["Template_Id"].value().toLong()})) continue;
          rs.edit();
          rs["TimeStamp"] = Variant(stamp);
          rs.update();
        }
      }
      rs.close();
    });
    Breg_WriteRegSettings("CUE", "LastUpdate", u.Bupd_TimeStamp);
  });
}

}  // namespace pellary
