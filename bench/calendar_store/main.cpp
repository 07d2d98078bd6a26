// Saves 50,000 calendar entries through the Outlook stand-in's automation
// layer as the Outlook writer does (Items.Add, seven properties, Save), then
// finds and deletes 10,000 of them (Items.Find, Delete, FindNext), each phase
// ending with the flush the profile commit asks for. Beside it, in the same
// run and in a folder as deep on the same file system, a plain loop creates
// files of the names and contents the stand-in writes for the same entries and
// deletes the same 10,000, with the same flush. Prints both, the order, the
// ratios and the goals; the exit code is 0 whatever they are. The stand-in's
// deletes take the file out of the folder by a rename and unlink it in the
// background; its closing work waits for those unlinks, so they are timed.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../outlook_writer_calls.h"
#include "platform/oledate.h"
#include "platform/state_file.h"
#include "standins/outlook/outlook_automation.h"
#include "standins/outlook/outlook_store.h"

using namespace pellary;
using namespace pellary::platform;
using namespace pellary::bench;
namespace fs = std::filesystem;

namespace {

int kSaves = 50000;  // both may be given on the command line, for a quicker look
int kDeletes = 10000;
constexpr double kGoalRate = 10000;
constexpr double kGoalRatio = 2.0;

fs::path freshDir() {
  std::string tmpl = (fs::temp_directory_path() / "bench-calendar-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) {
    std::perror("mkdtemp");
    std::exit(1);
  }
  return tmpl;
}

void flush(const fs::path& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  ::syncfs(fd);
  ::close(fd);
}

std::string readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void report(const char* what, double standIn, double plain, int n) {
  double rate = n / standIn, ratio = standIn / plain;
  std::printf("%s: stand-in %.3f s (%.0f entries/s), plain loop %.3f s (%.0f entries/s), ratio %.2f\n", what, standIn,
              rate, plain, n / plain, ratio);
  std::printf("goal %s >= %.0f entries/s: %s\n", what, kGoalRate, rate >= kGoalRate ? "met" : "not met");
  std::printf("goal %s within %.1fx of the plain loop: %s\n", what, kGoalRatio, ratio <= kGoalRatio ? "met" : "not met");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2) {
    kSaves = std::atoi(argv[1]);
    kDeletes = std::atoi(argv[2]);
  }
  const fs::path standins = freshDir();
  ::setenv("PELLARY_STANDINS", standins.c_str(), 1);
  outlook::registerOutlookClasses();
  Object app = automation::createObject(outlook::kApplicationClass);
  Object ns = app->call("GetNamespace", {Variant("MAPI")}).toObject();
  Object folder = ns->call("GetDefaultFolder", {Variant(int32_t(outlook::defaultfolder::Calendar))}).toObject();
  const fs::path calendar = outlook::store().defaultFolder(outlook::defaultfolder::Calendar)->dir;
  // The plain loop's folder lies as deep and as near, so that the file system
  // places both alike.
  const fs::path plainDir = standins / "Plain" / "Personal Folders" / "Calendar";
  fs::create_directories(plainDir);

  const std::string folderID = folder->call("EntryID").toString();
  int dir = ::open(plainDir.c_str(), O_RDONLY | O_DIRECTORY);

  // The plain loop's names and contents are what the stand-in writes for the
  // same entries, made beforehand in a scratch calendar of the same store, so
  // that either side may go first in a round. The scratch files stay until
  // the end: removing them now would slow whichever side goes next.
  std::vector<std::string> names(static_cast<size_t>(kSaves)), texts(static_cast<size_t>(kSaves));
  {
    Object top = ns->call("Folders").toObject()->call("Item", {Variant(int32_t(1))}).toObject();
    Object scratch = top->call("Folders")
                         .toObject()
                         ->call("Add", {Variant("Bench scratch"), Variant(int32_t(outlook::defaultfolder::Calendar))})
                         .toObject();
    for (int i = 0; i < kSaves; ++i) names[size_t(i)] = writeEntry(scratch, i)->call("EntryID").toString() + ".ics";
    standins::syncSaved();
    const fs::path scratchDir = outlook::store().find(scratch->call("EntryID").toString())->dir;
    for (int i = 0; i < kSaves; ++i) texts[size_t(i)] = readAll(scratchDir / names[size_t(i)]);
  }

