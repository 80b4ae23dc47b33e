import math

def main():
    x = 0.0
    y = 1.0
    for i in range(3000000):
        x = x + y * 0.5 - i * 0.000001
        y = y * 0.999999 + 0.000001
    print(math.floor(x))


main()
