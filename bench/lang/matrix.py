
def main():
    n = 150
    a = []
    b = []
    for i in range(n):
        ra = []
        rb = []
        for j in range(n):
            ra.append((i * 7 + j * 3) % 10)
            rb.append((i * 5 + j * 11) % 10)
        a.append(ra)
        b.append(rb)
    total = 0
    for i in range(n):
        for j in range(n):
            s = 0
            for k in range(n):
                s = s + a[i][k] * b[k][j]
            total = total + s % 1000
    print(total)


main()
