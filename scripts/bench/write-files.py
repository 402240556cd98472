#!/usr/bin/env python3
"""The file system's own limit for a save: writes the bytes of every file in
SOURCE into TARGET the way a careful saver does, each under a temporary name
in the same folder, flushed to the disk (fdatasync), then renamed into place.
The files are read into memory first, so only the writing is timed. Prints the
seconds, the file count and the bytes.

    write-files.py SOURCE TARGET [NAME...]   (default: every *.txt but Emails.txt)
"""

import os
import sys
import time


def main():
    source, target = sys.argv[1:3]
    names = sys.argv[3:] or sorted(name for name in os.listdir(source)
                                   if name.endswith(".txt") and name != "Emails.txt")
    contents = []
    for name in names:
        with open(os.path.join(source, name), "rb") as file:
            contents.append((name, file.read()))
    os.makedirs(target, exist_ok=True)
    start = time.monotonic()
    for number, (name, data) in enumerate(contents):
        final = os.path.join(target, name)
        temporary = os.path.join(target, ".%s.%d.tmp" % (name[:40], number))
        descriptor = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
        try:
            view = memoryview(data)
            while view:
                view = view[os.write(descriptor, view):]
            os.fdatasync(descriptor)
        finally:
            os.close(descriptor)
        os.rename(temporary, final)
    seconds = time.monotonic() - start
    print("%.3f %d %d" % (seconds, len(contents), sum(len(data) for _, data in contents)))


if __name__ == "__main__":
    main()
