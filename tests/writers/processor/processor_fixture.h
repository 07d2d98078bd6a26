// A databank and profile for the event processor, with the relays recorded
// and the dates preview in memory.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/preview_lists.h"
#include "core/profile/profile_fixture.h"
#include "core/update_run.h"
#include "core/wizard/page_engine.h"
#include "writers/processor/central_writer.h"
#include "writers/processor/final_preview.h"
#include "writers/processor/pubhol_writer.h"
#include "writers/processor/relay.h"

namespace pellary::testing {

class ProcessorTest : public ProfileDb {
 protected:
  struct Call {
    bool add;
    RelayEventRecord record;
    int16_t percent;
  };

  void SetUp() override {
    ProfileDb::SetUp();
    resetProcessorState();
    resetWizardState();
    Bupd_UpdateRun() = false;
    oneProduct(day(2027, 1, 1));
    previewTargets().dates = &preview;
    Bplp().writeOverride = [this](RelayEventRecord& r, int16_t& p) {
      calls.push_back({true, r, p});
      return nextID.empty() ? std::string() : nextID + std::to_string(calls.size());
    };
    Bplp().deleteOverride = [this](RelayEventRecord& r, int16_t& p) { calls.push_back({false, r, p}); };
  }
  void TearDown() override {
    previewTargets().dates = nullptr;
    resetProcessorState();
    resetWizardState();
    ProfileDb::TearDown();
  }

  // An event row with the columns the writers read.
  static void event(long id, const std::string& title, double start, double end, int version = 1, int priority = 1,
                    const std::string& extra = "") {
    addEvent(id, title, start, end, priority, version);
    if (!extra.empty())
      exec("UPDATE Event SET " + extra + " WHERE EventID = " + std::to_string(id) +
           " AND Version = " + std::to_string(version));
  }
  static int32_t cat(long catID, int16_t status, int16_t duration = 0x0A01, int16_t setting = 0) {
    Bsda_AddToProfileCatList(catID, status, duration, 0, 0, setting);
    return catPosition(catID);
  }
  // A profile record of an entry standing on the target.
  static ProfileEventRecord& written(long eventID, long catID, int16_t status, int16_t version, double dateUsed,
                                     const std::string& ids = "", double auxDate = 0) {
    Bsda_AddToProfileEventList(eventID, catID, status, version, dateUsed, auxDate, ids);
    return Bsda().event(eventPosition(eventID));
  }
  static ProfileEventRecord& profileOf(long eventID) {
    int32_t pos = eventPosition(eventID);
    EXPECT_NE(pos, 0) << eventID;
    return Bsda().event(pos);
  }

  void runPreview() {
    preview.clear();
    Bsql_SetFinalRecordSelection();
    Bplp_CentralWriter(true);
  }
  void runWrite() {
    calls.clear();
    Bsql_SetFinalRecordSelection();
    Bplp_CentralWriter(false);
  }
  // Preview then write, as the summary page and a writer page do.
  void previewAndWrite() {
    runPreview();
    runWrite();
  }
  std::vector<std::string> titles(bool adds) const {
    std::vector<std::string> out;
    for (const Call& c : calls)
      if (c.add == adds) out.push_back(c.record.Title);
    return out;
  }
  std::vector<std::string> previewTexts() const {
    std::vector<std::string> out;
    for (const PreviewRow& r : preview.rows) out.push_back(r.key + " " + r.text + " " + r.subItems.at(1));
    return out;
  }

  MemoryPreviewList preview;
  std::vector<Call> calls;
  std::string nextID;  // empty: the target returns no IDs
};

}  // namespace pellary::testing
