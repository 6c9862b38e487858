"""What the benchmarks of tqv7310nx-cli serve share."""
import os
import sys


def ready(proc, word):
    """The port on the first stderr line of `proc` that begins with `word` ("http 8080")."""
    while True:
        line = proc.stderr.readline().decode()
        if not line:
            sys.exit(f"{os.path.basename(sys.argv[0])}: no \"{word}\" line")
        if line.startswith(word + " "):
            return int(line.split()[1])
