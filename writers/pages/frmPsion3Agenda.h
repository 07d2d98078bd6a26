// The Series 3 Agenda page: picks the agenda file and runs the write.
#pragma once

#include "writers/pages/psion_agenda_page.h"
#include "writers/series3/series3_writer.h"

namespace pellary {

class frmPsion3Agenda : public PsionAgendaPage, public Psion3View {
 public:
  explicit frmPsion3Agenda(QWidget* parent = nullptr);
  ~frmPsion3Agenda() override;

  void Form_Load();
  void cmdSelectAgnFile_Click() { selectFile(); }
  void cmdNext_Click();
  void cmdBack_Click();

  // Psion3View
  void setStatus(const std::string& text) override;
  void setNextEnabled(bool enabled) override;
  void setProgress(int16_t percent) override;
  void showProgress() override;
  void setDefaultPointer() override;

 protected:
  void addAgendaFilter(platform::Dispatch& control) override;
};

}  // namespace pellary
