#pragma once
// Tunable limits of the http module's server and client.
#include <chrono>
#include <cstddef>

namespace veltro::http::limits {

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

}  // namespace veltro::http::limits
