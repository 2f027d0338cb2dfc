#!/usr/bin/env python3
"""Follows one update of the running qelpupd as a screen reader would, over AT-SPI.

Started by scripts/check-accessibility.sh, which starts qelpupd on the accessibility bus against
the simulated device once the probe has created the file named by its argument. It answers the port dialog with Enter (by xdotool, as an operator),
then, for the whole transfer, looks for the progress dialog, its status text and its percentage,
and listens for the percentage's value changes; at the end it expects the outcome box to be an
alert, and closes it with Enter. Every wait has a deadline; the exit status is 0 when all held.
"""

import subprocess
import sys
import time

import pyatspi
from gi.repository import Atspi, GLib

PORT_DIALOG = "通信ポートの選択"
PROGRESS_CAPTION = "処理中..."
STATUS_TEXT = "ファイルを転送中..."
DONE_TEXT = "アップデート作業は正常に終了しました。"
DEADLINE_S = 110.0
POLL_MS = 150
DRAIN_MS = 2000


def log(*args):
    print(*args, flush=True)


def key(window_name, keysym):
    """Presses a key in the window whose title is `window_name`, as an operator would."""
    found = subprocess.run(
        ["xdotool", "search", "--onlyvisible", "--name", "^" + window_name + "$"],
        capture_output=True, text=True, timeout=10)
    ids = found.stdout.split()
    if not ids:
        return False
    subprocess.run(["xdotool", "windowfocus", "--sync", ids[-1]], capture_output=True, timeout=10)
    subprocess.run(["xdotool", "key", "--clearmodifiers", keysym], timeout=10)
    return True


def safe(call, default=None):
    try:
        return call()
    except Exception:  # the object went away, or the program was busy past the call's deadline
        return default


def showing(acc):
    """True while `acc` is on the screen, as the program says now (not as the library's cache of
    the program's events has it)."""
    acc.clear_cache()
    state = safe(lambda: acc.getState())
    return (state is not None and state.contains(pyatspi.STATE_SHOWING)
            and not state.contains(pyatspi.STATE_DEFUNCT))


def descendants(acc, depth=0):
    """Every object below `acc`; raises when a call fails (the program too busy to answer)."""
    if depth > 12:
        return
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        yield child
        yield from descendants(child, depth + 1)


