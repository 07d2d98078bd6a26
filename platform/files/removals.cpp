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
constexpr size_t kBatch = 32;

class Remover;
Remover& remover();

class Remover {
 public:
  Remover() {
    // No worker may hold the lock across a fork, or a child could never take it.
    // The child then starts from fresh state: the parent's condition variables
    // may count waiters that do not exist in the child, so a notify there could
    // go to nobody and the child would wait for ever.
    ::pthread_atfork([] { remover().s_->m.lock(); }, [] { remover().s_->m.unlock(); }, [] { remover().forked(); });
  }
  ~Remover() {
    if (workers_ == nullptr) return;
    {
      std::lock_guard<std::mutex> lock(s_->m);
      s_->stopping = true;
    }
    s_->more.notify_all();
    for (std::thread& t : *workers_) t.join();
    delete workers_;
  }

  void add(SharedDirFd dir, std::string name) {
    bool wake = false;
    {
      std::lock_guard<std::mutex> lock(s_->m);
      start();
      s_->queue.emplace_back(std::move(dir), std::move(name));
      ++s_->pending;
      // Woken for a batch, not for each name: a wake-up costs more than an
      // unlink. A worker takes every name queued before it waits again.
      wake = s_->queue.size() % kBatch == 0;
    }
    if (wake) s_->more.notify_one();
  }

  void finish() {
    std::unique_lock<std::mutex> lock(s_->m);
    if (s_->pending == 0) return;
    s_->more.notify_all();
    s_->done.wait(lock, [&] { return s_->pending == 0; });
  }

 private:
  struct State {
    std::mutex m;
    std::condition_variable more, done;
    std::deque<std::pair<SharedDirFd, std::string>> queue;
    size_t pending = 0;
    bool stopping = false;
  };

  // In the child, with the parent's state locked by the forking thread. The
  // parent's state, threads and queue are left alone, never joined or freed.
  void forked() {
    s_->m.unlock();
    s_ = new State;
    workers_ = nullptr;
  }

  // Called with the lock held.
  void start() {
    if (workers_ != nullptr) return;
    workers_ = new std::vector<std::thread>;
    for (int i = 0; i < kWorkers; ++i) workers_->emplace_back([s = s_] { work(*s); });
  }

  static void work(State& s) {
    std::unique_lock<std::mutex> lock(s.m);
    for (;;) {
      s.more.wait(lock, [&] { return s.stopping || !s.queue.empty(); });
      if (s.queue.empty()) return;
      auto [dir, name] = std::move(s.queue.front());
      s.queue.pop_front();
      lock.unlock();
      ::unlinkat(*dir, name.c_str(), 0);  // gone already is as good
      dir.reset();
      lock.lock();
      if (--s.pending == 0) s.done.notify_all();
    }
  }

  State* s_ = new State;
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
