local x = 1.0
local y = 0.0
local vx = 0.0
local vy = 1.1
local dt = 0.0001
local energy = 0.0
for step = 0, 1500000 - 1 do
  local r2 = x * x + y * y
  local r = math.sqrt(r2)
  local inv = 1.0 / (r2 * r)
  local ax = -x * inv
  local ay = -y * inv
  vx = vx + ax * dt
  vy = vy + ay * dt
  x = x + vx * dt
  y = y + vy * dt
  local kinetic = 0.5 * (vx * vx + vy * vy)
  energy = energy + kinetic - 1.0 / r
end
print(math.floor(x * 1000000.0))
print(math.floor(y * 1000000.0))
print(math.floor(energy))
