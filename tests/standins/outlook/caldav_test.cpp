// The Outlook stand-in on a CalDAV server: Radicale, started by the tests.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <regex>
#include <thread>

#include "outlook_fixture.h"
#include "platform/errors.h"
#include "platform/oledate.h"
#include "standins/outlook/caldav_files.h"
#include "standins/outlook/outlook_store.h"
#include "support/fixtures.h"

namespace pellary::standins::outlook {

using namespace pellary::platform;
namespace {

namespace fs = std::filesystem;
using pellary::testing::runTool;

constexpr long kNetworkError = -2147221227;
constexpr long kNoAccess = -2147024891;

std::string messageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const AppError& e) {
    return e.description();
  }
  return {};
}

// A server of the test's own that answers every request the same way, or never.
class FakeServer {
 public:
  explicit FakeServer(std::string answer) : answer_(std::move(answer)) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    // Unbound, the port reads 0 and every call of the test fails to connect.
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      a.sin_port = 0;
    port_ = ntohs(a.sin_port);
    ::listen(fd_, 8);
    if (!answer_.empty()) thread_ = std::thread([this] { serve(); });
  }
  ~FakeServer() {
    stop_ = true;
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
    if (thread_.joinable()) thread_.join();
  }
  int port() const { return port_; }

 private:
  void serve() {
    while (!stop_) {
      int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) return;
      char buf[65536];
      std::string request;
      while (request.find("\r\n\r\n") == std::string::npos) {
        ssize_t n = ::read(c, buf, sizeof buf);
        if (n <= 0) break;
        request.append(buf, size_t(n));
      }
      ::write(c, answer_.data(), answer_.size());
      ::close(c);
    }
  }
  std::string answer_;
  int fd_ = -1, port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class CalDav : public OutlookTest {
 protected:
  void SetUp() override {
    OutlookTest::SetUp();
    ASSERT_TRUE(server.start()) << "Radicale did not start";
  }
  void TearDown() override {
    OutlookTest::TearDown();
    server.stop();
  }
  void configure(const std::string& url, const std::string& password, const std::string& more = "") {
    writeFile(standins() / "Outlook" / "caldav.conf",
              "# the account\nurl = " + url + "\nuser = " + server.user() + "\n" +
                  (password.empty() ? "" : "password = " + password + "\n") + more);
  }
  void configure() { configure(server.home(), server.password()); }

  // The collection's items as the test's own client sees them: href to text.
  std::map<std::string, std::string> serverItems(const std::string& collectionURL) {
    return pellary::testing::calendarResources(collectionURL, server.user(), server.password());
  }
  std::string calendarURL() {
    std::string id = calendar()->call("EntryID").toString();
    EXPECT_EQ(id.rfind("CALDAV:", 0), 0u) << id;
    return "http://127.0.0.1:" + std::to_string(server.port()) + id.substr(7);
  }
  // Another client changes an item on the server, without asking.
  void otherClientPuts(const std::string& url, const std::string& text) {
    pellary::testing::ToolRun r =
        runTool("curl", {"-s", "-f", "-u", server.user() + ":" + server.password(), "-X", "PUT", "-H",
                         "Content-Type: text/calendar", url, "--data-binary", text});
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }

  pellary::testing::RadicaleServer server;
};

