#include "reference/wince/wince_copier.h"

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "core/databank.h"
#include "core/field_values.h"
#include "core/products.h"
#include "core/registry.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/text/lines.h"
#include "platform/text/trim.h"
#include "reference/file_helpers.h"
#include "reference/html_generator.h"
#include "reference/page_text.h"
#include "standins/wince/cecomms.h"

namespace pellary {

namespace fs = std::filesystem;
namespace ce = standins::wince;

namespace {

constexpr long kCopyFailed = 20000;
constexpr const char* kStorageMessage =
    "There was a problem copying files to your mobile device. Please ensure the device is connected, and that your "
    "device has not run out of storage memory, before trying again";
constexpr const char* kCorrectedMessage =
    "There was a problem copying files to your mobile device. Please ensure the device is corrected and try again.";

std::string outputFolder(bool handheld) { return referenceOutputFolder(handheld ? 4 : 8); }

}  // namespace

// A product's top page: its number (any count of digits), "_1.htm".
bool isStartPage(const std::string& name) {
  const size_t digits = name.find_first_not_of("0123456789");
  if (digits == 0 || digits == std::string::npos || name.size() != digits + 6) return false;
  return name[digits] == '_' && name[digits + 1] == '1' && paths::equalsIgnoreCase(name.substr(digits + 2), ".htm");
}

std::string withLinksInto(const std::string& html, const std::string& folder) {
  std::string out;
  const std::string lower = paths::toLowerAscii(html);
  size_t from = 0;
  for (size_t at = 0; at < html.size(); ++at) {
    size_t name = 0;
    if (lower.compare(at, 5, "href=") == 0)
      name = 5;
    else if (lower.compare(at, 4, "src=") == 0)
      name = 4;
    if (name == 0 || (at > 0 && std::isalnum(static_cast<unsigned char>(html[at - 1])))) continue;
    size_t value = at + name;
    if (value < html.size() && (html[value] == '"' || html[value] == '\'')) ++value;
    if (value >= html.size()) break;
    const char first = html[value];
    const size_t end = html.find_first_of(" \t\r\n\"'>", value);
    const std::string target = html.substr(value, end == std::string::npos ? std::string::npos : end - value);
    // Device paths, fragments and addresses with a scheme stay as they are.
    if (target.empty() || first == '\\' || first == '/' || first == '#' || target.find(':') != std::string::npos)
      continue;
    out.append(html, from, value - from);
    out += folder;
    from = value;
  }
  out.append(html, from, std::string::npos);
  return out;
}

namespace {

// The name under which a product shows in the device's menus: its name in
// the databank, its number when it has none there.
std::string productName(const std::string& startPage) {
  const std::string number = startPage.substr(0, startPage.find('_'));
  try {
    dao::Recordset rs = Bsql_DataBank().openRecordset("SELECT ProductName FROM Products WHERE ProductID = " + number);
    if (!rs.eof()) {
      std::string name = textOf(rs["ProductName"]);
      rs.close();
      if (!name.empty()) return name;
    }
  } catch (const AppError&) {
  }
  return number;
}

// The start menu's page of several products: a link to each product's top
// page in the device folder.
std::string startMenuPage(const std::vector<std::string>& startPages, const std::string& target) {
  std::string rows;
  for (const std::string& page : startPages)
    rows +=
        "<a href=\"" + target + page + "\">" + pageText(productName(page), PageCharset::Windows1252) + "</a><br>\r\n";
  return "<html><head><meta charset=windows-1252><title>Mappa Reference Data</title></head>\r\n<body>\r\n"
         "<b>Mappa Reference Data</b><p>\r\n" +
         rows + "</body></html>\r\n";
}

bool isPage(const std::string& name) {
  return name.size() >= 4 && paths::equalsIgnoreCase(name.substr(name.size() - 4), ".htm");
}

[[noreturn]] void copyFailed(const char* message) {
  ce::CloseConnection();
  raise(kCopyFailed, message);
}

// Matches a name against a mask such as "*.htm", without regard to case.
bool matchesMask(const std::string& name, const std::string& mask) {
  if (mask.empty() || mask == "*" || mask == "*.*") return true;
  if (mask[0] == '*') {
    std::string tail = mask.substr(1);
    return name.size() >= tail.size() && paths::equalsIgnoreCase(name.substr(name.size() - tail.size()), tail);
  }
  return paths::equalsIgnoreCase(name, mask);
}

void transfer(bool handheld, const char* location) {
  trapped(location, [&] {
    WinCECopierState& w = Bwce();
    const std::string& stored = w.Bwce_StoredLocation;
    if (stored == kInternalMemory)
      ce::DeleteDirectory(kInternalReferenceFolder);
    else if (!stored.empty())
      ce::DeleteDirectory("\\" + stored + "\\Reference");
    else if (handheld)
      ce::DeleteDirectory(kInternalReferenceFolder);
    // A palm-sized PC with nothing stored has no earlier copy to delete.

    const std::string chosen = w.page ? w.page->locationText() : std::string(kInternalMemory);
    const std::string target = chosen == kInternalMemory ? std::string(kInternalReferenceFolder)
                                                         : "\\" + chosen + "\\Reference\\";
    const std::string output = outputFolder(handheld);
    if (!handheld && target != kInternalReferenceFolder) {
      std::string pattern = output + "*.htm";
      Bhtg_SearchAndReplaceDir(pattern, kInternalReferenceFolder, target);
    }

    struct Listed {
      std::string name;
      bool start, page;
    };
    std::vector<Listed> listed;
    int32_t steps = 0;
    for (const std::string& name : listNormalFiles(paths::resolve(output))) {
      bool start = isStartPage(name);
      listed.push_back({name, start, !handheld && !start && isPage(name)});
      steps += 1 + (!handheld && start ? 1 : 0);
    }
    if (listed.size() > 32767 || steps > 32767) raise(err::Overflow);
    HtmlGeneratorState& g = Bhtm_Generator();
    g.Bhtm_PageCount = static_cast<int16_t>(steps);
    const int16_t platform = Bset().Bset_RefPlat2;
    Bhtm_UpdateStatus(true, platform);

    ce::CopyDirectoryFromDesktopToCE(output + "Reference", target);
    Breg_WriteRegSettings("Settings", "Ref2Loc", chosen);
    Breg_WriteRegSettings("Settings", "Ref2Size", std::to_string(w.Bwce_ReferenceSize));

    auto copy = [&](const std::string& from, const std::string& to, const char* message) {
      if (ce::CopyFileFromDesktopToCE(from, to) != 0) copyFailed(message);
      Bhtm_UpdateStatus(false, platform);
    };
    std::vector<std::string> startPages;
    for (const Listed& f : listed)
      if (f.start) startPages.push_back(f.name);
    // The start menu holds one page: a lone product's top page, or a page
    // listing every product; either links into the device folder, since
    // the page itself lies elsewhere.
    const std::string startMenu = paths::appPath() + "\\tmp_Mappa.htm";
    struct RemoveAtEnd {
      fs::path file;
      ~RemoveAtEnd() {
        std::error_code ec;
        fs::remove(file, ec);
      }
    } removeStartMenu{paths::resolve(startMenu)};
    if (!handheld && !startPages.empty())
      writeWholeFile(paths::resolve(startMenu),
                     startPages.size() == 1
                         ? withLinksInto(readWholeFile(paths::resolve(output + startPages[0])), target)
                         : startMenuPage(startPages, target));
    for (const Listed& f : listed) {
      const std::string pc = output + f.name;
      if (handheld) {
        if (f.start) {
          // One shortcut per product, each under a title of its own.
          std::string title = startPages.size() == 1 ? std::string("Mappa Reference Data")
                                                     : "Mappa Reference Data - " + productName(f.name);
          // A shortcut's title is a file name on the device.
          for (char& c : title)
            if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) c = ' ';
          if (ce::CreateShortcut(title, "\"" + target + f.name + "\"") == 0) copyFailed(kStorageMessage);
          copy(pc, target + f.name, kStorageMessage);
        } else {
          copy(pc, target + f.name, kCorrectedMessage);
        }
      } else if (f.start) {
        copy(startMenu, "\\Windows\\Start Menu\\Programs\\Mappa.htm", kStorageMessage);
        copy(pc, target + f.name, kStorageMessage);
      } else if (f.page) {
        copy(pc, target + f.name, kCorrectedMessage);
      } else {
        copy(pc, "\\Windows\\" + f.name, kCorrectedMessage);
      }
    }
    ce::CloseConnection();
  });
}

}  // namespace

