#include "core/idindex.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/errors.h"

namespace pellary {
namespace {

TEST(DigitTrie, EmptyIndexHoldsNothing) {
  DigitTrieIndex index;
  for (int32_t key : {0, 1, 99, 100, 123456, 2147483647, -1}) EXPECT_EQ(index.get(key), 0);
  EXPECT_EQ(index.rootUpperBound(), -1);
}

TEST(DigitTrie, DigitsOfAKey) {
  auto d = DigitTrieIndex::digitsOf(1234567);
  EXPECT_EQ(d.d1, 12);
  EXPECT_EQ(d.d2, 3);
  EXPECT_EQ(d.d3, 45);
  EXPECT_EQ(d.d4, 67);
  d = DigitTrieIndex::digitsOf(2147483647);
  EXPECT_EQ(d.d1, 21474);
  EXPECT_EQ(d.d2, 8);
  EXPECT_EQ(d.d3, 36);
  EXPECT_EQ(d.d4, 47);
}

TEST(DigitTrie, NeighboursAcrossEveryLevelStayApart) {
  DigitTrieIndex index;
  const int32_t keys[] = {0, 1, 99, 100, 9999, 10000, 99999, 100000, 2147483646, 2147483647};
  for (int32_t k : keys) index.add(k, k % 1000 + 7);
  for (int32_t k : keys) EXPECT_EQ(index.get(k), k % 1000 + 7) << k;
  for (int32_t k : {2, 98, 101, 9998, 10001, 99998, 100001, 2147483645}) EXPECT_EQ(index.get(k), 0) << k;
  auto d0 = DigitTrieIndex::digitsOf(0);
  EXPECT_EQ(d0.d1 + d0.d2 + d0.d3 + d0.d4, 0);
}

TEST(DigitTrie, SevenDigitKeyGrowsEachArrayOnePastItsDigit) {
  DigitTrieIndex index;
  index.add(1234567, 5);
  EXPECT_EQ(index.rootUpperBound(), 13);
  EXPECT_EQ(index.childUpperBound(12), 4);
  EXPECT_EQ(index.leafUpperBound(12, 3), 46);
  // The other entries the growth made are empty nodes.
  EXPECT_EQ(index.childUpperBound(11), -1);
  EXPECT_EQ(index.childUpperBound(13), -1);
  EXPECT_EQ(index.leafUpperBound(12, 4), -1);
  EXPECT_EQ(index.get(1234567), 5);
  EXPECT_EQ(index.get(1234566), 0);
  for (int32_t k : {1100000, 1134567, 1199999}) EXPECT_EQ(index.get(k), 0);
}

TEST(DigitTrie, AnArrayEndingAtTheDigitStillGrowsByOne) {
  DigitTrieIndex index;
  index.add(1234567, 5);  // root 0..13
  index.add(1300000, 6);  // digit 13 equals the upper bound: grows to 14
  EXPECT_EQ(index.rootUpperBound(), 14);
  index.add(1100000, 7);  // digit 11 below the bound: no growth
  EXPECT_EQ(index.rootUpperBound(), 14);
  // Growth follows only a failed store: leaf 46 exists, so its array keeps bound 46.
  index.add(1234667, 8);
  EXPECT_EQ(index.leafUpperBound(12, 3), 46);
  // A missing level-2 node under root 13 grows root[13]'s array one past digit 0.
  EXPECT_EQ(index.childUpperBound(13), 1);
  EXPECT_EQ(index.get(1234567), 5);
  EXPECT_EQ(index.get(1300000), 6);
  EXPECT_EQ(index.get(1100000), 7);
  EXPECT_EQ(index.get(1234667), 8);
}

TEST(DigitTrie, AddReplacesAndClearEmpties) {
  DigitTrieIndex index;
  index.add(42, 1);
  index.add(42, 9);
  EXPECT_EQ(index.get(42), 9);
  index.clear();
  EXPECT_EQ(index.get(42), 0);
  EXPECT_EQ(index.rootUpperBound(), -1);
  index.add(42, 3);
  EXPECT_EQ(index.get(42), 3);
}

TEST(DigitTrie, NegativeKeys) {
  DigitTrieIndex index;
  index.add(5, 1);
  for (int32_t k : {-1, -5, -100000, int32_t(-2147483647 - 1)}) {
    EXPECT_EQ(index.get(k), 0);
    try {
      index.add(k, 1);
      ADD_FAILURE() << k;
    } catch (const AppError& e) {
      EXPECT_EQ(e.number(), err::InvalidCall);
    }
  }
  EXPECT_EQ(index.get(5), 1);
  index.ensureCapacity(-1, -1, -1);  // passed over
  EXPECT_EQ(index.rootUpperBound(), 1);
}

class IdIndexes : public ::testing::Test {
 protected:
  void SetUp() override { resetIdIndexes(); }
  void TearDown() override { resetIdIndexes(); }
};

TEST_F(IdIndexes, FourSeparateInstancesWithTheirOwnArgumentOrder) {
  Bsda_AddToCatIndex(1, 500);         // value, key
  Bsda_AddToEventIndex(2, 500);       // value, key
  Bsda_AddCUEEventIDIndex(500, 3);    // key, value
  Bsda_AddCatTimeStampIndex(4, 500);  // value, key
  EXPECT_EQ(Bsda_GetCatIDIndex(500), 1);
  EXPECT_EQ(Bsda_GetEventIDIndex(500), 2);
  EXPECT_EQ(Bsda_GetCUEEventIDIndex(500), 3);
  EXPECT_EQ(Bsda_GetCatTimeStampIndex(500), 4);
  EXPECT_EQ(Bsda_GetCUEEventIDIndex(3), 0);
  EXPECT_EQ(Bsda_GetCatIDIndex(1), 0);

  Bsda_ClearCUEEventIDIndex();
  Bsda_ClearCatTimeStampIndex();
  EXPECT_EQ(Bsda_GetCUEEventIDIndex(500), 0);
  EXPECT_EQ(Bsda_GetCatTimeStampIndex(500), 0);
  EXPECT_EQ(Bsda_Indexes().Bcue_CUEEventIDIndex.rootUpperBound(), -1);
  EXPECT_EQ(Bsda_GetCatIDIndex(500), 1);
  EXPECT_EQ(Bsda_GetEventIDIndex(500), 2);
}

TEST_F(IdIndexes, CapacityRoutinesGrowTheirOwnInstance) {
  Bsda_EnsureCUEEventIDCapacity(12, 3, 45);
  EXPECT_EQ(Bsda_Indexes().Bcue_CUEEventIDIndex.leafUpperBound(12, 3), 46);
  EXPECT_EQ(Bsda_Indexes().Bsda_CatIndex.rootUpperBound(), -1);
  EXPECT_EQ(Bsda_GetCUEEventIDIndex(1234567), 0);
}

TEST_F(IdIndexes, NegativeKeyIsReportedUnderTheOperationsName) {
  std::string location;
  long number = 0;
  setReportHandler([&](long n, std::string_view where, std::string_view) {
    number = n;
    location = std::string(where);
  });
  struct Case {
    const char* location;
    std::function<void()> call;
  } cases[] = {
      {"Bsda_AddToCatIndex", [] { Bsda_AddToCatIndex(1, -1); }},
      {"Bsda_AddToEventIndex", [] { Bsda_AddToEventIndex(1, -1); }},
      {"Bsda_AddCUEEventIDIndex", [] { Bsda_AddCUEEventIDIndex(-1, 1); }},
      {"Bsda_AddCatTimeStampIndex", [] { Bsda_AddCatTimeStampIndex(1, -1); }},
  };
  for (const Case& c : cases) {
    EXPECT_THROW(c.call(), ProgramEnded);
    EXPECT_EQ(location, c.location);
    EXPECT_EQ(number, err::InvalidCall);
  }
  setReportHandler({});
  EXPECT_EQ(Bsda_GetCatIDIndex(-1), 0);
  EXPECT_EQ(Bsda_GetEventIDIndex(-1), 0);
  EXPECT_EQ(Bsda_GetCUEEventIDIndex(-1), 0);
  EXPECT_EQ(Bsda_GetCatTimeStampIndex(-1), 0);
}

}  // namespace
}  // namespace pellary
