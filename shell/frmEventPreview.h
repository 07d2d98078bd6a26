// The event options dialog: one category's events with a tick each, its
// include, description, tickets and longer-event options and its own date
// range. Every change goes at once to the option procedures of core.
#pragma once

#include <QDialog>

#include <functional>
#include <memory>

#include "core/previews.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace pellary {

class QtCheckList;

class frmEventPreview : public QDialog, public EventOptionsView {
  Q_OBJECT
 public:
  // addToSelection: what "Add to my selection" does (the selection screen's
  // double click on the current category).
  explicit frmEventPreview(std::function<void()> addToSelection, QWidget* parent = nullptr);
  ~frmEventPreview() override;

  bool SettingUp() const { return settingUp_; }

  // EventOptionsView
  bool settingUp() const override { return settingUp_; }
  void setSettingUp(bool on) override { settingUp_ = on; }
  OptionControls options() const override;
  void setOptions(const OptionControls& controls) override;
  void setEnabledParts(bool include, bool onSale, bool dateRange) override;
  void setCategoryCaption(const std::string& text) override;
  std::string categoryCaption() const override;
  void setOkCaption(const std::string& text) override;
  PreviewList& eventList() override;
  DatePanel datePanel() const override;
  void setDatePanel(const DatePanel& panel) override;
  void showDatePanel() override;
  bool isShown() const override { return isVisible(); }
  void centreOnMainWindow() override;
  void showModal() override { exec(); }

  // Handlers.
  void optionClicked();
  void chkSetDateRange_Click();
  void cmdSetDates_Click() { Bsql_SetUpPreferences(); }
  void cmdOkDates_Click();
  void cmdCancelDates_Click() { hideDatePanel(); }
  void cmdOk_Click();
  void cmdCancel_Click() { QDialog::reject(); }
  void lstPreviews_ItemCheck(QTreeWidgetItem* item, bool ticked);
  // Esc closes the date panel when it is open, else acts as Cancel.
  void frmEventPreview_Escape(int keyCode);
  void reject() override { frmEventPreview_Escape(27); }

 private:
  void hideDatePanel();
  void setBehindPanelEnabled(bool enabled);

  bool settingUp_ = false;
  std::function<void()> add_;
  QCheckBox *chkHappen_, *chkOnSale_, *chkDisplayExclamation_, *chkSetDateRange_;
  QRadioButton *optStandard_, *optDetailed_, *optAllEvents_, *optMostEvents_, *optOnlyKeyEvents_;
  QLabel *lblPriorityCaption_, *lblCurrentCategory_, *lblStartDate_, *lblEndDate_;
  QPushButton *cmdOk_, *cmdSetDates_;
  QGroupBox *fraSetDates_, *fraDateRange_;
  QComboBox* cboUnit_;
  QDateEdit *calStartDate_, *calEndDate_;
  QTreeWidget* lstPreviews_;
  std::unique_ptr<QtCheckList> list_;
};

}  // namespace pellary
