// The dictionaries' hash map: against std::map on random inserts, replaces
// and removals (removal shifts later entries back, and every key must stay
// reachable wherever its probe run wraps around the table), keys told apart
// by a single byte, and the hash of the keys.
#include "runtime/dict_map.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>

#include "runtime/value.h"

namespace veltro {
namespace {

TEST(DictMap, AgreesWithAnOrderedMapUnderInsertsAndRemovals) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 20; ++round) {
    BasicDictMap<int> map;
    std::map<std::string, int> model;
    // Few distinct keys, so that removals often hit and runs collide.
    const int keys = 4 + round * 8;
    for (int step = 0; step < 3000; ++step) {
      std::string key = "k" + std::to_string(rng() % keys);
      std::size_t hash = hash_key(key);
      if (rng() % 3 == 0) {
        EXPECT_EQ(map.erase(key, hash), model.erase(key) == 1) << key;
      } else {
        int value = static_cast<int>(rng() % 1000);
        if (step % 2 == 0) {
          map.insert_or_assign(key, hash, value);
        } else {
          map.insert_or_assign(std::string(key), value);
        }
        model[key] = value;
      }
      ASSERT_EQ(map.size(), model.size());
    }
    std::map<std::string, int> seen;
    for (const auto& entry : map) seen.emplace(entry.first, entry.second);
    EXPECT_EQ(seen, model);
    const BasicDictMap<int>& reading = map;
    for (int k = 0; k < keys; ++k) {
      std::string key = "k" + std::to_string(k);
      auto it = reading.find(key);
      bool found = !(it == reading.end());
      EXPECT_EQ(found, model.count(key) == 1) << key;
      if (found) {
        EXPECT_EQ(it->second, model[key]) << key;
      }
    }
  }
}

TEST(DictMap, RemovingFromAnEmptyMapFindsNothing) {
  BasicDictMap<int> map;
  EXPECT_FALSE(map.erase("a", hash_key("a")));
  map.insert_or_assign("a", hash_key("a"), 1);
  EXPECT_TRUE(map.erase("a", hash_key("a")));
  EXPECT_FALSE(map.erase("a", hash_key("a")));
  EXPECT_TRUE(map.empty());
  EXPECT_TRUE(map.begin() == map.end());
}

// Keys that differ in one byte only, at every position and for every length
// around the word sizes the lookup compares in, are told apart.
TEST(DictMap, KeysDifferingInOneByteAreDistinct) {
  for (std::size_t length = 0; length <= 40; ++length) {
    DictMap built;
    const DictMap& map = built;
    std::string base(length, 'k');
    auto other = [&](std::size_t i) {
      std::string key = base;
      key[i] = static_cast<char>('a' + i % 10);  // never the base's 'k'
      return key;
    };
    built.insert_or_assign(base, Value::number(-1));
    for (std::size_t i = 0; i < length; ++i) {
      built.insert_or_assign(other(i), Value::number(static_cast<std::int64_t>(i)));
    }
    ASSERT_EQ(map.size(), length + 1) << "length " << length;
    EXPECT_EQ(map.find(base)->second.as_number(), -1);
    for (std::size_t i = 0; i < length; ++i) {
      auto it = map.find(other(i));
      ASSERT_NE(it, map.end());
      EXPECT_EQ(it->second.as_number(), static_cast<std::int64_t>(i)) << "length " << length << " at " << i;
    }
    EXPECT_EQ(map.find(base + "x"), map.end());
    if (length > 0) {
      EXPECT_EQ(map.find(base.substr(1)), map.end());
    }
  }
}

// Every byte of a key and its length count: keys differing in one byte, or
// only by trailing zero bytes, hash apart, and the low bits a table indexes
// by spread sequential keys.
TEST(DictMap, KeyHashesUseEveryByteAndSpread) {
  std::set<std::size_t> hashes;
  std::size_t keys = 0;
  for (std::size_t length = 0; length <= 24; ++length) {
    std::string base(length, '\0');
    hashes.insert(hash_key(base));
    ++keys;
    for (std::size_t i = 0; i < length; ++i) {
      for (unsigned bit = 0; bit < 8; ++bit) {
        std::string other = base;
        other[i] = static_cast<char>(1u << bit);
        hashes.insert(hash_key(other));
        ++keys;
      }
    }
  }
  EXPECT_EQ(hashes.size(), keys);
  std::set<std::size_t> buckets;
  for (int i = 0; i < 1024; ++i) buckets.insert(hash_key("key" + std::to_string(i)) & 1023);
  EXPECT_GT(buckets.size(), 550u);  // about 1024 * (1 - 1/e) = 647 for a uniform hash
}

}  // namespace
}  // namespace veltro
