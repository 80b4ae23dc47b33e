"""The scene of scene.vt drawn with pygame: prints the frames per second."""
import time

import pygame

pygame.display.init()
screen = pygame.display.set_mode((800, 600))
frames = 60
start = time.perf_counter()
for f in range(frames):
    screen.fill((0, 0, 0))
    for i in range(1000):
        colour = (i % 256, i * 7 % 256, i * 13 % 256)
        pygame.draw.circle(screen, colour, ((i * 37 + f * 3) % 800, (i * 91 + f * 2) % 600), 40)
    for i in range(1000):
        x, y = (i * 53 + f * 3) % 800, (i * 29 + f * 2) % 600
        colour = (i * 5 % 256, i % 256, i * 11 % 256)
        pygame.draw.polygon(screen, colour, [(x, y), (x + 60, y + 20), (x + 20, y + 70)])
    pygame.display.flip()
print(frames / (time.perf_counter() - start))
