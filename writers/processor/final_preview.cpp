#include "writers/processor/final_preview.h"

#include <cstdio>
#include <string>
#include <unordered_set>

#include "core/preview_lists.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/screen_link.h"
#include "core/update_run.h"
#include "core/wizard/page_engine.h"
#include "platform/errors.h"
#include "platform/oledate.h"
#include "platform/paths.h"
#include "reference/reference_journal.h"
#include "writers/processor/central_writer.h"

namespace pellary {

namespace {

// The keys of the rows already in the dates list. The list has no lookup by
// key, so the keys are kept here while this procedure is the one adding rows;
// a change made elsewhere (another list, a row count or a first or last row
// other than the ones we know) makes the set be read afresh.
struct KeyCache {
  const PreviewList* list = nullptr;
  int rows = -1;
  std::string first, last;
  std::unordered_set<std::string> keys;

  bool has(const PreviewList& l, const std::string& key) {
    const int n = l.rowCount();
    if (&l != list || n != rows || (n > 0 && (l.row(0).key != first || l.row(n - 1).key != last))) {
      keys.clear();
      for (int i = 0; i < l.rowCount(); ++i) keys.insert(l.row(i).key);
      list = &l;
      rows = n;
      first = n > 0 ? l.row(0).key : std::string();
      last = n > 0 ? l.row(n - 1).key : std::string();
    }
    return keys.count(key) != 0;
  }
  void added(const std::string& key) {
    keys.insert(key);
    if (rows++ == 0) first = key;
    last = key;
  }
};

KeyCache& keyCache() {
  static KeyCache c;
  return c;
}

}  // namespace

void Bint_ShowFinalPreview() {
  trapped("Bint_ShowFinalPreview", [] {
    screenLink().hourglass(true);
    // In an update run the list is the update preview's, which is not emptied here.
    if (!Bupd_UpdateRun()) previewTargets().datesList().clear();
    Bplp_CentralWriter(true);
    Bhtm_ShowReferencePreview();
    screenLink().hourglass(false);
  });
}

void Bint_WriteToFinalPreview(RelayEventRecord& entry, int16_t& action, int32_t& eventID) {
  trapped("Bint_WriteToFinalPreview", [&] {
    const char* text = " ";
    switch (action) {
      case 1: text = "Add"; break;
      case 2: text = "Remove"; break;
      case 4: text = "Change"; break;
      default: break;
    }
    char key[24];
    std::snprintf(key, sizeof key, "P%07d", static_cast<int>(eventID));
    PreviewList* list = &previewTargets().datesList();
    // The first row of an event wins.
    if (keyCache().has(*list, key)) return;
    PreviewRow row;
    row.key = key;
    row.text = text;
    row.subItems = {platform::shortDate(entry.StartDate), entry.Title};
    row.checked = true;
    list->addRow(row);
    keyCache().added(key);
  });
}

void Bint_SetProcessControl() {
  trapped("Bint_SetProcessControl", [] {
    ProductSetup& p = Bset();
    bool journal = false;
    if (p.Bset_rsReferenceChanges.isOpen()) {
      dao::Recordset& rs = p.Bset_rsReferenceChanges;
      journal = rs.recordCount() > 0 || !rs.eof() || !rs.bof();
    }
    if (journal) {
      Bint_Ref1Pending() = paths::equalsIgnoreCase(Breg_GetRegSetting("Settings", "Ref1"), "on") &&
                           p.Bset_RefPlat1 != 0;
      Bint_Ref2Pending() = paths::equalsIgnoreCase(Breg_GetRegSetting("Settings", "Ref2"), "on") &&
                           p.Bset_RefPlat2 != 0;
    } else {
      Bint_Ref1Pending() = false;
      Bint_Ref2Pending() = false;
    }
    Bint_DatesPending() = previewTargets().datesList().rowCount() > 0;
  });
}

}  // namespace pellary
