// The Series 5 Agenda page: picks the agenda file and runs the write.
#pragma once

#include "writers/pages/psion_agenda_page.h"
#include "writers/series5/series5_writer.h"

namespace pellary {

class frmPsion5 : public PsionAgendaPage, public Psion5View {
 public:
  explicit frmPsion5(QWidget* parent = nullptr);
  ~frmPsion5() override;

  void Form_Load();
  void cmdSelectAgnFile_Click() { selectFile(); }
  void cmdNext_Click();
  void cmdBack_Click();

  // Psion5View
  void setNextEnabled(bool enabled) override;
  void setProgress(int16_t percent) override;
  void setProgressVisible(bool visible) override;
  void setDefaultPointer() override;

 protected:
  void addAgendaFilter(platform::Dispatch& control) override;
};

}  // namespace pellary
