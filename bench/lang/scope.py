def run():
    factor = 3
    offset = 7
    def scaled(x):
        return x * factor + offset
    total = 0
    for i in range(1000000):
        total = total + scaled(i) % 11
    return total
print(run())
