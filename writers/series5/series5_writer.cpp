#include "writers/series5/series5_writer.h"

#include "core/app.h"
#include "core/profile_commit.h"
#include "core/registry.h"
#include "core/update_run.h"
#include "core/wizard/program_end.h"
#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/oledate.h"
#include "platform/settings/settings_tree.h"
#include "standins/psiwin/psiwin_engine.h"
#include "writers/note_text.h"
#include "writers/processor/central_writer.h"

namespace pellary {

namespace psi = standins::psiwin;
namespace au = platform::automation;
using platform::ByRef;
using platform::Dispatch;
using platform::DispatchArgs;

namespace {

constexpr int32_t kConnectTimeout = 10000;

Psion5State freshState() {
  Psion5State s;
  s.writePass = [] { Bplp_CentralWriter(false); };
  s.commit = Bsda_CommittChanges;
  return s;
}

Dispatch& agenda() {
  if (!Bpsi().agenda) raise(au::errors::ObjectNotSet);
  return *Bpsi().agenda;
}

void showProgress(int16_t percent) {
  if (Bpsi().view) Bpsi().view->setProgress(percent);
}

}  // namespace

Psion5State& Bpsi() {
  static Psion5State state = freshState();
  return state;
}

void resetBpsi() { Bpsi() = freshState(); }

std::string Bpsi_NoteText(const RelayEventRecord& r) { return compactNoteText(r); }

std::string Bpsi_AddEvent(RelayEventRecord& record, int16_t& percent) {
  return trapped("Bpsi_AddEvent", [&] {
    auto event = agenda().call("NewEvent").toObject();
    event->put("StartDate", Variant::date(record.StartDate));
    event->put("EndDate", Variant::date(record.EndDate));
    event->put("CrossedOut", false);
    event->put("HasAlarm", false);
    event->put("Tentative", false);
    event->put("Status", "OPEN");
    auto text = event->call("GetRichText").toObject();
    text->call("AddChars", {record.Title});
    const std::string note = Bpsi_NoteText(record);
    if (!note.empty()) text->call("AddChars", {"\r\n" + note});
    agenda().call("AddEntry", {Variant(event)});
    const std::string id = std::to_string(event->call("GetUniqueId").toLong());
    showProgress(percent);
    return id;
  });
}

void Bpsi_DelEvent(RelayEventRecord& record, int16_t& percent) {
  trapped("Bpsi_DelEvent", [&] {
    if (!record.EntryID.empty()) {
      // A text that is no number is a conversion error, as CLng gives.
      const int32_t id = Variant(record.EntryID).toLong();
      agenda().call("DeleteEntryOnId", {id});
    }
    showProgress(percent);
  });
}

void Bpsi_SetAgendaFile(const std::string& path) {
  trapped("Bpsi_SetAgendaFile", [&] {
    Bpsi().agendaFile = path;
    Breg_WriteRegSettings("Settings", "PsionAgendaFile", path);
  });
}

void Bpsi_Failure(const std::string& message) {
  auto& s = Bpsi();
  s.stateCode = 5;
  if (s.engine) s.engine->call(4);
  if (!Bupd_UpdateRun()) MsgBox(message, mb::OKOnly, appTitle());
  if (s.view) s.view->setDefaultPointer();
}

void Bpsi_LoadControls() {
  auto& s = Bpsi();
  if (!s.engine) s.engine = au::createObject(psi::kEngineClass);
  if (auto engine = std::dynamic_pointer_cast<psi::PsiWinEngine>(s.engine))
    engine->setEventSink([](int16_t event, int32_t code) { Bpsi_EngineEvent(event, code); });
  s.engine->call(1);
}

void Bpsi_EngineEvent(int16_t event, int32_t code) {
  auto& s = Bpsi();
  switch (event) {
    case psi::OnInitDone:
      if (code != 0) {
        Bpsi_Failure("PsiWinEng OnInit error #" + std::to_string(code));
        Bmm_EndProgram();
      }
      s.engine->call(2, {kConnectTimeout});
      break;
    case psi::OnConnectDone:
      if (code == psi::code::TimedOut)
        Bpsi_Failure("PsiWinEng OnConnect timed out - please check the connections");
      else if (code == 0 || code == psi::code::AlreadyConnected) {
        if (s.view) s.view->setNextEnabled(true);
      } else
        Bpsi_Failure("PsiWinEng OnConnect error #" + std::to_string(code));
      break;
    case psi::OnCopyDone:
      if (code == psi::code::FileNotFound)
        Bpsi_Failure("Error copying file : file not found");
      else if (code != 0 && code != psi::code::AlreadyExists)
        Bpsi_Failure("Problem copying file : error #" + std::to_string(code));
      else if (s.stateCode == 8)
        s.stateCode = 19;
      break;
    case psi::OnLinkLost:
      if (s.view) s.view->setNextEnabled(false);
      s.engine->call(2, {kConnectTimeout});
      break;
    case psi::OnFileInfo:
      if (code != 0 && code != psi::code::FileNotFound)
        Bpsi_Failure("Error getting file information : error #" + std::to_string(code));
      break;
    default: break;
  }
}

bool Bpsi_psion5Handler() {
  auto& s = Bpsi();
  const std::string folder =
      Breg_ReadFromRegistry(HKEY_LOCAL_MACHINE, "Software\\Psion\\PsiWin32", "Installation Directory", "");
  Breg_AddToPath(folder);
  s.version.clear();
  if (Breg_DoesKeyExist(HKEY_CLASSES_ROOT, psi::kOldAgendaClass)) s.version = "2.1";
  if (Breg_DoesKeyExist(HKEY_CLASSES_ROOT, psi::kAgendaClass)) s.version = "2.2";
  if (s.version != "2.2") {
    Bpsi_Failure("This program requires PsiWin 2.2 or higher to be installed");
    return false;
  }
  try {
    s.agendaClass = au::createObject(psi::kAgendaClass);
    Variant path = s.agendaFile;
    DispatchArgs args{ByRef(path)};
    s.agenda = s.agendaClass->callRef("Open", args).toObject();
  } catch (const ProgramEnded&) {
    throw;
  } catch (...) {
    s.agenda.reset();
    s.agendaClass.reset();
    MsgBox("Could not open Agenda. Please ensure it is closed and try again", mb::OKOnly, appTitle());
    return false;
  }
  const auto release = [&] {
    s.agenda.reset();
    s.agendaClass.reset();
  };
  try {
    s.agenda->call("SetupDateIterator", {"1/1/1999", "1/1/1999", "31/12/2010", "1/1/1990", "1/1/1990"});
    if (!Bupd_UpdateRun() && s.view) s.view->setProgressVisible(true);
    s.writePass();
    if (!Bupd_UpdateRun() && s.view) s.view->setProgressVisible(false);
    Bsda_TargetCommitNext();
    s.agenda->call("Commit");
    s.agenda->call("Close");
    s.commit();
  } catch (const ProgramEnded&) {
    // A writer's own trap ended the program: the agenda is closed uncommitted.
    try {
      if (s.agenda) s.agenda->call("Close");
    } catch (...) {
    }
    release();
    throw;
  } catch (...) {
    currentError() = describeCurrentException();
    try {
      s.agenda->call("Close");
    } catch (...) {
    }
    release();
    reportError(currentError().number, "Bpsi_psion5Handler");
  }
  release();
  return true;
}

}  // namespace pellary