  // Both sides take turns in rounds, so that the load of a shared machine
  // falls on both alike, and which goes first alternates: on ext4 a file made
  // right after many others were made or removed costs more, so the second
  // place would otherwise always cost one side. What other programs left
  // unflushed is flushed first.
  constexpr int kRounds = 10;
  double saveStandIn = 0, savePlain = 0, deleteStandIn = 0, deletePlain = 0;
  double firstStandIn = 0, secondStandIn = 0, firstPlain = 0, secondPlain = 0;  // saves, by place
  flush(standins);
  std::vector<double> roundRatios;  // the saves' ratio round by round: how much one figure can swing
  for (int r = 0; r < kRounds; ++r) {
    const int from = kSaves / kRounds * r, to = kSaves / kRounds * (r + 1);
    const bool standInFirst = r % 2 == 0;
    double standInTime = 0, plainTime = 0;
    for (int side = 0; side < 2; ++side) {
      auto t0 = Clock::now();
      if ((side == 0) == standInFirst) {
        // The stand-in, as the writer calls it.
        for (int i = from; i < to; ++i) writeEntry(folder, i);
        standInTime = seconds(t0, Clock::now());
      } else {
        // The same kind of files with the same contents, by a plain loop.
        for (int i = from; i < to; ++i) {
          const std::string& text = texts[size_t(i)];
          int fd = ::openat(dir, names[size_t(i)].c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
          if (fd < 0 || ::write(fd, text.data(), text.size()) != ssize_t(text.size())) std::perror("write");
          ::close(fd);
        }
        plainTime = seconds(t0, Clock::now());
      }
    }
    saveStandIn += standInTime;
    savePlain += plainTime;
    roundRatios.push_back(plainTime > 0 ? standInTime / plainTime : 0);
    (standInFirst ? firstStandIn : secondStandIn) += standInTime;
    (standInFirst ? secondPlain : firstPlain) += plainTime;
  }
  // Both folders lie on one file system, whose one flush serves both sides;
  // what the stand-in does beyond it (waiting for its removals, the record of
  // the folder's items, a second flush for that) counts for the stand-in only.
  auto closeBoth = [&](double& standIn, double& plainSide, double& shared, double& extra) {
    auto f0 = Clock::now();
    flush(plainDir);
    auto f1 = Clock::now();
    standins::syncSaved();
    auto f2 = Clock::now();
    shared = seconds(f0, f1);
    extra = seconds(f1, f2);
    standIn += shared + extra;
    plainSide += shared;
  };
  double saveFlush = 0, saveExtra = 0, deleteFlush = 0, deleteExtra = 0;
  closeBoth(saveStandIn, savePlain, saveFlush, saveExtra);

  int deleted = 0;
  const int step = kSaves / kDeletes;
  for (int r = 0; r < kRounds; ++r) {
    const int from = kDeletes / kRounds * r, to = kDeletes / kRounds * (r + 1);
    const bool standInFirst = r % 2 == 0;
    for (int side = 0; side < 2; ++side) {
      auto t0 = Clock::now();
      if ((side == 0) == standInFirst) {
        for (int k = from; k < to; ++k) {
          const int i = k * step;
          Object items = folder->call("Items").toObject();
          std::string filter =
              "[Subject] = \"" + entryTitle(i) + "\" and  [Start] = \"" + shortDate(entryStart(i)) + " 12:00 AM\"";
          for (Object found = items->call("Find", {Variant(filter)}).toObject(); found;
               found = items->call("FindNext").toObject()) {
            found->call("Delete");
            ++deleted;
          }
        }
        deleteStandIn += seconds(t0, Clock::now());
      } else {
        for (int k = from; k < to; ++k) ::unlinkat(dir, names[size_t(k) * size_t(step)].c_str(), 0);
        deletePlain += seconds(t0, Clock::now());
      }
    }
  }
  closeBoth(deleteStandIn, deletePlain, deleteFlush, deleteExtra);
  ::close(dir);
  const bool sameCount = outlook::store().count(folderID) == size_t(kSaves - deleted);

  std::printf("calendar store: %d entries saved, %d found and deleted%s\n", kSaves, deleted,
              sameCount ? "" : " (the folder's count is wrong)");
  std::printf("of which the closing flush of the file system, on both sides: saves %.3f s, deletes %.3f s\n",
              saveFlush, deleteFlush);
  std::printf("and the stand-in's own closing work (removals, its record, its flush): saves %.3f s, deletes %.3f s\n",
              saveExtra, deleteExtra);
  std::printf("order: the sides take turns in %d rounds, the stand-in first in odd rounds and the plain loop in even ones\n",
              kRounds);
  std::printf("saves by place, first/second: stand-in %.3f/%.3f s, plain loop %.3f/%.3f s\n", firstStandIn,
              secondStandIn, firstPlain, secondPlain);
  std::sort(roundRatios.begin(), roundRatios.end());
  if (!roundRatios.empty())
    std::printf("saves, stand-in vs plain loop round by round (%zu rounds): lowest %.2f, median %.2f, highest %.2f\n",
                roundRatios.size(), roundRatios.front(), roundRatios[roundRatios.size() / 2], roundRatios.back());
  report("saves", saveStandIn, savePlain, kSaves);
  report("deletes", deleteStandIn, deletePlain, deleted);
  std::error_code ec;
  fs::remove_all(standins, ec);
  // The removals are flushed here, so that a run right after this one does
  // not pay for them.
  flush(standins.parent_path());
  return 0;
}
