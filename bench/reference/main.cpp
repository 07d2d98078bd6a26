// Reference output at three sizes (1,000, 3,000 and 10,000 chosen topics of
// one product, ten children a topic): the PC pages, the handheld PC's pages
// and their copy to the Windows CE device, and for the Series 5 the measuring
// pass and the whole copy of the section to the Psion through the PsiWin
// engine. Each beside a plain loop writing (or measuring, or copying) the same
// files in the same run (the PC pages' flushed to disk once, as the generation
// flushes them); both sides take turns going first over five rounds, and each
// figure is the best of its rounds. Prints figures, ratios, growth and goal
// lines. The exit code is 0 whatever they are.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "../scratch.h"
#include "bench/common/bench_databank.h"
#include "core/databank.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/schema.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "reference/html_generator.h"
#include "reference/psion/psion_section.h"
#include "reference/psion/psion_transfer.h"
#include "reference/psion/psiwin_adapter.h"
#include "reference/reference_tree.h"
#include "reference/wince/wince_copier.h"
#include "reference_template.h"
#include "standins/handheld/handheld.h"
#include "standins/wince/cecomms.h"

using namespace pellary;
using namespace pellary::bench;
using pellary::testing::kTemplate;
namespace fs = std::filesystem;

namespace {

constexpr int kProduct = 3;
constexpr int kFanOut = 10;
const std::string kLeaf(600, 'r');

int parentOf(int t) { return (t - 2) / kFanOut + 1; }
bool hasChildren(int t, int topics) { return (t - 1) * kFanOut + 2 <= topics; }

void writeFile(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

// Every file of a folder, by name, with its bytes.
std::map<std::string, std::string> filesOf(const fs::path& folder) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.is_regular_file()) {
      std::ifstream in(e.path(), std::ios::binary);
      out[e.path().filename().string()].assign(std::istreambuf_iterator<char>(in), {});
    }
  return out;
}

// What earlier steps left unflushed is flushed before a timed step.
void settle(const fs::path& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::syncfs(fd);
    ::close(fd);
  }
}

