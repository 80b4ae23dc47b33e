
def clamp(v, lo, hi):
    if v < lo:
        return lo
    if v > hi:
        return hi
    return v


def blend(a, b, weight, scale):
    return clamp((a * weight + b * (scale - weight)) // scale, 0, 500)


def shade(r, g, b, level):
    return blend(r, g, level, 16) + blend(g, b, 16 - level, 16) - clamp(b - r, -50, 50)


def main():
    total = 0
    for i in range(400000):
        total = total + shade(i % 256, (i * 7) % 256, (i * 13) % 256, i % 17)
    print(total)


main()
