#!/usr/bin/env python3
"""Writes a corpus of natural-language-like text files for the scan benchmarks.

Usage: make_corpus.py OUTDIR [MEGABYTES]

Words are drawn with a Zipf-like frequency from a vocabulary built from syllables, so that letter and word
statistics resemble prose. Most files are ANSI (windows-1252); one in ten is UTF-16LE with a byte-order mark.
Hits are planted in a known set of files and listed in OUTDIR/planted.txt as "WORD FILE" lines:
  - "quokkaberry"   in one ANSI file in twenty and in one UTF-16 file in three
  - "marzipantle"   in one ANSI file in forty (the second word of the two-word rows)
  - "ostrichfeather" misspelt as "ostrichfaether" (1 error) and "ostrchfaether" (2 errors) in one file in fifty
The output is the same for the same arguments (fixed seed).
"""
import os
import random
import sys

SYLLABLES = ("ka ta na ma ra sa la pa ve re te ne se le me de ri li mi ti si ni do ko to no so mo lo po "
             "an en in on un ar er or ur al el il ol ing ed es st th ch sh qu ou ea ai").split()


def vocabulary(rng, size):
    words = set()
    while len(words) < size:
        words.add("".join(rng.choice(SYLLABLES) for _ in range(rng.choice((1, 2, 2, 3, 3, 4)))))
    words = sorted(words)
    rng.shuffle(words)
    return words


def main():
    out = sys.argv[1]
    megabytes = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    rng = random.Random(20261210)
    vocab = vocabulary(rng, 20000)
    weights = [1.0 / (rank + 1) for rank in range(len(vocab))]
    file_size = 1 << 20
    count = megabytes
    os.makedirs(out, exist_ok=True)
    planted = []
    for index in range(count):
        unicode = index % 10 == 9
        words = rng.choices(vocab, weights, k=file_size // 6)
        plants = []
        if (not unicode and index % 20 == 0) or (unicode and index % 30 == 9):
            plants.append("quokkaberry")
        if not unicode and index % 40 == 0:
            plants.append("marzipantle")
        if index % 50 == 7:
            plants.append("ostrichfaether" if index % 100 == 7 else "ostrchfaether")
        for word in plants:
            words[rng.randrange(len(words))] = word
        lines = []
        for start in range(0, len(words), 12):
            line = " ".join(words[start:start + 12])
            lines.append(line[:1].upper() + line[1:] + ".")
        text = "\r\n".join(lines) + "\r\n"
        name = os.path.join(out, "doc%04d.txt" % index)
        with open(name, "wb") as f:
            f.write(b"\xff\xfe" + text.encode("utf-16-le") if unicode else text.encode("cp1252"))
        planted.extend("%s %s" % (word, name) for word in plants)
    with open(os.path.join(out, "planted.txt"), "w") as f:
        f.write("\n".join(planted) + "\n")


if __name__ == "__main__":
    main()
