#include <gtest/gtest.h>

#include <QTreeWidget>

#include "core/gui/check_list.h"

namespace pellary {
namespace {

// The summary's rows as the user sorts them by a header.
class CheckListSort : public ::testing::Test {
 protected:
  void SetUp() override {
    widget.setColumnCount(3);
    const PreviewRow rows[] = {
        {"P1", "Add", {"02/01/2027", "\xc3\x96sterreich day"}},
        {"P2", "Remove", {"15/12/2026", "oman day"}},
        {"P3", "Add", {"01/02/2027", "Zypern day"}},
        {"P4", "Change", {"02/01/2027", "Oman day"}},  // ties P2 by name, P1 by date
        {"P5", "Add", {"not a date", "\xc3\xa9t\xc3\xa9"}},
    };
    for (const PreviewRow& r : rows) list.addRow(r);
  }
  std::vector<std::string> order() const {
    std::vector<std::string> keys;
    for (int i = 0; i < list.rowCount(); ++i) keys.push_back(list.row(i).key);
    return keys;
  }
  QTreeWidget widget;
  QtCheckList list{&widget, 1};
};

TEST_F(CheckListSort, DatesByDayNamesAsTheProgramSortsThemTiesKeepTheirPlace) {
  list.sort(2, Qt::AscendingOrder);
  EXPECT_EQ(order(), (std::vector<std::string>{"P5", "P2", "P4", "P1", "P3"}));
  list.sort(2, Qt::DescendingOrder);
  EXPECT_EQ(order(), (std::vector<std::string>{"P3", "P1", "P2", "P4", "P5"}));
  // Dates compare as days; a text that is no date compares as a name.
  list.sort(1, Qt::AscendingOrder);
  EXPECT_EQ(order().front(), "P2");
  EXPECT_EQ(order()[3], "P3");
}

// A row whose text changes sorts by its new text, not the one it had at the last sort.
TEST_F(CheckListSort, AChangedTextSortsByItsNewValue) {
  list.sort(2, Qt::AscendingOrder);
  list.item(0)->setText(2, "Zz last");
  list.sort(2, Qt::AscendingOrder);
  EXPECT_EQ(order().back(), "P5");
}

// Qt's own sort of the widget gives the same order as the list's.
TEST_F(CheckListSort, TheWidgetsOwnSortAgrees) {
  for (int column : {1, 2})
    for (Qt::SortOrder direction : {Qt::AscendingOrder, Qt::DescendingOrder}) {
      list.sort(column, direction);
      const std::vector<std::string> mine = order();
      widget.sortItems(column, direction);
      EXPECT_EQ(order(), mine) << column << " " << int(direction);
    }
}

// Sorting keeps the row the user is on, and the tick of every row.
TEST_F(CheckListSort, TheCurrentRowAndTheTicksStay) {
  list.item(2)->setCheckState(0, Qt::Unchecked);
  widget.setCurrentItem(list.item(2));
  list.sort(2, Qt::DescendingOrder);
  EXPECT_EQ(QtCheckList::keyOf(widget.currentItem()), "P3");
  EXPECT_EQ(list.item(0)->checkState(0), Qt::Unchecked);
  EXPECT_EQ(list.rowCount(), 5);
}

}  // namespace
}  // namespace pellary
