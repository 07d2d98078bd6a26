#include "core/preview_lists.h"

namespace pellary {
PreviewTargets& previewTargets() {
  static PreviewTargets targets;
  return targets;
}

namespace {
void moveRows(MemoryPreviewList& from, PreviewList& to) {
  for (const PreviewRow& r : from.rows) to.addRow(r);
  from.clear();
}
}  // namespace

void PreviewTargets::install(PreviewList* datesTarget, PreviewList* referenceTarget) {
  dates = datesTarget;
  reference = referenceTarget;
  if (dates) moveRows(heldDates, *dates);
  if (reference) moveRows(heldReference, *reference);
}

void PreviewTargets::uninstall(const PreviewList* datesTarget, const PreviewList* referenceTarget) {
  if (dates == datesTarget) dates = nullptr;
  if (reference == referenceTarget) reference = nullptr;
}
}  // namespace pellary
