#include "standins/outlook/outlook_automation.h"

#include <map>
#include <optional>

#include "platform/automation/class_registry.h"
#include "platform/automation/dispatch.h"
#include "platform/errors.h"
#include "platform/oledate.h"
#include "platform/paths.h"
#include "platform/refusal.h"
#include "standins/outlook/outlook_store.h"

namespace pellary::standins::outlook {

using namespace pellary::platform;

namespace au = automation;
using au::InvokeKind;
using au::ParamType;

namespace {

using Members = std::vector<au::MemberInfo>;

au::MemberInfo method(DispId id, const char* name, std::vector<au::ParamInfo> params, ParamType result) {
  return {id, name, std::move(params), result, InvokeKind::Method, ""};
}
// A property: its get, and its put unless read-only.
void prop(Members& m, DispId id, const char* name, ParamType type, bool readOnly = false) {
  m.push_back({id, name, {}, type, InvokeKind::PropertyGet, ""});
  if (!readOnly) m.push_back({id, name, {{"value", type}}, ParamType::Void, InvokeKind::PropertyPut, ""});
}

au::InterfaceInfo makeInfo(const char* name, Members members) {
  au::InterfaceInfo i;
  i.name = name;
  i.members = std::move(members);
  return i;
}

Variant nothing() { return Variant(std::shared_ptr<Dispatch>()); }

Folder& folderOrRaise(const std::string& id) {
  Folder* f = store().find(id);
  if (!f) raise(au::errors::ObjectNotSet, "The folder no longer exists");
  return *f;
}

// --- AppointmentItem -----------------------------------------------------------
enum : DispId { kSubject = 1, kBody, kCategories, kAllDay, kStart, kEnd, kReminder, kEntryID, kSave, kDelete };

const au::InterfaceInfo& appointmentInfo() {
  static const au::InterfaceInfo info = [] {
    Members m;
    prop(m, kSubject, "Subject", ParamType::String);
    prop(m, kBody, "Body", ParamType::String);
    prop(m, kCategories, "Categories", ParamType::String);
    prop(m, kAllDay, "AllDayEvent", ParamType::Boolean);
    prop(m, kStart, "Start", ParamType::Date);
    prop(m, kEnd, "End", ParamType::Date);
    prop(m, kReminder, "ReminderSet", ParamType::Boolean);
    prop(m, kEntryID, "EntryID", ParamType::String, true);
    m.push_back(method(kSave, "Save", {}, ParamType::Void));
    m.push_back(method(kDelete, "Delete", {}, ParamType::Void));
    return makeInfo("AppointmentItem", std::move(m));
  }();
  return info;
}

class AppointmentObject : public au::TypedDispatch {
 public:
  // A new item has no stored form yet; a stored one remembers it as read.
  AppointmentObject(std::string folderID, Appointment item, bool stored)
      : TypedDispatch(appointmentInfo()), folderID_(std::move(folderID)), item_(std::move(item)) {
    if (stored) read_ = item_;
  }

 protected:
  Variant invokeMember(const au::MemberInfo& m, au::CheckedArgs& a) override {
    const bool put = m.kind == InvokeKind::PropertyPut;
    switch (m.id) {
      case kSubject: return field(item_.subject, put, a);
      case kBody: return field(item_.body, put, a);
      case kCategories: return field(item_.categories, put, a);
      case kAllDay:
        if (put) item_.allDay = a.boolean(0);
        return item_.allDay;
      case kStart:
        if (put) {
          // Outlook keeps the length of the appointment when its start moves.
          double len = item_.end - item_.start;
          item_.start = a[0].toDate();
          item_.end = item_.start + (len > 0 ? len : 0);
        }
        return Variant::date(item_.start);
      case kEnd:
        if (put) {
          double e = a[0].toDate();
          if (e < item_.start) raise(err::InvalidCall, "The end of an appointment cannot come before its start");
          item_.end = e;
        }
        return Variant::date(item_.end);
      case kReminder:
        if (put) item_.reminderSet = a.boolean(0);
        return item_.reminderSet;
      case kEntryID: return item_.entryID;
      case kSave: {
        if (item_.entryID.empty()) platform::standins::takeEntry();
        // What is saved is what this item now holds; a later Save changes only what differs.
        item_.entryID = store().saveItem(folderID_, item_, read_ ? &*read_ : nullptr, &item_.version);
        read_ = item_;
        return {};
      }
      case kDelete:
        if (!item_.entryID.empty()) store().deleteItem(folderID_, item_.entryID);
        item_.entryID.clear();
        read_.reset();
        return {};
    }
    raise(au::errors::NoSuchMember);
  }

