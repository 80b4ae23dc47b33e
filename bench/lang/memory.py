a = list(range(1000000))
print(len(a))
