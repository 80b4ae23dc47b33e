#pragma once
// Every tunable limit of veltro, in one place.
#include <chrono>
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

// Longest string the library functions that multiply text (text.repeat,
// text.replace, text.join) build: past it they fail instead of exhausting
// memory.
inline constexpr std::size_t kMaxBuiltStringBytes = std::size_t{1} << 30;  // 1 GiB

// Most digits after the point text.fixed writes.
inline constexpr std::int64_t kMaxFixedDigits = 100;

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

// The http module's server and client.
namespace http {
// listen() backlog of the server socket.
inline constexpr int kListenBacklog = 128;

// The server serves at most this many connections at once; while that many
// are open it stops accepting (new ones wait in the listen backlog) until one
// closes. It raises its soft descriptor limit to make room for them and a few
// spare descriptors, when the hard limit allows.
inline constexpr std::size_t kMaxConnections = 1024;
inline constexpr std::size_t kSpareDescriptors = 64;

// The server reads a request until its first line is complete, the peer
// closes, this many bytes have arrived or the read deadline passes (counted
// from the accept); then it answers what has arrived.
inline constexpr std::size_t kRequestBytes = 8 * 1024;
inline constexpr std::chrono::milliseconds kRequestTimeout{5000};

// A response write that makes no progress for this long is abandoned, so a
// client that never reads cannot hold a connection for ever.
inline constexpr std::chrono::milliseconds kSendStallTimeout{5000};

// After the response the server shuts its side down and keeps reading what
// the client still sends (so closing never resets the connection under the
// client's feet), for at most this long and this many bytes, and for at most
// this many connections at once (the oldest is closed first).
inline constexpr std::chrono::milliseconds kLingerTimeout{2000};
inline constexpr std::size_t kLingerBytes = 1024 * 1024;
inline constexpr std::size_t kMaxLingering = 256;

// Connections accepted in one go before the others get their turn, and
// readiness events taken from the kernel per wait.
inline constexpr int kAcceptBatch = 64;
inline constexpr int kEventBatch = 256;

// Bytes the server reads at once (a request is read at most kRequestBytes at
// a time within it).
inline constexpr std::size_t kReadChunk = 16 * 1024;

// Pause after an accept failure that more attempts cannot cure at once
// (out of file descriptors or memory), instead of spinning on it.
inline constexpr std::chrono::milliseconds kAcceptBackoff{100};

// The client gives up on one address when connecting takes longer than this
// (and tries the next), and on a request when no byte of the response has
// arrived, or none of the request could be written, for this long.
inline constexpr std::chrono::milliseconds kConnectTimeout{10'000};
inline constexpr std::chrono::milliseconds kReadTimeout{30'000};

// Largest response the client keeps in memory.
inline constexpr std::size_t kMaxResponseBytes = std::size_t{256} << 20;
}  // namespace http

}  // namespace veltro::limits
