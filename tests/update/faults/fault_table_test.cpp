// The fault table: every hostile packet, server fault and bad file an update
// run can meet, run against the local update server with the program's own
// error reporter. Each row ends in one of two states, never in between:
//   failed  - exit status 1, one log line naming the procedure, the databank
//             bytes as they were, LastUpdate as it was, no finish report, and
//             nothing of the packet left in "Updates" or "CUE";
//   applied - exit status 0 (the user closes the portal), no log line, the
//             packet's rows in the databank, LastUpdate moved on.
// In both, no file outside "Updates" and "CUE" is written (but the log, and
// the databank when applied).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QEventLoop>
#include <QThread>
#include <atomic>
#include <functional>
#include <map>
#include <memory>

#include "core/databank.h"
#include "core/registry.h"
#include "platform/msgbox.h"
#include "shell/reporter.h"
#include "shell/single_instance.h"
#include "shell/start.h"
#include "update/cue/cue_loaders.h"
#include "update/cue/cue_values.h"
#include "update/protocol/update_fixture.h"

namespace pellary {
namespace {

namespace fs = std::filesystem;
using testing::CannedReply;
using testing::Fault;
using testing::ZipMember;

constexpr const char* kSections =
    "Primary\r\n1,10,\"Holidays\",1\r\n/Primary\r\n"
    "EVENTCAT\r\n501,7,1\r\n/EVENTCAT\r\n";
constexpr const char* kEvents = "7,\"Bastille Day\",\"\",\"\",1815350400,1815350400,0,\"\",\"\",\"\",\"\",1,2,0\r\n";

class FaultTable;

struct FaultRow {
  const char* name;
  std::function<void(FaultTable&)> arrange;
  const char* location;  // nullptr: the update is applied
  long number = 0;       // 0: any
  int status = 1;        // the exit status of a failed run
};
void PrintTo(const FaultRow& r, std::ostream* os) { *os << r.name; }

// A running copy of the program: it holds the single-instance socket and
// answers later starts from an event loop of its own.
class RunningCopy {
 public:
  RunningCopy() {
    thread_.reset(QThread::create([this] {
      SingleInstance holder(SingleInstance::defaultName());
      claimed_ = holder.claim();
      holder.setActivateHandler([] {});
      QEventLoop loop;
      ready_ = true;
      while (!stop_) loop.processEvents(QEventLoop::AllEvents, 20);
    }));
    thread_->start();
    while (!ready_) QThread::msleep(5);
  }
  ~RunningCopy() {
    stop_ = true;
    thread_->wait();
  }
  bool claimed() const { return claimed_; }

 private:
  std::unique_ptr<QThread> thread_;
  std::atomic<bool> ready_{false}, stop_{false}, claimed_{false};
};

class FaultTable : public testing::UpdateRunTest, public ::testing::WithParamInterface<FaultRow> {
 public:
  using UpdateRunTest::packetPath;
  using UpdateRunTest::server;
  using IsolatedEnvTest::home;
  using IsolatedEnvTest::root;

