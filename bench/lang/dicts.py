
def main():
    d = {"alpha": 1, "beta": 2, "gamma": 3, "delta": 4, "epsilon": 5, "zeta": 6, "eta": 7, "theta": 8}
    keys = ["alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta"]
    total = 0
    for i in range(2000000):
        total = total + d[keys[i % 8]] + d["gamma"]
    print(total)


main()
