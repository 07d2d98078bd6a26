// Shared test fixtures: a private program folder, settings folder and stand-in
// folder per test, so no test touches the user's own files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace pellary::testing {

namespace fs = std::filesystem;

// A fresh temporary folder, removed at the end of its scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Points PELLARY_HOME, PELLARY_SETTINGS and PELLARY_STANDINS at fresh folders.
class IsolatedEnvTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  fs::path home() const { return root_->path() / "program"; }
  fs::path settings() const { return root_->path() / "settings"; }
  fs::path standins() const { return root_->path() / "standins"; }
  const fs::path& root() const { return root_->path(); }

 private:
  std::unique_ptr<TempDir> root_;
  std::string oldHome_, oldSettings_, oldStandins_, oldUnits_, oldSystemctl_;
  bool hadHome_ = false, hadSettings_ = false, hadStandins_ = false, hadUnits_ = false, hadSystemctl_ = false;
};

std::string readFile(const fs::path& p);
void writeFile(const fs::path& p, const std::string& content);

// Returns once a change to the folder would get other times than its last
// one: a file system that keeps coarse times gives a change in the same
// clock tick the same times.
void awaitNextFolderTime(const fs::path& folder);

}  // namespace pellary::testing

#include <functional>

namespace pellary::testing {
// The error number a call raises, 0 when it returns.
long errorOf(const std::function<void()>& f);
}  // namespace pellary::testing

#include <map>
#include <vector>

namespace pellary::testing {
// An outside tool's run: its exit code (-1 when it did not end in time or did
// not start), and what it printed.
struct ToolRun {
  int exitCode = -1;
  std::string out, err;
};
// Runs program with args and the given variables added to the environment,
// waiting at most timeoutMs.
ToolRun runTool(const std::string& program, const std::vector<std::string>& args,
                const std::map<std::string, std::string>& env = {}, int timeoutMs = 60000);
}  // namespace pellary::testing

namespace pellary::testing {
// A Radicale CalDAV server of the test's own on 127.0.0.1 and a free port,
// with a temporary storage folder and one htpasswd user.
class RadicaleServer {
 public:
  RadicaleServer(std::string user = "alice", std::string password = "secret");
  ~RadicaleServer();
  RadicaleServer(const RadicaleServer&) = delete;
  RadicaleServer& operator=(const RadicaleServer&) = delete;
  // Starts it (again, on the same port and storage); false when it does not come up.
  bool start();
  void stop();
  bool running() const;
  int port() const { return port_; }
  // http://127.0.0.1:port/user/, the user's calendar home.
  std::string home() const;
  const std::string& user() const { return user_; }
  const std::string& password() const { return password_; }

 private:
  TempDir dir_;
  std::string user_, password_;
  int port_ = 0;
  long pid_ = 0;
  int hold_ = -1;  // the port, held while stopped
};

// The resources of a calendar collection as a client of the test's own (curl)
// reads them with a calendar-query REPORT: path to iCalendar text.
std::map<std::string, std::string> calendarResources(const std::string& collectionURL, const std::string& user,
                                                     const std::string& password);
}  // namespace pellary::testing
