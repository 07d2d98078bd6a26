#include "core/idindex.h"

#include <new>

#include "platform/errors.h"

namespace pellary {

namespace {

// Grows an array whose upper bound (0 when not allocated) is at most digit to
// bound digit + 1; the bound of an unallocated array counts as 0 so that the
// first growth also ends one past the digit.
template <class Vec>
void growTo(Vec& v, int16_t digit) {
  if (digit < 0) return;
  size_t upper = v.empty() ? 0 : v.size() - 1;
  if (upper <= size_t(digit)) v.resize(size_t(digit) + 2);
}

template <class Step>
void passingOver(Step&& step) {
  try {
    step();
  } catch (const std::bad_alloc&) {
  }
}

}  // namespace

DigitTrieIndex::Digits DigitTrieIndex::digitsOf(int32_t key) {
  return Digits{int16_t(key / 100000), int16_t(key % 100000 / 10000), int16_t(key % 10000 / 100), int16_t(key % 100)};
}

int32_t* DigitTrieIndex::slot(const Digits& d) {
  return const_cast<int32_t*>(static_cast<const DigitTrieIndex*>(this)->slot(d));
}

const int32_t* DigitTrieIndex::slot(const Digits& d) const {
  if (d.d1 < 0 || size_t(d.d1) >= root_.size()) return nullptr;
  const Level1& l1 = root_[size_t(d.d1)];
  if (d.d2 < 0 || size_t(d.d2) >= l1.children.size()) return nullptr;
  const Level2& l2 = l1.children[size_t(d.d2)];
  if (d.d3 < 0 || size_t(d.d3) >= l2.leaves.size()) return nullptr;
  if (d.d4 < 0 || d.d4 >= 100) return nullptr;
  return &l2.leaves[size_t(d.d3)][size_t(d.d4)];
}

void DigitTrieIndex::add(int32_t key, int32_t value) {
  if (key < 0) raise(err::InvalidCall);
  const Digits d = digitsOf(key);
  for (int attempt = 0;; ++attempt) {
    if (int32_t* p = slot(d)) {
      *p = value;
      return;
    }
    // One growth makes the whole path; a second miss means memory ran out.
    if (attempt > 0) raise(err::OutOfMemory);
    ensureCapacity(d.d1, d.d2, d.d3);
  }
}

int32_t DigitTrieIndex::get(int32_t key) const {
  if (key < 0) return 0;
  const int32_t* p = slot(digitsOf(key));
  return p ? *p : 0;
}

void DigitTrieIndex::clear() { root_ = {}; }

void DigitTrieIndex::ensureCapacity(int16_t d1, int16_t d2, int16_t d3) {
  // Each step runs even when an earlier one could not.
  passingOver([&] { growTo(root_, d1); });
  passingOver([&] {
    if (d1 >= 0 && size_t(d1) < root_.size()) growTo(root_[size_t(d1)].children, d2);
  });
  passingOver([&] {
    if (d1 < 0 || size_t(d1) >= root_.size()) return;
    auto& children = root_[size_t(d1)].children;
    if (d2 >= 0 && size_t(d2) < children.size()) growTo(children[size_t(d2)].leaves, d3);
  });
}

int32_t DigitTrieIndex::rootUpperBound() const { return int32_t(root_.size()) - 1; }

int32_t DigitTrieIndex::childUpperBound(int16_t d1) const {
  if (d1 < 0 || size_t(d1) >= root_.size()) return -1;
  return int32_t(root_[size_t(d1)].children.size()) - 1;
}

int32_t DigitTrieIndex::leafUpperBound(int16_t d1, int16_t d2) const {
  if (childUpperBound(d1) < d2 || d2 < 0) return -1;
  return int32_t(root_[size_t(d1)].children[size_t(d2)].leaves.size()) - 1;
}

IdIndexes& Bsda_Indexes() {
  static IdIndexes indexes;
  return indexes;
}

void resetIdIndexes() { Bsda_Indexes() = IdIndexes{}; }

void Bsda_AddToCatIndex(int32_t value, int32_t key) {
  trapped("Bsda_AddToCatIndex", [&] { Bsda_Indexes().Bsda_CatIndex.add(key, value); });
}

int32_t Bsda_GetCatIDIndex(int32_t key) {
  return trapped("Bsda_GetCatIDIndex", [&] { return Bsda_Indexes().Bsda_CatIndex.get(key); });
}

void Bsda_AddToEventIndex(int32_t value, int32_t key) {
  trapped("Bsda_AddToEventIndex", [&] { Bsda_Indexes().Bsda_EventIndex.add(key, value); });
}

int32_t Bsda_GetEventIDIndex(int32_t key) {
  return trapped("Bsda_GetEventIDIndex", [&] { return Bsda_Indexes().Bsda_EventIndex.get(key); });
}

void Bsda_AddCUEEventIDIndex(int32_t key, int32_t value) {
  trapped("Bsda_AddCUEEventIDIndex", [&] { Bsda_Indexes().Bcue_CUEEventIDIndex.add(key, value); });
}

int32_t Bsda_GetCUEEventIDIndex(int32_t key) {
  return trapped("Bsda_GetCUEEventIDIndex", [&] { return Bsda_Indexes().Bcue_CUEEventIDIndex.get(key); });
}

void Bsda_AddCatTimeStampIndex(int32_t value, int32_t key) {
  trapped("Bsda_AddCatTimeStampIndex", [&] { Bsda_Indexes().Bcue_CatTimeStampIndex.add(key, value); });
}

int32_t Bsda_GetCatTimeStampIndex(int32_t key) {
  return trapped("Bsda_GetCatTimeStampIndex", [&] { return Bsda_Indexes().Bcue_CatTimeStampIndex.get(key); });
}

void Bsda_ClearCUEEventIDIndex() { Bsda_Indexes().Bcue_CUEEventIDIndex.clear(); }
void Bsda_ClearCatTimeStampIndex() { Bsda_Indexes().Bcue_CatTimeStampIndex.clear(); }

void Bsda_EnsureCatIndexCapacity(int16_t d1, int16_t d2, int16_t d3) {
  Bsda_Indexes().Bsda_CatIndex.ensureCapacity(d1, d2, d3);
}
void Bsda_EnsureEventIndexCapacity(int16_t d1, int16_t d2, int16_t d3) {
  Bsda_Indexes().Bsda_EventIndex.ensureCapacity(d1, d2, d3);
}
void Bsda_EnsureCUEEventIDCapacity(int16_t d1, int16_t d2, int16_t d3) {
  Bsda_Indexes().Bcue_CUEEventIDIndex.ensureCapacity(d1, d2, d3);
}
void Bsda_EnsureCatTimeStampCapacity(int16_t d1, int16_t d2, int16_t d3) {
  Bsda_Indexes().Bcue_CatTimeStampIndex.ensureCapacity(d1, d2, d3);
}

}  // namespace pellary