 private:
  static Variant field(std::string& f, bool put, au::CheckedArgs& a) {
    if (!put) return f;
    f = a.string(0);
    return {};  // a put has no result
  }
  std::string folderID_;
  Appointment item_;
  std::optional<Appointment> read_;
};

// --- Items -------------------------------------------------------------------------
enum : DispId { kCount = 1, kItem, kAdd, kFind, kFindNext };

const au::InterfaceInfo& itemsInfo() {
  static const au::InterfaceInfo info = [] {
    Members m;
    prop(m, kCount, "Count", ParamType::Long, true);
    m.push_back(method(kItem, "Item", {{"Index", ParamType::Long}}, ParamType::Object));
    m.push_back(method(kAdd, "Add", {{"Type", ParamType::Variant, true}}, ParamType::Object));
    m.push_back(method(kFind, "Find", {{"Filter", ParamType::String}}, ParamType::Object));
    m.push_back(method(kFindNext, "FindNext", {}, ParamType::Object));
    return makeInfo("Items", std::move(m));
  }();
  return info;
}

class ItemsObject : public au::TypedDispatch {
 public:
  explicit ItemsObject(std::string folderID) : TypedDispatch(itemsInfo()), folderID_(std::move(folderID)) {}

 protected:
  Variant invokeMember(const au::MemberInfo& m, au::CheckedArgs& a) override {
    Folder& f = folderOrRaise(folderID_);
    switch (m.id) {
      case kCount: return static_cast<int32_t>(store().count(f.entryID));
      case kItem: {
        int32_t i = a.longValue(0);
        std::vector<Appointment> all = store().items(f.entryID);
        if (i < 1 || i > static_cast<int32_t>(all.size())) raise(err::SubscriptOutOfRange, "Array index out of bounds");
        return wrap(all[size_t(i - 1)]);
      }
      case kAdd: {
        if (f.defaultItemType != itemtype::Appointment) raise(err::InvalidCall, "This folder holds no appointments");
        Appointment fresh;
        double today = oleDatePart(now());
        fresh.start = today + 0.5;  // a new appointment starts at noon today, for half an hour
        fresh.end = fresh.start + 1.0 / 48;
        return Variant(std::shared_ptr<Dispatch>(std::make_shared<AppointmentObject>(folderID_, fresh, false)));
      }
      case kFind:
        // The matches of the moment; FindNext walks them, passing over any gone since.
        found_ = store().findItems(f.entryID, a.string(0));
        next_ = 0;
        return searchOn(f);
      case kFindNext: return searchOn(f);
    }
    raise(au::errors::NoSuchMember);
  }

