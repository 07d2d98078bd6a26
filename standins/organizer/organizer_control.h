// Stand-in for the Organizer control: opens an Organizer file with its
// password, lists its sections per entry type, and adds and deletes entries
// in the chosen section. An Organizer file is a text file of this form:
//   "ORGANIZER 1"
//   "password\t<text>"                       (may be empty)
//   "section\t<type>\t<internal>\t<user>"    type 0 Calendar, 1 Anniversary, 2 Planner
//   "entry\t<section>\t<type>\t<hour>\t<start>\t<end>\t<text>"
//   "deleted\t<n>"                          the n-th entry line (from 0) is gone
// dates as "yyyy-mm-dd", the text with "\", tab and line ends escaped. A path
// with a drive letter ("C:\Organize\Diary.or5") lies in the folder
// "organizer/<drive>" under the stand-in root; the changes are appended to
// the file when writing ends (15) or the file closes (10), and opening a file
// that holds more deleted entries than live ones writes it anew without them.
// A file with ".inuse" added beside it is open elsewhere and does not open.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/dispatch.h"

namespace pellary::standins::organizer {

// The stand-ins are built on the platform layer's types.
using namespace pellary::platform;

namespace fs = std::filesystem;

inline constexpr const char* kControlClass = "KESTLOTUSLibCtl.KestLotusCtrl";
// Separators of the section list string: Chr(250) after the internal name,
// Chr(251) after the user name.
inline constexpr const char* kNameEnd = "\u00FA";
inline constexpr const char* kSectionEnd = "\u00FB";

struct Section {
  int type = 0;
  std::string internalName;
  std::string userName;
};

struct Entry {
  std::string section;
  int type = 0;
  int hour = 0;
  int startDay = 0, startMonth = 0, startYear = 0;
  int endDay = 0, endMonth = 0, endYear = 0;
  std::string text;
};

struct OrganizerFile {
  std::string password;
  std::vector<Section> sections;
  std::vector<Entry> entries;
};

// Where an Organizer path lies under the stand-in root.
fs::path filePath(std::string_view organizerPath);
// The live entries. Raises 53 when missing, 321 when damaged.
OrganizerFile readFile(const fs::path& file);
void writeFile(const fs::path& file, const OrganizerFile& content);

const automation::InterfaceInfo& ControlInfo();

class KestLotusCtrl : public automation::TypedDispatch {
 public:
  KestLotusCtrl();

 protected:
  Variant invokeMember(const automation::MemberInfo& member, automation::CheckedArgs& args) override;

 private:
  void open();
  void save();
  std::string sectionList() const;
  void add(const std::string& text, const std::string& section, const automation::CheckedArgs& a);
  void remove(const std::string& title, int day, int month, int year, int hour);
  // Entries by start day, in file order, so that a delete does not walk the file.
  void indexEntries();
  static int64_t dayKey(int year, int month, int day) { return int64_t(year) * 10000 + month * 100 + day; }

  int32_t version_ = 0;
  int32_t entryType_ = 0;
  int32_t hour_ = 9;
  std::string fileName_;
  std::string password_;
  std::string section_;
  int32_t openResult_ = -1;
  std::string preparedList_;
  bool open_ = false;
  bool writing_ = false;
  fs::path file_;
  // Every entry line of the file and of this run, in order, with the ones
  // deleted marked; the first `saved_` are in the file, and `deleted_` holds
  // the deletions the file does not have yet.
  OrganizerFile content_;
  std::vector<bool> gone_;
  size_t saved_ = 0;
  std::vector<size_t> deleted_;
  std::map<int64_t, std::vector<size_t>> byDay_;
};

void registerOrganizerClass();

}  // namespace pellary::standins::organizer