  // The packet the server hands out, as zip bytes or as a reply of its own.
  void packet(const std::vector<ZipMember>& members) {
    server->reply(packetPath(), testing::buildZip(root(), members));
  }
  void packetReply(CannedReply r) { server->reply(packetPath(), std::move(r)); }
  std::vector<ZipMember> goodMembers() const {
    return {{"Updates/C77_S5_1.new", kSections}, {"Updates/C77_S5_1.de", kEvents}};
  }
  std::string goodZip() { return testing::buildZip(root(), goodMembers()); }
  // The settings reply with one value replaced.
  void settingsWith(const std::string& key, const std::string& value) {
    const std::string a = server->address();
    std::map<std::string, std::string> s{{"UPDATE_SCRIPT_LOCATION", a + "/update/update.pl"},
                                         {"PROFILE_DOWNLOAD_LOCATION", a + "/packets"},
                                         {"FINISH_SCRIPT_LOCATION", a + "/update/finish.pl"},
                                         {"SCRIPT_USERNAME", "scriptuser"},
                                         {"SCRIPT_PASSWORD", "secret"}};
    s[key] = value;
    std::string body = "<SETTINGS>\r\n";
    for (auto& [k, v] : s) body += k + "=" + v + "\r\n";
    server->reply("/update/update_init.pl", body + "</SETTINGS>\r\n");
  }
  std::string basic() const { return "Basic c2NyaXB0dXNlcjpzZWNyZXQ="; }  // scriptuser:secret
  // The update call's reply offering an update, with sizeLine among its statistics.
  void statistics(const std::string& sizeLine) {
    server->reply("/update/update.pl",
                  "<UPDATE_STATISTICS>\r\nStatistics\r\nUPDATE=1\r\nTIMESTAMP=900\r\n"
                  "RE_GENERATE=0\r\n" +
                      sizeLine + "</UPDATE_STATISTICS>\r\n<html></html>\r\n");
  }
  // A new installation whose customer check the server answers with these IDs.
  void enrolsAs(const std::string& customer, const std::string& source) {
    Breg_WriteRegSettings("CUE", "CustomerID", "");
    Breg_WriteRegSettings("CUE", "RndGenerationID", "R1");
    server->reply(std::string(kRegisterScript) + "?mode=CUE_CheckCustomer_Id&Random_Id=R1",
                  "<CUSTOMER_ID>\r\n" + customer + "\r\n\r\n<SOURCE_ID>\r\n" + source + "\r\n");
  }
  // Started as the program starts (the command line through the start
  // procedure), not at the update client.
  bool viaStart = false;
  std::unique_ptr<RunningCopy> runningCopy;

 protected:
  void SetUp() override {
    UpdateRunTest::SetUp();
    installErrorReporter();  // the program's own: log line, message, exit status
    // Small limits keep the hanging rows short.
    Breg_WriteRegSettings("Comms", "ConnectTimeout", "2");
    Breg_WriteRegSettings("Comms", "ReplyTimeout", "2");
    Breg_WriteRegSettings("Comms", "LowSpeedTime", "1");
    Breg_WriteRegSettings("Comms", "LowSpeedLimit", "100");
    enrolled();
    serveScripts(true, "900");
    packet(goodMembers());
    // What an earlier update left: a category, and event 3 at version 0.
    db().execute(
        "INSERT INTO Tertiary (ProductID, PID, SID, TID, CatID, TertiaryName, TimeStamp) "
        "VALUES (1, 10, 2, 3, 501, 'Bank holidays', 100)");
    db().execute("INSERT INTO Event (EventID, Title, Version, Status) VALUES (3, 'Old', 0, 1)");
  }
  void TearDown() override {
    runningCopy.reset();
    setFailureCleanup(nullptr);
    updateCaps() = UpdateCaps{};
    Bcue_Engine() = ClientUpdateEngine{};
    setUnattendedRun(false);
    UpdateRunTest::TearDown();
  }

  fs::path databank() const { return home() / "test.db"; }

  // Every file's bytes, "Updates" and "CUE" left out.
  std::map<std::string, std::string> filesOutsideTheUpdateFolders() const {
    std::map<std::string, std::string> out;
    for (auto it = fs::recursive_directory_iterator(root()); it != fs::recursive_directory_iterator(); ++it) {
      fs::path rel = fs::relative(it->path(), root());
      if (rel == "program/Updates" || rel == "program/CUE" || rel == "settings" || rel == "standins") {
        it.disable_recursion_pending();
        continue;
      }
      if (it->is_regular_file()) out[rel.string()] = testing::readFile(it->path());
    }
    return out;
  }

