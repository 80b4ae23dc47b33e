local a = {}
for i = 0, 1000000 - 1 do a[#a + 1] = i * 3 % 1000 end
local total = 0
local p = 0
while p < 5 do
  local i = 0
  while i < 1000000 do
    total = total + a[i + 1]
    i = i + 1
  end
  p = p + 1
end
print(total)
