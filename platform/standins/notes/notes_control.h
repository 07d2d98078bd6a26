// Stand-in for the Notes control: logs on to a mail database (local, or on a
// server), adds calendar entries and deletes them by title and start date.
// A local database "mail\jsmith.nsf" is the file notes/local/mail/jsmith.nsf
// under the stand-in root; on a server it is notes/servers/<server>/...; a
// server without its folder does not answer. A database is a text file:
//   "NOTESDB 1"
//   "password\t<text>"
//   "entry\t<start yyyy-mm-dd>\t<end yyyy-mm-dd>\t<title>\t<note>"
// texts with "\", tab and line ends escaped. Every change is written at once.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/dispatch.h"

namespace pellary::platform::notes {

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
Database readDatabase(const fs::path& file);
void writeDatabase(const fs::path& file, const Database& db);

class KestNtsCtl : public automation::TypedDispatch {
 public:
  KestNtsCtl();

 protected:
  Variant invokeMember(const automation::MemberInfo& member, automation::CheckedArgs& args) override;

 private:
  void logOn(const std::string& server, const std::string& file, const std::string& password);
  void requireLogon() const;

  std::string status_ = "9$$Not logged on";
  bool loggedOn_ = false;
  fs::path file_;
  Database db_;
};

void registerNotesClass();

}  // namespace pellary::platform::notes
