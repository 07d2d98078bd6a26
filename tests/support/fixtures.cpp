#include "support/fixtures.h"

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace pellary::testing {

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "pellary-test-XXXXXX").string();
  char* made = mkdtemp(tmpl.data());
  if (!made) throw std::runtime_error("mkdtemp failed");
  path_ = made;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

namespace {
void save(const char* name, std::string& value, bool& had) {
  const char* v = std::getenv(name);
  had = v != nullptr;
  if (v) value = v;
}
void restore(const char* name, const std::string& value, bool had) {
  if (had)
    setenv(name, value.c_str(), 1);
  else
    unsetenv(name);
}
}  // namespace

void IsolatedEnvTest::SetUp() {
  root_ = std::make_unique<TempDir>();
  save("PELLARY_HOME", oldHome_, hadHome_);
  save("PELLARY_SETTINGS", oldSettings_, hadSettings_);
  save("PELLARY_STANDINS", oldStandins_, hadStandins_);
  fs::create_directories(home());
  fs::create_directories(settings());
  fs::create_directories(standins());
  setenv("PELLARY_HOME", home().c_str(), 1);
  setenv("PELLARY_SETTINGS", settings().c_str(), 1);
  setenv("PELLARY_STANDINS", standins().c_str(), 1);
  // Saving an update interval writes the user's timer units: here, and no
  // service manager of the machine is asked.
  save("PELLARY_SYSTEMD_USER_DIR", oldUnits_, hadUnits_);
  save("PELLARY_SYSTEMCTL", oldSystemctl_, hadSystemctl_);
  setenv("PELLARY_SYSTEMD_USER_DIR", (root() / "systemd-user").c_str(), 1);
  setenv("PELLARY_SYSTEMCTL", "false", 1);
}

void IsolatedEnvTest::TearDown() {
  restore("PELLARY_HOME", oldHome_, hadHome_);
  restore("PELLARY_SETTINGS", oldSettings_, hadSettings_);
  restore("PELLARY_STANDINS", oldStandins_, hadStandins_);
  restore("PELLARY_SYSTEMD_USER_DIR", oldUnits_, hadUnits_);
  restore("PELLARY_SYSTEMCTL", oldSystemctl_, hadSystemctl_);
  root_.reset();
}

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void writeFile(const fs::path& p, const std::string& content) {
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << content;
}

void awaitNextFolderTime(const fs::path& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return;
  const auto later = [](const timespec& a, const timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
  };
  // A tick is a few milliseconds; the bound only guards against a clock that stands still.
  for (int i = 0; i < 100000; ++i) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    if (later(now, st.st_ctim) && later(now, st.st_mtim)) return;
    ::usleep(100);
  }
}

}  // namespace pellary::testing

#include "platform/errors.h"

namespace pellary::testing {
long errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const AppError& e) {
    return e.number();
  }
  return 0;
}
}  // namespace pellary::testing

#include <QProcess>
#include <QProcessEnvironment>

namespace pellary::testing {
ToolRun runTool(const std::string& program, const std::vector<std::string>& args,
                const std::map<std::string, std::string>& env, int timeoutMs) {
  QProcess p;
  QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
  for (const auto& [k, v] : env) e.insert(QString::fromStdString(k), QString::fromStdString(v));
  p.setProcessEnvironment(e);
  QStringList list;
  for (const std::string& a : args) list << QString::fromStdString(a);
  p.start(QString::fromStdString(program), list);
  ToolRun r;
  if (!p.waitForStarted(timeoutMs)) return r;
  if (!p.waitForFinished(timeoutMs)) {
    p.kill();
    p.waitForFinished(5000);
    return r;
  }
  r.out = p.readAllStandardOutput().toStdString();
  r.err = p.readAllStandardError().toStdString();
  r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  return r;
}
}  // namespace pellary::testing

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <chrono>
#include <regex>
#include <thread>

