local parts = {}
local words = {"alpha", "beta", "gamma", "delta"}
-- Lua strings are immutable; the idiomatic builder is a table and concat.
for i = 0, 300000 - 1 do
  parts[#parts + 1] = string.upper(words[i % 4 + 1])
  if i % 3 == 0 then parts[#parts + 1] = "-" .. i end
end
local s = table.concat(parts)
print(#s)
local count = 1
for _ in string.gmatch(string.sub(s, 1, 100000), "-") do count = count + 1 end
print(count)