 private:
  Variant wrap(const Appointment& a) {
    return Variant(std::shared_ptr<Dispatch>(std::make_shared<AppointmentObject>(folderID_, a, true)));
  }
  Variant searchOn(Folder& f) {
    while (next_ < found_.size())
      if (std::optional<Appointment> a = store().item(f.entryID, found_[next_++])) return wrap(*a);
    return nothing();
  }
  std::string folderID_;
  std::vector<std::string> found_;
  size_t next_ = 0;
};

// One Items object per folder, so that Find and FindNext through the folder's
// Items property share their place, as they do in Outlook.
std::shared_ptr<Dispatch> itemsOf(const std::string& folderID) {
  static std::map<std::string, std::weak_ptr<Dispatch>> live;
  auto& slot = live[folderID];
  if (auto p = slot.lock()) return p;
  auto p = std::shared_ptr<Dispatch>(std::make_shared<ItemsObject>(folderID));
  slot = p;
  return p;
}

// --- Explorer ----------------------------------------------------------------------
enum : DispId { kCurrentFolder = 1, kDisplay, kClose };

const au::InterfaceInfo& explorerInfo() {
  static const au::InterfaceInfo info = [] {
    Members m;
    prop(m, kCurrentFolder, "CurrentFolder", ParamType::Object);
    m.push_back(method(kDisplay, "Display", {}, ParamType::Void));
    m.push_back(method(kClose, "Close", {}, ParamType::Void));
    return makeInfo("Explorer", std::move(m));
  }();
  return info;
}

std::shared_ptr<Dispatch> folderObject(const std::string& id);

class ExplorerObject : public au::TypedDispatch {
 public:
  explicit ExplorerObject(std::shared_ptr<ExplorerState> s) : TypedDispatch(explorerInfo()), state_(std::move(s)) {}

 protected:
  Variant invokeMember(const au::MemberInfo& m, au::CheckedArgs& a) override;

 private:
  std::shared_ptr<ExplorerState> state_;
};

// --- Folders and MAPIFolder ----------------------------------------------------------
enum : DispId { kFName = 1, kFEntryID, kFType, kFItems, kFFolders, kFGetExplorer, kFDisplay, kFStoreID };

const au::InterfaceInfo& folderInfo() {
  static const au::InterfaceInfo info = [] {
    Members m;
    prop(m, kFName, "Name", ParamType::String, true);
    prop(m, kFEntryID, "EntryID", ParamType::String, true);
    prop(m, kFType, "DefaultItemType", ParamType::Long, true);
    prop(m, kFItems, "Items", ParamType::Object, true);
    prop(m, kFFolders, "Folders", ParamType::Object, true);
    m.push_back(method(kFGetExplorer, "GetExplorer", {{"DisplayMode", ParamType::Variant, true}}, ParamType::Object));
    m.push_back(method(kFDisplay, "Display", {}, ParamType::Void));
    prop(m, kFStoreID, "StoreID", ParamType::String, true);
    return makeInfo("MAPIFolder", std::move(m));
  }();
  return info;
}

enum : DispId { kFsCount = 1, kFsItem, kFsAdd };

const au::InterfaceInfo& foldersInfo() {
  static const au::InterfaceInfo info = [] {
    Members m;
    prop(m, kFsCount, "Count", ParamType::Long, true);
    m.push_back(method(kFsItem, "Item", {{"Index", ParamType::Variant}}, ParamType::Object));
    m.push_back(
        method(kFsAdd, "Add", {{"Name", ParamType::String}, {"Type", ParamType::Variant, true}}, ParamType::Object));
    return makeInfo("Folders", std::move(m));
  }();
  return info;
}

constexpr const char* kStoreID = "0000000038A1BB1005E5101AA1BB08002B2A56C2";

class FoldersObject : public au::TypedDispatch {
 public:
  explicit FoldersObject(std::string parentID) : TypedDispatch(foldersInfo()), parentID_(std::move(parentID)) {}

