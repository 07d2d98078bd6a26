// Stand-in for the Day-Timer database object: opens a database by path with
// the user's credentials, creates entries, finds entries by date and text
// and deletes them. "setCurrentDB" is reached by name (late bound); the rest
// is the typed interface below.
//
// A database "C:\DayTimer\Home.bfl" (the ".bfl" may be left out) is the file
// daytimer/C/DayTimer/Home.bfl under the stand-in root; a path without a
// drive letter is taken as it is. The file is text:
//   "DAYTIMER 1"
//   "nologin\t<0|1>"             1: no user login needed
//   "dbpassword\t<text>"         empty: none
//   "user\t<name>\t<password>"
//   "entry\t<key>\t<start>\t<end>\t<number>\t<text>"  dates as OLE day numbers
//   "deleted\t<key>"             the entry of that key is gone
// texts with "\", tab and line ends escaped. A store or delete is appended to
// the file at once; opening a file that holds more deleted entries than live
// ones writes it anew without them. A file with ".inuse" added beside it is busy.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/state_file.h"

namespace pellary::standins::daytimer {

// The stand-ins are built on the platform layer's types.
using namespace pellary::platform;

namespace fs = std::filesystem;

inline constexpr const char* kDatabaseClass = "DTDBWrap.DTDBHandle";

// The folder the Day-Timer program keeps "daytimer.ini" in.
fs::path windowsFolder();
// The file of a database path; empty when the path is empty.
fs::path databaseFile(std::string_view path);

struct StoredEntry {
  std::string key;
  double start = 0;
  double end = 0;
  int32_t number = 0;
  std::string text;
};

struct DatabaseContent {
  bool noLogin = true;
  std::string dbPassword;
  std::vector<std::pair<std::string, std::string>> users;  // name, personal password
  std::vector<StoredEntry> entries;
};

// The live entries, in the order they were stored.
DatabaseContent readDatabase(const fs::path& file);
void writeDatabase(const fs::path& file, const DatabaseContent& content);

class DayTimerDatabase;

class DayTimerEntry {
 public:
  explicit DayTimerEntry(DayTimerDatabase* db) : db_(db) {}
  void setText(const std::string& text) { entry_.text = text; }
  std::string key() const { return entry_.key; }
  void setDates(double start, double end, int32_t& unused);
  void setNumber(int32_t value) { entry_.number = value; }
  // Stores the new entry in the open database.
  void store(std::string& unused);
  const StoredEntry& stored() const { return entry_; }

 private:
  friend class DayTimerEntryQuery;
  DayTimerDatabase* db_;
  StoredEntry entry_;
};

class DayTimerEntryQuery {
 public:
  explicit DayTimerEntryQuery(DayTimerDatabase* db) : db_(db) {}
  std::shared_ptr<DayTimerEntry> item(int32_t index) const;
  void remove(const std::string& key, int32_t& unused);
  // Entries on that day whose text matches the pattern ("*" at its end
  // matches any rest; letters compare without regard to case).
  void select(double date, const std::string& pattern, int32_t& unused);
  int32_t count() const { return int32_t(selected_.size()); }

 private:
  DayTimerDatabase* db_;
  std::vector<StoredEntry> selected_;
};

class DayTimerDatabaseInfo {
 public:
  explicit DayTimerDatabaseInfo(DatabaseContent content) : content_(std::move(content)) {}
  int32_t noLoginFlag() const { return content_.noLogin ? 1 : 0; }
  int32_t dbPasswordFlag() const { return content_.dbPassword.empty() ? 0 : 1; }
  int32_t userCount() const { return int32_t(content_.users.size()); }
  std::string userName(int32_t index) const;

 private:
  DatabaseContent content_;
};

// Result codes of setCurrentDB.
namespace result {
inline constexpr int32_t Ok = 0;
inline constexpr int32_t InvalidPath = 1;
inline constexpr int32_t InvalidUser = 2;
inline constexpr int32_t InvalidPassword = 3;
inline constexpr int32_t Busy = 4;
inline constexpr int32_t Unknown = 5;
inline constexpr int32_t InvalidDbPassword = 6;
}  // namespace result

class DayTimerDatabase : public automation::TypedDispatch {
 public:
  DayTimerDatabase();

  int32_t setCurrentDB(const std::string& path, const std::string& user, const std::string& dbPassword,
                       const std::string& userPassword);
  // Nothing when the path is no database.
  std::shared_ptr<DayTimerDatabaseInfo> databaseInfo(const std::string& path) const;
  std::shared_ptr<DayTimerEntry> newEntry();
  std::shared_ptr<DayTimerEntryQuery> newSearch();

  ~DayTimerDatabase() override;
  DayTimerDatabase(const DayTimerDatabase&) = delete;
  DayTimerDatabase& operator=(const DayTimerDatabase&) = delete;

 protected:
  Variant invokeMember(const automation::MemberInfo& member, automation::CheckedArgs& args) override;

 private:
  friend class DayTimerEntry;
  friend class DayTimerEntryQuery;
  // Each raises 91 when no database is open.
  std::string store(StoredEntry entry);
  void remove(const std::string& key);
  // The live entries on that day, in the order they were stored.
  std::vector<const StoredEntry*> entriesOn(double date);
  void requireOpen() const;
  void close();

  fs::path file_;
  bool open_ = false;
  platform::standins::AppendFile journal_;
  int32_t nextKey_ = 1;
  std::vector<StoredEntry> entries_;
  std::vector<bool> gone_;
  std::map<std::string, size_t> byKey_;
  std::map<int64_t, std::vector<size_t>> byDay_;
};

void registerDayTimerClass();

}  // namespace pellary::standins::daytimer