TEST_F(CalDav, TheFoldersAndItemsAreTheAccountsCalendarsAndResources) {
  configure();
  Object cal = calendar();
  EXPECT_EQ(cal->call("Name").toString(), "Calendar");  // made on first use
  const std::string url = calendarURL();
  Object fair = addAllDay(cal, "Fair, \"big\"", day(2027, 5, 1));
  addAllDay(cal, "Carnival", day(2027, 2, 8));
  addAllDay(cal, "Carnival", day(2027, 2, 9));

  std::map<std::string, std::string> seen = serverItems(url);
  ASSERT_EQ(seen.size(), 3u);
  const std::string fairHref = url.substr(url.find('/', 7)) + fair->call("EntryID").toString() + ".ics";
  ASSERT_TRUE(seen.count(fairHref)) << fairHref;
  EXPECT_NE(seen[fairHref].find("SUMMARY:Fair\\, "), std::string::npos) << seen[fairHref];
  EXPECT_NE(seen[fairHref].find("DTSTART;VALUE=DATE:20270501"), std::string::npos);

  // A new Outlook finds them by subject and day, and a delete removes one resource.
  closeStore();
  Object again = calendar();
  EXPECT_EQ(obj(again->call("Items"))->call("Count").toLong(), 3);
  Object found = findFirst(again, "[Subject] = \"Carnival\" and  [Start] = \"09/02/2027 12:00 AM\"");
  ASSERT_TRUE(found);
  found->call("Delete");
  EXPECT_EQ(serverItems(url).size(), 2u);

  // Another client's item shows at the next look.
  otherClientPuts(
      url + "other-1.ics",
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\nUID:other-1\r\nDTSTAMP:20260101T000000Z\r\n"
      "DTSTART;VALUE=DATE:20270301\r\nSUMMARY:Committee\r\nLOCATION:Town hall\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
  EXPECT_TRUE(findFirst(again, "[Subject] = \"Committee\""));
  EXPECT_EQ(obj(again->call("Items"))->call("Count").toLong(), 3);

  // A folder added is a calendar of the account.
  Object top = obj(obj(nameSpace()->call("Folders"))->call("Item", {Variant(int32_t(1))}));
  Object work = obj(obj(top->call("Folders"))->call("Add", {Variant("Work"), Variant(int32_t(9))}));
  addAllDay(work, "Review", day(2027, 6, 1));
  closeStore();
  Object workAgain =
      obj(obj(obj(obj(nameSpace()->call("Folders"))->call("Item", {Variant(int32_t(1))}))->call("Folders"))
              ->call("Item", {Variant("Work")}));
  EXPECT_EQ(obj(workAgain->call("Items"))->call("Count").toLong(), 1);
}

TEST_F(CalDav, ThePasswordComesFromNetrcAndAWrongOneIsReported) {
  const pellary::testing::TempDir home;
  writeFile(home.path() / ".netrc",
            "machine 127.0.0.1 login " + server.user() + " password " + server.password() + "\n");
  fs::permissions(home.path() / ".netrc", fs::perms::owner_read | fs::perms::owner_write);
  const char* oldHome = std::getenv("HOME");
  const std::string saved = oldHome ? oldHome : "";
  ::setenv("HOME", home.path().c_str(), 1);
  configure(server.home(), "");
  EXPECT_EQ(errorOf([&] { addAllDay(calendar(), "Fair", day(2027, 5, 1)); }), 0);
  ::setenv("HOME", saved.c_str(), 1);

  closeStore();
  configure(server.home(), "wrong");
  std::string message;
  EXPECT_EQ(errorOf([&] {
              message = messageOf([&] { calendar(); });
              calendar();
            }),
            kNoAccess);
  EXPECT_NE(message.find("refused the user name or password"), std::string::npos) << message;
}

TEST_F(CalDav, ChangesByAnotherClientAreMergedOrRefusedNeverOverwritten) {
  configure();
  Object cal = calendar();
  const std::string url = calendarURL();
  Object mine = addAllDay(cal, "Fair", day(2027, 5, 1));
  const std::string itemURL = url + mine->call("EntryID").toString() + ".ics";
  Object read = findFirst(cal, "[Subject] = \"Fair\"");
  ASSERT_TRUE(read);

  // Another client adds a place: our change of the note meets 412, merges and keeps it.
  std::string text = serverItems(url).begin()->second;
  text = std::regex_replace(text, std::regex("\n"), "\r\n");
  text.insert(text.find("END:VEVENT"), "LOCATION:Market square\r\n");
  otherClientPuts(itemURL, text);
  put(read, "Body", "Stalls");
  read->call("Save");
  std::string now = serverItems(url).begin()->second;
  EXPECT_NE(now.find("LOCATION:Market square"), std::string::npos) << now;
  EXPECT_NE(now.find("DESCRIPTION:Stalls"), std::string::npos) << now;

  // Another client renames it: our rename is refused, and so is deleting what was found before.
  Object found = findFirst(cal, "[Subject] = \"Fair\"");
  ASSERT_TRUE(found);
  otherClientPuts(itemURL, std::regex_replace(std::regex_replace(now, std::regex("\n"), "\r\n"),
                                              std::regex("SUMMARY:Fair"), "SUMMARY:Spring fair"));
  put(read, "Subject", "Autumn fair");
  EXPECT_EQ(errorOf([&] { read->call("Save"); }), kObjectChanged);
  EXPECT_EQ(errorOf([&] { found->call("Delete"); }), kObjectChanged);
  EXPECT_NE(serverItems(url).begin()->second.find("SUMMARY:Spring fair"), std::string::npos);
}

TEST_F(CalDav, AServerStoppedPartWayIsReportedAndTheRetryAddsEachEntryOnce) {
  configure();
  Object cal = calendar();
  const std::string url = calendarURL();
  for (int i = 0; i < 5; ++i) addAllDay(cal, "Entry " + std::to_string(i), day(2027, 1, 1) + i);
  server.stop();
  std::string message;
  EXPECT_EQ(errorOf([&] {
              message = messageOf([&] { addAllDay(cal, "Entry 5", day(2027, 1, 6)); });
              addAllDay(cal, "Entry 5", day(2027, 1, 6));
            }),
            kNetworkError);
  EXPECT_NE(message.find("cannot be reached"), std::string::npos) << message;
  ASSERT_TRUE(server.start());
  // The run again: what is there already is found and not added twice.
  closeStore();
  Object again = calendar();
  for (int i = 0; i < 8; ++i)
    if (!findFirst(again, "[Subject] = \"Entry " + std::to_string(i) + "\""))
      addAllDay(again, "Entry " + std::to_string(i), day(2027, 1, 1) + i);
  EXPECT_EQ(serverItems(url).size(), 8u);
}

TEST_F(CalDav, FaultsOfTheServerTakeTheErrorRoadWithAClearMessage) {
  struct Case {
    const char* what;
    std::string answer;  // empty: a server that never answers
    long error;
    const char* message;
  };
  const std::string xml = "<?xml version=\"1.0\"?><multistatus xmlns=\"DAV:\"><response><href>/a/</unclosed>";
  const std::vector<Case> cases = {
      {"silent", "", kNetworkError, "did not answer within 1 seconds"},
      {"failing", "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", kNetworkError,
       "(503)"},
      {"forbidding", "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", kNoAccess, "(403)"},
      {"garbled",
       "HTTP/1.1 207 Multi-Status\r\nContent-Type: application/xml\r\nContent-Length: " + std::to_string(xml.size()) +
           "\r\nConnection: close\r\n\r\n" + xml,
       kNetworkError, "is no WebDAV multistatus"},
  };
  for (const Case& c : cases) {
    FakeServer fake(c.answer);
    closeStore();
    configure("http://127.0.0.1:" + std::to_string(fake.port()) + "/alice/", "secret", "timeout = 1\n");
    std::string message;
    EXPECT_EQ(errorOf([&] {
                message = messageOf([&] { calendar(); });
                calendar();
              }),
              c.error)
        << c.what;
    EXPECT_NE(message.find(c.message), std::string::npos) << c.what << ": " << message;
  }
  // Nothing listening at all; and plain http to another machine is refused before any request.
  closeStore();
  int port = 0;
  {
    FakeServer gone("");
    port = gone.port();
  }
  configure("http://127.0.0.1:" + std::to_string(port) + "/alice/", "secret");
  EXPECT_NE(messageOf([&] { calendar(); }).find("cannot be reached"), std::string::npos);
  closeStore();
  configure("http://dav.example.org/alice/", "secret");
  EXPECT_NE(messageOf([&] { calendar(); }).find("must be reached by https"), std::string::npos);
}

// The account's own address, however it is spelt, decides "this machine";
// no spelling escapes as anything but the program's own error.
struct AddressCase {
  const char* name;
  std::string url;
  bool accepted;
  std::string host, port, path;
};
void PrintTo(const AddressCase& c, std::ostream* os) { *os << c.name; }

class CalDavAddresses : public ::testing::TestWithParam<AddressCase> {};

TEST_P(CalDavAddresses, ThisMachineIsDecidedOnTheParsedAddress) {
  const AddressCase& c = GetParam();
  pellary::testing::TempDir dir;
  writeFile(dir.path() / "caldav.conf", "url = " + c.url + "\nuser = me\npassword = pw\n");
  bool accepted = false;
  try {
    std::optional<DavConfig> config = readDavConfig(dir.path());
    accepted = config.has_value();
    if (config) DavAccount account(*config);  // no spelling escapes as anything else
  } catch (const AppError&) {
    accepted = false;
  }
  EXPECT_EQ(accepted, c.accepted);
  if (c.host.empty()) return;
  UrlParts p = urlParts(c.url);
  EXPECT_EQ(p.host, c.host);
  EXPECT_EQ(p.port, c.port);
  EXPECT_EQ(p.path, c.path);
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, CalDavAddresses,
    ::testing::Values(AddressCase{"Loopback", "http://127.0.0.1:5232/alice/", true, "127.0.0.1", "5232", "/alice/"},
                      AddressCase{"ShortLoopback", "http://127.1:5232/alice/", true, "127.0.0.1", "5232", "/alice/"},
                      AddressCase{"OtherLoopback", "http://127.8.9.10:80/a/", true, "127.8.9.10", "80", "/a/"},
                      AddressCase{"Localhost", "http://LocalHost/dav/", true, "localhost", "80", "/dav/"},
                      AddressCase{"Ipv6Loopback", "http://[::1]:8/x/", true, "[::1]", "8", "/x/"},
                      AddressCase{"NameStartingWith127", "http://127.evil.invalid/alice/", false, "", "", ""},
                      AddressCase{"OtherMachine", "http://dav.example.org/alice/", false, "", "", ""},
                      AddressCase{"HttpsWithoutPort", "https://dav.example.org/alice/", true, "dav.example.org", "443",
                                  "/alice/"},
                      AddressCase{"NoPath", "https://dav.example.org", true, "dav.example.org", "443", "/"},
                      AddressCase{"NotAnAddress", "::::", false, "", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CalDavAnswers, HrefsOnAnotherOriginArePassedOverWithANote) {
  std::vector<std::string> notes;
  NoteHandler old = setNoteHandler([&](std::string_view, std::string_view text) { notes.emplace_back(text); });
  auto response = [](const std::string& href) {
    return "<response><href>" + href +
           "</href><propstat><prop><resourcetype><collection/>"
           "<C:calendar/></resourcetype></prop><status>HTTP/1.1 200 OK</status></propstat></response>";
  };
  const std::string body =
      "<?xml version=\"1.0\"?><multistatus xmlns=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\">" +
      response("/alice/cal/") + response("http://127.1:5232/alice/spelt/") + response("http://evil.example/steal/") +
      response("https://127.0.0.1:5232/alice/scheme/") + response("http://127.0.0.1:5233/alice/port/") +
      response("relative/") + "</multistatus>";
  Multistatus m = parseMultistatus(body, "http://127.0.0.1:5232/alice/");
  setNoteHandler(old);
  std::vector<std::string> hrefs;
  for (const DavResponse& r : m.responses) hrefs.push_back(r.href);
  EXPECT_EQ(hrefs, (std::vector<std::string>{"/alice/cal/", "/alice/spelt/"}));
  EXPECT_EQ(notes.size(), 4u);
}

}  // namespace
}  // namespace pellary::standins::outlook
