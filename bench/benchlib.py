"""What the benchmark needs besides its figures: servers on loopback, timed
runs of a process with its peak memory, copies checked by size and SHA-256,
and medians.
"""

import hashlib
import os
import select
import statistics
import subprocess
import tempfile
import threading
import time

MIB = 1 << 20

TOP = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))


class BenchError(Exception):
    pass


class Server:
    """One FTP server on 127.0.0.1, started by one of the launchers in
    tests/support; it ends when we close its standard input."""

    def __init__(self, name, root, prefix, extra=()):
        self.name = name
        self.root = root
        if name == "pyftpdlib":
            argv = ["/usr/bin/python3", os.path.join(TOP, "tests/support/ftpserver.py")]
            self.user, self.password = "quelmo", "zelkar"
        else:
            argv = ["/usr/bin/python3", os.path.join(TOP, "tests/support/realserver.py"), name,
                    "--prefix", prefix]
            # vsftpd serves anonymous sessions only (realserver.py says why).
            self.user, self.password = ("anonymous", "zelkar") if name == "vsftpd" else ("quelmo", "zelkar")
        self.log = open(os.path.join(os.path.dirname(root), "%s.log" % name), "w+")
        self.process = subprocess.Popen(argv + ["--root", root, "--host", "127.0.0.1", "--port", "0"] + list(extra),
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.log)
        self.port = self._read_port()

    def _read_port(self):
        ready, _, _ = select.select([self.process.stdout], [], [], 120)
        line = self.process.stdout.readline().decode() if ready else ""
        if not line.startswith("READY "):
            self.stop()
            self.log.seek(0)
            raise BenchError("%s did not start: %s" % (self.name, self.log.read().strip()))
        return int(line.split()[1])

    def url(self, path):
        return "ftp://%s:%s@127.0.0.1:%d/%s" % (self.user, self.password, self.port, path)

    def stop(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class Run:
    """One finished process: wall time, CPU time and peak RSS of that
    process alone (not of its children)."""

    def __init__(self, ns, code, cpu_s, rss_kb, stderr):
        self.ns = ns
        self.code = code
        self.cpu_s = cpu_s
        self.rss_kb = rss_kb
        self.stderr = stderr

    @property
    def s(self):
        return self.ns / 1e9


def run_timed(argv, timeout_s, cwd=None, env=None):
    """Runs argv to its end and times it from start to exit."""
    err = tempfile.TemporaryFile(mode="w+")
    start = time.perf_counter_ns()
    process = subprocess.Popen(argv, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=err)
    # wait4() is what gives the peak RSS of exactly this process; a timer
    # kills a process that hangs, so a stuck transfer ends the bench.
    timer = threading.Timer(timeout_s, process.kill)
    timer.start()
    try:
        _, status, usage = os.wait4(process.pid, 0)
    finally:
        timer.cancel()
    ns = time.perf_counter_ns() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    err.seek(0)
    text = err.read()
    err.close()
    return Run(ns, process.returncode, usage.ru_utime + usage.ru_stime, usage.ru_maxrss, text)


def time_wait_count():
    """Connections of this machine in TIME_WAIT. Thousands of data
    connections a minute leave as many behind for a minute, and while they
    fill the ports a new one is chosen from, every tool that makes a data
    connection slows down: the count explains a slow round."""
    count = 0
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        try:
            with open(table) as f:
                count += sum(1 for line in f if line.split()[3:4] == ["06"])
        except OSError:
            pass
    return count


def sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        while True:
            block = f.read(1 << 20)
            if not block:
                return h.hexdigest()
            h.update(block)


def check_copy(path, size, digest, what):
    """A fast but wrong copy proves nothing: size and SHA-256 must match."""
    try:
        actual = os.path.getsize(path)
    except OSError:
        raise BenchError("%s: %s did not arrive" % (what, path))
    if actual != size:
        raise BenchError("%s: %s has %d bytes, expected %d" % (what, path, actual, size))
    if sha256(path) != digest:
        raise BenchError("%s: %s differs from the original (SHA-256)" % (what, path))


def check_folder(folder, originals, what):
    """originals: {name: (size, sha256)}; every one must be in folder, alike."""
    arrived = set(os.listdir(folder))
    missing = set(originals) - arrived
    if missing:
        raise BenchError("%s: %d of %d files did not arrive in %s (e.g. %s)"
                         % (what, len(missing), len(originals), folder, sorted(missing)[0]))
    for name, (size, digest) in originals.items():
        check_copy(os.path.join(folder, name), size, digest, what)


def remove_files(folder, names=None):
    for name in os.listdir(folder) if names is None else names:
        path = os.path.join(folder, name)
        if os.path.isfile(path):
            os.remove(path)


def fsync_ns(path):
    fd = os.open(path, os.O_RDONLY)
    try:
        start = time.perf_counter_ns()
        os.fsync(fd)
        return time.perf_counter_ns() - start
    finally:
        os.close(fd)


def write_random(path, size):
    with open(path, "wb") as f:
        left = size
        while left:
            n = min(left, 8 << 20)
            f.write(os.urandom(n))
            left -= n


class Figure:
    """One measured quantity with its samples and its target."""

    def __init__(self, name, server, samples, target, at_most, unit, judge_max=False):
        self.name = name
        self.server = server
        self.samples = list(samples)
        self.target = target
        self.at_most = at_most
        self.unit = unit
        # Peak memory is judged by the largest run, not by the typical one.
        self.judge_max = judge_max

    @property
    def median(self):
        return statistics.median(self.samples) if self.samples else float("nan")

    @property
    def judged(self):
        return max(self.samples) if self.judge_max else self.median

    def verdict(self):
        if not self.samples or self.target is None:
            return ""
        met = self.judged <= self.target if self.at_most else self.judged >= self.target
        return "OK" if met else "MISSED"

    def row(self):
        if not self.samples:
            return "%-50s %-9s %s" % (self.name, self.server, "not measured")
        spread = "%s-%s" % (fmt(min(self.samples)), fmt(max(self.samples))) if len(self.samples) > 1 else "-"
        if self.target is None:
            target, ratio = "-", "-"
        else:
            target = ("<= " if self.at_most else ">= ") + fmt(self.target)
            ratio = "%.2f" % (self.judged / self.target)
        return "%-50s %-9s %10s %9s %15s %6d %7s %7s  %s" % (
            self.name, self.server, target, fmt(self.median), spread, len(self.samples), ratio, self.unit,
            self.verdict() + (" (by the max)" if self.judge_max and self.target is not None else ""))


def fmt(value):
    return "%.2f" % value if abs(value) < 100 else "%.0f" % value


HEADER = "%-50s %-9s %10s %9s %15s %6s %7s %7s  %s" % (
    "figure", "server", "target", "median", "min-max", "rounds", "/target", "unit", "verdict")


class FreeMemoryKept:
    """Keeps this machine's free memory its own for the run.

    Memory a virtual machine's free page reporting handed back to its host
    faults in again on the next write, and in the large-file section that
    falls on the program's copy nearly every round and on curl's almost never
    (bench/README.md says why). Where we may (root), the reporting is set to
    an order no free block reaches and `touch` bytes are written once; the
    setting is put back at the end. Elsewhere the run goes on, and says so."""

    PARAMETER = "/sys/module/page_reporting/parameters/page_reporting_order"

    def __init__(self, folder, touch):
        self.before = None
        self.state = "no free page reporting on this machine"
        if not os.path.exists(self.PARAMETER):
            return
        with open(self.PARAMETER) as f:
            before = f.read().strip()
        # One past the largest order a free block can have (the columns of
        # /proc/buddyinfo): the kernel takes no larger value.
        with open("/proc/buddyinfo") as f:
            off = str(len(f.readline().split()) - 4)
        try:
            with open(self.PARAMETER, "w") as f:
                f.write(off)
        except OSError as e:
            self.state = ("free page reporting stays on (order %s; cannot change it: %s): large copies may land "
                          "on memory the host took back, and their times are noisier" % (before, e.strerror))
            return
        self.before = before
        started = time.monotonic()
        path = os.path.join(folder, "touch.bin")
        block = bytes(MIB)
        with open(path, "wb") as f:
            for _ in range(max(1, touch // MIB)):
                f.write(block)
        os.remove(path)
        self.state = ("free page reporting off for the run (order %s -> %s), %d MiB touched in %.1f s"
                      % (before, off, touch // MIB, time.monotonic() - started))

    def restore(self):
        if self.before is not None:
            with open(self.PARAMETER, "w") as f:
                f.write(self.before)
            self.before = None