  // A user who says Yes and, once the run is done, closes the portal.
  int runUpdate() {
    try {
      if (viaStart) {
        Main("cue_demand");
        ADD_FAILURE() << "the start returned";
        return -1;
      }
      Bupd_MainHandler(2);
      Bupd_ProcessUpdate(1);
      portalPage().cmdClose_Click();
    } catch (const ProgramEnded& e) {
      return e.code;
    }
    ADD_FAILURE() << "the run did not end";
    return -1;
  }

  std::string log() const {
    return fs::exists(home() / "LY98ERR.log") ? testing::readFile(home() / "LY98ERR.log") : std::string();
  }
  bool packetFilesLeft() const {
    for (const fs::path& folder : {home() / "Updates", home() / "CUE"})
      for (const auto& e : fs::directory_iterator(folder)) {
        std::string n = e.path().filename().string();
        if (n != "CallUpdate.htm" && n != "MainHandler.htm") return true;
      }
    return false;
  }
};

TEST_P(FaultTable, EndsFailedOrAppliedNeverInBetween) {
  const FaultRow& row = GetParam();
  row.arrange(*this);
  Bsql_CloseDataBank();  // the bytes on disk are the databank
  const std::string bankBefore = testing::readFile(databank());
  std::map<std::string, std::string> before = filesOutsideTheUpdateFolders();
  Bsql_OpenDataBanks();

  const int status = runUpdate();
  if (db().isOpen()) Bsql_CloseDataBank();
  std::map<std::string, std::string> after = filesOutsideTheUpdateFolders();
  const std::string logged = log();
  const bool applied = row.location == nullptr;

  for (auto& [path, bytes] : after) {
    if (path == "program/LY98ERR.log" && !applied) continue;
    if (path == "program/test.db" && applied) continue;
    EXPECT_TRUE(before.count(path) && before[path] == bytes) << "written outside Updates and CUE: " << path;
  }
  EXPECT_FALSE(packetFilesLeft()) << "a later packet would meet this one's files";

  if (applied) {
    EXPECT_EQ(status, 0);
    EXPECT_EQ(logged, "");
    EXPECT_EQ(Breg_GetRegSetting("CUE", "LastUpdate"), "900");
    EXPECT_EQ(server->requestsTo("/update/finish.pl").size(), 1u);
    for (const testing::ServedRequest& r : server->requests()) {
      if (!r.viaProxy) {
        EXPECT_EQ(r.host, "127.0.0.1:" + std::to_string(server->port())) << r.path;
      }
    }
    Bsql_OpenDataBanks();
    EXPECT_EQ(rows("SELECT PID, PrimaryName FROM [Primary]"), (std::vector<std::string>{"10|Holidays"}));
    EXPECT_EQ(rows("SELECT CatID, EventID FROM EventCat"), (std::vector<std::string>{"501|7"}));
    EXPECT_EQ(rows("SELECT Title FROM Event WHERE EventID = 7 AND Status = 1"),
              (std::vector<std::string>{"Bastille Day"}));
  } else {
    EXPECT_EQ(status, row.status) << "an error ends the run with a status that says so";
    EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 1) << logged.substr(0, 2000);
    EXPECT_LT(logged.size(), 500u) << "a log line never carries a whole value from outside";
    std::string field = ",\"" + std::string(row.location) + "\",";
    if (row.number) field += std::to_string(row.number) + ",";
    EXPECT_NE(logged.find(field), std::string::npos) << logged.substr(0, 2000);
    EXPECT_EQ(testing::readFile(databank()), bankBefore) << "the databank is as it was";
    EXPECT_EQ(Breg_GetRegSetting("CUE", "LastUpdate"), "800");
    EXPECT_TRUE(server->requestsTo("/update/finish.pl").empty()) << "nothing acknowledged";
    Bsql_OpenDataBanks();
  }
}

// A zip whose member of that name says, in both its headers, that it
// unpacks to `declared` bytes.
std::string withDeclaredSize(std::string zip, const std::string& name, uint32_t declared) {
  auto patch = [&](const char* signature, size_t nameLengthAt, size_t nameAt, size_t sizeAt) {
    for (size_t at = zip.find(signature); at != std::string::npos; at = zip.find(signature, at + 4)) {
      const size_t length = uint8_t(zip[at + nameLengthAt]) | (uint8_t(zip[at + nameLengthAt + 1]) << 8);
      if (zip.compare(at + nameAt, length, name) != 0) continue;
      for (int b = 0; b < 4; ++b) zip[at + sizeAt + size_t(b)] = char((declared >> (8 * b)) & 0xFF);
    }
  };
  patch("PK\x03\x04", 26, 30, 22);
  patch("PK\x01\x02", 28, 46, 24);
  return zip;
}

// The good packet with one more member.
std::function<void(FaultTable&)> withGoodMembers(const ZipMember& extra) {
  return [extra](FaultTable& t) {
    auto members = t.goodMembers();
    members.push_back(extra);
    t.packet(members);
  };
}

const FaultRow kRows[] = {
    // A packet that goes through, for the shape of "applied".
    {"GoodPacket", [](FaultTable&) {}, nullptr},
    {"BackslashNames",
     [](FaultTable& t) {
       t.packet({{"updates\\C77_S5_1.new", kSections}, {"C77_S5_1.de", kEvents}});
     },
     nullptr},

    // Hostile packets: refused whole before a byte is written.
    {"MemberNamedLikeTheDatabank", withGoodMembers({"test.db", "not a databank"}), "Bupd_OpenUpdatePacket", 75},
    {"DotDot", withGoodMembers({"Updates/../../evil.txt", "x"}), "Bupd_OpenUpdatePacket", 75},
    {"Absolute", withGoodMembers({"/tmp/pellary-evil.txt", "x"}), "Bupd_OpenUpdatePacket", 75},
    {"DriveLetter", withGoodMembers({"C:\\evil.txt", "x"}), "Bupd_OpenUpdatePacket", 75},
    {"Link",
     [](FaultTable& t) {
       t.packet({{"Updates/C77_S5_1.new", "/etc/passwd", true}});
     },
     "Bupd_OpenUpdatePacket", 75},
    {"BackslashEscape", withGoodMembers({"Updates\\..\\..\\evil.txt", "x"}), "Bupd_OpenUpdatePacket", 75},
    {"UnknownMember", withGoodMembers({"Updates/readme.txt", "x"}), "Bupd_OpenUpdatePacket", 75},
    {"MemberTwice",
     [](FaultTable& t) {
       t.packet({{"Updates/C77_S5_1.new", kSections}, {"C77_S5_1.NEW", "Primary\r\n"}});
     },
     "Bupd_OpenUpdatePacket", 75},
    // A zip of no members: its end record alone.
    {"EmptyZip",
     [](FaultTable& t) {
       t.packetReply({200, std::string("PK\x05\x06", 4) + std::string(18, '\0')});
     },
     "Bupd_OpenUpdatePacket", 20011},
    {"CorruptZip",
     [](FaultTable& t) {
       t.packetReply({200, "PK\x03\x04 this is no zip at all"});
     },
     "Bupd_OpenUpdatePacket", 75},
    {"TruncatedZip",
     [](FaultTable& t) {
       std::string zip = t.goodZip();
       t.packetReply({200, zip.substr(0, zip.size() - 30)});
     },
     "Bupd_OpenUpdatePacket", 75},
    {"TruncatedDownload",
     [](FaultTable& t) {
       t.packetReply({200, t.goodZip(), {}, {}, Fault::CutShort});
     },
     "Bift_DownloadHandler", 29001},
    {"NothingThisProgramReads",
     [](FaultTable& t) {
       t.packet({{"Updates/C77_S5_1.new", "Product\r\n1,1,\"x\",1,1,1\r\n/Product\r\n"}});
     },
     "Bupd_ProcessUpdate", 20011},

    // Server faults: each wait is bounded, and the transport error ends the run.
    {"InitialisationNeverAnswers",
     [](FaultTable& t) {
       t.server->reply("/update/update_init.pl", CannedReply{200, "", {}, {}, Fault::NeverAnswer});
     },
     "Bift_PostHandler", 29001},
    {"PacketNeverAnswers",
     [](FaultTable& t) {
       t.packetReply({200, t.goodZip(), {}, {}, Fault::NeverAnswer});
     },
     "Bift_DownloadHandler", 29001},
    {"PacketTrickles",
     [](FaultTable& t) {
       t.packetReply({200, t.goodZip(), {}, {}, Fault::Trickle});
     },
     "Bift_DownloadHandler", 29001},
    // Bytes well above the least speed, for ever: the offered size bounds it.
    {"PacketDrips",
     [](FaultTable& t) {
       Breg_WriteRegSettings("Comms", "LowSpeedLimit", "1000");
       t.packetReply({200, t.goodZip(), {}, {}, Fault::Drip});
     },
     // The packet's cap (its offered size) comes before its time: a drip faster
     // than the least speed passes the offered bytes sooner than their time.
     "Bift_DownloadHandler", err::TooLarge},
    // The register script's GET is a script exchange, bounded as a whole.
    {"RegisterScriptDrips",
     [](FaultTable& t) {
       Breg_WriteRegSettings("CUE", "CustomerID", "");
       Breg_WriteRegSettings("CUE", "RndGenerationID", "R1");
       t.server->reply("/update/register.pl", CannedReply{200, "<CUSTOMER_ID>\r\n", {}, {}, Fault::Drip});
     },
     "Bift_DownloadHandler", 29001},
    // Another copy runs: the update run hands over and says it made no update.
    {"HandedOverToARunningCopy",
     [](FaultTable& t) {
       t.runningCopy = std::make_unique<RunningCopy>();
       ASSERT_TRUE(t.runningCopy->claimed());
       t.viaStart = true;
     },
     "Main", err::AnotherCopyRuns, kExitHandedOver},
    {"UpdateScriptFails",
     [](FaultTable& t) {
       t.server->reply("/update/update.pl", CannedReply{500, "boom"});
     },
     "Bift_PostHandler", 29001},
    {"RedirectToALocalFile",
     [](FaultTable& t) {
       t.packetReply({301, "moved", "file://" + (t.root() / "built.zip").string()});
     },
     "Bift_DownloadHandler", 29001},
    {"DownloadLocationIsALocalFile",
     [](FaultTable& t) {
       t.goodZip();
       t.settingsWith("PROFILE_DOWNLOAD_LOCATION", "file://" + t.root().string());
       fs::copy_file(t.root() / "built.zip", t.root() / "C77_S5_1_1.upd");
     },
     "Bift_DownloadHandler", 29001},
    {"RedirectWithinTheWeb",
     [](FaultTable& t) {
       t.packetReply({302, "moved", t.server->address() + "/elsewhere/packet.upd"});
       t.server->reply("/elsewhere/packet.upd", t.goodZip());
     },
     nullptr},
    {"RedirectLoop",
     [](FaultTable& t) {
       t.packetReply({302, "again", t.server->address() + t.packetPath()});
     },
     "Bift_DownloadHandler", 29001},
    {"WrongPassword",
     [](FaultTable& t) {
       t.packetReply({200, t.goodZip(), {}, t.basic()});
       t.settingsWith("SCRIPT_PASSWORD", "guess");
     },
     "Bift_DownloadHandler", 29001},
    {"ProxyNeededAndStored",
     [](FaultTable& t) {
       static testing::RefusingPort closed;
       t.settingsWith("PROFILE_DOWNLOAD_LOCATION", "http://127.0.0.1:" + std::to_string(closed.port()) + "/packets");
       Breg_WriteRegSettings("Comms", "ProxyServer", "127.0.0.1");
       Breg_WriteRegSettings("Comms", "ProxyPort", std::to_string(t.server->port()));
     },
     nullptr},
    // The proxy prompt answered with Cancel, twice.
    {"ProxyNeededAndNotGiven",
     [](FaultTable& t) {
       static testing::RefusingPort closed;
       t.settingsWith("PROFILE_DOWNLOAD_LOCATION", "http://127.0.0.1:" + std::to_string(closed.port()) + "/packets");
     },
     "Bift_DownloadHandler", 29001},

    // Bad files: refused before anything is written.
    {"NegativeEventID",
     [](FaultTable& t) {
       t.packet({{"Updates/C77_S5_1.new", kSections},
                 {"Updates/C77_S5_1.de", "-7,\"x\",\"\",\"\",0,0,0,\"\",\"\",\"\",\"\",1,1,0\r\n"}});
     },
     "Bcue_MergeInEvents", 5},
    {"NegativeCategoryID",
     [](FaultTable& t) {
       t.packet({{"Updates/C77_S5_1.new", "EVENTCAT\r\n-501,7,1\r\n/EVENTCAT\r\n"}});
     },
     "Bcue_LoadNewLinkItems", 5},
    {"NulInAName",
     [](FaultTable& t) {
       t.packet({{"Updates/C77_S5_1.new", std::string("Primary\r\n1,10,\"Holi") + '\0' + "days\",1\r\n/Primary\r\n"}});
     },
     "Bcue_LoadNewPrimary", 5},
    {"FileGrowingDuringTheLoad",
     [](FaultTable&) {
       Bcue_Engine().beforeKeeping = [](const fs::path& p) {
         if (p.filename() == "Primary.cue") testing::writeFile(p, testing::readFile(p) + "1,11,\"More\",1\r\n");
       };
     },
     "Bcue_LoadNewPrimary", 75},
    {"BadNumberOfFiftyKilobytes",
     [](FaultTable& t) {
       t.statistics("UPDATE_SIZE=1000000\r\n");
       t.packet({{"Updates/C77_S5_1.new", "Primary\r\n1," + std::string(50000, '7') + "x,\"x\",1\r\n/Primary\r\n"}});
     },
     "Bcue_LoadNewPrimary", 13},

    // Everything the server sends has a cap: the run ends at it, nothing kept.
    {"CustomerIdFromTheServerClimbsOutOfUpdates", [](FaultTable& t) { t.enrolsAs("../../outside/evil", "S1"); },
     "Bupd_MainHandler", 20009},
    {"SourceIdFromTheServerWithASeparator", [](FaultTable& t) { t.enrolsAs("C77", "S1/../../x"); }, "Bupd_MainHandler",
     20009},
    {"RandomIdThatAddsToTheQuery",
     [](FaultTable& t) {
       Breg_WriteRegSettings("CUE", "CustomerID", "");
       t.server->reply(kRegisterScript, "<RANDOM_ID>\r\nR1&mode=other\r\n");
     },
     "Bupd_MainHandler", 20009},
    {"StoredCustomerIdWithAPath", [](FaultTable&) { Breg_WriteRegSettings("CUE", "CustomerID", "..\\..\\outside"); },
     "Bupd_MainHandler", 20009},
    {"ScriptReplyPastItsCap",
     [](FaultTable& t) {
       t.server->reply("/update/update.pl", "<UPDATE_STATISTICS>\r\n" + std::string(size_t(9) << 20, 'x'));
     },
     "Bift_PostHandler", err::TooLarge},
    {"CustomerCheckWithoutEnd",
     [](FaultTable& t) {
       t.enrolsAs("C77", "S5");
       t.server->reply(std::string(kRegisterScript) + "?mode=CUE_CheckCustomer_Id&Random_Id=R1",
                       CannedReply{200, "", {}, {}, Fault::Endless});
     },
     "Bift_DownloadHandler", err::TooLarge},
    {"ScriptReplyWithoutEnd",
     [](FaultTable& t) {
       t.server->reply("/update/update.pl", CannedReply{200, "", {}, {}, Fault::Endless});
     },
     "Bift_PostHandler", err::TooLarge},
    {"PacketLargerThanTheStatisticsSay",
     [](FaultTable& t) {
       t.packetReply({200, t.goodZip() + std::string(4000, '\0')});
     },
     "Bift_DownloadHandler", err::TooLarge},
    {"PacketWithoutEnd",
     [](FaultTable& t) {
       t.packetReply({200, "", {}, {}, Fault::Endless});
     },
     "Bift_DownloadHandler", err::TooLarge},
    {"PacketWithoutSizePastTheFixedCap",
     [](FaultTable& t) {
       t.statistics("");
       updateCaps().packetBytes = 256 << 10;
       t.packetReply({200, "", {}, {}, Fault::Endless});
     },
     "Bift_DownloadHandler", err::TooLarge},
    {"PacketWithoutSizeUnderTheFixedCap", [](FaultTable& t) { t.statistics(""); }, nullptr},
    // The portal shows the page and reads none of what it names.
    {"PortalPageNamesADeviceAndAFifo",
     [](FaultTable& t) {
       ::mkfifo((t.home() / "pipe").c_str(), 0600);
       t.server->reply("/update/update.pl",
                       "<UPDATE_STATISTICS>\r\nStatistics\r\nUPDATE=1\r\nTIMESTAMP=900\r\nRE_GENERATE=0\r\n"
                       "UPDATE_SIZE=1200\r\n</UPDATE_STATISTICS>\r\n<html><body><img src=\"file:///dev/zero\">"
                       "<img src=\"../pipe\"><img src=\"file:///dev/urandom\"></body></html>\r\n");
     },
     nullptr},
    {"ZipBomb",
     [](FaultTable& t) {
       t.statistics("UPDATE_SIZE=1000000\r\n");
       updateCaps().memberBytes = 64 << 10;
       t.packet({{"Updates/C77_S5_1.new", kSections}, {"Updates/C77_S5_1.de", std::string(size_t(4) << 20, '\n')}});
     },
     "Bupd_OpenUpdatePacket", err::TooLarge},
    {"MemberUnpacksPastWhatItDeclares",
     [](FaultTable& t) {
       t.statistics("UPDATE_SIZE=1000000\r\n");
       std::string zip = testing::buildZip(t.root(), {{"Updates/C77_S5_1.new", kSections},
                                                      {"Updates/C77_S5_1.de", std::string(size_t(1) << 20, '\n')}});
       t.packetReply({200, withDeclaredSize(zip, "Updates/C77_S5_1.de", 1000)});
     },
     "Bupd_OpenUpdatePacket", 0},
    {"TableLineOverItsCap",
     [](FaultTable& t) {
       t.statistics("UPDATE_SIZE=1000000\r\n");
       t.packet({{"Updates/C77_S5_1.new", kSections},
                 {"Updates/C77_S5_1.de", "7,\"" + std::string(cue::kMostValueBytes + 10, 'a') + "\"\r\n"}});
     },
     "Bcue_MergeInEvents", err::TooLarge},
    {"SectionsLineOverItsCap",
     [](FaultTable& t) {
       t.statistics("UPDATE_SIZE=1000000\r\n");
       t.packet({{"Updates/C77_S5_1.new",
                  "Primary\r\n" + std::string(cue::kMostValueBytes + 10, '1') + "\r\n/Primary\r\n"}});
     },
     "Bcue_SplitNewFile", err::TooLarge},

    {"ValueTooBigForItsColumn",
     [](FaultTable& t) {
       t.packet({{"Updates/C77_S5_1.new", "Primary\r\n70000,10,\"x\",1\r\n/Primary\r\n"}});
     },
     "Bcue_LoadNewPrimary", 6},
};

INSTANTIATE_TEST_SUITE_P(Rows, FaultTable, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

// An event whose active version is 0 is known: the same version again changes
// nothing, a newer one retires it. Loaded twice, it stays one active row.
TEST_F(FaultTable, VersionZeroTwiceKeepsOneActiveRow) {
  const char* v0 = "3,\"Again\",\"\",\"\",0,0,0,\"\",\"\",\"\",\"\",1,0,0\r\n";
  packet({{"Updates/C77_S5_1.new", kSections}, {"Updates/C77_S5_1.de", v0}});
  EXPECT_EQ(runUpdate(), 0);
  Bsql_OpenDataBanks();
  EXPECT_EQ(rows("SELECT Title, Version, Status FROM Event WHERE EventID = 3"), (std::vector<std::string>{"Old|0|1"}));
  EXPECT_EQ(log(), "");
}

TEST_F(FaultTable, NewerVersionRetiresVersionZero) {
  const char* v1 = "3,\"New\",\"\",\"\",0,0,0,\"\",\"\",\"\",\"\",1,1,0\r\n";
  packet({{"Updates/C77_S5_1.new", kSections}, {"Updates/C77_S5_1.de", v1}});
  EXPECT_EQ(runUpdate(), 0);
  Bsql_OpenDataBanks();
  EXPECT_EQ(rows("SELECT Title, Status FROM Event WHERE EventID = 3 ORDER BY Status"),
            (std::vector<std::string>{"Old|0", "New|1"}));
}

// A run with no one to press Yes ends, logged, instead of waiting for ever.
TEST_F(FaultTable, OfferNoOneCanAnswerEndsTheRun) {
  setUnattendedRun(true);
  int status = -1;
  try {
    Bupd_MainHandler(0);
  } catch (const ProgramEnded& e) {
    status = e.code;
  }
  EXPECT_EQ(status, 1);
  EXPECT_NE(log().find(",\"Bupd_CallUpdate\",30004,"), std::string::npos) << log();
  EXPECT_TRUE(server->requestsTo(packetPath()).empty());
  EXPECT_EQ(Breg_GetRegSetting("CUE", "LastUpdate"), "800");
}

// A run that cannot go on (the writer lost the user's calendar) says so, logs
// it and ends with an error.
TEST_F(FaultTable, FailedUpdateWritesItsLogLineAndExitsOne) {
  int status = -1;
  try {
    Bupd_FailedUpdate("Pellary Almoner can no longer link to your Outlook calendar.");
  } catch (const ProgramEnded& e) {
    status = e.code;
  }
  EXPECT_EQ(status, 1);
  const std::string logged = log();
  EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 1) << logged;
  EXPECT_NE(
      logged.find(",\"Bupd_FailedUpdate\",30010,\"Pellary Almoner can no longer link to your Outlook calendar.\""),
      std::string::npos)
      << logged;
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].style, mb::OKOnly | mb::Critical);
}

// Files of an earlier packet that a crash left in "CUE" never join this one.
TEST_F(FaultTable, LeftoversOfAnEarlierPacketAreNotLoaded) {
  cueFile("Secondary.cue", "1,10,9,\"From an earlier packet\",1\r\n");
  cueFile("events.kest", "99,\"Stale\",\"\",\"\",0,0,0,\"\",\"\",\"\",\"\",1,1,0\r\n");
  EXPECT_EQ(runUpdate(), 0);
  Bsql_OpenDataBanks();
  EXPECT_EQ(count("SELECT * FROM Secondary"), 0);
  EXPECT_EQ(count("SELECT * FROM Event WHERE EventID = 99"), 0);
  EXPECT_FALSE(inCue("Secondary.cue"));
}

}  // namespace
}  // namespace pellary
