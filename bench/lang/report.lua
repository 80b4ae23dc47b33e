local names = {"apple", "pear", "plum", "cherry", "fig"}
-- Lua strings are immutable; the idiomatic builder is a table and concat.
local parts = {}
local longest = 0
for i = 0, 200000 - 1 do
  local qty = i % 17 + 1
  local price = i % 89 + 10
  local line = names[i % 5 + 1] .. ": " .. qty .. " x " .. price .. " = " .. qty * price
  if i % 10 == 0 then line = line .. " (restocked)" end
  parts[#parts + 1] = line .. "\n"
  if #line > longest then longest = #line end
end
local doc = table.concat(parts)
print(#doc)
print(longest)
