// The reference section generator: the state one generation shares between
// the writer start, the section writer, the page writer and the Windows CE
// copier, the run's journal flag, and the generator's procedures. The
// journal of the run's reference changes is reference_journal.h.
#pragma once

#include <cstdint>
#include <string>

#include "reference/page_text.h"

namespace pellary {

// The progress bar of the page that generates (pbReference); the pages
// install theirs, tests install memory ones.
class ProgressBarView {
 public:
  virtual ~ProgressBarView() = default;
  virtual void setRange(int minimum, int maximum) = 0;
  virtual void setValue(int value) = 0;
  virtual int value() const = 0;
  virtual int maximum() const = 0;
};

class MemoryProgressBar : public ProgressBarView {
 public:
  void setRange(int mn, int mx) override { minimum_ = mn, maximum_ = mx; }
  void setValue(int v) override { value_ = v; }
  int value() const override { return value_; }
  int maximum() const override { return maximum_; }
  int minimum() const { return minimum_; }

 private:
  int minimum_ = 0, maximum_ = 100, value_ = 0;
};

struct HtmlGeneratorState {
  int16_t Bhtm_RefPlatform = 0;
  // Both end in a backslash; empty before the first generation.
  std::string Bhtm_SourceFolder;
  std::string Bhtm_OutputFolder;
  std::string Bhtm_TemplateFile;
  std::string Bhtm_PageTemplate;
  std::string Bhtm_ChildTemplate;
  // The character set the product's template declares; names are written in it.
  PageCharset Bhtm_PageCharset = PageCharset::Windows1252;
  int16_t Bhtm_PageCount = 0;
  double Bhtm_ProgressStep = 0;
  double Bhtm_ProgressDone = 0;
  // The journal has been applied in this run.
  bool Bhtm_Initialised = false;
  // RE_GENERATE of the update reply; the update service sets it.
  int32_t Bupd_ReGenerate = 0;
  // pbReference of frmReference (platform 1) and of frmWinCEReference.
  ProgressBarView* pcProgress = nullptr;
  ProgressBarView* winCEProgress = nullptr;
};

HtmlGeneratorState& Bhtm_Generator();
void resetHtmlGenerator();

// The folders of a platform code as the generator sets them (empty for an
// unlisted code).
std::string referenceSourceFolder(int16_t platform);
std::string referenceOutputFolder(int16_t platform);

// Writes the reference section for a platform (1 PC, 4 handheld PC, 8 palm-sized PC).
void Bhtm_StartHTMLReferenceWriter(int16_t platform);
// Resets (reset true) or steps the progress bar of the page that generates.
void Bhtm_UpdateStatus(bool reset, int16_t platform);
// Writes one platform's whole section from the loaded tree.
void Bhtm_HTMLReferenceWriter();
// Writes the pages of one product's topic and of its selected descendants.
void Bhtm_RecursiveWritePages(int16_t position, int32_t templateID);

// A product template split into the page template and the child-row template.
struct SplitTemplate {
  std::string page;
  std::string childRow;
};
// Splits template text; raises 62 for a child-row block without its end line.
SplitTemplate splitProductTemplate(const std::string& text);

// Lets the tree's unload see the page engine's reference pending flags.
void Bhtm_ConnectToPageEngine();

// The page file name of a topic: "101_22.htm".
std::string referencePageName(int16_t product, int32_t templateID);

}  // namespace pellary
