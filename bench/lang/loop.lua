local i = 0
local total = 0
while i < 10000000 do
  total = total + i % 7
  i = i + 1
end
print(total)