WinCECopierState& Bwce() {
  static WinCECopierState state;
  return state;
}

void resetWinCECopier() { Bwce() = WinCECopierState{}; }

std::vector<std::string> splitStorageCards(const std::string& buffer) {
  std::vector<std::string> names;
  std::string cur;
  for (char c : buffer) {
    if (c == ce::kCardSeparator) {
      names.push_back(cur);
      cur.clear();
    } else if (c != '\0') {
      cur += c;
    }
  }
  if (!cur.empty()) names.push_back(cur);
  return names;
}

void Bwce_SetupWinCEScreen() {
  trapped("Bwce_SetupWinCEScreen", [] {
    WinCECopierState& w = Bwce();
    WinCEPageView* page = w.page;
    if (page) {
      page->setInfo("Please wait - establishing a connection . . .");
      page->setNextEnabled(false);
      page->yield();
    }
    ce::EstablishConnection();
    w.Bwce_ConnectionMade = true;

    const bool handheld = Bset().Bset_RefPlat2 == 4;
    const std::string opening = handheld ? "The Reference Pages will now be copied to you handheld PC"
                                         : "The Reference Pages will now be copied to you palm Sized PC";
    const fs::path output = paths::resolve(outputFolder(handheld));
    int64_t size = 0;
    for (const std::string& name : listNormalFiles(output)) size += static_cast<int64_t>(fs::file_size(output / name));
    if (size > INT32_MAX) raise(err::Overflow);
    w.Bwce_ReferenceSize = static_cast<int32_t>(size);
    w.Bwce_StoredLocation = Breg_GetRegSetting("Settings", "Ref2Loc");

    std::string buffer(512, ' ');
    ce::GetDirectoryInfo(buffer, 3, "\\");
    buffer.pop_back();
    buffer = std::string(platform::text::trimSpaces(buffer));
    if (!page) return;
    page->addLocation(kInternalMemory);
    for (const std::string& card : splitStorageCards(buffer)) page->addLocation(card);

    page->setInfo(
        opening +
        "\r\n\r\nThe files can either be copied to the internal memory or to a removable Flash memory card if "
        "it is available\r\nNote that files cannot be copied DRAM cards\r\n\r\nUse the drop-down list below "
        "to select the location you wish to install the files to");
    page->showLocationFrame();
    page->setNextEnabled(true);
    page->setLocationEnabled(true);
    if (w.Bwce_StoredLocation != kInternalMemory && page->locationCount() > 1)
      page->selectLocation(1);
    else
      page->setLocationText(kInternalMemory);
  });
}

