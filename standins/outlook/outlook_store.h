// The Outlook stand-in's mail store: a tree of folders under the stand-in
// folder ("Outlook") that calendar programs read and write as their own (one
// iCalendar file per item), and the session state of a running Outlook (the
// explorer window in front).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/hook.h"

namespace pellary::standins::outlook {

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
  std::string entryID;  // the item's UID
  std::string subject;
  std::string body;
  std::string categories;
  bool allDay = false;
  double start = 0;  // OLE dates; an all-day entry ends at midnight after its last day
  double end = 0;
  bool reminderSet = true;
  std::string version;  // of the stored item when it was read; empty for a new one
};

struct Folder {
  std::string entryID;
  std::string parentID;  // empty for the top of the store
  std::string name;
  int32_t defaultItemType = itemtype::Mail;
  std::filesystem::path dir;  // the folder's own directory
};

// The store is a vdir: a directory per folder (nested as the folders are),
// its display name in "displayname", its identity in ".outlook-folder"; a
// calendar folder holds one "<UID>.ics" per item. Every save writes one file
// and every delete removes one, so their cost does not grow with the folder;
// the items of a folder are read once and then kept current by watching the
// directory, so that what another program does there is seen at once. Each
// flush records what a folder's items hold, and the next run reads only the
// files whose version changed since.
class Store {
 public:
  // Loads the store under root (converting the former one-file-per-calendar
  // layout once), creating the standard folders when it is new.
  explicit Store(std::filesystem::path root);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  const std::filesystem::path& root() const { return root_; }
  Folder* find(const std::string& entryID);
  Folder* defaultFolder(int32_t which);
  std::vector<Folder*> children(const std::string& parentID);
  std::vector<Folder*> all();
  // Full display path, "Personal Folders\Calendar".
  std::string pathOf(const Folder& f) const;
  Folder& addFolder(const std::string& parentID, const std::string& name, int32_t type);

  // Saves the item as its own file: a new one (no entry ID, or one the folder
  // does not hold), or a change to a stored one. base is the item as it was
  // read: only what differs from it is written, so the rest of the stored
  // item (another program's properties, changes made since) stays. A change
  // that clashes with one made elsewhere since base was read raises
  // MAPI_E_OBJECT_CHANGED.
  // savedVersion receives the version of the stored item.
  std::string saveItem(const std::string& folderID, Appointment item, const Appointment* base = nullptr,
                       std::string* savedVersion = nullptr);
  // Removes the item's file; false when the folder does not hold it.
  bool deleteItem(const std::string& folderID, const std::string& entryID);

  // The folder's items as they stand now, in the order they came.
  std::vector<Appointment> items(const std::string& folderID);
  size_t count(const std::string& folderID);
  // The item, as it stands now; empty when the folder does not hold it.
  std::optional<Appointment> item(const std::string& folderID, const std::string& entryID);
  // Entry IDs of the items that match an Items.Find filter.
  std::vector<std::string> findItems(const std::string& folderID, const std::string& filter);
  // The file of an item.
  std::filesystem::path itemFile(const std::string& folderID, const std::string& entryID);

  // Makes every save and delete so far durable (one flush of the file system).
  void sync();

 private:
  void convertFormerLayout();
  void finishConversion();
  struct Impl;
  std::filesystem::path root_;
  std::unique_ptr<Impl> impl_;
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
  Hook<void(ExplorerState&)> onDisplay;
};
Session& session();

// A filter of Items.Find: conditions "[Property] = "value"" joined by "and"
// (case ignored); a value's double quote is doubled. Raises 5 on a bad filter.
bool matchesFilter(const Appointment& a, const std::string& filter);

}  // namespace pellary::standins::outlook
