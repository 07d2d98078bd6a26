// The check-box lists that the previews fill: the dates list and the reference
// list of the summary page, or of the update-change preview in an update run.
// The window that shows them installs its lists here; tests install memory lists.
// Rows written before a window installed its list are held, and move into the
// list when it is installed: no row is lost because a page was not loaded yet.
#pragma once

#include <string>
#include <vector>

namespace pellary {

struct PreviewRow {
  std::string key;
  std::string text;
  std::vector<std::string> subItems;
  bool checked = true;
};

class PreviewList {
 public:
  virtual ~PreviewList() = default;
  virtual void clear() = 0;
  virtual void addRow(const PreviewRow& row) = 0;
  virtual int rowCount() const = 0;
  virtual PreviewRow row(int index) const = 0;
};

class MemoryPreviewList : public PreviewList {
 public:
  void clear() override { rows.clear(); }
  void addRow(const PreviewRow& r) override { rows.push_back(r); }
  int rowCount() const override { return int(rows.size()); }
  PreviewRow row(int index) const override { return rows.at(size_t(index)); }
  std::vector<PreviewRow> rows;
};

struct PreviewTargets {
  PreviewList* dates = nullptr;      // lstDatePreview
  PreviewList* reference = nullptr;  // lstReference
  // Rows written while no list was installed.
  MemoryPreviewList heldDates, heldReference;

  // The list a preview writes into: the installed one, else the holding list.
  PreviewList& datesList() { return dates ? *dates : heldDates; }
  PreviewList& referenceList() { return reference ? *reference : heldReference; }
  // Installs a window's lists; the held rows move into them.
  void install(PreviewList* datesTarget, PreviewList* referenceTarget);
  // Takes the lists out again when they are the installed ones.
  void uninstall(const PreviewList* datesTarget, const PreviewList* referenceTarget);
};
PreviewTargets& previewTargets();

}  // namespace pellary
