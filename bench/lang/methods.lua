local words = {"interpreter", "array", "dictionary", "loop", "function", "value", "parser", "range"}
local total = 0
local hits = 0
for i = 0, 750000 - 1 do
  local k = i % 8
  total = total + words[k + 1]:len() + words[8 - k]:sub(1, 3):len()
  if words[k + 1]:find("ar", 1, true) then hits = hits + 1 end
  if i % 4 == 0 then total = total + words[k + 1]:upper():len() end
end
print(total)
print(hits)
