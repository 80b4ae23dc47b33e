local n = 150
local a = {}
local b = {}
for i = 1, n do
  local ra = {}
  local rb = {}
  for j = 1, n do
    ra[j] = ((i - 1) * 7 + (j - 1) * 3) % 10
    rb[j] = ((i - 1) * 5 + (j - 1) * 11) % 10
  end
  a[i] = ra
  b[i] = rb
end
local total = 0
for i = 1, n do
  for j = 1, n do
    local sum = 0
    for k = 1, n do
      sum = sum + a[i][k] * b[k][j]
    end
    total = total + sum % 1000
  end
end
print(total)
