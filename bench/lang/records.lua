local regions = {"north", "south", "east", "west"}
local orders = {}
for i = 0, 1000 - 1 do
  orders[#orders + 1] = {id = i, qty = i % 9 + 1, price = i * 37 % 500 + 20, discount = i % 4 * 5, region = regions[i % 4 + 1]}
end
local revenue = 0
local north = 0
local big = 0
for pass = 0, 1500 - 1 do
  for _, order in ipairs(orders) do
    local amount = order.qty * order.price * (100 - order.discount) // 100
    revenue = revenue + amount
    if order["region"] == "north" then north = north + order.qty end
    if amount > 2000 then big = big + 1 end
  end
end
print(revenue)
print(north)
print(big)
