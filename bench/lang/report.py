
def main():
    names = ["apple", "pear", "plum", "cherry", "fig"]
    doc = ""
    longest = 0
    for i in range(200000):
        qty = i % 17 + 1
        price = i % 89 + 10
        line = names[i % 5] + ": " + f"{qty} x {price} = {qty * price}"
        if i % 10 == 0:
            line = line + " (restocked)"
        doc += line + "\n"
        if len(line) > longest:
            longest = len(line)
    print(len(doc))
    print(longest)


main()
