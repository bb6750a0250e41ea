#!/usr/bin/env python3
# Generates the benchmark's product tree (about 290 MB): 2,000 small text files in 20 folders,
# 50 program-like binaries of 1-5 MiB (mode 0755), one 60 MiB file of random bytes and one
# 60 MiB log-like text file. The same seed always gives the same tree. An optional second
# argument scales every count and size (0.35 gives about 100 MB, 3.5 about 1 GB); 1 is the tree
# above, byte for byte.
import os
import random
import sys

root = sys.argv[1]
scale = float(sys.argv[2]) if len(sys.argv) > 2 else 1.0
small, programs, big_mib = round(2000 * scale), round(50 * scale), round(60 * scale)
rnd = random.Random(1234)
words = [''.join(rnd.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rnd.randint(2, 10)))
         for _ in range(5000)]


def text(size):
    lines, total = [], 0
    while total < size:
        line = ' '.join(rnd.choice(words) for _ in range(rnd.randint(3, 14))) + '\n'
        lines.append(line)
        total += len(line)
    return ''.join(lines)[:size].encode()


for i in range(small):
    folder = os.path.join(root, 'docs', 'part%02d' % (i // 100))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, 'note%04d.txt' % i), 'wb') as f:
        f.write(text(rnd.randint(512, 12288)))

os.makedirs(os.path.join(root, 'bin'), exist_ok=True)
for i in range(programs):
    size = rnd.randint(1 << 20, 5 << 20)
    chunks, total = [], 0
    while total < size:
        # Like an executable: stretches of noise, zero-filled tables and repeated code.
        kind = rnd.random()
        if kind < 0.4:
            chunk = rnd.randbytes(rnd.randint(256, 8192))
        elif kind < 0.7:
            chunk = bytes(rnd.randint(256, 4096))
        else:
            chunk = rnd.randbytes(rnd.randint(16, 128)) * rnd.randint(4, 64)
        chunks.append(chunk)
        total += len(chunk)
    path = os.path.join(root, 'bin', 'tool%02d' % i)
    with open(path, 'wb') as f:
        f.write(b''.join(chunks)[:size])
    os.chmod(path, 0o755)

os.makedirs(os.path.join(root, 'data'), exist_ok=True)
with open(os.path.join(root, 'data', 'random.bin'), 'wb') as f:
    for _ in range(big_mib):
        f.write(rnd.randbytes(1 << 20))
with open(os.path.join(root, 'data', 'log.txt'), 'wb') as f:
    block = text(1 << 20)
    for i in range(big_mib):
        f.write(block if i % 2 else text(1 << 20))
