// Sparse indexes from a non-negative 32-bit ID to a 32-bit value, 0 meaning
// "not present": a four-level trie over the key's decimal digits,
//
//   root[key \ 100000].children[(key mod 100000) \ 10000]
//       .leaves[(key mod 10000) \ 100].slot[key mod 100]
//
// built from arrays that only grow. One leaf holds 100 values, so memory
// follows the range of IDs in use, in steps of whole leaves. A lookup is four
// array accesses with no search and no allocation.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace pellary {

class DigitTrieIndex {
 public:
  struct Digits {
    int16_t d1, d2, d3, d4;
  };
  static Digits digitsOf(int32_t key);

  // Stores value under key, replacing an earlier one, growing the path as
  // needed. A negative key raises InvalidCall (IDs are never negative).
  void add(int32_t key, int32_t value);
  // The value under key; 0 when absent, also for a negative key. Grows nothing.
  int32_t get(int32_t key) const;
  // Back to the empty index: the first level created anew, empty.
  void clear();

  // Makes the path of the three digits exist. An array whose upper bound is
  // less than or equal to its digit is grown to bound digit + 1, keeping its
  // contents, so after a growth it ends one entry past the digit.
  void ensureCapacity(int16_t d1, int16_t d2, int16_t d3);

  // Upper bounds of the arrays on a path; -1 when the array is not allocated
  // (or its parent entry does not exist).
  int32_t rootUpperBound() const;
  int32_t childUpperBound(int16_t d1) const;
  int32_t leafUpperBound(int16_t d1, int16_t d2) const;

 private:
  using Leaf = std::array<int32_t, 100>;
  struct Level2 {
    std::vector<Leaf> leaves;
  };
  struct Level1 {
    std::vector<Level2> children;
  };
  // Where key's value lives, or nullptr when the path is missing or short.
  int32_t* slot(const Digits& d);
  const int32_t* slot(const Digits& d) const;

  std::vector<Level1> root_;
};

// Module state: the four indexes.
struct IdIndexes {
  DigitTrieIndex Bsda_CatIndex;           // CatID -> position in the profile category list
  DigitTrieIndex Bsda_EventIndex;         // EventID -> position in the profile event list
  DigitTrieIndex Bcue_CUEEventIDIndex;    // EventID of an active Event row -> its Version
  DigitTrieIndex Bcue_CatTimeStampIndex;  // RefID of a profile reference -> its Product_Id
};
// The four ID indexes of the profile and the update engine.
IdIndexes& Bsda_Indexes();
// Empties all four (tests; the program never empties the profile indexes).
void resetIdIndexes();

// Mind the argument order: value first, except for the CUE event index.
void Bsda_AddToCatIndex(int32_t value, int32_t key);
int32_t Bsda_GetCatIDIndex(int32_t key);
void Bsda_AddToEventIndex(int32_t value, int32_t key);
int32_t Bsda_GetEventIDIndex(int32_t key);
void Bsda_AddCUEEventIDIndex(int32_t key, int32_t value);
int32_t Bsda_GetCUEEventIDIndex(int32_t key);
void Bsda_AddCatTimeStampIndex(int32_t value, int32_t key);
int32_t Bsda_GetCatTimeStampIndex(int32_t key);

void Bsda_ClearCUEEventIDIndex();
void Bsda_ClearCatTimeStampIndex();

// The capacity routines of the four instances; failures inside are passed over.
void Bsda_EnsureCatIndexCapacity(int16_t d1, int16_t d2, int16_t d3);
void Bsda_EnsureEventIndexCapacity(int16_t d1, int16_t d2, int16_t d3);
void Bsda_EnsureCUEEventIDCapacity(int16_t d1, int16_t d2, int16_t d3);
void Bsda_EnsureCatTimeStampCapacity(int16_t d1, int16_t d2, int16_t d3);

}  // namespace pellary
