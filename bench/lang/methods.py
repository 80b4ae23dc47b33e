
def main():
    words = ["interpreter", "array", "dictionary", "loop", "function", "value", "parser", "range"]
    total = 0
    hits = 0
    for i in range(750000):
        k = i % 8
        total = total + len(words[k]) + len(words[7 - k][0:3])
        if "ar" in words[k]:
            hits = hits + 1
        if i % 4 == 0:
            total = total + len(words[k].upper())
    print(total)
    print(hits)


main()
