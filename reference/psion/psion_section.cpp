#include "reference/psion/psion_section.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <deque>
#include <filesystem>
#include <fstream>

#include "core/error_log.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/update_run.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/text/codepages.h"
#include "platform/text/lines.h"
#include "reference/file_helpers.h"
#include "reference/html_generator.h"
#include "reference/reference_tree.h"

namespace pellary {

namespace fs = std::filesystem;

namespace {

constexpr long kUnsupportedPlatform = 10105;
// The heading of the device menu that lists several products.
constexpr const char* kDeviceMenuTitle = "Mappa Reference Data";

struct MenuNode {
  int32_t TemplateID = 0;
  size_t parent = 0;             // node index, 0 for the root
  std::vector<size_t> Children;  // node indexes
};

bool series5(int16_t code) { return code == 16 || code == 64 || code == 128 || code == 256; }

// Nodes 1.. in breadth-first order: the root, then the chosen children of
// each node in list order.
std::vector<MenuNode> buildNodes(const RefProductRecord& r, int32_t root) {
  std::vector<MenuNode> nodes(2);
  nodes[1].TemplateID = root;
  std::deque<size_t> queue{1};
  while (!queue.empty()) {
    const size_t at = queue.front();
    queue.pop_front();
    const int32_t t = nodes[at].TemplateID;
    if (t < 1 || t > r.parentUpperBound() || !r.ParentNodes[size_t(t)].HasChildren) continue;
    const std::vector<int32_t> children = r.ParentNodes[size_t(t)].ChildIDs;
    for (size_t j = 1; j + 1 < children.size(); ++j) {
      if (!r.selected(children[j])) continue;
      // A topic that is its own ancestor would make the walk endless.
      bool onPath = false;
      for (size_t up = at; up != 0 && !onPath; up = nodes[up].parent) onPath = nodes[up].TemplateID == children[j];
      if (onPath) continue;
      nodes.push_back(MenuNode{children[j], at, {}});
      nodes[at].Children.push_back(nodes.size() - 1);
      queue.push_back(nodes.size() - 1);
    }
  }
  return nodes;
}

// The first source file, in name order, whose name starts with the topic's
// product and template numbers. The prefix holds no letters, so the names
// that start with it stand together in the sorted listing.
std::string leafFileName(const std::vector<std::string>& sourceNames, int16_t code, int16_t product, int32_t t) {
  if (series5(code) && product == 101 && t == 22) return "tubemap.mbm";
  const std::string prefix = std::to_string(product) + "_" + std::to_string(t);
  const auto at = std::lower_bound(sourceNames.begin(), sourceNames.end(), prefix);
  if (at != sourceNames.end() && at->compare(0, prefix.size(), prefix) == 0) return *at;
  return {};
}

// Names go to the device in its code page: code page 850 on a Series 3,
// Windows-1252 on a Series 5.
// A name is one menu line: a line break in it would forge another line.
std::string deviceText(const std::string& utf8, int16_t code) {
  const std::string line = platform::text::oneLine(utf8);
  return code == 32 ? platform::text::utf8ToCp850(line) : platform::text::utf8ToCp1252(line);
}

// The menu of a section with nothing chosen under its root.
std::string emptyMenu(const std::string& rootName) { return "#begin\r\n" + rootName + "\r\n#end"; }

// One product's walk: its nodes and the file names of its leaves.
struct DeviceMenuPart {
  const RefProductRecord* record = nullptr;
  std::vector<MenuNode> nodes;
  std::vector<std::string> leafNames;
};

// The blocks of one product's nodes, their numbers moved up by offset.
std::string menuBlocks(const DeviceMenuPart& part, size_t offset, int16_t code) {
  const RefProductRecord& r = *part.record;
  const std::vector<MenuNode>& nodes = part.nodes;
  std::string out;
  for (size_t n = 1; n < nodes.size(); ++n) {
    if (nodes[n].Children.empty()) continue;
    out +=
        "#begin\r\n" + std::to_string(n + offset) + " " + deviceText(r.topicName(nodes[n].TemplateID), code) + "\r\n";
    for (size_t c : nodes[n].Children) {
      const std::string label = nodes[c].Children.empty() ? part.leafNames[c] : std::to_string(c + offset);
      out += label + " " + deviceText(r.topicName(nodes[c].TemplateID), code) + "\r\n";
    }
    out += "#end\r\n";
  }
  return out;
}

// The menu the viewer reads. One product: its own blocks, as in its menu
// file. Several with chosen topics: block 1 lists each product's root, whose
// blocks follow with their numbers moved past the ones before them.
std::string deviceMenuText(const std::vector<DeviceMenuPart>& parts, int16_t code, int32_t root) {
  if (parts.empty()) return emptyMenu(kDeviceMenuTitle);
  if (parts.size() == 1) {
    const DeviceMenuPart& only = parts.front();
    return only.nodes.size() > 2 ? menuBlocks(only, 0, code)
                                 : emptyMenu(deviceText(only.record->topicName(root), code));
  }
  std::string top = "#begin\r\n1 " + std::string(kDeviceMenuTitle) + "\r\n", blocks;
  size_t offset = 1;
  for (const DeviceMenuPart& part : parts) {
    top += std::to_string(1 + offset) + " " + deviceText(part.record->topicName(root), code) + "\r\n";
    blocks += menuBlocks(part, offset, code);
    offset += part.nodes.size() - 1;
  }
  return top + "#end\r\n" + blocks;
}

}  // namespace

Psion5RefState& Bps5() {
  static Psion5RefState state;
  return state;
}

void resetPsion5Ref() { Bps5() = Psion5RefState{}; }

void Bps5_Stub(const std::string& text) { Bps5().lastStub = text; }

void Bps5_PsionSetup() {
  Psion5RefState& p = Bps5();
  p.Bps5_MenuFileName = "menu.txt";
  p.Bps5_PlatformFolder = Bset().Bset_RefPlat2 == 32 ? "Psion3" : "Psion5";
}

std::string psionDataFolder(int16_t refPlat2, const std::string& ref2Loc) {
  if (series5(refPlat2)) return ref2Loc + "Pelmon\\gzr";
  if (refPlat2 == 32) return "M:\\kest\\gzr99";
  raise(kUnsupportedPlatform, "Unsupported platform");
}

std::string psionViewerFolder(int16_t refPlat2) {
  return refPlat2 == 32 ? "M:\\app\\Mappa\\" : "C:\\system\\apps\\Mappa\\";
}

int32_t Bps5_OutputReferenceSection(int32_t rootTemplateID, const std::string& menuFileName,
                                    const std::string& platformFolder, bool copy) {
  std::ofstream menu;
  try {
    Psion5RefState& p = Bps5();
    if (!copy) {
      p.Bps5_SectionSize = 1;
      p.Bps5_FilesTotal = 1;
    }
    const int16_t code = Bset().Bset_RefPlat2;
    const std::string source = paths::appPath() + "\\Reference\\" + platformFolder;
    const std::string ref2Loc = Breg_GetRegSetting("Settings", "Ref2Loc");
    const auto& products = Bhtm().Bhtm_RefProducts;
    if (products.size() < 2) return p.Bps5_SectionSize;
    const std::string data = psionDataFolder(code, ref2Loc);
    // The products share the data folder: it is emptied once, before the
    // first product, so that each keeps its files.
    if (copy && !(p.device && p.device->killDirectory(data))) {
      Bps5_Stub("Failed to clean up directory " + data);
      return 0;
    }
    // Read once for every leaf of every product.
    const fs::path sourceDir = paths::resolve(source);
    const std::vector<std::string> sourceNames = listNormalFiles(sourceDir);
    std::vector<DeviceMenuPart> parts;
    for (size_t i = 0; i + 1 < products.size(); ++i) {
      const RefProductRecord& r = products[i];
      const std::vector<MenuNode> nodes = buildNodes(r, rootTemplateID);
      const fs::path menuPath =
          paths::resolve(paths::appPath() + "\\" + std::to_string(r.ProductID) + "_" + menuFileName);
      fs::remove(menuPath);
      menu.open(menuPath, std::ios::binary | std::ios::trunc);
      if (!menu) raise(err::PathFileAccess);
      std::vector<std::string> leafNames(nodes.size());
      for (size_t n = 1; n < nodes.size(); ++n) {
        for (size_t c : nodes[n].Children) {
          if (!nodes[c].Children.empty()) continue;
          const std::string name = leafFileName(sourceNames, code, r.ProductID, nodes[c].TemplateID);
          leafNames[c] = name;
          const fs::path file = name.empty() ? sourceDir : paths::resolve(sourceDir, name);
          if (!copy) {
            if (name.empty() || !fs::is_regular_file(file)) raise(err::FileNotFound);
            int64_t size = int64_t(p.Bps5_SectionSize) + int64_t(fs::file_size(file));
            if (size > INT32_MAX || p.Bps5_FilesTotal == INT16_MAX) raise(err::Overflow);
            p.Bps5_SectionSize = int32_t(size);
            ++p.Bps5_FilesTotal;
            continue;
          }
          if (!p.device->copyToPsionAndWait(source + "\\" + name, data + "\\" + name)) return 0;
          if (name == "undera.pic")
            for (const char* extra : {"underb.pic", "underc.pic", "underd.pic", "line.pic"})
              if (!p.device->copyToPsionAndWait(source + "\\" + extra, data + "\\" + extra)) return 0;
          if (p.Bps5_FilesCopied < INT16_MAX) ++p.Bps5_FilesCopied;
          if (!Bupd_UpdateRun() && p.progress) {
            p.progress->setRange(0, p.Bps5_FilesTotal);
            p.Bps5_FilesCopied = std::min(p.Bps5_FilesCopied, p.Bps5_FilesTotal);
            p.progress->setValue(p.Bps5_FilesCopied);
          }
        }
      }
      DeviceMenuPart part{&r, nodes, leafNames};
      if (copy) menu << menuBlocks(part, 0, code);
      if (nodes.size() == 2) menu << emptyMenu(deviceText(r.topicName(rootTemplateID), code));
      menu.close();
      if (nodes.size() > 2 || products.size() == 2) parts.push_back(std::move(part));
    }
    if (copy) {
      // One menu on the device for every product with chosen topics.
      const fs::path deviceMenu = paths::resolve(paths::appPath() + "\\" + menuFileName);
      writeWholeFile(deviceMenu, deviceMenuText(parts, code, rootTemplateID));
      if (!p.device->copyToPsionAndWait(deviceMenu.string(), psionViewerFolder(code) + "menu.txt")) return 0;
      if (p.Bps5_FilesCopied < INT16_MAX) ++p.Bps5_FilesCopied;
    }
    return p.Bps5_SectionSize;
  } catch (const ProgramEnded&) {
    throw;
  } catch (...) {
    if (menu.is_open()) menu.close();
    currentError() = describeCurrentException();
    reportError(currentError().number, "Bps5_OutputPsionReference", {});
  }
}

int32_t Bps5_TotalSpaceRequired() {
  const Psion5RefState& p = Bps5();
  return Bps5_OutputReferenceSection(1, p.Bps5_MenuFileName, p.Bps5_PlatformFolder, false);
}

int64_t storedSectionSize() {
  Psion5RefState& p = Bps5();
  const std::string stored = Breg_GetRegSetting("Settings", "Ref2Size");
  if (stored.empty()) return 0;
  size_t used = 0;
  int64_t value = -1;
  try {
    value = std::stoll(stored, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == stored.size() && value >= 0) return value;
  // A damaged value counts as no earlier section; the log says so once a run.
  if (!p.badSizeReported) {
    p.badSizeReported = true;
    appendErrorLog(errorLogLine(err::TypeMismatch, "Bps5_FreeSpaceRequired",
                                "Settings Ref2Size is not a size: \"" + stored + "\"; taken as 0"));
  }
  return 0;
}

int32_t Bps5_FreeSpaceRequired() {
  Psion5RefState& p = Bps5();
  int64_t needed = int64_t(Bps5_TotalSpaceRequired()) - storedSectionSize();
  if (p.installViewer()) needed += kPsionViewerBytes;
  if (needed < 0) needed = 0;
  p.Bps5_RequiredSize = int32_t(std::min<int64_t>(needed, INT32_MAX));
  return p.Bps5_RequiredSize;
}

std::string Bps5_FormatFreeSpace(int64_t bytes) {
  // Whole kilobytes, halves away from zero, with thousands separators.
  long long kb = std::llround(double(bytes) / 1024.0);
  std::string digits = std::to_string(kb < 0 ? -kb : kb), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return (kb < 0 ? "-" : "") + out + "KB";
}

}  // namespace pellary
