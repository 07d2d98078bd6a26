#include "brindle/browse_dlg.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <memory>

#include "device_fixture.h"
#include "platform/paths.h"

namespace pellary::brindle {
namespace {

using namespace testing;
using Texts = std::vector<std::string>;

class BrowseDialog : public DeviceTest {
 protected:
  CBrowseDlg& open(const std::string& startFolder) {
    dlg_ = std::make_unique<CBrowseDlg>();
    dlg_->Init("Choose a folder", "Choose", "Where the reference goes", startFolder);
    dlg_->initialise();
    dlg_->show();
    return *dlg_;
  }
  QTreeWidget* tree() { return dlg_->tree(); }
  QTreeWidgetItem* root() { return tree()->topLevelItem(0); }
  // The item whose device path is given (the device item: "").
  QTreeWidgetItem* item(const std::string& path) {
    std::vector<QTreeWidgetItem*> stack{root()};
    while (!stack.empty()) {
      auto* it = stack.back();
      stack.pop_back();
      if (!it) continue;
      if (paths::equalsIgnoreCase(CBrowseDlg::pathOf(it), path)) return it;
      for (int i = 0; i < it->childCount(); ++i) stack.push_back(it->child(i));
    }
    return nullptr;
  }
  Texts children(QTreeWidgetItem* it) {
    Texts t;
    for (int i = 0; it && i < it->childCount(); ++i) t.push_back(it->child(i)->text(0).toStdString());
    return t;
  }
  bool settled() {
    return waitFor([&] { return dlg_->pendingListings() == 0; });
  }
  bool drivesShown() {
    return waitFor([&] { return root() && root()->childCount() == 2; });
  }
  bool arrivedAt(const std::string& path) {
    return waitFor([&] {
      return !dlg_->navigating() && tree()->currentItem() && CBrowseDlg::pathOf(tree()->currentItem()) == path;
    });
  }
  QPushButton* ok() { return dlg_->findChild<QPushButton*>("cmdOK"); }

