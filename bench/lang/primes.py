
def main():
    primes = []
    n = 2
    while n < 200000:
        is_prime = True
        k = 0
        count = len(primes)
        while k < count:
            p = primes[k]
            if p * p > n:
                break
            if n % p == 0:
                is_prime = False
                break
            k = k + 1
        if is_prime:
            primes.append(n)
        n = n + 1
    print(len(primes))


main()
