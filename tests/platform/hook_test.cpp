#include "platform/hook.h"

#include <gtest/gtest.h>

#include <string>

namespace pellary {
namespace {

TEST(HookTest, AnEmptyHookDoesNothingAndGivesAnEmptyResult) {
  Hook<void(int)> tell;
  Hook<bool()> ask;
  Hook<std::string(const std::string&)> name;
  EXPECT_FALSE(tell);
  tell(3);
  EXPECT_FALSE(ask());
  EXPECT_EQ(name("x"), "");
}

TEST(HookTest, AFilledHookTakesItsArgumentsAsDeclaredUntilEmptiedAgain) {
  int seen = 0;
  Hook<void(int&)> bump = [&](int& n) { seen = ++n; };
  int value = 1;
  bump(value);
  EXPECT_EQ(value, 2);  // by reference, not a copy
  EXPECT_EQ(seen, 2);
  Hook<bool()> ask = [] { return true; };
  EXPECT_TRUE(ask);
  EXPECT_TRUE(ask());
  bump = nullptr;
  bump(value);
  EXPECT_EQ(value, 2);
  EXPECT_FALSE(bump);
}

}  // namespace
}  // namespace pellary
