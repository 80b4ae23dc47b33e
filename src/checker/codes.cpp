#include <array>

#include "checker/finding.h"

namespace veltro::check {

namespace {

using enum Code;
constexpr Severity W = Severity::Warning;
constexpr Severity E = Severity::Error;

constexpr std::array<CodeInfo, 45> kCodes = {{
    {SkippedCharacter, "V001", W, "a character the language does not know is skipped"},
    {LogicalOperator, "V002", W, "`&&`, `||`, `&` and `|` are skipped: the logical operators are `and` and `or`"},
    {SingleQuote, "V003", W, "single quotes are skipped: strings take double quotes"},
    {IntegerTooLarge, "V004", W, "an integer literal beyond the 64-bit range is read as a float"},
    {ElementAssignment, "V101", W, "`a[i] = v` and `p.x = v` are not assignments: the line does nothing"},
    {StrayBrace, "V102", W, "an unmatched `}` is skipped; an extra `}` ends a function early"},
    {DictKeyNotName, "V103", W, "a dictionary key that is not a bare name is dropped with its value"},
    {DictKeyWithoutColon, "V104", W, "a dictionary key without `:` is dropped"},
    {ListToken, "V105", W, "a token that cannot be an element or argument is skipped"},
    {StatementToken, "V106", W, "a token that cannot begin a statement is skipped"},
    {DroppedStatement, "V107", W, "a statement that lacks a required part is dropped whole"},
    {Unclosed, "V108", W, "a bracket or brace is never closed"},
    {BlockIsDictionary, "V109", W, "a `{` where a statement begins is a dictionary, not a block"},
    {MemberDot, "V110", W, "a `.` not followed by a name is dropped"},
    {ElseIf, "V111", W, "`else if` does not chain: the `else` is dropped and the `if` always runs"},
    {ElseWithoutBlock, "V112", W, "an `else` without `{` is dropped"},
    {MatchArmToken, "V113", W, "a token or pattern without `=>` in a match is dropped"},
    {UseListToken, "V114", W, "a token that is not a name in a `use` list is skipped"},
    {TooDeep, "V115", E, "nesting deeper than veltro accepts: the file is refused"},
    {ReturnNextLine, "V201", W, "`return` at the end of a line takes the next line as its value"},
    {Unreachable, "V202", W, "a statement after `return`, `break` or `continue` never runs"},
    {BreakOutsideLoop, "V203", W, "`break` or `continue` outside a loop"},
    {ArmWithoutEffect, "V204", W, "a match arm body without braces has no effect"},
    {ExpressionWithoutEffect, "V205", W, "an expression statement has no effect"},
    {TryWithoutReturn, "V206", W, "a `try` body without `return`: its `catch` never runs"},
    {RunsTwice, "V207", W, "without `main`, a top-level `let` initialiser runs twice"},
    {NeverRuns, "V208", W, "with `main`, top-level code other than `let`, `def` and `use` never runs"},
    {DefShadowsBuiltin, "V301", W, "a function named like a builtin is never called: the builtin runs"},
    {UnboundName, "V302", E, "a name is read but bound nowhere in the program"},
    {UndefinedFunction, "V303", E, "a function is called but defined nowhere in the program"},
    {WrongArgumentCount, "V304", E, "a function is called with a different number of arguments than it has"},
    {ModuleArgumentCount, "V305", W, "a module function is called with a different number of arguments than it has"},
    {TooFewArguments, "V306", W, "a builtin or module function is called with too few arguments"},
    {TooManyArguments, "V307", W, "a builtin or module function is called with arguments it ignores"},
    {AssignmentMakesLocal, "V308", W,
     "an assignment in a function makes a local; the top-level variable keeps its value"},
    {ModuleNotFound, "V401", E, "the module file of a `use` does not exist"},
    {ModuleBesideScript, "V402", W, "the module file is beside the script, but veltro looks in the working directory"},
    {CircularUse, "V403", E, "a module uses itself while it loads"},
    {UnknownModuleFunction, "V404", E, "a built-in module has no function of that name"},
    {BuiltinModuleAlias, "V405", E, "a call through an alias of `files`, `http` or `sdl2` fails"},
    {FilesItemImport, "V406", W, "a `files` function imported by name returns null when called"},
    {NotExported, "V407", E, "a script module does not export that name"},
    {NotAModule, "V408", E, "a dotted name whose first part is not an imported module"},
    {ModuleReadsImporter, "V409", W, "a module function reads a name of its module that the importer does not bind"},
    {NotAScript, "V410", E, "veltro runs only files whose names end in `.vt`"},
}};

}  // namespace

std::string_view severity_name(Severity severity) {
  switch (severity) {
    case Severity::Warning: return "warning";
    case Severity::Error: return "error";
  }
  return "warning";
}

std::span<const CodeInfo> all_codes() { return kCodes; }

const CodeInfo& code_info(Code code) { return kCodes[static_cast<std::size_t>(code)]; }

const CodeInfo* find_code(std::string_view id) {
  for (const CodeInfo& info : kCodes) {
    if (info.id == id) return &info;
  }
  return nullptr;
}

}  // namespace veltro::check
