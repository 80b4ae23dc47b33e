local function clamp(v, lo, hi)
  if v < lo then return lo end
  if v > hi then return hi end
  return v
end

local function blend(a, b, weight, scale)
  return clamp((a * weight + b * (scale - weight)) // scale, 0, 500)
end

local function shade(r, g, b, level)
  return blend(r, g, level, 16) + blend(g, b, 16 - level, 16) - clamp(b - r, -50, 50)
end

local total = 0
for i = 0, 400000 - 1 do
  total = total + shade(i % 256, (i * 7) % 256, (i * 13) % 256, i % 17)
end
print(total)
