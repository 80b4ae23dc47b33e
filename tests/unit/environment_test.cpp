#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "interpreter/environment.h"

namespace veltro {
namespace {

// An environment whose scopes nest like calls: each push_scope enters one,
// pop_scope leaves the innermost.
class ScopedEnvironment : public Environment {
 public:
  void push_scope() { marks_.push_back(enter_scope()); }
  void pop_scope() {
    leave_scope(marks_.back());
    marks_.pop_back();
  }

 private:
  std::vector<Mark> marks_;
};

// The textbook model: a stack of scope maps searched innermost-first, then the globals.
struct ReferenceEnvironment {
  std::vector<std::map<Symbol, std::int64_t>> scopes;
  std::map<Symbol, std::int64_t> globals;
  std::set<Symbol> global_names;

  void define(Symbol s, std::int64_t v) {
    if (global_names.count(s) || scopes.empty()) {
      globals[s] = v;
    } else {
      scopes.back()[s] = v;
    }
  }
  std::optional<std::int64_t> lookup(Symbol s) const {
    for (auto it = scopes.rbegin(); it != scopes.rend(); ++it) {
      if (auto f = it->find(s); f != it->end()) return f->second;
    }
    if (auto f = globals.find(s); f != globals.end()) return f->second;
    return std::nullopt;
  }
};

TEST(Environment, AgreesWithTheScopeStackModel) {
  std::vector<Symbol> names;
  for (int i = 0; i < 6; ++i) names.push_back(intern("env_test_" + std::to_string(i)));
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    ScopedEnvironment env;
    ReferenceEnvironment model;
    for (int step = 0; step < 400; ++step) {
      Symbol s = names[rng() % names.size()];
      switch (rng() % 8) {
        case 0:
          env.push_scope();
          model.scopes.emplace_back();
          break;
        case 1:
          if (!model.scopes.empty()) {
            env.pop_scope();
            model.scopes.pop_back();
          }
          break;
        case 2:
          if (rng() % 4 == 0) {
            env.declare_global(s);
            model.global_names.insert(s);
          }
          break;
        case 3: {
          // bind_parameters with possibly repeated names and a count mismatch.
          env.push_scope();
          model.scopes.emplace_back();
          std::vector<Symbol> params;
          std::vector<Value> args;
          for (std::size_t i = rng() % 4; i > 0; --i) params.push_back(names[rng() % names.size()]);
          for (std::size_t i = rng() % 4; i > 0; --i) args.push_back(Value::number(step * 10 + static_cast<int>(i)));
          // Distinct names take the path that skips the repeated-name check.
          std::vector<Symbol> sorted = params;
          std::sort(sorted.begin(), sorted.end());
          bool distinct = std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
          if (rng() % 2 == 0) {
            env.bind_parameters(params, std::span<const Value>(args), distinct);
          } else {
            std::vector<Value> taken = args;
            env.bind_parameters(params, std::span<Value>(taken), distinct);
          }
          for (std::size_t i = 0; i < std::min(params.size(), args.size()); ++i) {
            model.define(params[i], args[i].as_number());
          }
          break;
        }
        default: {
          std::int64_t v = step;
          env.define(s, Value::number(v));
          model.define(s, v);
        }
      }
      for (Symbol n : names) {
        const Value* got = env.find(n);
        auto want = model.lookup(n);
        ASSERT_EQ(got != nullptr, want.has_value());
        if (got) {
          ASSERT_EQ(got->as_number(), *want);
        }
      }
      ASSERT_EQ(env.depth(), model.scopes.size());
    }
  }
}

// Scopes nested deep enough for their bindings to span several chunks of
// the binding stack, left and entered again.
TEST(Environment, DeepScopesSpanningChunksUnwindExactly) {
  Symbol a = intern("env_deep_a");
  Symbol b = intern("env_deep_b");
  ScopedEnvironment env;
  env.define(a, Value::number(-1));
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<Environment::Mark> marks;
    for (int level = 0; level < 700; ++level) {
      marks.push_back(env.enter_scope());
      env.bind_parameters({a}, std::span<const Value>(std::vector<Value>{Value::number(level)}), true);
      if (level % 3 == 0) env.define(b, Value::number(level * 10));
    }
    for (int level = 699; level >= 0; --level) {
      ASSERT_EQ(env.find(a)->as_number(), level);
      ASSERT_EQ(env.find(b)->as_number(), level / 3 * 30);
      env.leave_scope(marks.back());
      marks.pop_back();
    }
    EXPECT_EQ(env.find(a)->as_number(), -1);
    EXPECT_EQ(env.find(b), nullptr);
    EXPECT_EQ(env.depth(), 0u);
  }
}

TEST(Environment, DefineTargetIsOnlyExposedWhenItIsTheVisibleBinding) {
  Symbol x = intern("env_target_x");
  ScopedEnvironment env;
  env.define(x, Value::number(1));
  ASSERT_NE(env.define_target_if_visible(x), nullptr);
  env.push_scope();
  // Inside a call, an assignment would create a new local: the global is not the target.
  EXPECT_EQ(env.define_target_if_visible(x), nullptr);
  env.define(x, Value::number(2));
  ASSERT_NE(env.define_target_if_visible(x), nullptr);
  EXPECT_EQ(env.define_target_if_visible(x)->as_number(), 2);
  env.push_scope();
  env.declare_global(x);
  // Declared global, but a caller's local shadows the global for lookup.
  EXPECT_EQ(env.define_target_if_visible(x), nullptr);
  env.pop_scope();
  env.pop_scope();
  EXPECT_EQ(env.find(x)->as_number(), 1);
}

}  // namespace
}  // namespace veltro