 protected:
  Variant invokeMember(const au::MemberInfo& m, au::CheckedArgs& a) override {
    std::vector<Folder*> list = store().children(parentID_);
    switch (m.id) {
      case kFsCount: return static_cast<int32_t>(list.size());
      case kFsItem: {
        const Variant& index = a[0];
        if (index.type() == Variant::Type::String) {
          for (Folder* f : list)
            if (paths::equalsIgnoreCase(f->name, index.toString())) return Variant(folderObject(f->entryID));
          raise(err::InvalidCall, "The folder does not exist");
        }
        int32_t i = index.toLong();
        if (i < 1 || i > static_cast<int32_t>(list.size()))
          raise(err::SubscriptOutOfRange, "Array index out of bounds");
        return Variant(folderObject(list[size_t(i - 1)]->entryID));
      }
      case kFsAdd: {
        if (parentID_.empty()) raise(err::InvalidCall, "Folders are added inside a store");
        int32_t type = a.given(1) && !a[1].isEmpty() ? folderTypeOf(a[1].toLong()) : itemtype::Mail;
        if (type < 0) raise(err::InvalidCall, "Not a folder type");
        for (Folder* f : list)
          if (paths::equalsIgnoreCase(f->name, a.string(0))) raise(err::InvalidCall, "A folder of that name exists");
        return Variant(folderObject(store().addFolder(parentID_, a.string(0), type).entryID));
      }
    }
    raise(au::errors::NoSuchMember);
  }

 private:
  // Folders.Add takes a default-folder number (9 calendar), as Outlook does.
  static int32_t folderTypeOf(int32_t defaultFolder) {
    switch (defaultFolder) {
      case defaultfolder::Calendar: return itemtype::Appointment;
      case defaultfolder::Contacts: return itemtype::Contact;
      case defaultfolder::Tasks: return itemtype::Task;
      case defaultfolder::Notes: return itemtype::Note;
      case defaultfolder::Inbox: return itemtype::Mail;
      default: return -1;
    }
  }
  std::string parentID_;
};

class FolderObject : public au::TypedDispatch {
 public:
  explicit FolderObject(std::string id) : TypedDispatch(folderInfo()), id_(std::move(id)) {}

 protected:
  Variant invokeMember(const au::MemberInfo& m, au::CheckedArgs&) override {
    Folder& f = folderOrRaise(id_);
    switch (m.id) {
      case kFName: return f.name;
      case kFEntryID: return f.entryID;
      case kFType: return f.defaultItemType;
      case kFItems: return Variant(itemsOf(id_));
      case kFFolders: return Variant(std::shared_ptr<Dispatch>(std::make_shared<FoldersObject>(id_)));
      case kFStoreID: return std::string(kStoreID);
      case kFGetExplorer: {
        auto s = std::make_shared<ExplorerState>();
        s->currentFolderID = id_;
        return Variant(std::shared_ptr<Dispatch>(std::make_shared<ExplorerObject>(s)));
      }
      case kFDisplay: {
        auto s = std::make_shared<ExplorerState>();
        s->currentFolderID = id_;
        ExplorerObject(s).call("Display");
        return {};
      }
    }
    raise(au::errors::NoSuchMember);
  }

 private:
  std::string id_;
};

std::shared_ptr<Dispatch> folderObject(const std::string& id) {
  return std::shared_ptr<Dispatch>(std::make_shared<FolderObject>(id));
}

Variant ExplorerObject::invokeMember(const au::MemberInfo& m, au::CheckedArgs& a) {
  switch (m.id) {
    case kCurrentFolder:
      if (m.kind == InvokeKind::PropertyPut) {
        auto obj = a[0].toObject();
        if (!obj) raise(au::errors::ObjectNotSet);
        state_->currentFolderID = obj->call("EntryID").toString();
        return {};
      }
      if (!store().find(state_->currentFolderID)) return nothing();
      return Variant(folderObject(state_->currentFolderID));
    case kDisplay:
      state_->visible = true;
      session().activeExplorer = state_;
      session().onDisplay(*state_);
      return {};
    case kClose:
      state_->visible = false;
      if (session().activeExplorer == state_) session().activeExplorer.reset();
      return {};
  }
  raise(au::errors::NoSuchMember);
}

// --- NameSpace ------------------------------------------------------------------------
enum : DispId { kDefaultFolder = 1, kFromID, kNsFolders, kPickFolder };

const au::InterfaceInfo& namespaceInfo() {
  static const au::InterfaceInfo info = [] {
    Members m;
    m.push_back(method(kDefaultFolder, "GetDefaultFolder", {{"FolderType", ParamType::Long}}, ParamType::Object));
    m.push_back(method(kFromID, "GetFolderFromID",
                       {{"EntryIDFolder", ParamType::String}, {"EntryIDStore", ParamType::Variant, true}},
                       ParamType::Object));
    prop(m, kNsFolders, "Folders", ParamType::Object, true);
    m.push_back(method(kPickFolder, "PickFolder", {}, ParamType::Object));
    return makeInfo("NameSpace", std::move(m));
  }();
  return info;
}

// MAPI_E_NOT_FOUND, as Outlook raises for an entry ID it does not know.
constexpr long kNotFound = -2147221233;

class NamespaceObject : public au::TypedDispatch {
 public:
  NamespaceObject() : TypedDispatch(namespaceInfo()) {}

