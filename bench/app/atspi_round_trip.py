#!/usr/bin/python3
"""A screen reader's simplest question, timed: list the windows of one application over AT-SPI.

Asks again every 20 ms and keeps the times taken from the first answer that shows the application's
progress window (the upload runs) to the first answer without it after the last one (asked while
the upload ran, answered after it), ending once the window has been gone for two seconds or the
time limit passes. Prints median, 99th
percentile and worst in milliseconds; asserts nothing.

    atspi_round_trip.py PID [SECONDS]
"""
import sys
import time

import pyatspi

PROGRESS_TITLE = "処理中..."


def find_application(pid, limit):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        for app in pyatspi.Registry.getDesktop(0):
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except Exception:  # an application that went away meanwhile
                pass
        time.sleep(0.1)
    return None


def window_names(app):
    # Without this the library answers from its cache and the application is never asked.
    app.clear_cache()
    return [window.name for window in app]


def percentile(sorted_values, fraction):
    return sorted_values[int(fraction * (len(sorted_values) - 1))]


def main():
    pid = int(sys.argv[1])
    limit = float(sys.argv[2]) if len(sys.argv) > 2 else 300.0
    app = find_application(pid, 30)
    if app is None:
        print("the application did not show on the accessibility bus", file=sys.stderr)
        return 1
    asked = []  # (milliseconds, whether the progress window was listed)
    first = last = None
    end = time.monotonic() + limit
    while time.monotonic() < end:
        start = time.perf_counter()
        try:
            names = window_names(app)
        except Exception:  # a call that timed out
            names = []
        took = (time.perf_counter() - start) * 1000
        asked.append((took, PROGRESS_TITLE in names))
        if asked[-1][1]:
            if first is None:
                first = len(asked) - 1
            last = len(asked) - 1
            last_seen = time.monotonic()
        elif first is not None and time.monotonic() - last_seen > 2:
            break
        time.sleep(0.02)
    times = [took for took, _ in asked[first:last + 2]] if first is not None else []
    if not times:
        print("no question was asked during an upload", file=sys.stderr)
        return 1
    times.sort()
    print("  windows listed %4d times during the upload: p50 %8.1f ms   p99 %8.1f ms   worst %8.1f ms"
          % (len(times), percentile(times, 0.5), percentile(times, 0.99), times[-1]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
