#include "update/protocol/local_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace pellary::testing {

namespace {
constexpr int kMaxRequests = 500;
constexpr auto kMaxLife = std::chrono::minutes(5);

int boundSocket(int& port) {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) throw std::runtime_error("socket");
  int one = 1;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) throw std::runtime_error("bind");
  socklen_t len = sizeof addr;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  return s;
}

std::string lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}
}  // namespace

LocalServer::LocalServer() {
  listener_ = boundSocket(port_);
  ::listen(listener_, 16);
  thread_ = std::thread([this] { run(); });
}

LocalServer::~LocalServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  ::close(listener_);
}

void LocalServer::reply(const std::string& path, CannedReply r) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_[path] = std::move(r);
}

std::vector<ServedRequest> LocalServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::vector<ServedRequest> LocalServer::requestsTo(const std::string& path) const {
  std::vector<ServedRequest> out;
  for (const auto& r : requests())
    if (r.path.substr(0, r.path.find('?')) == path) out.push_back(r);
  return out;
}

void LocalServer::run() {
  const auto deadline = std::chrono::steady_clock::now() + kMaxLife;
  int served = 0;
  while (!stop_ && served < kMaxRequests && std::chrono::steady_clock::now() < deadline) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    int client = ::accept(listener_, nullptr, nullptr);
    if (client < 0) continue;
    serve(client);
    ::close(client);
    ++served;
  }
}

void LocalServer::serve(int client) {
  std::string data;
  char buffer[8192];
  size_t headerEnd = std::string::npos;
  auto readMore = [&] {
    pollfd p{client, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0) return false;
    ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    data.append(buffer, size_t(n));
    return true;
  };
  while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos)
    if (!readMore() || data.size() > 1 << 20) return;
  ServedRequest req;
  std::string head = data.substr(0, headerEnd);
  size_t lineEnd = head.find("\r\n");
  std::string requestLine = head.substr(0, lineEnd);
  size_t sp1 = requestLine.find(' '), sp2 = requestLine.rfind(' ');
  req.method = requestLine.substr(0, sp1);
  req.target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
  size_t contentLength = 0;
  size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
  while (pos < head.size()) {
    size_t end = head.find("\r\n", pos);
    if (end == std::string::npos) end = head.size();
    std::string line = head.substr(pos, end - pos);
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
      std::string name = lower(line.substr(0, colon));
      std::string value = line.substr(colon + 1);
      value.erase(0, value.find_first_not_of(' '));
      if (name == "content-length") contentLength = std::stoul(value);
      if (name == "authorization") req.authorization = value;
      if (name == "host") req.host = value;
    }
    pos = end + 2;
  }
  while (data.size() < headerEnd + 4 + contentLength)
    if (!readMore()) break;
  req.body = data.substr(headerEnd + 4, contentLength);
  req.path = req.target;
  if (req.path.rfind("http://", 0) == 0) {
    req.viaProxy = true;
    size_t slash = req.path.find('/', 7);
    req.path = slash == std::string::npos ? "/" : req.path.substr(slash);
  }
  CannedReply r{404, "not here"};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(req);
    auto it = replies_.find(req.path);
    if (it == replies_.end()) it = replies_.find(req.path.substr(0, req.path.find('?')));
    if (it != replies_.end()) r = it->second;
  }
  if (!r.authorization.empty() && req.authorization != r.authorization) r = CannedReply{401, "who are you?"};
  if (r.fault == Fault::NeverAnswer) {
    // Until the client gives up (or the server stops).
    while (!stop_) {
      pollfd p{client, POLLIN, 0};
      if (::poll(&p, 1, 50) > 0 && ::recv(client, buffer, sizeof buffer, 0) <= 0) return;
    }
    return;
  }
  std::string answer = "HTTP/1.1 " + std::to_string(r.status) + (r.status < 400 ? " OK" : " Error") +
                       "\r\nContent-Length: " + std::to_string(r.body.size()) +
                       (r.location.empty() ? "" : "\r\nLocation: " + r.location) +
                       (r.status == 401 ? "\r\nWWW-Authenticate: Basic realm=\"update\"" : "") +
                       "\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n";
  auto sendAll = [&](const std::string& out) {
    size_t sent = 0;
    while (sent < out.size()) {
      ssize_t n = ::send(client, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += size_t(n);
    }
    return true;
  };
  if (r.fault == Fault::Trickle) {
    if (!sendAll(answer)) return;
    for (char c : r.body) {
      if (stop_ || !sendAll(std::string(1, c))) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
    }
    return;
  }
  if (r.fault == Fault::Drip) {
    std::string head = answer;
    // Under the cap of a script's reply, so that only time can end it.
    const std::string announced = "Content-Length: " + std::to_string(size_t(4) << 20);
    head.replace(head.find("Content-Length: "),
                 head.find("\r\n", head.find("Content-Length: ")) - head.find("Content-Length: "), announced);
    if (!sendAll(head)) return;
    const std::string piece(64, 'x');
    while (!stop_) {
      if (!sendAll(piece)) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return;
  }
  if (r.fault == Fault::CutShort) {
    sendAll(answer + r.body.substr(0, r.body.size() / 2));
    return;
  }
  if (r.fault == Fault::Endless) {
    if (!sendAll("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n")) return;
    const std::string block = r.body.empty() ? std::string(65536, 'x') : r.body;
    while (!stop_ && sendAll(block)) {
    }
    return;
  }
  sendAll(answer + r.body);
}

RefusingPort::RefusingPort() { socket_ = boundSocket(port_); }
RefusingPort::~RefusingPort() { ::close(socket_); }

}  // namespace pellary::testing
