// A call upwards that the room above may fill in: a window, a test's fake.
// Calling an empty hook does nothing (a non-void hook then gives a
// value-initialised result), so the callers never test it first.
#pragma once

#include <cstddef>
#include <functional>
#include <type_traits>
#include <utility>

namespace pellary {

template <class Sig>
class Hook;

template <class R, class... Args>
class Hook<R(Args...)> {
 public:
  Hook() = default;
  Hook(std::nullptr_t) {}
  template <class F>
  requires(!std::is_same_v<std::decay_t<F>, Hook> && std::is_invocable_r_v<R, F&, Args...>)
      // NOLINTNEXTLINE(bugprone-forwarding-reference-overload): the requires-clause keeps Hook itself out
      Hook(F&& f)
      : f_(std::forward<F>(f)) {}

  Hook& operator=(std::nullptr_t) {
    f_ = nullptr;
    return *this;
  }

  explicit operator bool() const { return static_cast<bool>(f_); }

  R operator()(Args... args) const {
    if (!f_) return R();
    return f_(std::forward<Args>(args)...);
  }

 private:
  std::function<R(Args...)> f_;
};

}  // namespace pellary
