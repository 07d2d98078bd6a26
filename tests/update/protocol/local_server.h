// A small HTTP server on 127.0.0.1 for the update tests: canned replies by
// path, every request recorded. It also answers requests sent to it as a
// proxy (absolute addresses). Bounded: it stops after a fixed number of
// requests or when destroyed.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pellary::testing {

struct ServedRequest {
  std::string method;
  std::string target;  // as sent (absolute through a proxy)
  std::string path;    // path and query
  std::string body;
  std::string authorization;
  std::string host;  // the Host header
  bool viaProxy = false;
};

// How the server misbehaves for a path.
enum class Fault {
  None,
  NeverAnswer,  // reads the request, then holds the connection without a byte
  Trickle,      // sends the headers, then the body a byte at a time, slowly
  CutShort,     // announces the whole body, sends half of it and closes
  Endless,      // no length announced; the body again and again until the client hangs up
  Drip,         // announces a large body (4 MiB) and sends it steadily, well above any least speed, for ever
};

struct CannedReply {
  // Tables name only the fields they need; the rest stay empty.
  CannedReply(int status = 200, std::string body = {}, std::string location = {}, std::string authorization = {},
              Fault fault = Fault::None)
      : status(status),
        body(std::move(body)),
        location(std::move(location)),
        authorization(std::move(authorization)),
        fault(fault) {}
  int status = 200;
  std::string body;
  std::string location;       // a Location header (redirects)
  std::string authorization;  // when set, any other Authorization gets 401
  Fault fault = Fault::None;
};

class LocalServer {
 public:
  LocalServer();
  ~LocalServer();
  LocalServer(const LocalServer&) = delete;
  LocalServer& operator=(const LocalServer&) = delete;

  int port() const { return port_; }
  std::string address() const { return "http://127.0.0.1:" + std::to_string(port_); }

  // The reply for a path (with its query, if any; else the path alone).
  void reply(const std::string& path, CannedReply r);
  void reply(const std::string& path, std::string body) { reply(path, CannedReply{200, std::move(body)}); }

  std::vector<ServedRequest> requests() const;
  // Requests to a path (query left off).
  std::vector<ServedRequest> requestsTo(const std::string& path) const;

 private:
  void run();
  void serve(int client);

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::map<std::string, CannedReply> replies_;
  std::vector<ServedRequest> requests_;
  std::thread thread_;
};

// A port on 127.0.0.1 that refuses connections (bound, never listening).
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  int port() const { return port_; }

 private:
  int socket_ = -1;
  int port_ = 0;
};

}  // namespace pellary::testing
