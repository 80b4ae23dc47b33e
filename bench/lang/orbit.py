import math

def main():
    x = 1.0
    y = 0.0
    vx = 0.0
    vy = 1.1
    dt = 0.0001
    energy = 0.0
    for step in range(1500000):
        r2 = x * x + y * y
        r = math.sqrt(r2)
        inv = 1.0 / (r2 * r)
        ax = -x * inv
        ay = -y * inv
        vx = vx + ax * dt
        vy = vy + ay * dt
        x = x + vx * dt
        y = y + vy * dt
        kinetic = 0.5 * (vx * vx + vy * vy)
        energy = energy + kinetic - 1.0 / r
    print(math.floor(x * 1000000.0))
    print(math.floor(y * 1000000.0))
    print(math.floor(energy))


main()
