
def main():
    s = ""
    words = ["alpha", "beta", "gamma", "delta"]
    for i in range(300000):
        s = s + words[i % 4].upper()
        if i % 3 == 0:
            s = s + ("-" + str(i))
    print(len(s))
    print(len(s[0:100000].split("-")))


main()
