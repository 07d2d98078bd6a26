// Stand-in for the Notes control: logs on to a mail database (local, or on a
// server), adds calendar entries and deletes them by title and start date.
// A local database "mail\jsmith.nsf" is the file notes/local/mail/jsmith.nsf
// under the stand-in root; on a server it is notes/servers/<server>/...; a
// server without its folder does not answer. A database is a text file:
//   "NOTESDB 1"
//   "password\t<text>"
//   "entry\t<start yyyy-mm-dd>\t<end yyyy-mm-dd>\t<title>\t<note>"
//   "deleted\t<n>"   the n-th entry line of the file (from 0) is gone
// texts with "\", tab and line ends escaped. Every change is appended to the
// file at once; logging on to a file that holds more deleted entries than
// live ones writes it anew without them.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/state_file.h"

namespace pellary::standins::notes {

// The stand-ins are built on the platform layer's types.
using namespace pellary::platform;

namespace fs = std::filesystem;

inline constexpr const char* kControlClass = "KESTNOTESLibCtl.KestNtsCtl";
inline constexpr const char* kLoggedOn = "0$$";

struct Entry {
  int startYear = 0, startMonth = 0, startDay = 0;
  int endYear = 0, endMonth = 0, endDay = 0;
  std::string title;
  std::string note;
};

struct Database {
  std::string password;
  std::vector<Entry> entries;
};

// The file of a database; server empty for a local one.
fs::path databasePath(std::string_view server, std::string_view fileName);
fs::path serverFolder(std::string_view server);
// The live entries, in the order they were added.
Database readDatabase(const fs::path& file);
void writeDatabase(const fs::path& file, const Database& db);

class KestNtsCtl : public automation::TypedDispatch {
 public:
  KestNtsCtl();
  ~KestNtsCtl() override;
  KestNtsCtl(const KestNtsCtl&) = delete;
  KestNtsCtl& operator=(const KestNtsCtl&) = delete;

 protected:
  Variant invokeMember(const automation::MemberInfo& member, automation::CheckedArgs& args) override;

 private:
  void logOn(const std::string& server, const std::string& file, const std::string& password);
  void requireLogon() const;
  void logOff();
  void add(Entry e);
  void remove(const std::string& title, int year, int month, int day);
  static int64_t dayKey(int year, int month, int day) { return int64_t(year) * 10000 + month * 100 + day; }

  std::string status_ = "9$$Not logged on";
  bool loggedOn_ = false;
  fs::path file_;
  platform::standins::AppendFile journal_;
  // Every entry line of the file, in order, with the ones deleted marked, and
  // the entries by start day.
  std::vector<Entry> entries_;
  std::vector<bool> gone_;
  std::map<int64_t, std::vector<size_t>> byDay_;
};

void registerNotesClass();

}  // namespace pellary::standins::notes
