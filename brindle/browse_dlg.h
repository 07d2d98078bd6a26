// The device folder-browse dialog: a tree of the device, its drives and their
// folders, filled one level ahead of what the user opened, so every folder
// shows an expand button exactly when it has sub-folders. Several listings
// may be outstanding; they are answered in request order.
#pragma once

#include <QDialog>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "brindle/drive_walk.h"
#include "brindle/resources.h"
#include "brindle/sinks.h"

class QTreeWidget;
class QTreeWidgetItem;
class QLabel;
class QPushButton;

namespace pellary::brindle {

class CBrowseDlg final : public QDialog, private MessageTarget {
  Q_OBJECT
 public:
  explicit CBrowseDlg(QWidget* parent = nullptr);
  ~CBrowseDlg() override;

  void Init(const std::string& title, const std::string& buttonTitle, const std::string& text,
            const std::string& folderName);
  // 0 cancelled or closed, 1 a folder accepted; -1 when no window can be made.
  int DoModal();
  void initialise();
  // Nothing when the engine was never created.
  std::optional<std::string> folderName() const;

  bool engineCreated() const { return engine_ != nullptr; }
  bool navigating() const { return navigating_; }
  size_t pendingListings() const { return queue_.size(); }
  QTreeWidget* tree() const { return tree_; }
  static std::string pathOf(const QTreeWidgetItem* item);

  void accept() override;
  void reject() override;

 private:
  struct PendingListing {
    tessel::IConnectEntryList* listing = nullptr;
    QTreeWidgetItem* item = nullptr;
    int mode = 0;  // 0 refill the item's children, 1 scan it and its following siblings
    bool valid = true;
  };

  void postMessage(PostedMessage message) override;
  void onMessage(const PostedMessage& m);
  void linkUp();
  void deviceItem();
  void driveRestart();
  void driveWalkStart(const tessel::DriveListRecord& record);
  void driveWalkStep(int32_t status, uint32_t answer);
  void driveWalkEnd();
  void requestListing(QTreeWidgetItem* item, int mode);
  void expanded(QTreeWidgetItem* item);
  void collapsed(QTreeWidgetItem* item);
  void listingAnswer(int32_t status);
  void navigationStep(QTreeWidgetItem* parent);
  void deleteChildren(QTreeWidgetItem* item);
  void discardQueue();
  void clearBelowRoot();
  void linkDown();
  void insertRoot(const std::string& text, int image);
  void stopNavigation();

  QTreeWidget* tree_ = nullptr;
  QLabel* text_ = nullptr;
  QPushButton* acceptButton_ = nullptr;

  tessel::IConnectEngine* engine_ = nullptr;
  CPWBInfo* sink_ = nullptr;
  DriveWalk drives_;
  QTreeWidgetItem* current_ = nullptr;
  QTreeWidgetItem* root_ = nullptr;
  QTreeWidgetItem* navTarget_ = nullptr;
  uint16_t deferredEnd_ = 0;
  std::string title_, buttonTitle_, textLine_, startFolder_, result_;
  uint16_t deviceValue_ = 0;
  bool navigating_ = false;
  std::deque<std::unique_ptr<PendingListing>> queue_;
  // Requests dropped before their answer came: the engine may still fill them,
  // so they are freed only once the engine is gone.
  std::vector<std::unique_ptr<PendingListing>> abandoned_;
  IconTable icons_;
  bool initialised_ = false;
};

}  // namespace pellary::brindle
