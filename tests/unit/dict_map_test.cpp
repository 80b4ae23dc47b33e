// The dictionaries' hash map against std::map on random inserts, replaces
// and removals: removal shifts later entries back, and every key must stay
// reachable wherever its probe run wraps around the table.
#include "runtime/dict_map.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

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

}  // namespace
}  // namespace veltro
