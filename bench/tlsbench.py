"""The TLS section of the bench: cFTP with explicit TLS against curl
--ssl-reqd -k, a large file down and up, on each server of TLS_SERVERS
started with TLS (every data connection must resume the control
connection's session), through ftp_throughput --tls.

Environment: TLS_MIB (256), TLS_SERVERS ("pyftpdlib vsftpd proftpd").
"""

import os
import subprocess

from benchlib import TOP, BenchError, Server, write_random

MIB = 1 << 20


def say(text=""):
    print(text, flush=True)


def certificates(folder):
    """The test certificates (tests/support/tlscerts.py); the CA file."""
    result = subprocess.run(["/usr/bin/python3", os.path.join(TOP, "tests/support/tlscerts.py"), folder],
                            capture_output=True, text=True)
    if result.returncode != 0:
        raise BenchError("tlscerts.py failed: %s" % result.stderr.strip())
    return os.path.join(folder, "ca.pem")


def run(build, work, env):
    """Runs the section; the lines of its summary and its failures."""
    size_mib = int(env.get("TLS_MIB", "256"))
    names = env.get("TLS_SERVERS", "pyftpdlib vsftpd proftpd").split()
    unknown = set(names) - {"pyftpdlib", "vsftpd", "proftpd"}
    if unknown:
        raise BenchError("unknown TLS server(s): %s" % " ".join(sorted(unknown)))
    folder = os.path.join(work, "tls")
    root = os.path.join(folder, "root")
    down = os.path.join(folder, "down")
    # Uploads go into a folder below the root: vsftpd's root stays
    # read-only for its anonymous sessions.
    for d in (os.path.join(root, "up"), down):
        os.makedirs(d, exist_ok=True)
    ca = certificates(os.path.join(folder, "certs"))
    cert, key = os.path.join(folder, "certs", "trusted.pem"), os.path.join(folder, "certs", "server.key")
    write_random(os.path.join(root, "tls.bin"), size_mib * MIB)

    summary, failures = [], []
    for name in names:
        say("\n== TLS: cFTP (tls=explicit) and curl --ssl-reqd -k, %d MiB down and up, on %s ==" % (size_mib, name))
        server = Server(name, root, os.path.join(build, "realservers"), ["--tls", cert, key])
        try:
            out = subprocess.run([os.path.join(build, "bench", "ftp_throughput"), "--tls", ca, "--user", server.user,
                                  "--upload-dir", "up", str(server.port), root, "tls.bin", down],
                                 capture_output=True, text=True)
        finally:
            server.stop()
        say(out.stdout.rstrip())
        if out.stderr.strip():
            say(out.stderr.rstrip())
        summary += ["%-9s %s" % (name, line) for line in out.stdout.splitlines() if "cFTP/curl" in line]
        if out.returncode != 0:
            failures.append("TLS on %s: ftp_throughput exited with %d" % (name, out.returncode))
    return summary, failures
