#pragma once
// A finding of the checker: a place in a file, a rule code and a message.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace veltro::check {

// Error: running the file fails there for certain (an error line, or the
// file is refused). Warning: veltro runs it, but not as it reads.
enum class Severity : std::uint8_t { Warning, Error };

[[nodiscard]] std::string_view severity_name(Severity severity);

// Every rule, in the order of docs/checks.md.
enum class Code : std::uint8_t {
  SkippedCharacter,         // V001
  LogicalOperator,          // V002
  SingleQuote,              // V003
  IntegerTooLarge,          // V004
  ElementAssignment,        // V101
  StrayBrace,               // V102
  DictKeyNotName,           // V103
  DictKeyWithoutColon,      // V104
  ListToken,                // V105
  StatementToken,           // V106
  DroppedStatement,         // V107
  Unclosed,                 // V108
  BlockIsDictionary,        // V109
  MemberDot,                // V110
  ElseIf,                   // V111
  ElseWithoutBlock,         // V112
  MatchArmToken,            // V113
  UseListToken,             // V114
  TooDeep,                  // V115
  ReturnNextLine,           // V201
  Unreachable,              // V202
  BreakOutsideLoop,         // V203
  ArmWithoutEffect,         // V204
  ExpressionWithoutEffect,  // V205
  TryWithoutReturn,         // V206
  RunsTwice,                // V207
  NeverRuns,                // V208
  DefShadowsBuiltin,        // V301
  UnboundName,              // V302
  UndefinedFunction,        // V303
  WrongArgumentCount,       // V304
  ModuleArgumentCount,      // V305
  TooFewArguments,          // V306
  TooManyArguments,         // V307
  AssignmentMakesLocal,     // V308
  ModuleNotFound,           // V401
  ModuleBesideScript,       // V402
  CircularUse,              // V403
  UnknownModuleFunction,    // V404
  BuiltinModuleAlias,       // V405
  FilesItemImport,          // V406
  NotExported,              // V407
  NotAModule,               // V408
  ModuleReadsImporter,      // V409
  NotAScript,               // V410
};

struct CodeInfo {
  Code code;
  std::string_view id;  // "V101"
  Severity severity;
  std::string_view meaning;  // one line
};

[[nodiscard]] std::span<const CodeInfo> all_codes();
[[nodiscard]] const CodeInfo& code_info(Code code);
// nullptr for an unknown identifier.
[[nodiscard]] const CodeInfo* find_code(std::string_view id);

struct Finding {
  std::string path;
  std::uint32_t line = 0;
  std::uint32_t column = 0;
  std::uint32_t end_line = 0;  // 0 when the end is not known
  std::uint32_t end_column = 0;
  Code code = Code::SkippedCharacter;
  Severity severity = Severity::Warning;
  std::string message;
};

}  // namespace veltro::check