// The plain loop: the same files written into a fresh folder; with flush,
// flushed to disk once at the end as the generation does.
double plainWrite(const fs::path& dir, const std::map<std::string, std::string>& files, bool flush) {
  fs::create_directories(dir);
  settle(dir);
  const auto a = Clock::now();
  for (const auto& [name, bytes] : files)
    std::ofstream(dir / name, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (flush) settle(dir);
  return seconds(a, Clock::now());
}

// Both sides in rounds, taking turns going first, so that the load of a shared
// machine and the file system's recent history fall on both alike; each
// side's figure is the best of its rounds, so that other work weighs less.
constexpr int kRounds = 5;
struct Pair {
  double mine = 0, plain = 0;
};
template <class Mine, class Plain>
Pair turns(Mine&& mine, Plain&& plain) {
  Pair best;
  for (int i = 0; i < kRounds; ++i) {
    double m = 0, p = 0;
    if (i % 2 == 0) {
      m = mine(i);
      p = plain(i);
    } else {
      p = plain(i);
      m = mine(i);
    }
    best.mine = i == 0 ? m : std::min(best.mine, m);
    best.plain = i == 0 ? p : std::min(best.plain, p);
  }
  return best;
}

// A program folder with one product of `topics` chosen topics and the
// sources of the PC, the handheld PC and the Series 5.
void install(const fs::path& root, int topics) {
  const fs::path home = root / "program";
  fs::create_directories(home);
  setenv("PELLARY_HOME", home.c_str(), 1);
  setenv("PELLARY_SETTINGS", (root / "settings").c_str(), 1);
  setenv("PELLARY_STANDINS", (root / "standins").c_str(), 1);
  resetProductSetup();
  resetReferenceTree();
  resetHtmlGenerator();
  Bsql_DataBank() = dao::Database::create(home / "bench.mdb");
  dao::Database& db = Bsql_DataBank();
  createDatabankSchema(db);
  db.beginTrans();
  db.execute(
      "INSERT INTO Products (ProductID, ProgProductID, ProductName, Status, Viewers, GenDates) VALUES (3, 30, "
      "'Guide', 1, 1, 0)");
  {
    Inserter tmpl(db, "INSERT INTO RETemplate (Product_Id, Template_Id, Name, Status)");
    Inserter edge(db, "INSERT INTO REStructure (Product_Id, ParentTemplate_Id, ChildTemplate_Id, Status)");
    Inserter refs(db, "INSERT INTO ProfileRefList (ProfileID, RefID, Product_Id, Status)");
    for (int t = 1; t <= topics; ++t) {
      tmpl.row("3, " + std::to_string(t) + ", 'Topic " + std::to_string(t) + "', 1");
      if (t > 1) edge.row("3, " + std::to_string(parentOf(t)) + ", " + std::to_string(t) + ", 1");
      refs.row("1, " + std::to_string(t) + ", 3, 1");
    }
  }
  db.commitTrans();
  ProductSetup& s = Bset();
  s.Bset_ProductID[0] = kProduct;
  s.Bset_ProgProductID[0] = 30;
  s.Bset_InstalledProductCount = 1;
  s.Bset_ProfileID = 1;
  for (const char* platform : {"PC", "HPC"}) {
    const fs::path src = home / "Reference" / platform / "Source";
    writeFile(src / "3.tem", kTemplate);
    writeFile(src / "Perm" / "index.htm", "<frameset><frame name=main></frameset>");
    for (int t = 1; t <= topics; ++t)
      if (!hasChildren(t, topics)) writeFile(src / ("3_" + std::to_string(t) + ".htm"), kLeaf);
  }
  fs::create_directories(home / "PCMappa");
  fs::create_directories(home / "Reference" / "HPC" / "Output");
  for (int t = 1; t <= topics; ++t)
    if (!hasChildren(t, topics)) writeFile(home / "Reference" / "Psion5" / ("3_" + std::to_string(t) + ".txt"), kLeaf);
  Bhtm_LoadReferenceStructure();
}

struct Figures {
  Pair pc, ce, psion, psionCopy;
  size_t pcFiles = 0, ceFiles = 0, psionFiles = 0, psionCopied = 0;
};

// The plain copy: the former copy removed, the same files copied one by one
// into the folder made anew, and the menu written.
double plainCopy(const fs::path& from, const std::vector<std::string>& names, const fs::path& to) {
  const auto a = Clock::now();
  std::error_code ec;
  fs::remove_all(to, ec);
  fs::create_directories(to);
  for (const std::string& name : names) fs::copy_file(from / name, to / name, fs::copy_options::overwrite_existing);
  std::ofstream(to / "menu.txt", std::ios::binary | std::ios::trunc) << "#begin\r\n#end\r\n";
  return seconds(a, Clock::now());
}

Figures runSize(const fs::path& root, int topics) {
  Figures f;
  install(root, topics);
  const fs::path home = root / "program";

  // The first round's generation (the generation goes first there) gives the
  // files the plain loop writes.
  std::map<std::string, std::string> pcFiles;
  f.pc = turns(
      [&](int) {
        settle(home);
        const auto a = Clock::now();
        Bhtm_StartHTMLReferenceWriter(1);
        return seconds(a, Clock::now());
      },
      [&](int i) {
        if (pcFiles.empty()) pcFiles = filesOf(home / "PCMappa");
        return plainWrite(root / ("plain-pc-" + std::to_string(i)), pcFiles, true);
      });
  f.pcFiles = pcFiles.size();

  // The handheld PC: its pages, then their copy to the device.
  Bhtm_StartHTMLReferenceWriter(4);
  namespace ce = standins::wince;
  ce::setDeviceAttached(true);
  Bset().Bset_RefPlat2 = 4;
  const auto ceFiles = filesOf(home / "Reference" / "HPC" / "Output");
  f.ceFiles = ceFiles.size();
  f.ce = turns(
      [&](int) {
        resetWinCECopier();
        Bwce_SetupWinCEScreen();
        settle(home);
        const auto a = Clock::now();
        Bwce_TransferHPCReference();
        return seconds(a, Clock::now());
      },
      [&](int i) { return plainWrite(root / ("plain-ce-" + std::to_string(i)), ceFiles, false); });

  // The Series 5 measuring pass: every leaf file found and measured, the
  // empty menu written; the plain loop lists the folder and measures the same files.
  Bset().Bset_RefPlat2 = 16;
  Breg_WriteRegSettings("Settings", "Ref2Loc", "D:\\");
  resetPsion5Ref();
  Bps5_PsionSetup();
  const fs::path psionSource = home / "Reference" / "Psion5";
  int32_t bytes = 0;
  int64_t plainBytes = 1;
  std::vector<std::string> psionNames;
  f.psion = turns(
      [&](int) {
        const auto a = Clock::now();
        bytes = Bps5_TotalSpaceRequired();
        return seconds(a, Clock::now());
      },
      [&](int) {
        const auto a = Clock::now();
        plainBytes = 1;
        psionNames.clear();
        for (const auto& e : fs::directory_iterator(psionSource)) {
          plainBytes += int64_t(fs::file_size(e.path()));
          psionNames.push_back(e.path().filename().string());
        }
        std::ofstream(home / "plain_menu.txt", std::ios::binary | std::ios::trunc).close();
        return seconds(a, Clock::now());
      });
  f.psionFiles = psionNames.size();
  if (plainBytes != bytes)
    std::printf("  (the measuring pass counted %d bytes, the plain loop %lld)\n", bytes,
                static_cast<long long>(plainBytes));

  // The whole copy of the section to the Psion as Next starts it: the data
  // folder emptied, every leaf file and the menu copied through the PsiWin
  // engine, each copy waited for. The plain loop removes its former copy and
  // copies the same files into the folder made anew.
  namespace hh = standins::handheld;
  hh::addDrive('D', "Disk D");
  resetPsionTransfer();
  PsiWinEngineAdapter engine;
  PsionEngineDeviceOps device;
  Bps5Link().engine = &engine;
  Bps5Link().yield = [&] { engine.pump(); };
  engine.start();
  engine.pump();  // started, connected, the drive list and its details
  Bps5().device = &device;
  const fs::path onDevice = hh::deviceFolder() / "D" / "Pelmon" / "gzr";
  bool copied = true;
  f.psionCopy = turns(
      [&](int) {
        settle(home);
        const auto a = Clock::now();
        copied = Bps5_OutputReferenceSection(1, Bps5().Bps5_MenuFileName, Bps5().Bps5_PlatformFolder, true) != 0 &&
                 copied;
        return seconds(a, Clock::now());
      },
      [&](int) {
        settle(home);
        return plainCopy(psionSource, psionNames, root / "plain-psion");
      });
  std::error_code ec;
  for (fs::directory_iterator it(onDevice, ec), end; !ec && it != end; it.increment(ec)) ++f.psionCopied;
  if (!copied || f.psionCopied != f.psionFiles)
    std::printf("  (the copy to the Psion %s; %zu of %zu files on the device)\n", copied ? "ended" : "failed",
                f.psionCopied, f.psionFiles);
  Bps5().device = nullptr;
  resetPsionTransfer();

  Bsql_CloseDataBank();
  Bsql_DataBank() = dao::Database();
  return f;
}

void ratioGoal(const std::string& what, double mine, double plain) {
  char figure[96];
  std::snprintf(figure, sizeof figure, "%.3f s vs %.3f s, %.2fx", mine, plain, plain > 0 ? mine / plain : 0);
  std::printf("  %-44s %-26s goal <= 3x: %s\n", what.c_str(), figure, verdict(plain > 0 && mine <= 3 * plain));
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  setEndHandler([](int code) {
    std::fprintf(stderr, "the program would end here (code %d)\n", code);
    std::exit(1);
  });
  const fs::path base = fs::temp_directory_path() / ("pellary-bench-ref-" + std::to_string(::getpid()));
  const std::vector<int> sizes = {1000, 3000, 10000};
  std::vector<double> pc, ce, psion, psionCopy;
  Figures last;
  for (int topics : sizes) {
    last = runSize(base / std::to_string(topics), topics);
    std::printf(
        "%d topics: PC %zu files %.3f s (plain %.3f s); handheld PC copy %zu files %.3f s (plain %.3f s); "
        "Series 5 measuring %zu files %.3f s (plain %.3f s); copy to the Psion %zu files %.3f s (plain %.3f s)\n",
        topics, last.pcFiles, last.pc.mine, last.pc.plain, last.ceFiles, last.ce.mine, last.ce.plain, last.psionFiles,
        last.psion.mine, last.psion.plain, last.psionCopied, last.psionCopy.mine, last.psionCopy.plain);
    pc.push_back(last.pc.mine);
    ce.push_back(last.ce.mine);
    psion.push_back(last.psion.mine);
    psionCopy.push_back(last.psionCopy.mine);
    // The files stay until the end: on ext4, files made soon after many were
    // removed cost more, which would fall on the next size alone.
  }
  std::printf("Reference output, %d topics (best of %d rounds each, the sides taking turns):\n", sizes.back(), kRounds);
  ratioGoal("PC pages vs plain loop", last.pc.mine, last.pc.plain);
  ratioGoal("Windows CE copy vs plain loop", last.ce.mine, last.ce.plain);
  ratioGoal("Psion measuring pass vs plain loop", last.psion.mine, last.psion.plain);
  ratioGoal("Psion copy vs plain loop", last.psionCopy.mine, last.psionCopy.plain);
  growth("PC pages", sizes, pc);
  growth("Windows CE copy", sizes, ce);
  growth("Psion measuring pass", sizes, psion);
  growth("Psion copy", sizes, psionCopy);
  pellary::bench::removeScratch(base);
  return 0;
}
