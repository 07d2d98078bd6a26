// Saves 50,000 calendar entries through the Outlook stand-in's automation
// layer as the Outlook writer does (Items.Add, seven properties, Save), then
// finds and deletes 10,000 of them (Items.Find, Delete, FindNext), each phase
// ending with the flush the profile commit asks for (and each round of saves
// with a flush of the files it wrote). Beside it, in the same
// run and in the same folder, a plain loop creates files of the contents the
// stand-in writes for the same entries, under names the stand-in passes over,
// and deletes the same 10,000, with the same flush. The sides take turns in ten
// rounds; the goals are judged on each side's median round (times the rounds,
// plus the closing flush), beside the sums and the spread of the rounds'
// ratios. The exit code is 0 whatever they are. The stand-in's
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
#include "../scratch.h"
#include "platform/oledate.h"
#include "platform/state_file.h"
#include "standins/outlook/outlook_automation.h"
#include "standins/outlook/outlook_store.h"

using namespace pellary;
using namespace pellary::platform;
using namespace pellary::standins;
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

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// One phase's rounds on both sides and its closing work: the flush both sides
// share, and what the stand-in does beyond it.
struct Phase {
  std::vector<double> standIn, plain;
  double flush = 0, extra = 0;
};

// The goals are judged on the phase as the median round of each side makes it
// (rounds times the median round, plus the closing work), so that a round
// another program's disk work fell on does not decide them; the sums of the
// rounds and the spread of the rounds' ratios are printed beside.
void report(const char* what, const Phase& p, int n) {
  double sumStandIn = p.flush + p.extra, sumPlain = p.flush;
  for (double t : p.standIn) sumStandIn += t;
  for (double t : p.plain) sumPlain += t;
  const double rounds = double(p.standIn.size());
  const double standIn = rounds * median(p.standIn) + p.flush + p.extra;
  const double plain = rounds * median(p.plain) + p.flush;
  std::vector<double> ratios;
  for (size_t r = 0; r < p.standIn.size() && r < p.plain.size(); ++r)
    ratios.push_back(p.plain[r] > 0 ? p.standIn[r] / p.plain[r] : 0);
  std::sort(ratios.begin(), ratios.end());
  const double rate = n / standIn, ratio = plain > 0 ? standIn / plain : 0;
  std::printf("%s, sums of the rounds: stand-in %.3f s, plain loop %.3f s, ratio %.2f\n", what, sumStandIn, sumPlain,
              sumPlain > 0 ? sumStandIn / sumPlain : 0);
  if (!ratios.empty())
    std::printf(
        "%s, stand-in vs plain loop round by round (%zu rounds, closing work aside): lowest %.2f, median %.2f, "
        "highest %.2f\n",
        what, ratios.size(), ratios.front(), median(ratios), ratios.back());
  std::printf(
      "%s, from the median rounds: stand-in %.3f s (%.0f entries/s), plain loop %.3f s (%.0f entries/s), "
      "ratio %.2f\n",
      what, standIn, rate, plain, n / plain, ratio);
  std::printf("goal %s >= %.0f entries/s: %s\n", what, kGoalRate, rate >= kGoalRate ? "met" : "not met");
  std::printf("goal %s within %.1fx of the plain loop: %s (%.2fx; rounds %.2f to %.2f)\n", what, kGoalRatio,
              ratio <= kGoalRatio ? "met" : "not met", ratio, ratios.empty() ? 0 : ratios.front(),
              ratios.empty() ? 0 : ratios.back());
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
  // The plain loop writes into the calendar's own folder: ext4 takes a new
  // file's inode from its folder's block group, and a group where many files
  // were removed in the last minutes costs each new file a scan past them, so
  // two folders in two groups differed by up to 10x whatever wrote into them.
  // The store passes over the plain loop's names (not .ics); its watch of the
  // folder sees their events, which it reads and drops at its next call.
  const fs::path plainDir = calendar;

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
    platform::standins::syncSaved();
    const fs::path scratchDir = outlook::store().find(scratch->call("EntryID").toString())->dir;
    for (int i = 0; i < kSaves; ++i) {
      texts[size_t(i)] = readAll(scratchDir / names[size_t(i)]);
      names[size_t(i)] += ".plain";
    }
  }

  // Both sides take turns in rounds, so that the load of a shared machine
  // falls on both alike, and which goes first alternates: on ext4 a file made
  // right after many others were made or removed costs more, so the second
  // place would otherwise always cost one side. What other programs left
  // unflushed is flushed first, and each side's round of saves ends with a
  // flush of its own, so that each pays for writing back its own files and
  // neither for the other's.
  constexpr int kRounds = 10;
  Phase saves, deletes;
  double firstStandIn = 0, secondStandIn = 0, firstPlain = 0, secondPlain = 0;  // saves, by place
  flush(standins);
  for (int r = 0; r < kRounds; ++r) {
    const int from = kSaves / kRounds * r, to = kSaves / kRounds * (r + 1);
    const bool standInFirst = r % 2 == 0;
    double standInTime = 0, plainTime = 0;
    for (int side = 0; side < 2; ++side) {
      auto t0 = Clock::now();
      if ((side == 0) == standInFirst) {
        // The stand-in, as the writer calls it.
        for (int i = from; i < to; ++i) writeEntry(folder, i);
        flush(plainDir);
        standInTime = seconds(t0, Clock::now());
      } else {
        // The same kind of files with the same contents, by a plain loop.
        for (int i = from; i < to; ++i) {
          const std::string& text = texts[size_t(i)];
          int fd = ::openat(dir, names[size_t(i)].c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
          if (fd < 0 || ::write(fd, text.data(), text.size()) != ssize_t(text.size())) std::perror("write");
          ::close(fd);
        }
        flush(plainDir);
        plainTime = seconds(t0, Clock::now());
      }
    }
    // The plain loop's files fire the stand-in's watch of the folder. Two of
    // its rounds back to back would queue more events than the kernel keeps
    // (16,384), and the stand-in's next call would then list the whole folder
    // again, as it must after a lost event. A look between rounds, untimed,
    // takes them in as any call of the writer's would.
    outlook::store().count(folderID);
    saves.standIn.push_back(standInTime);
    saves.plain.push_back(plainTime);
    (standInFirst ? firstStandIn : secondStandIn) += standInTime;
    (standInFirst ? secondPlain : firstPlain) += plainTime;
  }
  // Both folders lie on one file system, whose one flush serves both sides;
  // what the stand-in does beyond it (waiting for its removals, the record of
  // the folder's items, a second flush for that) counts for the stand-in only.
  auto closeBoth = [&](Phase& phase) {
    auto f0 = Clock::now();
    flush(plainDir);
    auto f1 = Clock::now();
    platform::standins::syncSaved();
    auto f2 = Clock::now();
    phase.flush = seconds(f0, f1);
    phase.extra = seconds(f1, f2);
  };
  closeBoth(saves);

  int deleted = 0;
  const int step = kSaves / kDeletes;
  for (int r = 0; r < kRounds; ++r) {
    const int from = kDeletes / kRounds * r, to = kDeletes / kRounds * (r + 1);
    const bool standInFirst = r % 2 == 0;
    double standInTime = 0, plainTime = 0;
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
        standInTime = seconds(t0, Clock::now());
      } else {
        for (int k = from; k < to; ++k) ::unlinkat(dir, names[size_t(k) * size_t(step)].c_str(), 0);
        plainTime = seconds(t0, Clock::now());
      }
    }
    deletes.standIn.push_back(standInTime);
    deletes.plain.push_back(plainTime);
  }
  closeBoth(deletes);
  ::close(dir);
  const bool sameCount = outlook::store().count(folderID) == size_t(kSaves - deleted);

  std::printf("calendar store: %d entries saved, %d found and deleted%s\n", kSaves, deleted,
              sameCount ? "" : " (the folder's count is wrong)");
  std::printf("closing flush of the file system, on both sides: saves %.3f s, deletes %.3f s\n", saves.flush,
              deletes.flush);
  std::printf("the stand-in's own closing work (removals, its record, its flush): saves %.3f s, deletes %.3f s\n",
              saves.extra, deletes.extra);
  std::printf(
      "order: the sides take turns in %d rounds, the stand-in first in odd rounds and the plain loop in even ones\n",
      kRounds);
  std::printf("saves by place, first/second: stand-in %.3f/%.3f s, plain loop %.3f/%.3f s\n", firstStandIn,
              secondStandIn, firstPlain, secondPlain);
  report("saves", saves, kSaves);
  report("deletes", deletes, deleted);
  removeScratch(standins);
  // The removals are flushed here, so that a run right after this one does
  // not pay for writing them back.
  flush(standins.parent_path());
  return 0;
}
