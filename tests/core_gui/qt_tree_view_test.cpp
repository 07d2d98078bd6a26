#include <gtest/gtest.h>

#include <QPixmap>
#include <QTreeWidget>

#include "core/gui/qt_tree_view.h"
#include "platform/errors.h"

namespace pellary {
namespace {

TEST(QtTreeView, NodesByKeyWithRelationsAsTheTreeControlHasThem) {
  QTreeWidget widget;
  QtTreeView tree(&widget);
  QPixmap pix(16, 16);
  pix.fill(Qt::red);
  tree.setImageIcon("imgFileIcon", QIcon(pix));
  tree.add({}, TreeRelation::Last, "XXXKeyNew", "New items");
  tree.add({}, TreeRelation::Last, "XXXKey30", "Yours");
  tree.add("XXXKey30", TreeRelation::Next, "K00a", "first");
  tree.add("XXXKey30", TreeRelation::Next, "K00b", "newest");
  tree.add("XXXKeyNew", TreeRelation::Child, "P001", "child", "imgFileIcon");
  tree.add("XXXKeyNew", TreeRelation::First, "top", "top");

  EXPECT_EQ(tree.rootKeys(), (std::vector<std::string>{"top", "XXXKeyNew", "XXXKey30", "K00b", "K00a"}));
  EXPECT_EQ(tree.keys(), (std::vector<std::string>{"top", "XXXKeyNew", "P001", "XXXKey30", "K00b", "K00a"}));
  EXPECT_EQ(tree.parentKey("P001"), "XXXKeyNew");
  EXPECT_EQ(tree.childCount("XXXKeyNew"), 1);
  EXPECT_EQ(widget.topLevelItem(1)->child(0)->text(0), "child");
  EXPECT_FALSE(tree.item("P001")->icon(0).isNull());
  EXPECT_EQ(tree.image("P001"), "imgFileIcon");

  tree.setForeColor("P001", kColorGrayText);
  EXPECT_EQ(tree.foreColor("P001"), kColorGrayText);
  EXPECT_EQ(tree.item("P001")->foreground(0).color(), widget.palette().color(QPalette::Disabled, QPalette::Text));
  tree.setBold("XXXKey30", true);
  EXPECT_TRUE(tree.bold("XXXKey30"));
  EXPECT_TRUE(tree.item("XXXKey30")->font(0).bold());

  try {
    tree.add({}, TreeRelation::Last, "P001", "again");
    ADD_FAILURE() << "a duplicate key was taken";
  } catch (const AppError& e) {
    EXPECT_EQ(e.number(), kTreeKeyNotUnique);
  }
  EXPECT_THROW(tree.text("nope"), AppError);

  tree.remove("XXXKeyNew");
  EXPECT_FALSE(tree.exists("P001"));
  EXPECT_EQ(tree.count(), 4);
  EXPECT_EQ(widget.topLevelItemCount(), 4);
  tree.clear();
  EXPECT_EQ(tree.count(), 0);
}

}  // namespace
}  // namespace pellary
