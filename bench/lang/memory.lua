local a = {}
for i = 0, 1000000 - 1 do a[i + 1] = i end
print(#a)
