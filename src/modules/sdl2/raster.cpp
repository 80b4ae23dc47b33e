#include "modules/sdl2/raster.h"

namespace veltro::raster {

namespace {

constexpr std::int64_t kWrap = std::int64_t{1} << 32;

std::int64_t mod_wrap(std::int64_t v) noexcept {
  v %= kWrap;
  return v < 0 ? v + kWrap : v;
}

// Offsets v with c + sign·v (wrapping) in [0, size) are those with
// (v − start) mod 2^32 < size.
std::int64_t visible_start(std::int32_t c, int sign, std::int64_t size) noexcept {
  return sign > 0 ? mod_wrap(-std::int64_t{c}) : mod_wrap(std::int64_t{c} - (size - 1));
}

using Wide = __int128;

}  // namespace

std::int64_t next_visible_offset(std::int64_t from, std::int32_t c, int sign, std::int64_t size) {
  if (size <= 0) return kNever;
  const std::int64_t into = mod_wrap(from - visible_start(c, sign, size));
  return into < size ? from : from + (kWrap - into);
}

std::int64_t prev_visible_offset(std::int64_t from, std::int32_t c, int sign, std::int64_t size) {
  if (size <= 0 || from < 0) return -1;
  const std::int64_t into = mod_wrap(from - visible_start(c, sign, size));
  if (into < size) return from;
  const std::int64_t v = from - (into - (size - 1));
  return v >= 0 ? v : -1;
}

std::int64_t MidpointCircle::x_at(std::int64_t y) const noexcept {
  const Wide r = r_;
  const Wide k = 2 * Wide{y} * y + 4 * Wide{y} - 2 * r * r + 4 * r + 1;
  auto g = [&](Wide x) { return 2 * x * x - 6 * x + k; };
  const Wide discriminant = 36 - 8 * k;
  if (discriminant < 0) return -1;
  // The larger root of 2x² − 6x + k, estimated, then settled exactly.
  auto x = static_cast<std::int64_t>((6.0L + std::sqrt(static_cast<long double>(discriminant))) / 4.0L);
  while (g(Wide{x} + 1) <= 0) ++x;
  while (x > 0 && g(x) > 0) --x;
  return std::min<std::int64_t>(x, r_);
}

bool MidpointCircle::shortcut_holds(std::int64_t y) const noexcept { return y == 0 || x_at(y - 1) >= y + 3; }

void MidpointCircle::skip_to(std::int64_t target) noexcept {
  if (target <= y_ || !shortcut_holds(y_ + 1)) return;
  std::int64_t lo = y_ + 1;  // holds
  std::int64_t hi = target;
  if (!shortcut_holds(hi)) {
    // It holds on a prefix of the offsets: find where that prefix ends.
    while (hi - lo > 1) {
      const std::int64_t mid = lo + (hi - lo) / 2;
      (shortcut_holds(mid) ? lo : hi) = mid;
    }
    hi = lo;
  }
  y_ = hi;
  x_ = x_at(hi);
  err_ = x_ * x_ - 2 * x_ + y_ * y_ + 2 * y_ - r_ * r_ + 2 * r_;
}

std::int64_t MidpointCircle::first_offset_with_x_at_most(std::int64_t t) const noexcept {
  if (t >= x_) return y_;
  if (t < 2) return y_;  // the shortcut's algebra needs x >= 2: claim nothing
  // x at offset y is at most t exactly when 2(t+1)² − 6(t+1) + 2y² + 4y − 2r² + 4r + 1 > 0.
  const Wide r = r_;
  const Wide u = Wide{t} + 1;
  const Wide p = 2 * u * u - 6 * u - 2 * r * r + 4 * r + 1;
  auto h = [&](Wide y) { return 2 * y * y + 4 * y + p; };
  const Wide discriminant = 16 - 8 * p;
  if (discriminant < 0) return y_;
  auto y = static_cast<std::int64_t>((-4.0L + std::sqrt(static_cast<long double>(discriminant))) / 4.0L);
  y = std::max<std::int64_t>(y, 0);
  while (y > 0 && h(Wide{y} - 1) > 0) --y;
  while (h(y) <= 0) ++y;
  return std::max(y, y_);
}

}  // namespace veltro::raster
