// The benchmarks' large databank: two products of 2,500 categories each (the
// second one public holidays), 200,000 events over two years from 1 Jan 2026,
// every tenth event linked to a second category, a profile of 1,000 chosen
// categories with 40,000 written events, and 400 reference topics.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/dao/dao.h"

namespace pellary::bench {

inline constexpr int kCategories = 5000;
inline constexpr int kEvents = 200000;
inline constexpr int kChosen = 1000;
// Every fifth category is chosen, so a fifth of the events (40,000) are written.
inline constexpr int kWritten = 40000;
inline constexpr int kTopics = 400;

// Fills a new databank (schema included) in one transaction.
void buildDatabank(dao::Database& db);

// Adds `count` reference topics of a product (template 1 the root, ten
// children a topic), numbered from 1.
void addTopics(dao::Database& db, int product, int count);

// A benchmark's installation under root: PELLARY_HOME, PELLARY_SETTINGS and
// PELLARY_STANDINS in it, the settings of the two products, and the databank
// "bench.mdb" built; an error that would end the program ends the benchmark.
// Returns the seconds the databank took.
double installBench(const std::filesystem::path& root);

// Multi-row inserts in batches of 500.
class Inserter {
 public:
  Inserter(dao::Database& db, std::string head) : db_(db), head_(std::move(head)) {}
  ~Inserter() { flush(); }
  void row(const std::string& values);
  void flush();

 private:
  dao::Database& db_;
  std::string head_, sql_;
  int n_ = 0;
};

using Clock = std::chrono::steady_clock;
inline double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// "met" or "not met".
inline const char* verdict(bool met) { return met ? "met" : "not met"; }

// How a path grows: the seconds it took at each size (smallest first),
// printed per item, and the goal line on the ratio of the time per item at
// the largest size to that at the smallest (<= 1.5: linear).
void growth(const std::string& what, const std::vector<int>& sizes, const std::vector<double>& secs);

}  // namespace pellary::bench
