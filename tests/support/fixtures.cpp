#include "support/fixtures.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

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
}

void IsolatedEnvTest::TearDown() {
  restore("PELLARY_HOME", oldHome_, hadHome_);
  restore("PELLARY_SETTINGS", oldSettings_, hadSettings_);
  restore("PELLARY_STANDINS", oldStandins_, hadStandins_);
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
