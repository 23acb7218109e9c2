#!/usr/bin/env python3
"""The uninstall benchmark's measurements, run inside a Wine session.

Every remover is started from Linux with the `wine` command, its output
nowhere, and timed from Linux until the game folder is gone: a stat every
5 ms, nothing of the measurement running inside Wine. The floor is the
plainest loop (DeleteFloor.exe, which links nothing but the runtime). The
figures of the in-Wine timer (UninstallBenchmark.exe: folder polling, a
debug-channel listener and a working-set sampler inside the prefix, with the
old floor, its own "delete" mode) come from runs of their own, as do the
first line and the peak working set; then the floor is timed with parts of
that apparatus taken away, to show which of them slows what it times.

  uninstall-benchmark.py <data folder> <build folder> <runs>
"""
import os
import shutil
import statistics
import subprocess
import sys
import time

POLL_SECONDS = 0.005
SETTLE_SECONDS = 0.3
SIZES = (1000, 10000)


class Bench:
    def __init__(self, data, build):
        self.data = data
        self.build = build
        self.prefix = os.environ["WINEPREFIX"]
        self.runner = os.path.join(build, "tools/benchmarks/UninstallBenchmark.exe")
        self.floor = os.path.join(build, "tools/benchmarks/DeleteFloor.exe")

    def game(self, files):
        return os.path.join(self.prefix, "drive_c/OstrelBench/Game%d" % files)

    def install(self, files):
        shutil.rmtree(self.game(files), ignore_errors=True)
        os.makedirs(os.path.dirname(self.game(files)), exist_ok=True)
        shutil.copytree(os.path.join(self.data, "game-%d/tree" % files), self.game(files))
        os.sync()

    def commands(self, files):
        game = os.path.join(self.data, "game-%d" % files)
        return {
            "ours": [os.path.join(self.build, "uninstaller/BenchmarkUninstaller%d.exe" % files), "quiet"],
            "floor": [self.floor, windows_path(os.path.join(game, "delete-list.txt"))],
            "nsis-delete": [os.path.join(game, "nsis-delete.exe"), "/S"],
            "nsis-rmdir": [os.path.join(game, "nsis-rmdir.exe"), "/S"],
        }

    def outside(self, files, command):
        """Seconds from the start of `wine <command>` to the game folder gone."""
        self.install(files)
        folder = self.game(files)
        start = time.monotonic()
        process = subprocess.Popen(["wine"] + command, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        while os.path.exists(folder):
            time.sleep(POLL_SECONDS)
            if time.monotonic() - start > 600:
                raise SystemExit("the game folder stayed: %s" % " ".join(command))
        seconds = time.monotonic() - start
        process.wait()
        time.sleep(SETTLE_SECONDS)
        return seconds

    def old_floor(self, files):
        return [self.runner, "delete",
                windows_path(os.path.join(self.data, "game-%d/delete-list.txt" % files))]

    def inside(self, files, command, apparatus="all"):
        """The in-Wine timer's figures for one run."""
        self.install(files)
        result = subprocess.run(
            ["wine", self.runner, "time", "chain", "C:\\OstrelBench\\Game%d" % files,
             " ".join(quoted(windows_path(part)) if part.startswith("/") else part
                      for part in command), apparatus],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        values = dict(line.split(" ", 1) for line in
                      result.stdout.decode().replace("\r", "").splitlines() if " " in line)
        time.sleep(SETTLE_SECONDS)
        if "error" in values or "folder_gone" not in values:
            print("warning: %s: %s" % (" ".join(command), values.get("error", "no figures")),
                  flush=True)
        return {key: float(value) for key, value in values.items() if key != "error"}


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def quoted(text):
    return '"%s"' % text


def measure_outside(bench, runs):
    times = {}
    for run in range(runs):
        # Each run starts with another method, so that none always follows
        # the same one (whose processes may still be ending).
        order = METHODS[run % len(METHODS):] + METHODS[:run % len(METHODS)]
        for files in SIZES:
            for method in order:
                seconds = bench.outside(files, bench.commands(files)[method])
                times.setdefault((files, method), []).append(seconds)
                print("[bench] run %d, %d files, %s: %.3f s" % (run + 1, files, method, seconds),
                      flush=True)
    return times


def print_outside(times, runs):
    print()
    print("Uninstall of a generated game, medians of %d runs, timed from outside Wine "
          "(seconds from `wine <remover>` to the game folder gone)" % runs)
    for files in SIZES:
        ours = statistics.median(times[(files, "ours")])
        for method in METHODS:
            seconds = statistics.median(times[(files, method)])
            ratio = "" if method == "ours" else "   ours/this %.2f" % (ours / seconds)
            values = " ".join("%.2f" % value for value in times[(files, method)])
            print("  %6s files  %-42s %6.2f  (%s)%s" % ("{:,}".format(files), LABELS[method],
                                                       seconds, values, ratio))


def print_old_timer(bench):
    print("The old measurement, the in-Wine timer with its old floor, one run each:")
    for files in SIZES:
        ours = bench.inside(files, bench.commands(files)["ours"])
        floor = bench.inside(files, bench.old_floor(files))
        print("  %6s files  ours %.2f s, floor %.2f s, ours/floor %.2f; ours: first PROGRESS line "
              "%.3f s, peak working set %d KB"
              % ("{:,}".format(files), ours["folder_gone"], floor["folder_gone"],
                 ours["folder_gone"] / floor["folder_gone"], ours["first_progress"],
                 ours["peak_working_set_kb"]))


def print_apparatus_study(bench, runs):
    files = SIZES[-1]
    floor = bench.commands(files)["floor"]
    rows = [
        ("the floor, timed from outside", lambda: bench.outside(files, floor)),
        ("the old floor program, timed from outside",
         lambda: bench.outside(files, bench.old_floor(files))),
        ("the floor under the in-Wine timer, all of it",
         lambda: bench.inside(files, floor)["folder_gone"]),
        ("  without the working-set sampler",
         lambda: bench.inside(files, floor, "no-sampler")["folder_gone"]),
        ("  polling the folder only", lambda: bench.inside(files, floor, "folder-only")["folder_gone"]),
    ]
    print("What slows the floor, %s files, medians of %d runs:" % ("{:,}".format(files), runs))
    for label, measure in rows:
        values = [measure() for _ in range(runs)]
        print("  %-46s %6.2f  (%s)" % (label, statistics.median(values),
                                       " ".join("%.2f" % value for value in values)), flush=True)


METHODS = ("ours", "floor", "nsis-delete", "nsis-rmdir")
LABELS = {"ours": "ours (OstrelUninstaller quiet)", "floor": "floor (DeleteFileW/RemoveDirectoryW loop)",
          "nsis-delete": "NSIS Delete lines + RMDir", "nsis-rmdir": "NSIS RMDir /r"}


def main():
    data, build, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
    bench = Bench(data, build)
    times = measure_outside(bench, runs)
    print_outside(times, runs)
    print_old_timer(bench)
    print_apparatus_study(bench, min(runs, 3))


if __name__ == "__main__":
    main()
