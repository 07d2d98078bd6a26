// The device file dialog: open or save a file on the connected handheld. Every
// browsing step is a request to the engine; its answer arrives as a queued
// message on the dialog's thread.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "brindle/drive_walk.h"
#include "brindle/request_slots.h"
#include "brindle/resources.h"
#include "brindle/sinks.h"

class QListWidget;
class QLineEdit;
class QPushButton;

namespace pellary::brindle {

class CFileDlg;

// The Look-in drop-down: device, drives, and the folder levels of the path.
// Each item's raw text (drive name or full path) is kept as its user data.
class CLookInComboBox final : public QComboBox {
  Q_OBJECT
 public:
  explicit CLookInComboBox(CFileDlg* dialog);
  std::string rawText(int index) const;
};

class CFileDlg final : public QDialog, private MessageTarget {
  Q_OBJECT
 public:
  explicit CFileDlg(QWidget* parent = nullptr);
  ~CFileDlg() override;

  // Open flag 1 = open dialog, else save. Flags bit 0: ask before replacing.
  void Init(int32_t open, const std::string& title, const std::string& buttonTitle, const std::string& fileName,
            int32_t flags);
  void AddFilterWildcard(const std::string& type, const std::string& wildcard);
  void AddFilterUID(const std::string& type, uint32_t uid0, uint32_t uid1, uint32_t uid2);

  // 0 cancelled, 1 an existing file, 2 a new name in the save dialog; -1 when
  // no window can be made.
  int DoModal();
  // The window's initialisation without the modal run (DoModal does it too).
  void initialise();

  // Nothing when the engine was never created.
  std::optional<std::string> pathName() const;
  std::optional<std::string> fileName() const;
  std::optional<std::string> fileExt() const;
  bool fileType(uint32_t& uid0, uint32_t& uid1, uint32_t& uid2) const;

  bool engineCreated() const { return engine_ != nullptr; }
  const std::string& currentPath() const { return path_; }
  uint16_t depth() const { return depth_; }
  const std::vector<std::string>& driveNames() const { return drives_.names(); }
  const std::vector<std::string>& volumeNames() const { return drives_.volumes(); }
  const IconTable& icons() const { return icons_; }
  uint16_t awaitedAnswer() const { return sink_ ? sink_->awaited() : 0; }

  void accept() override;
  void reject() override;

 private:
  void postMessage(PostedMessage message) override;
  void onMessage(const PostedMessage& m);

  void request(uint16_t state);
  void driveRestart();
  void driveWalkStart(const tessel::DriveListRecord& record);
  void showDriveLevel();
  void refresh();
  void requestListingOf(const std::string& folder);
  void navigationAnswer(int32_t status);
  void listingAnswer(int32_t status);
  void typedNameAnswer(int32_t status);
  void linkDown();
  void rebuildLookIn();
  void lookInChosen(int index);
  void upOneLevel();
  void typeChanged(int index);
  void namePicked();
  void acceptAction();
  void showNotConnected();
  void releaseHeld();

  struct Walked {
    std::string name;
    bool folder = false;
    uint32_t uids[3] = {0, 0, 0};
  };
  // Walks the held listing with the visibility rule; fn gets each shown entry.
  template <class Fn>
  void walkShown(Fn fn);
  bool shown(const Walked& e);
  int iconOf(const Walked& e);
  tessel::ParseResult parse(const std::string& path);
  void end(int result);

  // controls
  QListWidget* list_ = nullptr;
  QLineEdit* nameBox_ = nullptr;
  CLookInComboBox* lookIn_ = nullptr;
  QComboBox* typeCombo_ = nullptr;
  QPushButton* upButton_ = nullptr;
  QPushButton* acceptButton_ = nullptr;

  DriveWalk drives_;
  int32_t open_ = 1;
  std::string title_, buttonTitle_, fileName_, path_;
  int32_t flags_ = 0;
  std::vector<std::string> wildcardNames_, uidNames_, wildcards_;
  std::vector<std::array<uint32_t, 3>> uidValues_;
  uint16_t deviceValue_ = 32;
  uint32_t currentUids_[3] = {0, 0, 0};
  uint16_t depth_ = 0;
  IconTable icons_;
  tessel::IConnectEngine* engine_ = nullptr;
  CPWInfo* sink_ = nullptr;
  // The answers in hand; every request has its own slot until answered.
  tessel::IConnectEntryList* listing_ = nullptr;
  tessel::IConnectEntry* entry_ = nullptr;
  RequestSlots<tessel::IConnectEntryList> listingSlots_;
  RequestSlots<tessel::IConnectEntry> entrySlots_;
  bool initialised_ = false;
  // The path before a typed-name lookup, back in force when the name is missing.
  std::string pathBeforeTyped_;
};

}  // namespace pellary::brindle