  std::unique_ptr<CBrowseDlg> dlg_;
};

TEST_F(BrowseDialog, OpensTheTreeDownToTheStartFolder) {
  auto& dlg = open("C:\\Documents\\Letters");
  EXPECT_EQ(dlg.windowTitle(), "Choose a folder");
  EXPECT_EQ(ok()->text(), "Choose");
  ASSERT_TRUE(arrivedAt("C:\\Documents\\Letters"));
  EXPECT_EQ(root()->text(0), "Tessel");
  EXPECT_EQ(children(root()), (Texts{"Internal (C:)", "Card (D:)"})) << "drive Z is never shown";
  ASSERT_TRUE(item("C:\\Documents\\Letters"));
  EXPECT_EQ(tree()->currentItem(), item("C:\\Documents\\Letters"));
  EXPECT_TRUE(tree()->currentItem()->isSelected());
  EXPECT_TRUE(item("C:")->isExpanded());
  EXPECT_TRUE(item("C:\\Documents")->isExpanded());
  EXPECT_EQ(children(item("C:\\Documents")), (Texts{"Letters", "Old"})) << "files are no folders";
  EXPECT_EQ(item("C:\\Documents\\Old")->childCount(), 0) << "no expand button without sub-folders";
  EXPECT_TRUE(ok()->isEnabled());
  QTest::mouseClick(ok(), Qt::LeftButton);
  ASSERT_TRUE(waitFor([&] { return !dlg.isVisible(); }));
  EXPECT_EQ(dlg.result(), 1);
  EXPECT_EQ(dlg.folderName(), "C:\\Documents\\Letters");
}

TEST_F(BrowseDialog, AStartFolderThatIsNotThereLeavesTheTreeOpenAsFarAsItGot) {
  auto& dlg = open("C:\\Documents\\Nowhere\\Deeper");
  ASSERT_TRUE(
      waitFor([&] { return item("C:\\Documents") && item("C:\\Documents")->isExpanded() && !dlg.navigating(); }));
  ASSERT_TRUE(settled());
  EXPECT_TRUE(item("C:\\Documents")->isExpanded());
  EXPECT_FALSE(ok()->isEnabled());
}

TEST_F(BrowseDialog, ExpandingAnotherItemTakesOverFromTheNavigation) {
  standins::tessel::holdAnswers(true);
  auto& dlg = open("C:\\Documents\\Letters");
  standins::tessel::holdAnswers(false);
  ASSERT_TRUE(waitFor([&] { return item("D:") != nullptr; }));
  item("D:")->setExpanded(true);
  EXPECT_FALSE(dlg.navigating());
  ASSERT_TRUE(settled());
  EXPECT_FALSE(item("C:\\Documents") && item("C:\\Documents")->isExpanded());
}

TEST_F(BrowseDialog, AcceptWhileListingsArePendingEndsAtTheNextAnswer) {
  auto& dlg = open("");
  ASSERT_TRUE(drivesShown());
  root()->setExpanded(true);
  ASSERT_TRUE(settled());
  standins::tessel::holdAnswers(true);
  item("C:")->setExpanded(true);
  ASSERT_GT(dlg.pendingListings(), 0u);
  tree()->setCurrentItem(item("C:"));
  QTest::mouseClick(ok(), Qt::LeftButton);
  QTest::qWait(20);
  EXPECT_TRUE(dlg.isVisible()) << "the dialog waits for its listings";
  standins::tessel::holdAnswers(false);
  ASSERT_TRUE(waitFor([&] { return !dlg.isVisible(); }));
  EXPECT_EQ(dlg.result(), 1);
  EXPECT_EQ(dlg.folderName(), "C:");
}

TEST_F(BrowseDialog, CollapsingReReadsTheFolderFromTheDevice) {
  open("C:\\Documents");
  ASSERT_TRUE(arrivedAt("C:\\Documents"));
  ASSERT_TRUE(settled());
  EXPECT_EQ(children(item("C:")), (Texts{"Documents", "System"}));
  std::filesystem::create_directories(standins::tessel::deviceRoot() / "C" / "Added");
  item("C:")->setExpanded(false);
  ASSERT_TRUE(settled());
  item("C:")->setExpanded(true);
  ASSERT_TRUE(settled());
  EXPECT_EQ(children(item("C:")), (Texts{"Added", "Documents", "System"}));
  EXPECT_EQ(item("C:\\Documents")->childCount(), 2) << "the opened level is scanned one ahead";
}

TEST_F(BrowseDialog, CancelAndLinkDown) {
  auto& dlg = open("");
  ASSERT_TRUE(drivesShown());
  standins::tessel::dropLink();
  ASSERT_TRUE(waitFor([&] { return root()->text(0) == "Not connected"; }));
  EXPECT_EQ(root()->childCount(), 0);
  EXPECT_FALSE(ok()->isEnabled());
  standins::tessel::restoreLink();
  ASSERT_TRUE(drivesShown());
  QTest::mouseClick(dlg.findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
  ASSERT_TRUE(waitFor([&] { return !dlg.isVisible(); }));
  EXPECT_EQ(dlg.result(), 0);
}

TEST_F(BrowseDialog, TheDeviceFolderComingAndGoingIsNoticedWhileOpen) {
  const fs::path device = standins::tessel::deviceRoot();
  const fs::path away = device.string() + ".away";
  fs::rename(device, away);
  auto& dlg = open("C:\\Documents\\Letters");
  QTest::qWait(300);
  EXPECT_EQ(root()->text(0), "Not connected");
  fs::rename(away, device);
  ASSERT_TRUE(arrivedAt("C:\\Documents\\Letters")) << "a later link-up navigates to the start folder";
  EXPECT_TRUE(ok()->isEnabled());
  fs::rename(device, away);
  ASSERT_TRUE(waitFor([&] { return root()->text(0) == "Not connected"; }));
  EXPECT_EQ(root()->childCount(), 0);
  EXPECT_FALSE(ok()->isEnabled());
  fs::rename(away, device);
  ASSERT_TRUE(arrivedAt("C:\\Documents\\Letters"));
  QTest::mouseClick(ok(), Qt::LeftButton);
  ASSERT_TRUE(waitFor([&] { return !dlg.isVisible(); }));
  EXPECT_EQ(dlg.result(), 1);
  EXPECT_EQ(dlg.folderName(), std::optional<std::string>("C:\\Documents\\Letters"));
}

TEST_F(BrowseDialog, WithoutTheEngineOnlyNotConnectedShows) {
  auto old = standins::tessel::setEngineMaker({});
  auto& dlg = open("C:\\Documents");
  standins::tessel::setEngineMaker(old);
  QTest::qWait(20);
  EXPECT_EQ(root()->text(0), "Not connected");
  EXPECT_FALSE(ok()->isEnabled());
  EXPECT_FALSE(dlg.folderName());
}

}  // namespace
}  // namespace pellary::brindle
