
def main():
    a = []
    for i in range(1000000):
        a.append(i * 3 % 1000)
    total = 0
    p = 0
    while p < 5:
        i = 0
        while i < 1000000:
            total = total + a[i]
            i = i + 1
        p = p + 1
    print(total)


main()
