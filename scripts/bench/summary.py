#!/usr/bin/env python3
"""Reads the figures bench.sh kept (one run a line: KEY key=value...) and
prints the medians against the goals.

    summary.py FIGURES
"""

import statistics
import sys


def read(path):
    runs = {}
    with open(path) as figures:
        for line in figures:
            key, _, rest = line.strip().partition(" ")
            values = dict(item.split("=", 1) for item in rest.split() if "=" in item)
            if values and not rest.startswith("failed"):
                runs.setdefault(key, []).append(values)
    return runs


def median(runs, key, field):
    values = []
    for run in runs.get(key, []):
        try:
            values.append(float(run[field]))
        except (KeyError, ValueError):
            pass
    return statistics.median(values) if values else None


def ratio(line, value, base, goal):
    if value is None or base is None or base == 0:
        return line + ": no figure"
    times = value / base
    return "%s: %.2fx (goal <= %.1fx: %s)" % (line, times, goal, "met" if times <= goal else "NOT met")


def main():
    runs = read(sys.argv[1])
    for link, title, to_mbsync, to_limit in (("direct", "loopback", 1.2, 1.6), ("proxy", "through the relay", 1.0, 1.4)):
        window = median(runs, "window-" + link, "list_s")
        mbsync = median(runs, "mbsync-" + link, "seconds")
        limit = median(runs, "limit-" + link, "seconds")
        offscreen = median(runs, "offscreen-" + link, "seconds")
        print("%s: window %s s, offscreen %s s, mbsync %s s, limit %s s" % (
            title, *("%.3f" % v if v is not None else "-" for v in (window, offscreen, mbsync, limit))))
        print("  " + ratio("window / mbsync", window, mbsync, to_mbsync))
        print("  " + ratio("window / limit", window, limit, to_limit))
    peak = median(runs, "window-direct", "peak_rss_mib")
    before = median(runs, "window-direct", "rss_before_mib")
    texts = median(runs, "offscreen-direct", "text_utf8_mib")
    if peak is not None and before is not None:
        print("memory: the window's peak %.1f MiB, %.1f MiB before the click; the records' texts %s MiB in UTF-8"
              % (peak, before, "%.1f" % texts if texts is not None else "-"))
        print("  " + ratio("growth during the listing / texts", peak - before, texts, 2.0))
        done = median(runs, "window-direct", "rss_done_mib")
        if done is not None:
            print("  " + ratio("kept when Done. shows / texts", done - before, texts, 2.0))
        print("  " + ratio("whole peak / texts", peak, texts, 2.0))
    for field, key, title, goal in (("save_files_s", "fs-separate", "save as 10,000 files", 2.0),
                                    ("save_one_s", "fs-one", "save as Emails.txt", None)):
        window = median(runs, "window-direct", field)
        fs = median(runs, key, "seconds")
        if window is None:
            continue
        print("%s: window %.3f s, file system's limit %s s" % (title, window, "%.3f" % fs if fs is not None else "-"))
        if goal:
            print("  " + ratio("window / fs limit", window, fs, goal))


if __name__ == "__main__":
    main()
