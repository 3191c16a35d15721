#!/usr/bin/python3
"""The whole program against curl and lftp on loopback FTP servers.

    bench.py BUILD_DIR      (bench/run.sh builds and calls it)

Runs the real `quelmo` binary as a scheduler would: a copy in a program
folder with its own quelmo.ini, started from another working directory, no
display (the window on the offscreen platform, progress shown), and times
each run from start to exit. Every copy is checked by size and SHA-256.

Sections (SECTIONS, all by default):
  big     a large file down and up, program and curl paired in each round in
          alternating order; compared by the marginal time of the large file
          over a 1 KiB file, so start-up, login and the fixed pauses cancel
          out. curl writes with -o to the same file system and is not charged
          an fsync; what an fsync of its copy costs is printed on its own.
  small   a job of SMALL_FILES files of 1 KiB down and up with the fixed
          pauses off (site key pavze=0), paired with lftp mget/mput of the
          same files on the same server. If the program still sleeps the
          pauses, that is said and the pauses are subtracted.
  paused  the fixed pauses on: time per file beyond the pauses, from a job
          of PAUSED_FILES files minus a job of one file, out of folders of
          FOLDERS files (local and remote), to see whether it grows.
  rss     peak RSS of the program for 1 KiB, BIG_MIB MiB and 3 GiB files.
  tls     cFTP with explicit TLS against curl --ssl-reqd -k, TLS_MIB MiB
          down and up on each of TLS_SERVERS started with TLS
          (bench/tlsbench.py; ftp_throughput --tls).

Environment: BIG_MIB (512), ROUNDS (10), SERVERS ("pyftpdlib vsftpd"; add
proftpd), SMALL_FILES (1000), PAUSED_FILES (100: 10, 100 or 1000),
FOLDERS ("250 1000"), PAUSED_ROUNDS (1), SLEPT_ROUNDS (1: rounds of the
small section while the pauses are still slept), RSS_3GIB (1 when there is
room, 0 skips), BENCH_DIR (where the files go; /dev/shm when it has room),
CFTP=1 also runs ftp_throughput (cFTP alone against curl) on proftpd;
TLS_MIB (256) and TLS_SERVERS ("pyftpdlib vsftpd proftpd") for the tls
section.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from benchlib import (HEADER, BenchError, Figure, FreeMemoryKept, Server, check_copy, check_folder,  # noqa: E402
                      fsync_ns, remove_files, run_timed, sha256, time_wait_count, write_random)
import tlsbench  # noqa: E402

KIB = 1024
MIB = 1 << 20
GIB = 1 << 30
MB = 1e6

# The program's fixed pauses, as it sleeps them by default.
FILE_PAUSE_MS = 100
UPLOAD_PAUSE_MS = 1000
END_PAUSE_MS = 5000

SPEED_TARGET = 1.0       # program at least as fast as curl
SMALL_TARGET = 2.0       # program at most twice lftp's time
PER_FILE_TARGET_MS = 2.0
GROWTH_ALLOWANCE = 1.25  # ours: what noise may add between two folder sizes
RSS_TARGET_MB = 40.0


def pauses_ms(files, upload):
    return files * (FILE_PAUSE_MS + (UPLOAD_PAUSE_MS if upload else 0)) + END_PAUSE_MS


def say(text=""):
    print(text, flush=True)


class Config:
    def __init__(self, env):
        self.big_mib = int(env.get("BIG_MIB", "512"))
        # Even, so that each tool of a pair goes first as often as the other.
        self.rounds = int(env.get("ROUNDS", "10"))
        self.servers = env.get("SERVERS", "pyftpdlib vsftpd").split()
        self.small_files = int(env.get("SMALL_FILES", "1000"))
        self.paused_files = int(env.get("PAUSED_FILES", "100"))
        self.folders = [int(n) for n in env.get("FOLDERS", "250 1000").split()]
        self.paused_rounds = int(env.get("PAUSED_ROUNDS", "1"))
        self.slept_rounds = int(env.get("SLEPT_ROUNDS", "1"))
        self.rss_3gib = env.get("RSS_3GIB", "auto")
        self.sections = env.get("SECTIONS", "big small paused rss tls").split()
        self.bench_dir = env.get("BENCH_DIR", "")
        self.cftp = env.get("CFTP", "0") == "1"
        self.with_3gib = False  # decided once the room for it is known
        unknown = set(self.servers) - {"pyftpdlib", "vsftpd", "proftpd"}
        if unknown:
            raise BenchError("unknown server(s): %s" % " ".join(sorted(unknown)))
        if self.paused_files not in (10, 100, 1000) or any(f < self.paused_files for f in self.folders):
            raise BenchError("PAUSED_FILES must be 10, 100 or 1000 and no larger than any of FOLDERS")
        if self.rounds < 1 or self.big_mib < 1:
            raise BenchError("ROUNDS and BIG_MIB must be positive")

    @property
    def big_size(self):
        return self.big_mib * MIB


def file_system(path):
    """The type of the file system that holds path, from /proc/mounts."""
    best, kind = "", "?"
    with open("/proc/mounts") as mounts:
        for line in mounts:
            fields = line.split()
            if path.startswith(fields[1]) and len(fields[1]) > len(best):
                best, kind = fields[1], fields[2]
    return kind


def choose_base(config, need):
    if config.bench_dir:
        return config.bench_dir
    for candidate in ("/dev/shm", tempfile.gettempdir()):
        if os.path.isdir(candidate) and shutil.disk_usage(candidate).free > need:
            return candidate
    raise BenchError("no folder has %.1f GiB free; set BENCH_DIR or BIG_MIB" % (need / GIB))


def many_name(i):
    return "f%05d.bin" % i


class Files:
    """Everything on disk: the server root and the local folders."""

    def __init__(self, work, config, with_3gib):
        self.work = work
        self.root = os.path.join(work, "root")
        self.src = os.path.join(work, "src")
        self.down = os.path.join(work, "down")
        self.curl = os.path.join(work, "curl")
        self.lftp = os.path.join(work, "lftp")
        self.up = os.path.join(self.root, "up")
        for d in (self.root, self.src, self.down, self.curl, self.lftp, self.up):
            os.makedirs(d, exist_ok=True)
        # name -> (size, sha256) of each single file
        self.originals = {}
        self._single("small.bin", KIB)
        self._single("big.bin", config.big_size)
        if with_3gib:
            self._single("big3.bin", 3 * GIB)
        # count -> {name: (size, sha256)} of each folder of small files
        self.many = {}
        for count in sorted(set([config.small_files] + config.folders)):
            self._folder(count)
        for count in config.folders:
            filler = os.path.join(self.root, "upfill%d" % count)
            os.makedirs(filler, exist_ok=True)
            for i in range(count):
                with open(os.path.join(filler, "h%05d.bin" % i), "wb") as f:
                    f.write(os.urandom(KIB))

    def _single(self, name, size):
        path = os.path.join(self.root, name)
        write_random(path, size)
        # The upload's source is the same file under another name: no
        # second copy on a small tmpfs.
        os.link(path, os.path.join(self.src, name))
        self.originals[name] = (size, sha256(path))

    def _folder(self, count):
        remote = os.path.join(self.root, "many%d" % count)
        local = os.path.join(self.work, "src_many%d" % count)
        os.makedirs(remote)
        os.makedirs(local)
        entries = {}
        for i in range(count):
            data = os.urandom(KIB)
            with open(os.path.join(remote, many_name(i)), "wb") as f:
                f.write(data)
            os.link(os.path.join(remote, many_name(i)), os.path.join(local, many_name(i)))
            entries[many_name(i)] = (KIB, sha256(os.path.join(remote, many_name(i))))
        self.many[count] = entries

    def local_many(self, count):
        return os.path.join(self.work, "src_many%d" % count)


class Program:
    """The real binary in a folder of its own, with its own quelmo.ini."""

    def __init__(self, binary, work):
        self.dir = os.path.join(work, "program")
        self.cwd = os.path.join(work, "run")
        os.makedirs(self.dir)
        os.makedirs(self.cwd)
        self.exe = os.path.join(self.dir, "quelmo")
        shutil.copy2(binary, self.exe)
        self.sites = {}
        self.stderr_seen = set()
        # As under cron: no display, so the window is on the offscreen platform.
        self.env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        self.env["QT_QPA_PLATFORM"] = "offscreen"

    def site(self, name, server, ftpdir, localdir, pause_free=False):
        keys = [("FTPURL", "127.0.0.1:%d" % server.port), ("ftpdir", ftpdir),
                ("localdir", localdir.rstrip("/") + "/"), ("uporabnik", server.user),
                ("geslo", server.password)]
        if pause_free:
            keys.append(("pavze", "0"))
        self.sites[name] = keys
        return name

    def run(self, site, command, timeout_s):
        # The site is the chosen one of the file, as a scheduler's job would
        # have it; the command line carries only the transfer command.
        lines = ["[PROGRAM]", "IZBRANO=" + site]
        for name, keys in self.sites.items():
            lines.append("[%s]" % name)
            lines += ["%s=%s" % kv for kv in keys]
        with open(os.path.join(self.dir, "quelmo.ini"), "w") as f:
            f.write("\n".join(lines) + "\n")
        log = os.path.join(self.cwd, "VANTREL.log")
        if os.path.exists(log):
            os.remove(log)
        run = run_timed([self.exe, command], timeout_s, cwd=self.cwd, env=self.env)
        text = open(log, encoding="utf-8", errors="replace").read() if os.path.exists(log) else ""
        if run.code != 0 or "NAPAKA" in text:
            raise BenchError("quelmo %s (site %s) exited with %d: %s %s"
                             % (command, site, run.code, run.stderr.strip(), text.strip()[-300:]))
        text = run.stderr.strip()
        if text and text not in self.stderr_seen:
            # Said once: the same line from every run would drown the figures.
            self.stderr_seen.add(text)
            say("    note: quelmo wrote to standard error (said once): %s" % text[:300])
        return run


def curl(argv, timeout_s):
    # -q: no ~/.curlrc; --noproxy: loopback even if the environment names a
    # proxy; -P -: active mode, as the program uses.
    run = run_timed(["curl", "-q", "-sS", "--noproxy", "*", "-P", "-", "--max-time", str(timeout_s)] + argv,
                    timeout_s + 10)
    if run.code != 0:
        raise BenchError("curl %s exited with %d: %s" % (" ".join(argv), run.code, run.stderr.strip()))
    return run


def lftp(server, command, timeout_s):
    script = ("set cmd:fail-exit yes; set ftp:passive-mode off; set ftp:ssl-allow no; "
              "set net:max-retries 1; set net:timeout 60; set xfer:clobber on; "
              "open -u %s,%s -p %d 127.0.0.1; %s" % (server.user, server.password, server.port, command))
    run = run_timed(["lftp", "--norc", "-c", script], timeout_s)
    if run.code != 0:
        raise BenchError("lftp %s exited with %d: %s" % (command, run.code, run.stderr.strip()))
    return run


class Bench:
    def __init__(self, config, files, program, servers):
        self.config = config
        self.files = files
        self.program = program
        self.servers = servers
        self.figures = []
        self.failures = []
        self.rss = {"1 KiB": [], "%d MiB" % config.big_mib: [], "3 GiB": []}
        self.pause_free = None

    def figure(self, *args, **kwargs):
        f = Figure(*args, **kwargs)
        self.figures.append(f)
        return f

    # -- one transfer of a single file, checked and cleaned up ---------------

    def program_single(self, server, name, download, timeout_s=600):
        size, digest = self.files.originals[name]
        if download:
            site = self.program.site(server.name + "_root", server, "/", self.files.down)
            run = self.program.run(site, name + ",DOWN", timeout_s)
            copy = os.path.join(self.files.down, name)
        else:
            site = self.program.site(server.name + "_up", server, "/up/", self.files.src)
            run = self.program.run(site, name, timeout_s)
            copy = os.path.join(self.files.up, name)
        check_copy(copy, size, digest, "quelmo on %s" % server.name)
        os.remove(copy)
        return run

    def curl_single(self, server, name, download, timeout_s=600):
        size, digest = self.files.originals[name]
        fsync = None
        if download:
            copy = os.path.join(self.files.curl, name)
            run = curl(["-o", copy, server.url(name)], timeout_s)
            check_copy(copy, size, digest, "curl on %s" % server.name)
            fsync = fsync_ns(copy)
        else:
            copy = os.path.join(self.files.up, "curl-" + name)
            run = curl(["-T", os.path.join(self.files.src, name), server.url("up/curl-" + name)], timeout_s)
            check_copy(copy, size, digest, "curl on %s" % server.name)
        os.remove(copy)
        return run, fsync

    # -- sections -----------------------------------------------------------

    def big(self, server):
        c = self.config
        size = c.big_size
        label = "%d MiB" % c.big_mib
        say("\n== %s of %s, program and curl, %d rounds (marginal time over 1 KiB) ==" % (label, server.name, c.rounds))
        for download in (True, False):
            direction = "download" if download else "upload"
            ratios, program_mbs, curl_mbs, program_cpu, fsyncs = [], [], [], [], []
            for r in range(c.rounds):
                order = ("program", "curl") if r % 2 == 0 else ("curl", "program")
                times = {}
                for tool in order:
                    for name in ("small.bin", "big.bin"):
                        if tool == "program":
                            run = self.program_single(server, name, download)
                            self.rss["1 KiB" if name == "small.bin" else label].append(run.rss_kb * KIB / MB)
                        else:
                            run, fsync = self.curl_single(server, name, download)
                            if fsync is not None and name == "big.bin":
                                fsyncs.append(fsync / 1e6)
                        times[tool, name] = run
                pm = times["program", "big.bin"].ns - times["program", "small.bin"].ns
                cm = times["curl", "big.bin"].ns - times["curl", "small.bin"].ns
                cpu = times["program", "big.bin"].cpu_s - times["program", "small.bin"].cpu_s
                ratios.append(cm / pm)
                program_mbs.append(size / MB / (pm / 1e9))
                curl_mbs.append(size / MB / (cm / 1e9))
                program_cpu.append(cpu)
                say("  %-8s round %d (%s first): program %.2f s - %.2f s = %.3f s (%.0f MB/s, cpu %.2f s), "
                    "curl %.2f s - %.2f s = %.3f s (%.0f MB/s); program/curl %.2f"
                    % (direction, r + 1, order[0], times["program", "big.bin"].s, times["program", "small.bin"].s,
                       pm / 1e9, program_mbs[-1], cpu, times["curl", "big.bin"].s, times["curl", "small.bin"].s,
                       cm / 1e9, curl_mbs[-1], ratios[-1]))
            self.figure("%s %s, program/curl speed" % (label, direction), server.name, ratios, SPEED_TARGET,
                        False, "x")
            self.figure("%s %s, program marginal" % (label, direction), server.name, program_mbs, None, False, "MB/s")
            self.figure("%s %s, curl marginal" % (label, direction), server.name, curl_mbs, None, False, "MB/s")
            self.figure("%s %s, program CPU beyond 1 KiB" % (label, direction), server.name, program_cpu, None,
                        True, "s")
            if fsyncs:
                self.figure("%s fsync of curl's copy (not charged)" % label, server.name, fsyncs, None, True, "ms")

    def probe_pause_free(self, server):
        """Whether the program honours pavze=0: a one-file job then ends
        well before the closing pause alone would have run out."""
        site = self.program.site(server.name + "_probe", server, "/", self.files.down, pause_free=True)
        run = self.program.run(site, "small.bin,DOWN", 120)
        remove_files(self.files.down)
        self.pause_free = run.ns < (END_PAUSE_MS - 1000) * 1e6
        say("\npavze=0: %s (a one-file download took %.2f s with it)"
            % ("honoured" if self.pause_free else "NOT honoured yet: the pauses are slept and subtracted below",
               run.s))

    def small(self, server):
        c = self.config
        n = c.small_files
        originals = self.files.many[n]
        rounds = c.rounds if self.pause_free else c.slept_rounds
        say("\n== %d files of 1 KiB on %s, program (pavze=0) and lftp mget/mput, %d rounds ==" % (n, server.name,
                                                                                                    rounds))
        down_site = self.program.site("%s_many%d_np" % (server.name, n), server, "/many%d/" % n, self.files.down,
                                      pause_free=True)
        up_site = self.program.site("%s_upmany%d_np" % (server.name, n), server, "/up/", self.files.local_many(n),
                                    pause_free=True)
        timeout = pauses_ms(n, True) / 1000 + 600
        for download in (True, False):
            direction = "download" if download else "upload"
            ratios, program_s, lftp_s = [], [], []
            for r in range(rounds):
                order = ("program", "lftp") if r % 2 == 0 else ("lftp", "program")
                took = {}
                waiting = {}
                for tool in order:
                    waiting[tool] = time_wait_count()
                    if download:
                        target = self.files.down if tool == "program" else self.files.lftp
                        run = (self.program.run(down_site, "*.bin,DOWN", timeout) if tool == "program"
                               else lftp(server, "mget -O %s many%d/*.bin" % (target, n), timeout))
                    else:
                        target = self.files.up
                        run = (self.program.run(up_site, "*.bin", timeout) if tool == "program"
                               else lftp(server, "mput -O up/ %s/*.bin" % self.files.local_many(n), timeout))
                    check_folder(target, originals, "%s %s on %s" % (tool, direction, server.name))
                    remove_files(target)
                    ns = run.ns
                    if tool == "program" and not self.pause_free:
                        ns -= pauses_ms(n, not download) * 1e6
                    took[tool] = ns / 1e9
                ratios.append(took["program"] / took["lftp"])
                program_s.append(took["program"])
                lftp_s.append(took["lftp"])
                say("  %-8s round %d (%s first): program %.2f s%s, lftp %.2f s; program/lftp %.2f"
                    " (connections in TIME_WAIT before: program %d, lftp %d)"
                    % (direction, r + 1, order[0], took["program"],
                       "" if self.pause_free else " (pauses of %.0f s subtracted)" % (pauses_ms(n, not download) / 1e3),
                       took["lftp"], ratios[-1], waiting["program"], waiting["lftp"]))
            tag = "%d x 1 KiB %s" % (n, direction)
            self.figure("%s, program/lftp time%s" % (tag, "" if self.pause_free else " *"), server.name, ratios,
                        SMALL_TARGET, True, "x")
            self.figure("%s, program%s" % (tag, "" if self.pause_free else " *"), server.name,
                        [s * 1000 / n for s in program_s], None, True, "ms/file")
            self.figure("%s, lftp" % tag, server.name, [s * 1000 / n for s in lftp_s], None, True, "ms/file")

    def paused(self, server):
        c = self.config
        n = c.paused_files
        pattern = "f" + "0" * (5 - len(str(n - 1))) + "?" * len(str(n - 1)) + ".bin"
        say("\n== pauses on, %s: %d files minus 1 file, folders of %s files, %d round(s) =="
            % (server.name, n, " and ".join(map(str, c.folders)), c.paused_rounds))
        per_file = {}
        for count in c.folders:
            down_site = self.program.site("%s_p%d_down" % (server.name, count), server, "/many%d/" % count,
                                          self.files.down)
            up_site = self.program.site("%s_p%d_up" % (server.name, count), server, "/upfill%d/" % count,
                                        self.files.local_many(count))
            filler = os.path.join(self.files.root, "upfill%d" % count)
            originals = self.files.many[count]
            for download in (True, False):
                samples = []
                for r in range(c.paused_rounds):
                    took = {}
                    for files, what in ((1, many_name(0)), (n, pattern)):
                        expected = {k: v for k, v in originals.items() if k <= many_name(files - 1)}
                        site = down_site if download else up_site
                        run = self.program.run(site, what + (",DOWN" if download else ""),
                                               pauses_ms(files, True) / 1000 + 300)
                        target = self.files.down if download else filler
                        check_folder(target, expected, "quelmo %s on %s" % (what, server.name))
                        remove_files(target, list(expected))
                        took[files] = run.ns / 1e6 - pauses_ms(files, not download)
                    samples.append((took[n] - took[1]) / (n - 1))
                    say("  %-8s folder of %4d, round %d: %d files %.2f s, 1 file %.2f s beyond the pauses; "
                        "%.2f ms per file" % ("download" if download else "upload", count, r + 1, n, took[n] / 1e3,
                                              took[1] / 1e3, samples[-1]))
                direction = "download" if download else "upload"
                per_file[count, direction] = samples
                self.figure("pauses on, %s, folder of %d, beyond pauses" % (direction, count), server.name, samples,
                            PER_FILE_TARGET_MS, True, "ms/file")
        if len(c.folders) > 1:
            small, large = min(c.folders), max(c.folders)
            for direction in ("download", "upload"):
                a = sorted(per_file[small, direction])[len(per_file[small, direction]) // 2]
                b = sorted(per_file[large, direction])[len(per_file[large, direction]) // 2]
                # Below a tenth of a millisecond per file there is nothing to grow.
                ratio = max(b, 0.1) / max(a, 0.1)
                self.figure("pauses on, %s, folder %d / folder %d" % (direction, large, small), server.name,
                            [ratio], GROWTH_ALLOWANCE, True, "x")

    def rss_figures(self, server):
        label = "%d MiB" % self.config.big_mib
        if self.config.with_3gib:
            say("\n== 3 GiB down and up on %s, for the peak RSS ==" % server.name)
            for download in (True, False):
                run = self.program_single(server, "big3.bin", download, timeout_s=1800)
                self.rss["3 GiB"].append(run.rss_kb * KIB / MB)
                say("  %-8s %.2f s, peak RSS %.1f MB" % ("download" if download else "upload", run.s,
                                                          run.rss_kb * KIB / MB))
        for size in ("1 KiB", label, "3 GiB"):
            self.figure("peak RSS, %s file (down and up)" % size, "all", self.rss[size], RSS_TARGET_MB, True, "MB",
                        judge_max=True)


def main(argv):
    if len(argv) != 2:
        print("usage: bench.py BUILD_DIR", file=sys.stderr)
        return 2
    build = os.path.abspath(argv[1])
    config = Config(os.environ)
    uptime = subprocess.run(["uptime"], capture_output=True, text=True).stdout.strip()

    want_3gib = "rss" in config.sections and config.rss_3gib != "0"
    need = 2 * config.big_size + 256 * MIB
    base = choose_base(config, need + (2 * 3 * GIB if want_3gib else 0))
    if want_3gib and config.rss_3gib == "auto" and shutil.disk_usage(base).free < need + 7 * GIB:
        want_3gib = False
    config.with_3gib = want_3gib
    work = tempfile.mkdtemp(prefix="quelmo-bench.", dir=base)
    say("quelmo whole-program bench; files in %s (%s)%s" % (work, file_system(work),
                                                            "" if want_3gib else "; 3 GiB run skipped"))
    say("load before: %s" % uptime)
    say("MB = 10^6 bytes; times from process start to exit; every copy checked by size and SHA-256")
    memory = FreeMemoryKept(work, need + (2 * 3 * GIB if want_3gib else 0))
    say("memory: %s" % memory.state)
    servers = {}
    failures = []
    tls_summary = []
    try:
        if "tls" in config.sections:
            tls_summary, tls_failures = tlsbench.run(build, work, os.environ)
            failures += tls_failures
            shutil.rmtree(os.path.join(work, "tls"), ignore_errors=True)
        if not set(config.sections) & {"big", "small", "paused", "rss"} and not config.cftp:
            report(None, config, uptime, tls_summary)
            return finish(failures)
        started = time.monotonic()
        files = Files(work, config, want_3gib)
        say("test files ready in %.1f s" % (time.monotonic() - started))
        prefix = os.path.join(build, "realservers")
        for name in config.servers + (["proftpd"] if config.cftp and "proftpd" not in config.servers else []):
            servers[name] = Server(name, files.root, prefix)
        program = Program(os.path.join(build, "src", "quelmo"), work)
        bench = Bench(config, files, program, servers)
        for section in ("big", "small", "paused"):
            if section not in config.sections:
                continue
            for name in config.servers:
                try:
                    if section == "small" and bench.pause_free is None:
                        bench.probe_pause_free(servers[name])
                    getattr(bench, section)(servers[name])
                except BenchError as e:
                    failures.append("%s on %s: %s" % (section, name, e))
                    say("  FAILED: %s" % e)
        if "rss" in config.sections:
            try:
                bench.rss_figures(servers["vsftpd" if "vsftpd" in servers else config.servers[0]])
            except BenchError as e:
                failures.append("rss: %s" % e)
                say("  FAILED: %s" % e)
        report(bench, config, uptime, tls_summary)
        if config.cftp:
            say("\n== cFTP alone (ftp_throughput) on proftpd ==")
            code = subprocess.run([os.path.join(build, "bench", "ftp_throughput"), str(servers["proftpd"].port),
                                   files.root, "big.bin", files.curl]).returncode
            if code != 0:
                failures.append("ftp_throughput exited with %d" % code)
    except BenchError as e:
        failures.append(str(e))
    finally:
        for server in servers.values():
            server.stop()
        shutil.rmtree(work, ignore_errors=True)
        memory.restore()
    return finish(failures)


def finish(failures):
    if failures:
        say("\nFAILED (the figures above do not count where a copy failed):")
        for f in failures:
            say("  " + f)
        return 1
    return 0


def report(bench, config, uptime_before, tls_summary):
    say("\n== summary ==")
    if bench:
        say(HEADER)
        for f in bench.figures:
            say(f.row())
    if tls_summary:
        say("TLS, cFTP alone, fastest of 3 (target: at least 80 % of curl --ssl-reqd -k):")
        for line in tls_summary:
            say("  " + line)
    if bench and bench.pause_free is False:
        say("* pavze=0 is not honoured yet: the program slept its pauses (%d ms per file, %d ms more per upload, "
            "%d ms at the end) and they were subtracted; the sleeps' own overshoot stays in." % (
                FILE_PAUSE_MS, UPLOAD_PAUSE_MS, END_PAUSE_MS))
    say("load before: %s" % uptime_before)
    say("load after:  %s" % subprocess.run(["uptime"], capture_output=True, text=True).stdout.strip())
    settings = " ".join("%s=%s" % (k, os.environ[k]) for k in (
        "BIG_MIB", "ROUNDS", "SERVERS", "SMALL_FILES", "PAUSED_FILES", "FOLDERS", "PAUSED_ROUNDS", "SLEPT_ROUNDS",
        "RSS_3GIB", "SECTIONS", "BENCH_DIR", "CFTP", "TLS_MIB", "TLS_SERVERS") if k in os.environ)
    say("reproduce: %s bash bench/run.sh" % settings if settings else "reproduce: bash bench/run.sh")


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except BenchError as e:
        print("bench: %s" % e, file=sys.stderr)
        sys.exit(2)
