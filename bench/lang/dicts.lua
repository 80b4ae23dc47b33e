local d = {alpha = 1, beta = 2, gamma = 3, delta = 4, epsilon = 5, zeta = 6, eta = 7, theta = 8}
local keys = {"alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta"}
local total = 0
for i = 0, 2000000 - 1 do
  total = total + d[keys[i % 8 + 1]] + d.gamma
end
print(total)
