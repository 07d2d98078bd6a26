// Where the items of one calendar folder are kept, one named text per item:
// the files of a local directory (local_files.h), or the resources of a
// CalDAV collection (caldav_files.h). The store's index sits on top and asks
// only for what changed. An interface only: it has no source of its own.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace pellary::standins::outlook {

struct StoredItem {
  std::string text;
  std::string version;  // changes with every write by anyone
};

class ItemFiles {
 public:
  virtual ~ItemFiles() = default;
  // What changed since the last call, name and new version (empty when gone).
  // The first call, and any call that lost track, lists everything and sets
  // complete: what it does not list is gone.
  virtual std::vector<std::pair<std::string, std::string>> changes(bool& complete) = 0;
  // The items of these names as they stand; a name gone is left out.
  virtual std::map<std::string, StoredItem> read(const std::vector<std::string>& names) = 0;
  // A new item; empty when the name is taken.
  virtual std::string create(const std::string& name, const std::string& text) = 0;
  // Replaces the item if it is still at version expected; empty when it is not.
  virtual std::string replace(const std::string& name, const std::string& text, const std::string& expected) = 0;
  // Removes the item if it is still at version expected (or gone already);
  // false when it changed since.
  virtual bool remove(const std::string& name, const std::string& expected) = 0;
  // Where a user finds the item.
  virtual std::string where(const std::string& name) const = 0;
  // Whether a save since the last flush still waits for one of the file system.
  virtual bool local() const = 0;
};

}  // namespace pellary::standins::outlook
