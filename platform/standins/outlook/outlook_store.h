// The Outlook stand-in's mail store: a tree of folders under the stand-in
// folder ("Outlook"), each calendar folder kept as an iCalendar file so that
// what the program writes opens in any calendar program, and the session
// state of a running Outlook (the explorer window in front).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pellary::platform::outlook {

// Item types of a folder (DefaultItemType).
namespace itemtype {
inline constexpr int32_t Mail = 0;
inline constexpr int32_t Appointment = 1;
inline constexpr int32_t Contact = 2;
inline constexpr int32_t Task = 3;
inline constexpr int32_t Journal = 4;
inline constexpr int32_t Note = 5;
}  // namespace itemtype

// Default folders (GetDefaultFolder).
namespace defaultfolder {
inline constexpr int32_t Inbox = 6;
inline constexpr int32_t Calendar = 9;
inline constexpr int32_t Contacts = 10;
inline constexpr int32_t Notes = 12;
inline constexpr int32_t Tasks = 13;
}  // namespace defaultfolder

struct Appointment {
  std::string entryID;
  std::string subject;
  std::string body;
  std::string categories;
  bool allDay = false;
  double start = 0;  // OLE dates; an all-day entry ends at midnight after its last day
  double end = 0;
  bool reminderSet = true;
};

struct Folder {
  std::string entryID;
  std::string parentID;  // empty for the top of the store
  std::string name;
  int32_t defaultItemType = itemtype::Mail;
  std::string fileName;  // the calendar file, for appointment folders
  std::vector<Appointment> items;
};

class Store {
 public:
  // Loads the store under root, creating the standard folders when it is new.
  explicit Store(std::filesystem::path root);

  const std::filesystem::path& root() const { return root_; }
  Folder* find(const std::string& entryID);
  Folder* defaultFolder(int32_t which);
  std::vector<Folder*> children(const std::string& parentID);
  std::vector<Folder*> all();
  // Full display path, "Personal Folders\Calendar".
  std::string pathOf(const Folder& f) const;
  Folder& addFolder(const std::string& parentID, const std::string& name, int32_t type);

  // Adds or replaces the item by its entry ID (a new ID when empty) and saves the folder.
  std::string saveItem(const std::string& folderID, Appointment item);
  // Removes the item; false when the folder does not hold it.
  bool deleteItem(const std::string& folderID, const std::string& entryID);
  std::filesystem::path calendarFile(const Folder& f) const { return root_ / f.fileName; }

 private:
  void load();
  void saveIndex() const;
  void saveCalendar(const Folder& f) const;
  std::string newID();
  std::filesystem::path root_;
  std::vector<std::unique_ptr<Folder>> folders_;
  uint64_t counter_ = 0;
};

// The store of the current stand-in folder, loaded on first use (and again
// when the stand-in folder changed).
Store& store();
// Forgets the loaded store and the session, so that the next use reads the
// files afresh, as a new Outlook process would.
void closeStore();

// An explorer window of the running stand-in.
struct ExplorerState {
  std::string currentFolderID;
  bool visible = false;
};

struct Session {
  std::shared_ptr<ExplorerState> activeExplorer;  // none until one is displayed
  // Called when an explorer is displayed: the place where the user moves to
  // another folder (the writer's pages install a folder picker here).
  std::function<void(ExplorerState&)> onDisplay;
};
Session& session();

// iCalendar text of a calendar folder (CRLF lines, folded at 75 octets), and back.
std::string toICalendar(const Folder& f);
// The appointments of an iCalendar text; raises 30201 on a text that is no calendar.
std::vector<Appointment> parseICalendar(const std::string& text);

// A filter of Items.Find: conditions "[Property] = "value"" joined by "and"
// (case ignored); a value's double quote is doubled. Raises 5 on a bad filter.
bool matchesFilter(const Appointment& a, const std::string& filter);

void registerOutlookClasses();
inline constexpr const char* kApplicationClass = "Outlook.Application";

}  // namespace pellary::platform::outlook
