local primes = {}
local n = 2
while n < 200000 do
  local is_prime = true
  local k = 0
  local count = #primes
  while k < count do
    local p = primes[k + 1]
    if p * p > n then break end
    if n % p == 0 then
      is_prime = false
      break
    end
    k = k + 1
  end
  if is_prime then primes[#primes + 1] = n end
  n = n + 1
end
print(#primes)
