#!/usr/bin/env python3
"""Drives the real corvina executable on the X display in $DISPLAY, as a user
would: the window connects at start (the settings' autoconnect, the label
filter naming "[Gmail]/All Mail"), then xdotool clicks "2a. Get All Emails" and the time runs until the
"Done." box is up. With --save it then clicks "Check All" and
"3. Start Downloading" (one file per message), and once more with
"Save All Emails To One Text File" (Emails.txt), each timed to its "Done." box.

The program tells when a box is up or gone on standard error when
CORVINA_ANNOUNCE_BOXES is set; the clock, the clicks and the keys are all here.
Prints one line of key=value figures.

    window.py CORVINA HOST PORT CA USER PASSWORD WORKDIR [--save]
"""

import os
import queue
import subprocess
import sys
import threading
import time

# Centres of the controls in the window, in pixels (the layout's twips / 15).
GET_ALL = (136, 317)
CHECK_ALL = (136, 525)
START_SAVE = (268, 761)
ONE_FILE_OPTION = (32, 661)
WAIT_LIMIT = 600


def xdotool(*args):
    return subprocess.run(["xdotool", *args], check=True, capture_output=True, text=True).stdout.split()


def status_kib(pid, key):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return -1


class Program:
    def __init__(self, argv, env):
        self.process = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                        text=True, bufsize=1)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stderr:
            self.lines.put(line.rstrip("\n"))
        self.lines.put(None)

    def wait_box(self, event, limit=WAIT_LIMIT):
        """Waits for 'box EVENT: text'; returns the text."""
        due = time.monotonic() + limit
        while True:
            try:
                line = self.lines.get(timeout=max(0.0, due - time.monotonic()))
            except queue.Empty:
                raise RuntimeError("no box %s within %d s" % (event, limit))
            if line is None:
                raise RuntimeError("corvina ended while waiting for a box")
            prefix = "corvina: box %s: " % event
            if line.startswith(prefix):
                return line[len(prefix):]

    def no_box_yet(self):
        while True:
            try:
                line = self.lines.get_nowait()
            except queue.Empty:
                return True
            if line is None or line.startswith("corvina: box shown: "):
                raise RuntimeError("unexpected before the click: %s" % line)


def write_settings(config, host_user, password, save_folder):
    os.makedirs(config, exist_ok=True)
    path = os.path.join(config, "Brackwater.ini")
    # The label filter names the mailbox whatever the server calls its system folders.
    with open(path, "w") as ini:
        ini.write("[Corvina]\nUser=%s\nPassword=%s\nStayConnected=1\nAutoConnect=1\nOption=1\nFolder=%s\n"
                  "LabelFilter=[Gmail]/All Mail\n" % (host_user, password, save_folder))
    os.chmod(path, 0o600)


def main():
    corvina, host, port, ca, user, password, work = sys.argv[1:8]
    save = "--save" in sys.argv[8:]
    saved = os.path.join(work, "saved")
    os.makedirs(saved, exist_ok=True)
    write_settings(os.path.join(work, "config"), user, password.replace("\\", "\\\\"), saved)
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"), XDG_DATA_HOME=os.path.join(work, "data"),
               QT_QPA_PLATFORM="xcb", CORVINA_ANNOUNCE_BOXES="1", QT_ACCESSIBILITY="0")
    env.pop("QT_QPA_PLATFORMTHEME", None)
    program = Program([corvina, "--server", "%s:%s" % (host, port), "--ca-file", ca], env)
    try:
        due = time.monotonic() + 60
        window = None
        while window is None:
            if time.monotonic() > due or program.process.poll() is not None:
                raise RuntimeError("the window did not come up")
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Corvina$"],
                                   capture_output=True, text=True).stdout.split()
            window = found[0] if found else None
            time.sleep(0.2)
        time.sleep(1.0)  # let the first paint settle
        program.no_box_yet()

        def click(point):
            xdotool("mousemove", "--window", window, str(point[0]), str(point[1]), "click", "1")

        def timed(point):
            start = time.monotonic()
            click(point)
            text = program.wait_box("shown")
            seconds = time.monotonic() - start
            if text != "Done.":
                raise RuntimeError("the command ended with the box: %s" % text)
            return seconds

        def close_box():
            # No window manager gives the box the keyboard: focus it by hand
            # (the box is the visible "Corvina" window that is not the main one).
            for _ in range(5):
                found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Corvina$"],
                                       capture_output=True, text=True).stdout.split()
                for box in (wid for wid in found if wid != window):
                    subprocess.run(["xdotool", "windowfocus", "--sync", box], capture_output=True, timeout=10)
                xdotool("key", "Return")
                try:
                    program.wait_box("closed", 5)
                    return
                except RuntimeError:
                    pass
            raise RuntimeError("the box would not close")

        rss_before = status_kib(program.process.pid, "VmRSS")
        figures = {"list_s": timed(GET_ALL)}
        figures["peak_rss_mib"] = status_kib(program.process.pid, "VmHWM") / 1024.0
        figures["rss_before_mib"] = rss_before / 1024.0
        # What the listing keeps (rows and records) against what it only passed through.
        figures["rss_done_mib"] = status_kib(program.process.pid, "VmRSS") / 1024.0
        close_box()
        if save:
            click(CHECK_ALL)
            time.sleep(0.5)
            figures["save_files_s"] = timed(START_SAVE)
            close_box()
            figures["files"] = sum(1 for name in os.listdir(saved) if name.endswith(".txt"))
            click(ONE_FILE_OPTION)
            time.sleep(0.5)
            figures["save_one_s"] = timed(START_SAVE)
            close_box()
            figures["emails_txt_mib"] = os.path.getsize(os.path.join(saved, "Emails.txt")) / 1048576.0
        print(" ".join("%s=%s" % (key, ("%.3f" % value if key.endswith("_s") else "%.1f" % value)
                                  if isinstance(value, float) else value) for key, value in figures.items()))
    finally:
        program.process.terminate()
        try:
            program.process.wait(10)
        except subprocess.TimeoutExpired:
            program.process.kill()
            program.process.wait()


if __name__ == "__main__":
    try:
        main()
    except RuntimeError as error:
        print("failed: %s" % error)
        sys.exit(1)