 protected:
  Variant invokeMember(const au::MemberInfo& m, au::CheckedArgs& a) override {
    switch (m.id) {
      case kDefaultFolder: {
        Folder* f = store().defaultFolder(a.longValue(0));
        if (!f) raise(err::InvalidCall, "The default folder does not exist");
        return Variant(folderObject(f->entryID));
      }
      case kFromID: {
        Folder* f = store().find(a.string(0));
        if (!f) raise(kNotFound, "The operation failed. An object could not be found.");
        return Variant(folderObject(f->entryID));
      }
      case kNsFolders: return Variant(std::shared_ptr<Dispatch>(std::make_shared<FoldersObject>("")));
      case kPickFolder: {
        // The picker works on an explorer of its own; an unchanged one is a cancel.
        auto s = std::make_shared<ExplorerState>();
        session().onDisplay(*s);
        if (s->currentFolderID.empty() || !store().find(s->currentFolderID)) return nothing();
        return Variant(folderObject(s->currentFolderID));
      }
    }
    raise(au::errors::NoSuchMember);
  }
};

// --- Application --------------------------------------------------------------------------
enum : DispId { kGetNamespace = 1, kActiveExplorer, kQuit, kName };

const au::InterfaceInfo& applicationInfo() {
  static const au::InterfaceInfo info = [] {
    Members m;
    m.push_back(method(kGetNamespace, "GetNamespace", {{"Type", ParamType::String}}, ParamType::Object));
    m.push_back(method(kActiveExplorer, "ActiveExplorer", {}, ParamType::Object));
    m.push_back(method(kQuit, "Quit", {}, ParamType::Void));
    prop(m, kName, "Name", ParamType::String, true);
    return makeInfo("Application", std::move(m));
  }();
  return info;
}

class ApplicationObject : public au::TypedDispatch {
 public:
  ApplicationObject() : TypedDispatch(applicationInfo()) { store(); }

 protected:
  Variant invokeMember(const au::MemberInfo& m, au::CheckedArgs& a) override {
    switch (m.id) {
      case kGetNamespace:
        if (!paths::equalsIgnoreCase(a.string(0), "MAPI")) raise(err::InvalidCall, "Only the MAPI namespace exists");
        return Variant(std::shared_ptr<Dispatch>(std::make_shared<NamespaceObject>()));
      case kActiveExplorer: {
        store();
        auto s = session().activeExplorer;
        if (!s || !s->visible) return nothing();
        return Variant(std::shared_ptr<Dispatch>(std::make_shared<ExplorerObject>(s)));
      }
      case kQuit: session().activeExplorer.reset(); return {};
      case kName: return std::string("Outlook");
    }
    raise(au::errors::NoSuchMember);
  }
};

}  // namespace

void registerOutlookClasses() {
  au::registerBuiltinClass(kApplicationClass, [] { return std::make_shared<ApplicationObject>(); });
}

}  // namespace pellary::standins::outlook
