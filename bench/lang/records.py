
def main():
    regions = ["north", "south", "east", "west"]
    orders = []
    for i in range(1000):
        orders.append({"id": i, "qty": i % 9 + 1, "price": i * 37 % 500 + 20, "discount": i % 4 * 5, "region": regions[i % 4]})
    revenue = 0
    north = 0
    big = 0
    for p in range(1500):
        for order in orders:
            amount = order["qty"] * order["price"] * (100 - order["discount"]) // 100
            revenue = revenue + amount
            if order["region"] == "north":
                north = north + order["qty"]
            if amount > 2000:
                big = big + 1
    print(revenue)
    print(north)
    print(big)


main()
