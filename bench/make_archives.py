"""Makes the benchmark archives, the same bytes on every run (fixed seeds,
fixed dates, fixed attributes).

    python3 make_archives.py OUTPUT_FOLDER

typical.zip   about 1500 entries, 120 MB unpacked: a few 8-12 MB binaries,
              a few hundred 20-200 KB data files, about a thousand
              0.5-30 KB text files, in nested folders with folder entries.
small.zip     20000 files of 0.2-4 KB in 200 folders (100 files each), no
              folder entries. Also the 20000-entry half of the scaling pair.
scale2000.zip the same kind with 2000 files in 20 folders.
"""

import os
import random
import sys
import zipfile

UNIX_FILE = 0o100644 << 16
UNIX_FOLDER = (0o040755 << 16) | 0x10


def make_vocabulary(rng, count=600):
    letters = "etaoinshrdlucmfwypvbgkqjxz"
    weights = [13, 9, 8, 8, 7, 7, 6, 6, 6, 4, 4, 3, 3, 3, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1]
    words = set()
    while len(words) < count:
        words.add("".join(rng.choices(letters, weights, k=rng.randint(2, 10))))
    return sorted(words)


def make_text(rng, vocabulary, size):
    """Lines of words, like configuration files, scripts and notes."""
    words = rng.choices(vocabulary, k=size // 5 + 8)
    lines = []
    for start in range(0, len(words), 12):
        lines.append(" ".join(words[start:start + rng.randint(4, 12)]))
    text = "\n".join(lines).encode("ascii")
    while len(text) < size:
        text += text
    return text[:size]


def make_blocks(rng, pool, size, random_share, zero_share):
    """4 KiB blocks: incompressible ones, runs of zeros, and blocks drawn
    from a pool of recurring 64-byte records (tables, resources, code
    idioms), mixed so that deflate gets a realistic ratio."""
    parts = []
    left = size
    while left > 0:
        block = min(4096, left)
        roll = rng.random()
        if roll < random_share:
            parts.append(rng.randbytes(block))
        elif roll < random_share + zero_share:
            parts.append(bytes(block))
        else:
            parts.append(b"".join(rng.choices(pool, k=block // 64 + 1))[:block])
        left -= block
    return b"".join(parts)


def fixed_time(rng):
    return (2026, rng.randint(1, 11), rng.randint(1, 28), rng.randint(0, 23),
            rng.randint(0, 59), 2 * rng.randint(0, 29))


def add_folder(archive, name, when):
    info = zipfile.ZipInfo(name + "/", when)
    info.create_system = 3
    info.external_attr = UNIX_FOLDER
    archive.writestr(info, b"")


def add_file(archive, name, when, data):
    info = zipfile.ZipInfo(name, when)
    info.create_system = 3
    info.external_attr = UNIX_FILE
    info.compress_type = zipfile.ZIP_DEFLATED
    archive.writestr(info, data, compress_type=zipfile.ZIP_DEFLATED, compresslevel=6)


def typical_folders(rng):
    folders = ["bin", "lib", "plugins", "data", "docs", "locale", "resources", "scripts"]
    nested = []
    for top in folders:
        for i in range(rng.randint(3, 6)):
            child = "%s/%s%02d" % (top, top[:3], i)
            nested.append(child)
            for j in range(rng.randint(0, 3)):
                nested.append("%s/sub%d" % (child, j))
    return folders + nested


def make_typical(path):
    rng = random.Random(8_2026_1)
    vocabulary = make_vocabulary(rng)
    pool = [rng.randbytes(64) for _ in range(512)]
    folders = typical_folders(rng)
    with zipfile.ZipFile(path, "w") as archive:
        for folder in folders:
            add_folder(archive, folder, fixed_time(rng))
        for i in range(8):
            size = rng.randint(8_000_000, 12_000_000)
            folder = "bin" if i < 3 else rng.choice(["lib", "plugins"])
            add_file(archive, "%s/module%d.dll" % (folder, i), fixed_time(rng),
                     make_blocks(rng, pool, size, 0.35, 0.15))
        for i in range(320):
            size = rng.randint(20_000, 200_000)
            add_file(archive, "%s/asset%04d.dat" % (rng.choice(folders), i), fixed_time(rng),
                     make_blocks(rng, pool, size, 0.25, 0.05))
        for i in range(1100):
            size = int(500 * 60 ** rng.random())
            add_file(archive, "%s/note%04d.txt" % (rng.choice(folders), i), fixed_time(rng),
                     make_text(rng, vocabulary, size))


def make_small(path, file_count, seed):
    rng = random.Random(seed)
    vocabulary = make_vocabulary(rng)
    per_folder = 100
    with zipfile.ZipFile(path, "w") as archive:
        for i in range(file_count):
            folder = i // per_folder
            name = "set%02d/group%02d/item%05d.txt" % (folder // 10, folder % 10, i)
            add_file(archive, name, fixed_time(rng),
                     make_text(rng, vocabulary, rng.randint(200, 4000)))


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    make_typical(os.path.join(out, "typical.zip"))
    make_small(os.path.join(out, "small.zip"), 20000, 20000)
    make_small(os.path.join(out, "scale2000.zip"), 2000, 2000)


if __name__ == "__main__":
    main()
