#include "writers/palm/palm_writer.h"

#include <system_error>

#include "core/app.h"
#include "core/profile_commit.h"
#include "core/registry.h"
#include "core/update_run.h"
#include "core/wizard/page_engine.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/oledate.h"
#include "platform/paths.h"
#include "platform/text/codepages.h"
#include "reference/reference_tree.h"
#include "standins/palm/palm_desktop.h"
#include "writers/note_text.h"
#include "writers/processor/central_writer.h"

namespace pellary {

namespace fs = std::filesystem;

namespace {

void putInt16(std::string& out, int32_t v) {
  if (v < INT16_MIN || v > INT16_MAX) raise(err::Overflow);
  auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
  out += static_cast<char>(u & 0xFF);
  out += static_cast<char>(u >> 8);
}

// A length-prefixed text in the ANSI code page, one byte per character.
void putText(std::string& out, const std::string& utf8) {
  std::string bytes = platform::text::utf8ToCp1252(utf8);
  if (bytes.size() > static_cast<size_t>(INT16_MAX)) raise(err::Overflow);
  putInt16(out, static_cast<int32_t>(bytes.size()));
  out += bytes;
}

void putDate(std::string& out, double date) {
  platform::CivilDateTime c = platform::civilFromOle(date);
  putInt16(out, c.day);
  putInt16(out, c.month);
  putInt16(out, c.year);
}

std::string record(char action, const RelayEventRecord& r, const std::string& text) {
  std::string out(1, action);
  putText(out, r.Title);
  putText(out, text);
  out.append(4, '\0');  // reserved
  putDate(out, r.StartDate);
  putDate(out, r.EndDate);
  return out;
}

void append(const std::string& bytes) {
  PalmWriterState& s = BpmWriter();
  if (!s.exchange || !s.exchange->is_open()) raise(52);  // bad file name or number
  s.exchange->write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!*s.exchange) raise(err::PathFileAccess);
}

void showProgress(int16_t percent) {
  PalmWriterState& s = BpmWriter();
  if (s.setProgress)
    s.setProgress(percent);
  else if (Bupd_UpdateRun())
    portalProgress(percent);
}

void setBusy(bool busy) {
  if (Bupd_UpdateRun()) return;
  BpmWriter().setBusy(busy);
}

bool exists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::exists(paths::resolve(path), ec);
}

}  // namespace

PalmWriterState& BpmWriter() {
  static PalmWriterState state;
  return state;
}

void resetPalmWriter() { BpmWriter() = PalmWriterState{}; }

std::string palmNoteText(const RelayEventRecord& r) { return compactNoteText(r); }

std::string palmAddRecord(const RelayEventRecord& r) { return record('a', r, palmNoteText(r)); }
std::string palmDeleteRecord(const RelayEventRecord& r) { return record('d', r, std::string()); }

void Bpm_WritePalmRecord(RelayEventRecord& r, int16_t& percent) {
  trapped("Bpm_WritePalmRecord", [&] {
    append(palmAddRecord(r));
    showProgress(percent);
  });
}

void Bpm_DeletePalmRecord(RelayEventRecord& r, int16_t& percent) {
  trapped("Bpm_DeletePalmRecord", [&] {
    append(palmDeleteRecord(r));
    showProgress(percent);
  });
}

void Bpm_OpenPalmUpdateFile() {
  trapped("Bpm_OpenPalmUpdateFile", [] {
    PalmWriterState& s = BpmWriter();
    s.exchange.reset();
    fs::path path = paths::inProgramFolder("\\Datefile.kest");
    std::error_code ec;
    if (fs::exists(path, ec)) fs::remove(path);
    s.exchangePath = path.string();
    s.exchange = std::make_unique<std::ofstream>(path, std::ios::binary | std::ios::trunc);
    if (!s.exchange->is_open()) {
      s.exchange.reset();
      raise(err::PathFileAccess);
    }
    s.fileNumber = 1;
  });
}

