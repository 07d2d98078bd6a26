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
        {"P4", "Change", {"02/01/2027", "Oman day"}},   // ties P2 by name, P1 by date
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
  widget.sortItems(2, Qt::AscendingOrder);
  EXPECT_EQ(order(), (std::vector<std::string>{"P5", "P2", "P4", "P1", "P3"}));
  widget.sortItems(2, Qt::DescendingOrder);
  EXPECT_EQ(order(), (std::vector<std::string>{"P3", "P1", "P2", "P4", "P5"}));
  // Dates compare as days; a text that is no date compares as a name.
  widget.sortItems(1, Qt::AscendingOrder);
  EXPECT_EQ(order().front(), "P2");
  EXPECT_EQ(order()[3], "P3");
}

// A row whose text changes sorts by its new text, not the one it had at the last sort.
TEST_F(CheckListSort, AChangedTextSortsByItsNewValue) {
  widget.sortItems(2, Qt::AscendingOrder);
  list.item(0)->setText(2, "Zz last");
  widget.sortItems(2, Qt::AscendingOrder);
  EXPECT_EQ(order().back(), "P5");
}

}  // namespace
}  // namespace pellary
