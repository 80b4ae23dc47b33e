#pragma once
// Every tunable limit of veltro, in one place.
#include <cstddef>
#include <cstdint>

namespace veltro::limits {

// Deepest nesting of brackets, unary operators and blocks the parser accepts.
// This and the next limit hold for a stack with the full reserve below; on a
// smaller stack they shrink in proportion (see stack_guard.h).
inline constexpr int kMaxNestingDepth = 1000;

// Highest expression tree the parser builds (long operator chains nest too).
inline constexpr std::uint32_t kMaxExpressionDepth = 100000;

// Deepest chain of active user-function calls.
inline constexpr int kMaxCallDepth = 100000;

// Stack of the thread that runs scripts, and the part of it kept free for
// evaluating one function body (bounded by the depth limits) and for the
// runtime's own needs: a call is refused when less than this is left.
inline constexpr std::size_t kInterpreterStackBytes = std::size_t{2} << 30;  // 2 GiB, reserved lazily
inline constexpr std::size_t kStackReserveBytes = std::size_t{96} << 20;     // 96 MiB

// Largest array a range expression may build.
inline constexpr std::int64_t kMaxRangeElements = 100'000'000;

// Largest file read whole as text (scripts, modules, templates, files.read):
// beyond it the read fails instead of exhausting memory on an endless source.
inline constexpr std::size_t kMaxFileBytes = std::size_t{1} << 30;  // 1 GiB

// Case mapping hands the Unicode library pieces of about this size (its
// lengths are 32-bit); a piece grows to find a cut that keeps the mapping
// the same, but never past the maximum, whose mapping fits in 32 bits.
inline constexpr std::size_t kCaseMapChunkBytes = std::size_t{64} << 20;     // 64 MiB
inline constexpr std::size_t kCaseMapMaxChunkBytes = std::size_t{512} << 20;  // 512 MiB

// Entries the interactive prompt keeps in its history file.
inline constexpr int kReplHistoryEntries = 1000;

// Buffered standard output is written out once it holds this much.
inline constexpr std::size_t kStdoutBufferBytes = 64 * 1024;

// The language server: the largest message it reads (a document's whole
// text travels in one), the largest header block before it, and the count of
// interned names past which it forgets them all and reads its documents
// again (every name ever typed is interned, and a session can be long).
inline constexpr std::size_t kMaxLspMessageBytes = std::size_t{64} << 20;  // 64 MiB
inline constexpr std::size_t kMaxLspHeaderBytes = 8 * 1024;
inline constexpr std::size_t kMaxLspInternedNames = std::size_t{1} << 20;

}  // namespace veltro::limits
