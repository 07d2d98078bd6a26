#include "writers/series3/series3_writer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>

#include "core/app.h"
#include "core/profile_commit.h"
#include "core/registry.h"
#include "core/update_run.h"
#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/oledate.h"
#include "platform/paths.h"
#include "platform/text/codepages.h"
#include "standins/psiwin/psiwin_engine.h"
#include "writers/note_text.h"
#include "writers/processor/central_writer.h"

namespace pellary {

namespace psi = standins::psiwin;
using platform::ByRef;
using platform::DispatchArgs;

namespace {

constexpr const char* kQuollClass = "QuollLibCtl.KestQuoll";
constexpr int32_t kConnectTimeout = 10000;

void pumpEngine() {
  if (auto engine = std::dynamic_pointer_cast<psi::PsiWinEngine>(Bps3().engine)) engine->pumpEvents();
}

Psion3State freshState() {
  Psion3State s;
  s.timer = platform::secondsSinceMidnight;
  s.doEvents = pumpEngine;
  s.writePass = [] { Bplp_CentralWriter(false); };
  s.commit = Bsda_CommittChanges;
  return s;
}

// Waits for the copy: true when it finished within the limit. Times of day
// wrap at midnight, so a wait that runs across it still ends.
bool waitForCopy(int32_t limit) {
  auto& s = Bps3();
  const double start = s.timer();
  while (s.stateCode != kPsiCopyDone) {
    double elapsed = s.timer() - start;
    if (elapsed < 0) elapsed += 86400;
    if (elapsed > limit || s.stateCode == kPsiFailed) return false;
    s.doEvents();
  }
  return true;
}

void showProgress(int16_t percent) {
  if (Bps3().view) Bps3().view->setProgress(percent);
}

void setStatus(const std::string& text) {
  if (Bps3().view) Bps3().view->setStatus(text);
}

int32_t yearOf(double date, int32_t& month, int32_t& day) {
  const auto c = platform::civilFromOle(date);
  month = c.month;
  day = c.day;
  return c.year;
}

}  // namespace

Psion3State& Bps3() {
  static Psion3State state = freshState();
  return state;
}

void resetBps3() { Bps3() = freshState(); }

std::string Bps3_SpecialChar(const std::string& text) {
  return trapped("Bps3_SpecialChar", [&] {
    // The characters the Series 3 is given in its own code page.
    static const char32_t kConverted[] = {U'À', U'Á', U'Â', U'Ã', U'Ä', U'Æ', U'\u00A9', U'Ç', U'È', U'É',      U'Ê',
                                          U'Ë', U'Ì', U'Í', U'Î', U'Ï', U'Ñ', U'Ò',      U'Ó', U'Ô', U'\u00AE', U'Ù',
                                          U'Ü', U'ß', U'à', U'á', U'â', U'ã', U'ä',      U'æ', U'ç', U'è',      U'é',
                                          U'ê', U'î', U'ñ', U'ô', U'õ', U'ö', U'û',      U'ü'};
    // Plain ASCII, the common case, has nothing to convert.
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) return text;
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
      const size_t from = pos;
      const char32_t ch = platform::text::nextUtf8(text, pos);
      bool converted = false;
      for (char32_t c : kConverted) {
        if (c != ch) continue;
        const int byte = platform::text::cp850Byte(ch);
        platform::text::appendUtf8(out, platform::text::cp1252Char(uint8_t(byte)));
        converted = true;
        break;
      }
      if (!converted) out.append(text, from, pos - from);
    }
    return out;
  });
}

std::string Bps3_NoteText(const RelayEventRecord& r) { return compactNoteText(r); }

int32_t Bps3_AddEvent(RelayEventRecord& record, int16_t& percent) {
  return trapped("Bps3_AddEvent", [&] {
    Variant day, month, year, text, memo, hasRepeat, days;
    int32_t m = 0, d = 0;
    const int32_t y = yearOf(record.StartDate, m, d);
    day = d;
    month = m;
    year = y;
    text = Bps3_SpecialChar(record.Title);
    memo = Bps3_SpecialChar(Bps3_NoteText(record));
    const int32_t span = int32_t(std::floor(record.EndDate) - std::floor(record.StartDate));
    hasRepeat = int32_t(span < 1 ? -1 : 1);
    days = span;
    if (!Bps3().quoll) raise(platform::automation::errors::ObjectNotSet);
    DispatchArgs args{ByRef(day), ByRef(month), ByRef(year), ByRef(text), ByRef(memo), ByRef(hasRepeat), ByRef(days)};
    Bps3().quoll->callRef(5, args);
    showProgress(percent);
    return int32_t(0);
  });
}

void Bps3_DelEvent(RelayEventRecord& record, int16_t& percent) {
  trapped("Bps3_DelEvent", [&] {
    int32_t m = 0, d = 0;
    const int32_t y = yearOf(record.StartDate, m, d);
    Variant day = d, month = m, year = y;
    if (!Bps3().quoll) raise(platform::automation::errors::ObjectNotSet);
    DispatchArgs args{ByRef(day), ByRef(month), ByRef(year), Bps3_SpecialChar(record.Title)};
    Bps3().quoll->callRef(3, args);
    showProgress(percent);
  });
}

