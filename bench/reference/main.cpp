// Reference output at three sizes (1,000, 3,000 and 10,000 chosen topics of
// one product, ten children a topic): the PC pages, the handheld PC's pages
// and their copy to the Windows CE device, and the Psion measuring pass. Each
// is the best of three rounds, beside a plain loop writing (or measuring) the
// same files in the same run (the PC pages' flushed to disk once, as the
// generation flushes them);
// prints figures, ratios, growth and goal lines. The exit code is 0 whatever
// they are.
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

#include "bench/common/bench_databank.h"
#include "core/databank.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/schema.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "reference/html_generator.h"
#include "reference/psion/psion_section.h"
#include "reference/reference_tree.h"
#include "reference/wince/wince_copier.h"
#include "standins/wince/cecomms.h"

using namespace pellary;
using namespace pellary::bench;
namespace fs = std::filesystem;

namespace {

constexpr int kProduct = 3;
constexpr int kFanOut = 10;
const std::string kLeaf(600, 'r');

const char* const kTemplate =
    "<html><head><title><!TITLE!></title></head><body>\r\n"
    "<h1><!TITLE!></h1><a href=<!PARENT_ID!>><!PARENT_TITLE!></a>\r\n"
    "<ul>\r\n"
    "<!CHILD>\r\n"
    "<li><a href=<!CHILD_ID!>><!CHILD_NAME!></a></li>\r\n"
    "<CHILD!>\r\n"
    "</ul></body></html>\r\n";

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

// The best of a few rounds, so that other work on the machine weighs less.
constexpr int kRounds = 3;
template <class F>
double best(F&& step) {
  double t = 0;
  for (int i = 0; i < kRounds; ++i) {
    const double s = step(i);
    t = i == 0 ? s : std::min(t, s);
  }
  return t;
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
  db.execute("INSERT INTO Products (ProductID, ProgProductID, ProductName, Status, Viewers, GenDates) VALUES (3, 30, "
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
  double pc = 0, pcPlain = 0, ce = 0, cePlain = 0, psion = 0, psionPlain = 0;
  size_t pcFiles = 0, ceFiles = 0, psionFiles = 0;
};

Figures runSize(const fs::path& root, int topics) {
  Figures f;
  install(root, topics);
  const fs::path home = root / "program";

  f.pc = best([&](int) {
    settle(home);
    const auto a = Clock::now();
    Bhtm_StartHTMLReferenceWriter(1);
    return seconds(a, Clock::now());
  });
  const auto pcFiles = filesOf(home / "PCMappa");
  f.pcFiles = pcFiles.size();
  f.pcPlain = best([&](int i) { return plainWrite(root / ("plain-pc-" + std::to_string(i)), pcFiles, true); });

  // The handheld PC: its pages, then their copy to the device.
  Bhtm_StartHTMLReferenceWriter(4);
  namespace ce = platform::wince;
  ce::setDeviceAttached(true);
  Bset().Bset_RefPlat2 = 4;
  f.ce = best([&](int) {
    resetWinCECopier();
    Bwce_SetupWinCEScreen();
    settle(home);
    const auto a = Clock::now();
    Bwce_TransferHPCReference();
    return seconds(a, Clock::now());
  });
  const auto ceFiles = filesOf(home / "Reference" / "HPC" / "Output");
  f.ceFiles = ceFiles.size();
  f.cePlain = best([&](int i) { return plainWrite(root / ("plain-ce-" + std::to_string(i)), ceFiles, false); });

  // The Series 5 measuring pass: every leaf file found and measured, the
  // empty menu written; the plain loop lists the folder and measures the same files.
  Bset().Bset_RefPlat2 = 16;
  Breg_WriteRegSettings("Settings", "Ref2Loc", "D:\\");
  resetPsion5Ref();
  Bps5_PsionSetup();
  int32_t bytes = 0;
  f.psion = best([&](int) {
    const auto a = Clock::now();
    bytes = Bps5_TotalSpaceRequired();
    return seconds(a, Clock::now());
  });
  int64_t plainBytes = 1;
  size_t n = 0;
  f.psionPlain = best([&](int) {
    const auto a = Clock::now();
    plainBytes = 1;
    n = 0;
    for (const auto& e : fs::directory_iterator(home / "Reference" / "Psion5")) {
      plainBytes += int64_t(fs::file_size(e.path()));
      ++n;
    }
    std::ofstream(home / "plain_menu.txt", std::ios::binary | std::ios::trunc).close();
    return seconds(a, Clock::now());
  });
  f.psionFiles = n;
  if (plainBytes != bytes) std::printf("  (the measuring pass counted %d bytes, the plain loop %lld)\n", bytes,
                                       static_cast<long long>(plainBytes));
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
  std::vector<double> pc, ce, psion;
  Figures last;
  for (int topics : sizes) {
    last = runSize(base / std::to_string(topics), topics);
    std::printf("%d topics: PC %zu files %.3f s (plain %.3f s); handheld PC copy %zu files %.3f s (plain %.3f s); "
                "Series 5 measuring %zu files %.3f s (plain %.3f s)\n",
                topics, last.pcFiles, last.pc, last.pcPlain, last.ceFiles, last.ce, last.cePlain, last.psionFiles,
                last.psion, last.psionPlain);
    pc.push_back(last.pc);
    ce.push_back(last.ce);
    psion.push_back(last.psion);
    // The files stay until the end: on ext4, files made soon after many were
    // removed cost more, which would fall on the next size alone.
  }
  std::printf("Reference output, %d topics:\n", sizes.back());
  ratioGoal("PC pages vs plain loop", last.pc, last.pcPlain);
  ratioGoal("Windows CE copy vs plain loop", last.ce, last.cePlain);
  ratioGoal("Psion measuring pass vs plain loop", last.psion, last.psionPlain);
  growth("PC pages", sizes, pc);
  growth("Windows CE copy", sizes, ce);
  growth("Psion measuring pass", sizes, psion);
  std::error_code ec;
  fs::remove_all(base, ec);
  return 0;
}
