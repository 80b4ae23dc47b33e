// Linked into veltro_short_limits only, never into veltro: before main runs,
// the HTTP client's limits are taken from the environment, so that the tests
// reach a time-out or the size limit in moments instead of half a minute.
//   VELTRO_TEST_CONNECT_TIMEOUT_MS, VELTRO_TEST_READ_TIMEOUT_MS,
//   VELTRO_TEST_MAX_RESPONSE_BYTES (unset: the program's own limit)
#include <chrono>
#include <cstdlib>
#include <string>

#include "modules/http/client.h"

namespace {

template <typename T>
void take(const char* name, T& limit) {
  if (const char* text = std::getenv(name)) limit = T(std::stoull(text));
}

const bool applied = [] {
  auto& limits = veltro::http::client_limits();
  take("VELTRO_TEST_CONNECT_TIMEOUT_MS", limits.connect_timeout);
  take("VELTRO_TEST_READ_TIMEOUT_MS", limits.read_timeout);
  take("VELTRO_TEST_MAX_RESPONSE_BYTES", limits.max_response_bytes);
  return true;
}();

}  // namespace
