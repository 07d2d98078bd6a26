#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unordered_set>

#include "core/app.h"
#include "core/products.h"
#include "core/update_run.h"
#include "core/wizard/page_engine.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/text/lines.h"
#include "reference/file_helpers.h"
#include "reference/html_generator.h"
#include "reference/page_text.h"
#include "reference/reference_tree.h"

namespace pellary {

namespace fs = std::filesystem;

namespace {

constexpr long kInputPastEnd = 62;

const char* const kMapImagesPC[] = {"tubemap.gif"};
const char* const kMapImagesHPC[] = {"tuber.gif", "tubem.gif", "tubel.gif"};
const char* const kMapImagesPPC[] = {"tubemap.2bp"};

// Replaces every occurrence, left to right; inserted text is not searched again.
std::string replaceAll(const std::string& text, const std::string& what, const std::string& with) {
  if (what.empty()) return text;
  std::string out;
  size_t from = 0;
  for (size_t at; (at = text.find(what, from)) != std::string::npos; from = at + what.size()) {
    out.append(text, from, at - from);
    out += with;
  }
  out.append(text, from, std::string::npos);
  return out;
}

std::string emptyPageText() {
  const std::string name = kAppTitle;
  return "This page is empty because there are currently no reference topics selected in 'Your Selection'<p>"
         "If you wish to use the Orrery Reference Data please re-run "
         "<i><b>" +
         name.substr(0, 1) + "</i></b>" + name.substr(1) + " and select some reference topics";
}

bool hasChildren(const RefProductRecord& r, int32_t t) {
  return t >= 1 && t <= r.parentUpperBound() && r.ParentNodes[size_t(t)].HasChildren;
}

// A topic's name as the page's text: escaped, in the page's character set.
std::string topicName(const RefProductRecord& r, int32_t t) {
  return pageText(r.topicName(t), Bhtm_Generator().Bhtm_PageCharset);
}

// A generation's two folders, each resolved once, and the names found and
// made in them: a page's lookup costs the same however many pages came
// before (the output folder was emptied, so most names are new).
struct RunFolders {
  std::string sourceText, outputText;
  fs::path source, output;
  paths::FolderNames names;
};
RunFolders* gRun = nullptr;

fs::path inFolder(const std::string& folder, const std::string& name) {
  const bool plain = !name.empty() && name.find_first_of("/\\") == std::string::npos;
  if (gRun && plain && folder == gRun->sourceText) return gRun->names.resolve(gRun->source, name);
  if (gRun && plain && folder == gRun->outputText) return gRun->names.resolve(gRun->output, name);
  return paths::resolve(folder + name);
}

// A file the generation made in one of its folders.
void made(const fs::path& file) {
  if (gRun) gRun->names.made(file);
}

void copyInto(const fs::path& from, const fs::path& to) {
  copyFileOver(from, to);
  made(to);
}

void stepProgress() {
  HtmlGeneratorState& g = Bhtm_Generator();
  if (Bupd_UpdateRun()) {
    g.Bhtm_ProgressDone = std::min(100.0, g.Bhtm_ProgressDone + g.Bhtm_ProgressStep);
    // Halves go to the even neighbour, as the display's rounding does.
    portalProgress(static_cast<int16_t>(std::nearbyint(g.Bhtm_ProgressDone)));
  } else {
    Bhtm_UpdateStatus(false, g.Bhtm_RefPlatform);
  }
}

void writePages(int16_t position, int32_t t, std::unordered_set<int32_t>& onPath);

void writePagesTrapped(int16_t position, int32_t t, std::unordered_set<int32_t>& onPath) {
  trapped("Bhtm_RecursiveWritePages", [&] { writePages(position, t, onPath); });
}

void writePages(int16_t position, int32_t t, std::unordered_set<int32_t>& onPath) {
  HtmlGeneratorState& g = Bhtm_Generator();
  const RefProductRecord& r = refProductAt(position);
  const std::string pageName = referencePageName(r.ProductID, t);
  if (!hasChildren(r, t)) {
    copyInto(inFolder(g.Bhtm_SourceFolder, pageName), inFolder(g.Bhtm_OutputFolder, pageName));
    return;
  }
  // A topic that is its own ancestor would recurse for ever; it gets no row below itself.
  onPath.insert(t);
  std::string page = g.Bhtm_PageTemplate;
  std::string rows;
  const std::vector<int32_t> children = r.ParentNodes[size_t(t)].ChildIDs;
  for (size_t j = 1; j + 1 < children.size(); ++j) {
    int32_t n = children[j];
    if (!r.selected(n) || onPath.count(n)) continue;
    writePagesTrapped(position, n, onPath);
    std::string link = referencePageName(r.ProductID, n);
    if (g.Bhtm_RefPlatform == 1 && !hasChildren(r, n)) link += " target=main";
    std::string row = replaceAll(g.Bhtm_ChildTemplate, "<!CHILD_ID!>", link);
    row = replaceAll(row, "<!CHILD_NAME!>", topicName(r, n));
    rows += row;
  }
  onPath.erase(t);
  page = replaceAll(page, "<!TITLE!>", topicName(r, t));
  if (t != 1) {
    int32_t parent = t <= r.childUpperBound() ? r.ParentOf[size_t(t)] : 0;
    page = replaceAll(page, "<!PARENT_TITLE!>", "Back to " + topicName(r, parent));
    page = replaceAll(page, "<!PARENT_ID!>", referencePageName(r.ProductID, parent));
  } else {
    page = replaceAll(page, "<!PARENT_TITLE!>", "");
    page = replaceAll(page, "<!PARENT_ID!>", "");
  }
  if (rows.empty() && t == 1) rows = emptyPageText();
  page = replaceAll(page, "<!CHILD!>", rows);
  page = replaceAll(page, "<!CHILD>", "");
  page = replaceAll(page, "<CHILD!>", "");
  const fs::path file = inFolder(g.Bhtm_OutputFolder, pageName);
  // Within a generation the folder was emptied first: no page has an older
  // self to keep, and the run flushes once at its end.
  if (gRun)
    writeNewFile(file, page + "\r\n");
  else
    writeWholeFile(file, page + "\r\n");
  made(file);
  stepProgress();
}

void copyPageList(const HtmlGeneratorState& g) {
  const fs::path list = paths::inProgramFolder("\\CUE\\REPAGES.cue");
  if (!fs::exists(list)) return;
  for (const std::string& line : platform::text::splitLines(readWholeFile(list))) {
    size_t comma = line.find(',');
    // A line without a page field names nothing to copy.
    if (comma == std::string::npos) continue;
    std::string page = line.substr(comma + 1);
    page = page.substr(0, page.find(','));
    // The list comes from the update packet: a page name is a plain name, never a path.
    if (page.empty() || page.find_first_of("/\\:") != std::string::npos || page == "." || page == "..") continue;
    copyInto(inFolder(g.Bhtm_SourceFolder, page + ".htm"), inFolder(g.Bhtm_OutputFolder, page + ".htm"));
  }
  fs::remove(list);
}

}  // namespace

HtmlGeneratorState& Bhtm_Generator() {
  static HtmlGeneratorState state;
  return state;
}

void resetHtmlGenerator() { Bhtm_Generator() = HtmlGeneratorState{}; }

void Bhtm_ConnectToPageEngine() {
  Bhtm().referenceOutputPending = [] { return Bint_Ref1Pending() || Bint_Ref2Pending(); };
}

std::string referencePageName(int16_t product, int32_t templateID) {
  return std::to_string(product) + "_" + std::to_string(templateID) + ".htm";
}

std::string referenceSourceFolder(int16_t platform) {
  switch (platform) {
    case 1: return paths::appPath() + "\\Reference\\PC\\Source\\";
    case 4: return paths::appPath() + "\\Reference\\HPC\\Source\\";
    case 8: return paths::appPath() + "\\Reference\\PPC\\Source\\";
    default: return {};
  }
}

std::string referenceOutputFolder(int16_t platform) {
  switch (platform) {
    case 1: return paths::appPath() + "\\PCMappa\\";
    case 4: return paths::appPath() + "\\Reference\\HPC\\Output\\";
    case 8: return paths::appPath() + "\\Reference\\PPC\\Output\\";
    default: return {};
  }
}

SplitTemplate splitProductTemplate(const std::string& text) {
  SplitTemplate out;
  const std::vector<std::string> lines = platform::text::splitLines(text);
  for (size_t i = 0; i < lines.size();) {
    if (lines[i] != "<!CHILD>") {
      out.page += lines[i++];
      continue;
    }
    out.page += "<!CHILD!>";
    for (;;) {
      if (i >= lines.size()) raise(kInputPastEnd);
      if (lines[i] == "<CHILD!>") break;
      out.childRow += lines[i++];
    }
    ++i;
  }
  return out;
}

void Bhtm_UpdateStatus(bool reset, int16_t platform) {
  trapped("Bhtm_UpdateStatus", [&] {
    HtmlGeneratorState& g = Bhtm_Generator();
    ProgressBarView* bar = platform == 1 ? g.pcProgress : g.winCEProgress;
    if (!bar) return;
    if (reset) {
      if (g.Bhtm_PageCount > 0) {
        bar->setValue(0);
        bar->setRange(0, g.Bhtm_PageCount);
      }
      return;
    }
    // More pages than counted (an unselected root) hold the bar at its end.
    bar->setValue(std::min(bar->value() + 1, bar->maximum()));
  });
}

void Bhtm_RecursiveWritePages(int16_t position, int32_t templateID) {
  std::unordered_set<int32_t> onPath;
  writePagesTrapped(position, templateID, onPath);
}

void Bhtm_HTMLReferenceWriter() {
  trapped("Bhtm_HTMLReferenceWriter", [] {
    HtmlGeneratorState& g = Bhtm_Generator();
    // Without a generation's folders the listing would be of the working
    // folder, whose files the first step would delete.
    if (g.Bhtm_OutputFolder.empty() || g.Bhtm_SourceFolder.empty()) return;
    const fs::path out = paths::resolve(g.Bhtm_OutputFolder);
    for (const std::string& name : listNormalFiles(out)) fs::remove(out / name);
    RunFolders run{g.Bhtm_SourceFolder, g.Bhtm_OutputFolder, paths::resolve(g.Bhtm_SourceFolder), out, {}};
    struct EndRun {
      ~EndRun() { gRun = nullptr; }
    } endRun;
    gRun = &run;

    const fs::path perm = paths::resolve(g.Bhtm_SourceFolder + "Perm\\");
    for (const std::string& name : listNormalFiles(perm)) copyInto(perm / name, inFolder(g.Bhtm_OutputFolder, name));

    int16_t mapProduct = Bhtm_LookupProductPosition(101);
    if (mapProduct >= 0 && refProductAt(mapProduct).selected(22)) {
      std::vector<const char*> images;
      if (g.Bhtm_RefPlatform == 1) images.assign(std::begin(kMapImagesPC), std::end(kMapImagesPC));
      if (g.Bhtm_RefPlatform == 4) images.assign(std::begin(kMapImagesHPC), std::end(kMapImagesHPC));
      if (g.Bhtm_RefPlatform == 8) images.assign(std::begin(kMapImagesPPC), std::end(kMapImagesPPC));
      for (const char* image : images)
        copyInto(inFolder(g.Bhtm_SourceFolder, image), inFolder(g.Bhtm_OutputFolder, image));
    }

    const ProductSetup& s = Bset();
    const int installed = std::min<int>(s.Bset_InstalledProductCount, kMaxProducts);
    int32_t count = 0;
    for (int i = 0; i < installed; ++i) {
      int16_t position = Bhtm_LookupProductPosition(s.Bset_ProductID[size_t(i)]);
      if (position < 0) continue;
      const RefProductRecord& r = refProductAt(position);
      for (int32_t j = 1; j <= r.parentUpperBound(); ++j)
        if (r.selected(j) && r.ParentNodes[size_t(j)].HasChildren) ++count;
    }
    if (count > 32767) raise(err::Overflow);
    g.Bhtm_PageCount = static_cast<int16_t>(count);

    if (Bupd_UpdateRun()) {
      // Nothing counted: the pages are still written, the bar stays where it is.
      g.Bhtm_ProgressStep = g.Bhtm_PageCount > 0 ? 100.0 / g.Bhtm_PageCount : 0.0;
      g.Bhtm_ProgressDone = 0;
    } else {
      Bhtm_UpdateStatus(true, g.Bhtm_RefPlatform);
    }

    for (int i = 0; i < installed; ++i) {
      const int16_t product = s.Bset_ProductID[size_t(i)];
      int16_t position = Bhtm_LookupProductPosition(product);
      if (position < 0) continue;
      g.Bhtm_TemplateFile = g.Bhtm_SourceFolder + std::to_string(product) + ".tem";
      g.Bhtm_PageTemplate.clear();
      g.Bhtm_ChildTemplate.clear();
      const std::string text = readWholeFile(paths::resolve(g.Bhtm_TemplateFile));
      SplitTemplate split = splitProductTemplate(text);
      const DeclaredCharset charset = declaredCharset(text);
      g.Bhtm_PageCharset = charset.charset;
      g.Bhtm_PageTemplate = charset.declared ? std::move(split.page) : withCharsetDeclared(split.page);
      g.Bhtm_ChildTemplate = std::move(split.childRow);
      Bhtm_RecursiveWritePages(position, 1);
    }
    if (fs::is_directory(out)) flushFolder(out);
  });
}

void Bhtm_StartHTMLReferenceWriter(int16_t platform) {
  trapped("Bhtm_StartHTMLReferenceWriter", [&] {
    HtmlGeneratorState& g = Bhtm_Generator();
    g.Bhtm_RefPlatform = platform;
    if (platform == 1 || platform == 4 || platform == 8) {
      g.Bhtm_SourceFolder = referenceSourceFolder(platform);
      g.Bhtm_OutputFolder = referenceOutputFolder(platform);
    }
    if (!Bupd_UpdateRun()) {
      Bhtm_HTMLReferenceWriter();
      return;
    }
    portalStatus("Updating reference section...");
    portalProgress(0);
    if (g.Bupd_ReGenerate != 0) {
      Bhtm_LoadReferenceStructure();
      Bhtm_HTMLReferenceWriter();
      return;
    }
    copyPageList(g);
  });
}

}  // namespace pellary
