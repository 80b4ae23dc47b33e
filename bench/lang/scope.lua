local function run()
  local factor = 3
  local offset = 7
  local function scaled(x) return x * factor + offset end
  local total = 0
  for i = 0, 1000000 - 1 do total = total + scaled(i) % 11 end
  return total
end
print(run())