void Bwce_TransferPPCReference() { transfer(false, "Bwce_TransferPPCReference"); }
void Bwce_TransferHPCReference() { transfer(true, "Bwce_TransferHPCReference"); }

void Bhtg_SearchAndReplaceDir(std::string& pattern, const std::string& search, const std::string& replacement) {
  trapped("Bhtg_SearchAndReplaceDir", [&] {
    const size_t length = search.size();
    const fs::path temp = paths::inProgramFolder("\\tmp\\");
    // A folder left by a rewrite that did not finish is taken over.
    fs::create_directories(temp);
    const std::string mask = pattern.size() >= 5 ? pattern.substr(pattern.size() - 5) : pattern;
    pattern = pattern.size() >= 5 ? pattern.substr(0, pattern.size() - 5) : std::string();
    const fs::path folder = paths::resolve(pattern);
    const std::string lowerSearch = paths::toLowerAscii(search);
    for (const std::string& name : listNormalFiles(folder)) {
      if (!matchesMask(name, mask)) continue;
      std::string out;
      for (const std::string& line : platform::text::splitLines(readWholeFile(folder / name))) {
        size_t at = length ? paths::toLowerAscii(line).find(lowerSearch) : std::string::npos;
        if (at == std::string::npos)
          out += line;
        else
          out += line.substr(0, at) + replacement + line.substr(at + length);
        out += "\r\n";
      }
      const fs::path work = temp / (name + "tmp");
      writeWholeFile(work, out);
      fs::remove(folder / name);
      fs::rename(work, folder / name);
    }
    std::error_code ec;
    fs::remove(temp, ec);
  });
}

}  // namespace pellary