namespace pellary::testing {

namespace {
// A port nobody listens on now: bound to 0, read back, let go.
int freePort() {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  ::close(s);
  return port;
}

// Keeps a stopped server's port from other processes (a port-0 bind never
// picks a bound port) without listening, so a client is refused at once. A
// test that stops its server then reaches nobody else's.
int holdPort(int port) {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int on = 1;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(uint16_t(port));
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(s);
    return -1;
  }
  return s;
}

bool accepts(int port) {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(uint16_t(port));
  bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(s);
  return ok;
}
}  // namespace

RadicaleServer::RadicaleServer(std::string user, std::string password)
    : user_(std::move(user)), password_(std::move(password)) {
  ToolRun r = runTool("htpasswd", {"-m", "-b", "-c", (dir_.path() / "users").string(), user_, password_});
  if (r.exitCode != 0) ADD_FAILURE() << "htpasswd: " << r.err;
  fs::create_directories(dir_.path() / "storage");
}

RadicaleServer::~RadicaleServer() {
  stop();
  if (hold_ >= 0) ::close(hold_);
}

bool RadicaleServer::running() const { return pid_ > 0; }

std::string RadicaleServer::home() const { return "http://127.0.0.1:" + std::to_string(port_) + "/" + user_ + "/"; }

bool RadicaleServer::start() {
  stop();
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (hold_ >= 0) ::close(hold_);
    hold_ = -1;
    if (port_ == 0 || attempt > 0) port_ = freePort();
    const std::string hosts = "127.0.0.1:" + std::to_string(port_);
    const std::string storage = (dir_.path() / "storage").string(), users = (dir_.path() / "users").string();
    pid_t pid = ::fork();
    if (pid == 0) {
      ::setpgid(0, 0);
      std::freopen("/dev/null", "w", stdout);
      std::freopen((dir_.path() / "radicale.log").c_str(), "a", stderr);
      ::execlp("radicale", "radicale", "--config", "", "--server-hosts", hosts.c_str(), "--storage-filesystem-folder",
               storage.c_str(), "--auth-type", "htpasswd", "--auth-htpasswd-filename", users.c_str(),
               "--auth-htpasswd-encryption", "md5", "--logging-level", "warning", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    pid_ = pid;
    for (int i = 0; i < 200; ++i) {
      if (accepts(port_)) return true;
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {  // the port was taken meanwhile: another
        pid_ = 0;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    stop();
  }
  return false;
}

void RadicaleServer::stop() {
  if (pid_ <= 0) return;
  ::kill(pid_t(pid_), SIGTERM);
  int status = 0;
  for (int i = 0; i < 100 && ::waitpid(pid_t(pid_), &status, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (::waitpid(pid_t(pid_), &status, WNOHANG) == 0) {
    ::kill(pid_t(pid_), SIGKILL);
    ::waitpid(pid_t(pid_), &status, 0);
  }
  pid_ = 0;
  if (hold_ < 0) hold_ = holdPort(port_);
}

std::map<std::string, std::string> calendarResources(const std::string& collectionURL, const std::string& user,
                                                     const std::string& password) {
  const std::string query =
      "<?xml version=\"1.0\"?><C:calendar-query xmlns:D=\"DAV:\" "
      "xmlns:C=\"urn:ietf:params:xml:ns:caldav\"><D:prop><C:calendar-data/></D:prop>"
      "<C:filter><C:comp-filter name=\"VCALENDAR\"/></C:filter></C:calendar-query>";
  ToolRun r = runTool("curl", {"-s", "-f", "-u", user + ":" + password, "-X", "REPORT", "-H", "Depth: 1", "-H",
                               "Content-Type: application/xml", collectionURL, "--data", query});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::map<std::string, std::string> out;
  std::regex response(R"(<href>([^<]*)</href>.*?<C:calendar-data>([^<]*)</C:calendar-data>)");
  for (std::sregex_iterator it(r.out.begin(), r.out.end(), response), end; it != end; ++it) out[(*it)[1]] = (*it)[2];
  return out;
}

}  // namespace pellary::testing
