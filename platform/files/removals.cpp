#include "platform/files/removals.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace pellary::platform::files {

namespace {

constexpr int kWorkers = 4;

class Remover;
Remover& remover();

class Remover {
 public:
  Remover() {
    // No worker may hold the lock across a fork, or a child could never take it.
    ::pthread_atfork([] { remover().m_.lock(); }, [] { remover().m_.unlock(); }, [] { remover().m_.unlock(); });
  }
  ~Remover() {
    if (owner_ != ::getpid()) return;  // a forked child has none of the parent's threads
    {
      std::lock_guard<std::mutex> lock(m_);
      stopping_ = true;
    }
    more_.notify_all();
    for (std::thread& t : *workers_) t.join();
    delete workers_;
  }

  void add(SharedDirFd dir, std::string name) {
    {
      std::lock_guard<std::mutex> lock(m_);
      start();
      queue_.emplace_back(std::move(dir), std::move(name));
      ++pending_;
    }
    more_.notify_one();
  }

  void finish() {
    std::unique_lock<std::mutex> lock(m_);
    if (owner_ != ::getpid()) return;
    done_.wait(lock, [&] { return pending_ == 0; });
  }

 private:
  // Called with m_ held.
  void start() {
    if (owner_ == ::getpid()) return;
    // First use, or first in a forked child: the parent's threads and queue
    // are not here. Their objects are left alone, never joined.
    owner_ = ::getpid();
    workers_ = new std::vector<std::thread>;
    queue_.clear();
    pending_ = 0;
    for (int i = 0; i < kWorkers; ++i) workers_->emplace_back([this] { work(); });
  }

  void work() {
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
      more_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      auto [dir, name] = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      ::unlinkat(*dir, name.c_str(), 0);  // gone already is as good
      dir.reset();
      lock.lock();
      if (--pending_ == 0) done_.notify_all();
    }
  }

  std::mutex m_;
  std::condition_variable more_, done_;
  std::deque<std::pair<SharedDirFd, std::string>> queue_;
  size_t pending_ = 0;
  bool stopping_ = false;
  pid_t owner_ = 0;
  std::vector<std::thread>* workers_ = nullptr;
};

Remover& remover() {
  static Remover r;
  return r;
}

}  // namespace

SharedDirFd shareDir(int dirfd) {
  const int fd = ::fcntl(dirfd, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  return SharedDirFd(new int(fd), [](const int* p) {
    ::close(*p);
    delete p;
  });
}

void removeLater(const SharedDirFd& dir, std::string name) { remover().add(dir, std::move(name)); }

void finishRemovals() { remover().finish(); }

}  // namespace pellary::platform::files
