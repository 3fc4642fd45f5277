#!/usr/bin/env python3
"""The yardstick of the paced benchmark: the least a client must do.

Replays the frames of a vlboot traffic log (Log.txt) on DEVICE the way the
tool uses the line (open before every frame, write it, select until the
reply bytes of the log are in, close) and nothing else: no lock file, no
line settings, no event loop. Prints its own wall time in seconds.

    bench/baseline.py LOG DEVICE
"""
import os
import select
import sys
import time


def steps(log_path):
    """(frame, reply bytes to read) per frame sent, from the TX and RX lines."""
    plan = []
    with open(log_path, encoding="ascii", errors="replace") as log:
        for line in log:
            fields = line.split()
            if len(fields) < 4 or fields[2] not in ("TX:", "RX:"):
                continue
            data = bytes(int(h, 16) for h in fields[3:])
            if fields[2] == "TX:":
                plan.append((data, []))
            elif plan:
                replies = plan[-1][1]
                # The tool reports a growing buffer again with every chunk.
                if replies and len(data) > len(replies[-1]) and data.startswith(replies[-1]):
                    replies[-1] = data
                else:
                    replies.append(data)
    return [(frame, sum(map(len, replies))) for frame, replies in plan]


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    plan = steps(sys.argv[1])
    device = sys.argv[2]
    start = time.monotonic()
    for frame, expected in plan:
        fd = os.open(device, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        os.write(fd, frame)
        got = 0
        while got < expected:
            if not select.select([fd], [], [], 12)[0]:
                sys.exit("baseline: no reply in time")
            got += len(os.read(fd, 4096))
        os.close(fd)
    print(f"{time.monotonic() - start:.6f}")


if __name__ == "__main__":
    main()