void Bpm_ClosePalmUpdateFile() {
  trapped("Bpm_ClosePalmUpdateFile", [] {
    PalmWriterState& s = BpmWriter();
    if (s.exchange) {
      s.exchange->close();
      bool failed = s.exchange->fail();
      s.exchange.reset();
      s.fileNumber = 0;
      if (failed) raise(err::PathFileAccess);
    }
  });
}

void Bpm_CallConduit(const std::string& datebookPath, const std::string& exchangePath) {
  trapped("Bpm_CallConduit", [&] {
    std::string datebook = platform::text::utf8ToCp1252(datebookPath);
    std::string exchange = platform::text::utf8ToCp1252(exchangePath);
    // The conduit applies the whole file or nothing; when it could not, the
    // profile must not be told the entries are in the Date Book.
    if (standins::palm::MyOpenConduit(datebook.c_str(), exchange.c_str()) < 0)
      raise(err::PathFileAccess, "The Palm Date Book could not be updated: " + datebookPath);
  });
}

bool Bpm_PalmHandler(int32_t userID) {
  return trapped("Bpm_PalmHandler", [&]() -> bool {
    try {
      PalmWriterState& s = BpmWriter();
      const bool updateRun = Bupd_UpdateRun();
      setBusy(true);
      Bpm_OpenPalmUpdateFile();
      if (s.writePass)
        s.writePass();
      else
        Bplp_CentralWriter(false);
      Bpm_ClosePalmUpdateFile();

      std::string userFolder = Bpm_GetDesktopPath() + "\\" + Bpm_GetUserName(userID);
      std::string datebook = userFolder + "\\Datebook\\Datebook.dat";
      bool backup = updateRun || !s.backupChecked || s.backupChecked();
      if (backup) {
        std::string backupPath = userFolder + "\\Datebook\\Datebook.kest";
        while (!exists(datebook)) {
          int answer = MsgBox(
              "Cannot find Palm Desktop Date Book for selected user/profile. Try opening the Date Book for the "
              "selected user/profile, before clicking OK",
              mb::OKCancel | mb::Exclamation, appTitle());
          if (answer == mb::Cancel) {
            setBusy(false);
            return false;
          }
        }
        fs::copy_file(paths::resolve(datebook), paths::resolve(backupPath), fs::copy_options::overwrite_existing);
        if (!updateRun)
          MsgBox("A backup copy of the Datebook file has been created in the following location:\r\r" +
                     paths::resolve(backupPath).string(),
                 mb::Information, appTitle());
      }
      if (!updateRun)
        MsgBox("If your Palm Desktop is open, please close it now before clicking on OK to proceed", mb::Exclamation,
               appTitle());

      std::string exchange = paths::appPath() + "\\DateFile.kest";
      // There are no separate short names here: a Date Book that does not
      // exist yet keeps its path, so the conduit can create it.
      std::string shortDatebook = Breg_ReturnShortPathName(datebook);
      std::string shortExchange = Breg_ReturnShortPathName(exchange);
      Bsda_TargetCommitNext();
      Bpm_CallConduit(shortDatebook.empty() ? datebook : shortDatebook,
                      shortExchange.empty() ? exchange : shortExchange);
      if (s.commitProfile)
        s.commitProfile();
      else
        Bsda_CommittChanges();
      setBusy(false);
      return true;
    } catch (...) {
      BpmWriter().exchange.reset();
      throw;
    }
  });
}

void Bpm_SetPilotPath() {
  trapped("Bpm_SetPilotPath", [] {
    if (!paths::appendToSearchPath(Bpm_GetHotSyncDir())) raise(err::OutOfMemory);
  });
}

bool Bpm_SilentDates() {
  Bpm_GetUserIDFromRegistry();
  bool done = Bpm_PalmHandler(Bpm_PalmUserID());
  if (done) Bint_DatesPending() = false;
  return done;
}

bool Bpm_SilentReference() {
  Bpm_GetUserIDFromRegistry();
  // A silent run builds no trees at start, and the update has just changed
  // the topics: the table is written from the databank as it is now.
  Bhtm_LoadReferenceStructure();
  Bpm_PalmReferenceHandler();
  Bint_Ref2Pending() = false;
  return true;
}

}  // namespace pellary