class Probe:
    def __init__(self):
        self.start = time.monotonic()
        self.app = None
        self.stage = "app"
        self.port_answered = False
        self.progress_seen = 0        # full looks at the progress dialog
        self.progress_complete = 0    # of those, looks that found status text and percentage too
        self.percent_events = 0       # value changes of the percentage
        self.percent_values = []      # the values they showed, where still readable, in order
        self.bar_events = 0
        self.alert = None             # (role name, text) of the outcome box
        self.failures = []
        self.done = False

    # --- events

    def on_value(self, event):
        source = event.source
        role = safe(lambda: source.getRole())
        if role == pyatspi.ROLE_PROGRESS_BAR:
            self.bar_events += 1
        elif role == pyatspi.ROLE_LABEL:
            self.percent_events += 1
            # The event carries no value; one read after the dialog has gone reads nothing.
            if safe(lambda: source.getIndexInParent(), -1) < 0:
                return
            value = safe(lambda: source.queryValue().currentValue)
            # A closed dialog's label may still answer, with 0. A living one never does: its first
            # change is to 1 % or more, and the transfer never goes back.
            if value is not None and int(value) != 0:
                self.percent_values.append(int(value))

    # --- the tree

    def find_app(self):
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(safe(lambda: desktop.childCount, 0)):
            app = safe(lambda: desktop.getChildAtIndex(i))
            if app is not None and safe(lambda: app.name) == "qelpupd":
                return app
        return None

    def windows(self):
        for i in range(safe(lambda: self.app.childCount, 0)):
            w = safe(lambda: self.app.getChildAtIndex(i))
            if w is not None:
                yield w

    def check_progress(self, dialog):
        status = percent = False
        try:
            for acc in descendants(dialog):
                role = acc.getRole()
                if role == pyatspi.ROLE_LABEL and acc.name == STATUS_TEXT:
                    status = True
                if role == pyatspi.ROLE_LABEL and acc.name.endswith("%"):
                    percent = 0 <= acc.queryValue().currentValue <= 100
        except Exception:
            return  # the program did not answer in time: this look tells nothing
        # The dialog may go between the look's calls, and is then found empty: only a look at a
        # dialog still showing afterwards tells that its status or percentage was missing.
        if not (status and percent) and not showing(dialog):
            return
        self.progress_seen += 1
        if status and percent:
            self.progress_complete += 1

    def poll(self):
        if time.monotonic() - self.start > DEADLINE_S:
            self.failures.append("deadline passed at stage " + self.stage)
            return self.finish()
        if self.app is None:
            self.app = self.find_app()
            return True
        for w in self.windows():
            name = safe(lambda: w.name, "")
            role = safe(lambda: w.getRole())
            if name == PORT_DIALOG and not self.port_answered:
                self.port_answered = key(PORT_DIALOG, "Return")
                self.stage = "transfer"
            elif name == PROGRESS_CAPTION:
                self.check_progress(w)
            elif name == "qelpupd" and self.alert is None:
                # The outcome box: titled with the program's name, where the main window's title
                # is "QelpUpd".
                parts = safe(lambda: list(descendants(w)))
                if parts is None:
                    return True  # look again
                self.alert = (safe(lambda: w.getRoleName(), "?"),
                              [safe(lambda: a.name, "") for a in parts])
                self.stage = "outcome"
                for part in parts:
                    if safe(lambda: part.getRole()) == pyatspi.ROLE_PUSH_BUTTON:
                        safe(lambda: part.queryAction().doAction(0))
                # The transfer's events may still wait in the queue behind the box's answers.
                GLib.timeout_add(DRAIN_MS, self.finish)
                return False
        return True

    def finish(self):
        self.done = True
        pyatspi.Registry.stop()
        return False

    def verdict(self):
        f = list(self.failures)
        if self.app is None:
            f.append("qelpupd never appeared on the accessibility bus")
        if self.progress_seen == 0:
            f.append("the progress dialog was never seen whole in the accessibility tree")
        elif self.progress_complete != self.progress_seen:
            f.append("the progress dialog lacked its status text or percentage in %d of %d looks"
                     % (self.progress_seen - self.progress_complete, self.progress_seen))
        if self.percent_events < 10:
            f.append("only %d value changes of the percentage" % self.percent_events)
        # Reading a value takes a round trip that a busy program answers late, when the dialog
        # may have gone; the looks at the whole dialog read it while it lives.
        if self.percent_values and (self.percent_values != sorted(self.percent_values) or
                                    not 0 < self.percent_values[-1] <= 100):
            f.append("the percentage's values are not those of one transfer: %s"
                     % self.percent_values)
        if self.alert is None:
            f.append("no outcome box was seen")
        elif self.alert[0] != "alert":
            f.append("the outcome box is a '%s', not an alert" % self.alert[0])
        elif DONE_TEXT not in self.alert[1]:
            f.append("the outcome box does not say the update succeeded: %s" % self.alert[1])
        return f


def main():
    # A program busy with the serial line answers late; a call that has no answer in twenty
    # seconds counts as unanswered.
    Atspi.set_timeout(20000, 20000)
    probe = Probe()
    pyatspi.Registry.registerEventListener(probe.on_value,
                                           "object:property-change:accessible-value")
    GLib.timeout_add(POLL_MS, probe.poll)
    if len(sys.argv) > 1:
        open(sys.argv[1], "w").close()  # listening: the program may start
    pyatspi.Registry.start()
    failures = probe.verdict()
    log("progress dialog looks: %d, complete: %d; percentage changes: %d, values read: %s; "
        "bar value changes: %d" % (probe.progress_seen, probe.progress_complete,
                                   probe.percent_events, probe.percent_values, probe.bar_events))
    if probe.alert:
        log("outcome box: role %s, texts %s" % probe.alert)
    for failure in failures:
        log("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
