#pragma once
// The instruction form the compiler produces and the loop runs: registers
// of one frame, a constant pool, and names that stay dynamically scoped (an
// operand naming a variable reads its visible binding through the
// environment's symbol slots).
//
// Operands: a register, a constant or a name, told apart by their top two
// bits (the typed forms hold bare indices: their opcode settles the kinds).
// A destination is a register, a name (the value is bound with `define`, as
// let and assignment bind) or none (the value is dropped).
// An instruction that fails leaves the Error value aside for the failure
// handler and goes to its `fail` target; a value that is an Error never
// sits in a register.
// Tried form: an arithmetic, comparison or element instruction with x set
// runs its quick path only; anything else (a failure, or the general rules)
// goes to @d at once, reporting nothing, where the code runs again in the
// usual way.
#include <cstdint>
#include <memory>
#include <vector>

#include "runtime/value.h"

namespace veltro {

using Operand = std::uint32_t;
inline constexpr Operand kRegister = 0u << 30;
inline constexpr Operand kConstant = 1u << 30;
inline constexpr Operand kName = 2u << 30;
inline constexpr Operand kNone = 3u << 30;
inline constexpr Operand kTagMask = 3u << 30;
inline constexpr Operand kIndexMask = ~kTagMask;

[[nodiscard]] constexpr Operand reg(std::uint32_t i) { return kRegister | i; }
[[nodiscard]] constexpr Operand constant(std::uint32_t i) { return kConstant | i; }
[[nodiscard]] constexpr Operand name(std::uint32_t symbol) { return kName | symbol; }
[[nodiscard]] constexpr Operand tag(Operand o) { return o & kTagMask; }
[[nodiscard]] constexpr std::uint32_t index(Operand o) { return o & kIndexMask; }

// One comment per instruction: what it does with its fields a, b, c, d and x.
// "op b" is an operand, "dest a" a destination, "@d" a jump target.
#define VELTRO_INSTRUCTIONS(X)                                                                      \
  /* dest a = operand b (fail @d: an unbound name, or a name holding an Error; typed forms:       \
     VELTRO_TYPED_MOVES) */                                                                        \
  X(Move)                                                                                            \
  /* name b is bound, to a value that is no Error (fail @d otherwise, as Move would) */            \
  X(Check)                                                                                           \
  /* dest a = b OP c under the operator rules; a failure is reported, @d */                        \
  X(Add) X(Subtract) X(Multiply) X(Divide) X(Remainder) X(Power)                                     \
  X(Equal) X(NotEqual) X(Less) X(Greater) X(LessEqual) X(GreaterEqual) X(And) X(Or)                  \
  /* if not (b CMP c) go to @a; a failure goes to @d (conditions of if and while) */              \
  X(TestEqual) X(TestNotEqual) X(TestLess) X(TestGreater) X(TestLessEqual) X(TestGreaterEqual)       \
  /* if b is falsy go to @a; @d on failure */                                                      \
  X(JumpIfNot)                                                                                       \
  /* dest a = not b, by truthiness */                                                              \
  X(Not)                                                                                             \
  /* dest a = -b; @d on failure */                                                                 \
  X(Negate)                                                                                          \
  /* writes the first trace line of the call node c (debug switch on) */                          \
  X(TraceCall)                                                                                       \
  /* dest a = call of node c with the arguments in registers b...; @d on failure */                \
  X(Call)                                                                                            \
  /* the same for a plain name that names no builtin (a user function, or a failure) */            \
  X(CallUser)                                                                                        \
  /* the same for a plain name that names a builtin */                                             \
  X(CallBuiltin)                                                                                     \
  /* the same for `name = f(name, ...)`, a the name: f may change its first argument in place */   \
  X(CallUpdate)                                                                                      \
  /* dest a = array of the c values in registers b... */                                           \
  X(Array)                                                                                           \
  /* dest a = dictionary of node c's keys and the values in registers b... */                      \
  X(Dict)                                                                                            \
  /* dest a = b[c]; @d on failure (typed forms: VELTRO_TYPED_ELEMENTS) */                        \
  X(Index)                                                                                           \
  /* dest a = b[c] as Index does, when the Index that follows reads a[e] (a chain b[c][e]): both   \
     elements, when they exist, are read at once into that Index's destination, and it is skipped */ \
  X(IndexChain)                                                                                      \
  /* dest a = name.member of node c, b the name's symbol (a module's export, or a dictionary      \
     entry); @d on failure */                                                                      \
  X(Member)                                                                                          \
  /* dest a = the array b..c; @d on failure (a failed bound is a value here) */                    \
  X(Range)                                                                                           \
  /* register a = the value bound to name b, or null */                                            \
  X(LoadOrNull)                                                                                      \
  /* name a = register b OP register c, x the operator (compound assignment) */                    \
  X(CompoundSet)                                                                                     \
  /* register a = the failure set aside, then go to @d */                                          \
  X(TakeError)                                                                                       \
  /* reports the failure set aside for the statement kind x (name b), then goes to @d, or to      \
     handler @c when Ctrl-C unwinds */                                                             \
  X(Fail)                                                                                            \
  /* go to @d */                                                                                     \
  X(Jump)                                                                                            \
  /* a loop's round ends: go to @d, or to the loop's handler @c when a signal or Ctrl-C waits */   \
  X(Loop)                                                                                            \
  /* a pending return, break or continue (or Ctrl-C) goes to handler @c */                         \
  X(CheckSignals)                                                                                    \
  /* a signal reached loop: break ends it (@a), continue goes on (@b), a return goes to @c */      \
  X(LoopHandler)                                                                                     \
  /* a loop has ended: a break still pending (left by a call, or from before it began) is spent */ \
  X(LoopEnd)                                                                                         \
  /* a signal reached try: an Error returned is caught into name b and goes to @a; else @c */      \
  X(TryHandler)                                                                                      \
  /* registers a, a+1 = the array of b and position 0; other values are reported and go to @d */   \
  X(ForPrepare)                                                                                      \
  /* binds name c to the next element of registers a, a+1, or goes to @d when there is none */     \
  X(ForNext)                                                                                         \
  /* registers a, a+1 = the bounds of the range b..c; a failure is reported and goes to @d */      \
  X(RangePrepare)                                                                                    \
  /* binds name c to the next number of the bounds in registers a, a+1, or goes to @d */           \
  X(RangeNext)                                                                                       \
  /* a round of a loop over an array (ForRound) or a range (RangeRound) ends: a signal or Ctrl-C    \
     waiting goes to the loop's handler @c; otherwise binds name b to the next element of the state \
     in registers a, a+1 and goes to @d, or falls through when there is none */                    \
  X(ForRound) X(RangeRound)                                                                          \
  /* register a = null */                                                                          \
  X(Clear)                                                                                           \
  /* a pending return of b, then to handler @c; x set when @c ends the code: a call the loop        \
     entered returns at once */                                                                    \
  X(Return)                                                                                          \
  /* a pending break, or continue, then to handler @c */                                           \
  X(Break) X(Continue)                                                                               \
  /* name a is declared global */                                                                  \
  X(Global)                                                                                          \
  /* name a = the function of node c */                                                            \
  X(Function)                                                                                        \
  /* the use statement of node c */                                                                \
  X(Use)                                                                                             \
  /* if pattern b does not equal subject c go to @a; @d when the pattern fails */                  \
  X(MatchTest)                                                                                       \
  /* no arm matched: a debug line */                                                               \
  X(NoMatch)                                                                                         \
  /* the code ends */                                                                              \
  X(Exit)

// Typed forms of the arithmetic, comparison and test instructions, which
// the compiler picks when it emits them: each does what its general form
// does, with the kinds of its operands settled in advance instead of read
// from their tags, so that its operands are bare indices (see operation).
// Kinds: R a register, K a constant, N a name (two constants take the
// general form); the third is the destination's, R or N (a test has none,
// _).
#define VELTRO_TYPED_OPERANDS(T, op, d) \
  T(op, R, R, d) T(op, R, K, d) T(op, R, N, d) T(op, K, R, d) T(op, K, N, d) T(op, N, R, d) T(op, N, K, d) T(op, N, N, d)
#define VELTRO_TYPED_BINARY(T, op) VELTRO_TYPED_OPERANDS(T, op, R) VELTRO_TYPED_OPERANDS(T, op, N)
#define VELTRO_TYPED_TEST(T, op) VELTRO_TYPED_OPERANDS(T, op, _)
#define VELTRO_TYPED_INSTRUCTIONS(T)                                                                   \
  VELTRO_TYPED_BINARY(T, Add) VELTRO_TYPED_BINARY(T, Subtract) VELTRO_TYPED_BINARY(T, Multiply)       \
  VELTRO_TYPED_BINARY(T, Divide) VELTRO_TYPED_BINARY(T, Remainder) VELTRO_TYPED_BINARY(T, Power)      \
  VELTRO_TYPED_BINARY(T, Equal) VELTRO_TYPED_BINARY(T, NotEqual) VELTRO_TYPED_BINARY(T, Less)         \
  VELTRO_TYPED_BINARY(T, Greater) VELTRO_TYPED_BINARY(T, LessEqual) VELTRO_TYPED_BINARY(T, GreaterEqual) \
  VELTRO_TYPED_TEST(T, TestEqual) VELTRO_TYPED_TEST(T, TestNotEqual) VELTRO_TYPED_TEST(T, TestLess)   \
  VELTRO_TYPED_TEST(T, TestGreater) VELTRO_TYPED_TEST(T, TestLessEqual) VELTRO_TYPED_TEST(T, TestGreaterEqual)

// Typed forms of Index: the object a register or a name, the index a
// register, a constant or a name, the destination a register or a name
// (kinds as above). An element read is the commonest instruction of loops
// over arrays.
#define VELTRO_TYPED_ELEMENT_SOURCES(T, d) \
  T(Index, R, R, d) T(Index, R, K, d) T(Index, R, N, d) T(Index, N, R, d) T(Index, N, K, d) T(Index, N, N, d)
#define VELTRO_TYPED_ELEMENTS(T) VELTRO_TYPED_ELEMENT_SOURCES(T, R) VELTRO_TYPED_ELEMENT_SOURCES(T, N)

// Typed forms of Move: the source a constant or a name, the destination a
// register or a name (kinds as above). Calls take their arguments, and let
// and assignment their values, this way.
#define VELTRO_TYPED_MOVES(T) T(Move, K, R) T(Move, N, R) T(Move, K, N) T(Move, N, N)

enum class Opcode : std::uint16_t {
#define VELTRO_OPCODE(name) name,
  VELTRO_INSTRUCTIONS(VELTRO_OPCODE)
#undef VELTRO_OPCODE
#define VELTRO_TYPED_OPCODE(op, l, r, d) op##_##l##r##d,
  VELTRO_TYPED_INSTRUCTIONS(VELTRO_TYPED_OPCODE)
  VELTRO_TYPED_ELEMENTS(VELTRO_TYPED_OPCODE)
#undef VELTRO_TYPED_OPCODE
#define VELTRO_MOVE_OPCODE(op, s, d) op##_##s##d,
  VELTRO_TYPED_MOVES(VELTRO_MOVE_OPCODE)
#undef VELTRO_MOVE_OPCODE
};

struct Instruction {
  Opcode op;
  std::uint8_t x = 0;
  std::uint32_t a = 0, b = 0, c = 0, d = 0;
  // Where the loop runs the instruction: filled in from op when the code
  // first runs, so that going to the next instruction reads no table.
  mutable const void* handler = nullptr;
};
static_assert(sizeof(Instruction) == 32);

// The typed form of a general arithmetic or comparison instruction (Add to
// GreaterEqual) or test; the general form itself when an operand or the
// destination is of no kind a typed form takes.
[[nodiscard]] constexpr Opcode typed(Opcode general, Operand left, Operand right, Operand dest = kRegister) {
  // R 0, K 1, N 2, as VELTRO_TYPED_OPERANDS orders them.
  auto kind = [](Operand o) { return tag(o) == kName ? 2 : tag(o) == kConstant ? 1 : tag(o) == kNone ? -1 : 0; };
  int l = kind(left), r = kind(right), d = kind(dest);
  if (l < 0 || r < 0 || d < 0 || d == 1 || (l == 1 && r == 1)) return general;
  int pair = l * 3 + r;
  if (pair > 4) --pair;  // no K, K
  int g = static_cast<int>(general);
  if (g >= static_cast<int>(Opcode::Add) && g <= static_cast<int>(Opcode::GreaterEqual)) {
    return static_cast<Opcode>(static_cast<int>(Opcode::Add_RRR) + (g - static_cast<int>(Opcode::Add)) * 16 +
                               (d / 2) * 8 + pair);
  }
  if (g >= static_cast<int>(Opcode::TestEqual) && g <= static_cast<int>(Opcode::TestGreaterEqual)) {
    return static_cast<Opcode>(static_cast<int>(Opcode::TestEqual_RR_) + (g - static_cast<int>(Opcode::TestEqual)) * 8 +
                               pair);
  }
  return general;
}

static_assert(typed(Opcode::Add, reg(0), reg(1)) == Opcode::Add_RRR);
static_assert(typed(Opcode::Subtract, name(3), constant(0)) == Opcode::Subtract_NKR);
static_assert(typed(Opcode::Remainder, constant(0), name(1), name(2)) == Opcode::Remainder_KNN);
static_assert(typed(Opcode::GreaterEqual, name(1), name(2), name(3)) == Opcode::GreaterEqual_NNN);
static_assert(typed(Opcode::TestLess, name(1), constant(2)) == Opcode::TestLess_NK_);
static_assert(typed(Opcode::TestGreaterEqual, name(1), name(2)) == Opcode::TestGreaterEqual_NN_);
static_assert(typed(Opcode::Add, constant(0), constant(1)) == Opcode::Add);
static_assert(typed(Opcode::Add, reg(0), reg(1), kNone) == Opcode::Add);

// An arithmetic or comparison instruction (dest a = b OP c), or a test (a
// its jump target, set when the label is bound): its typed form when there
// is one, whose operands are bare indices since the opcode settles their
// kinds; else the general form, its operands tagged.
[[nodiscard]] constexpr Instruction operation(Opcode general, Operand dest, Operand left, Operand right) {
  bool test = general >= Opcode::TestEqual && general <= Opcode::TestGreaterEqual;
  Opcode op = typed(general, left, right, test ? kRegister : dest);
  std::uint32_t a = test ? 0 : dest;
  if (op == general) return {general, 0, a, left, right};
  return {op, 0, index(a), index(left), index(right)};
}

static_assert(operation(Opcode::Add, name(5), constant(2), reg(3)).b == 2);
static_assert(operation(Opcode::Add, name(5), constant(2), reg(3)).a == 5);
static_assert(operation(Opcode::Add, reg(1), constant(0), constant(1)).b == constant(0));

// An element read, dest a = b[c]: its typed form when there is one (see
// VELTRO_TYPED_ELEMENTS), its operands bare indices; else Index.
[[nodiscard]] constexpr Instruction element(Operand dest, Operand object, Operand at) {
  bool typed = (tag(dest) == kRegister || tag(dest) == kName) && (tag(object) == kRegister || tag(object) == kName) &&
               tag(at) != kNone;
  if (!typed) return {Opcode::Index, 0, dest, object, at};
  int d = tag(dest) == kName ? 1 : 0;
  int o = tag(object) == kName ? 1 : 0;
  int i = tag(at) == kName ? 2 : tag(at) == kConstant ? 1 : 0;
  return {static_cast<Opcode>(static_cast<int>(Opcode::Index_RRR) + d * 6 + o * 3 + i), 0, index(dest), index(object),
          index(at)};
}

static_assert(element(reg(0), reg(1), reg(2)).op == Opcode::Index_RRR);
static_assert(element(reg(0), reg(1), constant(2)).op == Opcode::Index_RKR);
static_assert(element(reg(0), name(1), reg(2)).op == Opcode::Index_NRR);
static_assert(element(reg(0), name(1), name(2)).op == Opcode::Index_NNR);
static_assert(element(reg(0), name(7), constant(2)).b == 7);
static_assert(element(name(0), name(1), name(2)).op == Opcode::Index_NNN);
static_assert(element(name(0), reg(1), constant(2)).op == Opcode::Index_RKN);
static_assert(element(kNone, name(1), name(2)).op == Opcode::Index);
static_assert(element(reg(0), constant(1), reg(2)).b == constant(1));

// A leaf's value into dest a, from operand b: a typed form of Move when
// there is one (see VELTRO_TYPED_MOVES), its operands bare indices; else
// Move.
[[nodiscard]] constexpr Instruction move(Operand dest, Operand source) {
  bool typed = (tag(dest) == kRegister || tag(dest) == kName) && (tag(source) == kConstant || tag(source) == kName);
  if (!typed) return {Opcode::Move, 0, dest, source};
  int d = tag(dest) == kName ? 2 : 0;
  int s = tag(source) == kName ? 1 : 0;
  return {static_cast<Opcode>(static_cast<int>(Opcode::Move_KR) + d + s), 0, index(dest), index(source)};
}

static_assert(move(reg(1), constant(2)).op == Opcode::Move_KR);
static_assert(move(reg(1), name(2)).op == Opcode::Move_NR);
static_assert(move(name(1), constant(2)).op == Opcode::Move_KN);
static_assert(move(name(1), name(2)).op == Opcode::Move_NN);
static_assert(move(name(1), name(2)).b == 2);
static_assert(move(kNone, name(2)).op == Opcode::Move);
static_assert(move(reg(0), reg(1)).op == Opcode::Move);

// The statement whose failure a Fail instruction reports.
enum class FailKind : std::uint8_t {
  Let, Assign, Compound, If, While, For, Match, Pattern, Expression, ShownExpression,
};

// The compiled form of a function body, a top-level statement or an
// expression. Nodes are the syntax tree's (calls, dictionaries, statements),
// which outlives its code.
struct Code {
  std::vector<Instruction> instructions;
  std::vector<Value> constants;
  std::vector<const void*> nodes;
  std::uint32_t registers = 0;
  // Every name the code reads or binds is a symbol below this.
  std::uint32_t symbols = 0;
  // Whether the instructions' handlers are filled in (see Instruction).
  mutable bool threaded = false;
};

// The two forms of one piece of code: the usual one, and the one run when a
// break, continue or return is already pending as it starts (left over from
// a call or an earlier top-level statement): that one checks the signals
// after every statement, as any statement list does.
struct CodeSet {
  Code usual;
  std::unique_ptr<Code> checked;
};

}  // namespace veltro
