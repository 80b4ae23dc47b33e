local x = 0.0
local y = 1.0
for i = 0, 3000000 - 1 do
  x = x + y * 0.5 - i * 0.000001
  y = y * 0.999999 + 0.000001
end
print(math.floor(x))