void Bps3_SetAgendaFile(const std::string& path) {
  trapped("Bps3_SetAgendaFile", [&] {
    Bps3().agendaFile = path;
    Breg_WriteRegSettings("Settings", "PsionAgendaFile", path);
  });
}

void Bps3_PsiWinError(const std::string& message) {
  trapped("Bps3_PsiWinError", [&] {
    auto& s = Bps3();
    s.stateCode = kPsiFailed;
    s.doEvents();
    if (!Bupd_UpdateRun()) {
      MsgBox(message, mb::OKOnly, appTitle());
      setStatus("");
    }
    if (s.view) {
      s.view->setDefaultPointer();
      s.view->setNextEnabled(true);
    }
  });
}

void Bps3_LoadControls() {
  auto& s = Bps3();
  if (!s.engine) {
    s.engine = platform::automation::createObject(psi::kEngineClass);
  }
  if (auto engine = std::dynamic_pointer_cast<psi::PsiWinEngine>(s.engine))
    engine->setEventSink([](int16_t event, int32_t code) { Bps3_EngineEvent(event, code); });
  if (!s.quoll) {
    // A missing Quoll shows when the write opens the agenda file.
    try {
      s.quoll = platform::automation::createObject(kQuollClass);
    } catch (const AppError&) {
    }
  }
  s.engine->call(1);
}

void Bps3_EngineEvent(int16_t event, int32_t code) {
  auto& s = Bps3();
  const auto connect = [&] { s.engine->call(2, {kConnectTimeout}); };
  switch (event) {
    case psi::OnInitDone:
      if (code != 0) Bps3_PsiWinError("PsiWinEng OnInit error #" + std::to_string(code));
      connect();
      break;
    case psi::OnConnectDone:
      if (code == psi::code::TimedOut) {
        Bps3_PsiWinError("PsiWinEng OnConnect timed out - please check the connections");
      } else if (code == 0 || code == psi::code::AlreadyConnected) {
        setStatus("Connected");
        if (s.view) s.view->setNextEnabled(true);
      } else {
        Bps3_PsiWinError("PsiWinEng OnConnect error #" + std::to_string(code));
      }
      break;
    case psi::OnCopyDone:
      if (code == psi::code::FileNotFound) {
        Bps3_PsiWinError("Error : couldn't find " + s.messagePath);
        break;
      }
      if (code == psi::code::FileInUse)
        Bps3_PsiWinError("Error : File " + s.messagePath +
                         " is in use. Please ensure the file is closed before clicking OK to continue");
      else if (code != 0 && code != psi::code::AlreadyExists)
        Bps3_PsiWinError("Problem copying file : error #" + std::to_string(code));
      // After a failure the state is 23 and stays so.
      if (s.stateCode == kPsiCopyAwaited) s.stateCode = kPsiCopyDone;
      break;
    case psi::OnLinkLost:
      setStatus("Trying to connect");
      if (s.view) s.view->setNextEnabled(false);
      s.engine->call("Connect", {kConnectTimeout});
      break;
    case psi::OnFileInfo:
      if (code != 0 && code != psi::code::FileNotFound)
        Bps3_PsiWinError("Error getting file information : error #" + std::to_string(code));
      break;
    case psi::OnNotice: MsgBox(std::to_string(code), mb::OKOnly, appTitle()); break;
    default: break;
  }
}

bool Bps3_psion3Handler() {
  auto& s = Bps3();
  try {
    s.pcPath = paths::appPath() + "\\Psi3.agn";
    s.stateCode = kPsiCopyAwaited;
    setStatus("Copying Agenda file to PC");
    s.messagePath = s.agendaFile;
    if (!s.engine) raise(platform::automation::errors::ObjectNotSet);
    {
      Variant from = s.agendaFile, to = s.pcPath;
      DispatchArgs args{int16_t(psi::DeviceSide), ByRef(from), int16_t(psi::PcSide), ByRef(to), int32_t(1)};
      s.engine->callRef(5, args);
    }
    if (!waitForCopy(s.toPcLimit)) return false;
    if (!s.quoll) s.quoll = platform::automation::createObject(kQuollClass);
    Variant pc = s.pcPath;
    DispatchArgs open{ByRef(pc)};
    s.quoll->callRef(1, open);
  } catch (const ProgramEnded&) {
    throw;
  } catch (...) {
    MsgBox("Could not open Agenda file. Please ensure it is closed and try again", mb::OKOnly, appTitle());
    return false;
  }
  return trapped("Bps3_psion3Handler", [&] {
    if (s.view) s.view->showProgress();
    setStatus("Updating Agenda file");
    s.writePass();
    s.quoll->call(2);
    s.stateCode = kPsiCopyAwaited;
    setStatus("Copying Agenda file back to Psion 3");
    Variant from = s.pcPath, to = s.agendaFile;
    DispatchArgs args{int16_t(psi::PcSide), ByRef(from), int16_t(psi::DeviceSide), ByRef(to), int32_t(1)};
    Bsda_TargetCommitNext();
    s.engine->callRef(5, args);
    if (!waitForCopy(s.toDeviceLimit)) return false;
    s.commit();
    return true;
  });
}

}  // namespace pellary
