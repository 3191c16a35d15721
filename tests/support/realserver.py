#!/usr/bin/python3
"""Runs Debian's vsftpd or proftpd on loopback, unpacked, never installed.

    realserver.py vsftpd|proftpd --root ROOT [--host 127.0.0.1|::1]
                  [--port N] [--tls CERT KEY [--tls-version 1.2|1.3]]
                  [--prefix DIR]
    realserver.py vsftpd|proftpd --fetch-only [--prefix DIR]

Like ftpserver.py it prints "READY <port>" once the server greets, and stops
the server when its standard input reaches end of file (or on SIGTERM), so a
crashed caller never leaves a server behind.

The two packages conflict with each other and would start system services,
so they are not installed: `apt-get download` fetches them (and the few
libraries a fresh Debian 12 lacks) into PREFIX/debs, `dpkg-deb -x` unpacks
them into PREFIX, and the servers run from there with LD_LIBRARY_PATH.
PREFIX is build/realservers beside this repository unless given.

Logging in:
  vsftpd   user "anonymous" (or "ftp"), any password. Anonymous sessions run
           as the system user "daemon" chrooted into ROOT, and vsftpd 3.0.3
           refuses a chroot root that user can write to (allow_writeable_chroot
           is ignored for anonymous logins). So ROOT is made 0755 and stays
           read-only for the session; every folder below ROOT that exists at
           start is made world-writable (uploads, deletions and renames work
           there). No MLST/MLSD: clients fall back to LIST.
  proftpd  user "quelmo", password "zelkar", a virtual user of its own
           AuthUserFile (no PAM, no system account), mapped to uid 0 and
           chrooted into ROOT, which is writable. Has MLST/MLSD.

--tls CERT KEY switches on explicit FTPS (AUTH TLS) with the certificate and
key given in PEM; then both servers refuse plain logins and plain data, and
both insist that every data connection resumes the control connection's TLS
session (vsftpd: require_ssl_reuse=YES; proftpd: its default, as long as
NoSessionReuseRequired is not set). See tls_lines() to change any of that.
--tls-version allows that TLS version alone (proftpd: TLSProtocol; vsftpd,
which has no setting for TLS 1.3: an OpenSSL configuration of its own).

Needs root (both servers chroot) and /usr/bin/python3 (no third-party modules).
"""

import argparse
import fcntl
import glob
import os
import pwd
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

USER = "quelmo"
PASSWORD = "zelkar"

# The packages each server needs beyond a minimal Debian 12 with Qt and curl.
# They are only unpacked into PREFIX: the system keeps what it has.
PACKAGES = {
    "vsftpd": ["vsftpd", "libwrap0"],
    "proftpd": ["proftpd-core", "proftpd-mod-crypto", "libhiredis0.14",
                "libmemcached11", "libmemcachedutil2", "libhashkit2",
                "libpcre2-posix3"],
}

# The system account anonymous vsftpd sessions run as: vsftpd first changes
# into its home directory, so that must exist ("nobody" has /nonexistent).
ANONYMOUS_ACCOUNTS = ("ftp", "daemon")

START_SECONDS = 10


def log(text):
    print("realserver: " + text, file=sys.stderr, flush=True)


def default_prefix():
    here = os.path.dirname(os.path.abspath(__file__))
    return os.path.join(here, "..", "..", "build", "realservers")


def server_binary(prefix, server):
    return os.path.join(prefix, "usr", "sbin", server)


def library_path(prefix):
    dirs = glob.glob(os.path.join(prefix, "usr", "lib", "*-linux-gnu"))
    dirs += glob.glob(os.path.join(prefix, "lib", "*-linux-gnu"))
    return ":".join(dirs)


def apt_download(packages, into):
    # apt's own sandbox user cannot write into a root-only folder; that only
    # costs a warning, which is dropped with the rest of apt's chatter.
    cmd = ["apt-get", "download", "-qq"] + packages
    result = subprocess.run(cmd, cwd=into, capture_output=True, text=True)
    if result.returncode != 0:
        # A fresh machine may have no package lists yet.
        log("apt-get download failed, running apt-get update once")
        subprocess.run(["apt-get", "update", "-qq"], check=False)
        result = subprocess.run(cmd, cwd=into, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError("apt-get download %s failed:\n%s"
                           % (" ".join(packages), result.stderr))


def missing_libraries(prefix, binary):
    env = dict(os.environ, LD_LIBRARY_PATH=library_path(prefix))
    out = subprocess.run(["ldd", binary], env=env, capture_output=True,
                         text=True).stdout
    return [line.split()[0] for line in out.splitlines() if "not found" in line]


def fetch(prefix, server):
    """Unpacks the server into prefix once; later calls only check it."""
    os.makedirs(prefix, exist_ok=True)
    with open(os.path.join(prefix, ".lock"), "w") as lock:
        # Two benchmarks or tests may start at once; one unpacks, the other waits.
        fcntl.flock(lock, fcntl.LOCK_EX)
        binary = server_binary(prefix, server)
        stamp = os.path.join(prefix, "." + server + ".unpacked")
        if not os.path.exists(stamp):
            debs = os.path.join(prefix, "debs", server)
            shutil.rmtree(debs, ignore_errors=True)
            os.makedirs(debs)
            log("fetching %s from Debian" % " ".join(PACKAGES[server]))
            apt_download(PACKAGES[server], debs)
            for deb in sorted(glob.glob(os.path.join(debs, "*.deb"))):
                subprocess.run(["dpkg-deb", "-x", deb, prefix], check=True)
            open(stamp, "w").close()
        missing = missing_libraries(prefix, binary)
        if missing:
            raise RuntimeError("%s still lacks %s: add its package to PACKAGES"
                               % (binary, ", ".join(missing)))
    return binary


def free_port(host):
    family = socket.AF_INET6 if ":" in host else socket.AF_INET
    with socket.socket(family, socket.SOCK_STREAM) as s:
        s.bind((host, 0))
        return s.getsockname()[1]


def anonymous_account():
    for name in ANONYMOUS_ACCOUNTS:
        try:
            entry = pwd.getpwnam(name)
        except KeyError:
            continue
        if os.path.isdir(entry.pw_dir):
            return name
    raise RuntimeError("no account among %s with an existing home directory"
                       % ", ".join(ANONYMOUS_ACCOUNTS))


def openssl_version_config(version, run_dir):
    """An OpenSSL configuration that allows only this TLS version: vsftpd
    has no setting of its own for TLS 1.3, so its OpenSSL is told."""
    name = "TLSv" + version
    path = os.path.join(run_dir, "openssl-tls%s.cnf" % version)
    with open(path, "w") as f:
        f.write("openssl_conf = quelmo_conf\n"
                "[quelmo_conf]\nssl_conf = quelmo_ssl\n"
                "[quelmo_ssl]\nsystem_default = quelmo_tls\n"
                "[quelmo_tls]\nMinProtocol = %s\nMaxProtocol = %s\n" % (name, name))
    return path


def tls_lines(server, cert, key, run_dir, version=None):
    """The place for every TLS option of both servers."""
    if server == "vsftpd":
        return [
            "ssl_enable=YES",
            "allow_anon_ssl=YES",
            "force_anon_logins_ssl=YES",
            "force_anon_data_ssl=YES",
            "require_ssl_reuse=YES",
            # Debian's build defaults to ECDHE-RSA-AES256-GCM-SHA384 for
            # TLS 1.2 (upstream's DES-CBC3-SHA would fail with OpenSSL 3);
            # TLS 1.3 comes with OpenSSL's own suites. Set ssl_ciphers here
            # to test others.
            "rsa_cert_file=" + cert,
            "rsa_private_key_file=" + key,
        ]
    return [
        "LoadModule mod_tls.c",
        "TLSEngine on",
        "TLSLog " + os.path.join(run_dir, "tls.log"),
        "TLSProtocol " + ("TLSv" + version if version else "TLSv1.2 TLSv1.3"),
        "TLSRSACertificateFile " + cert,
        "TLSRSACertificateKeyFile " + key,
        "TLSRequired on",
        "TLSVerifyClient off",
    ]


def vsftpd_config(args, port, run_dir):
    empty = os.path.join(run_dir, "empty")
    os.mkdir(empty, 0o755)
    # The session's user must not be able to write the chroot root, and must
    # be able to write the folders below it (see the module's text).
    os.chmod(args.root, 0o755)
    for entry in os.scandir(args.root):
        if entry.is_dir(follow_symlinks=False):
            os.chmod(entry.path, 0o777)
    ipv6 = ":" in args.host
    lines = [
        "listen=" + ("NO" if ipv6 else "YES"),
        "listen_ipv6=" + ("YES" if ipv6 else "NO"),
        ("listen_address6=" if ipv6 else "listen_address=") + args.host,
        "listen_port=%d" % port,
        "background=NO",
        "anonymous_enable=YES",
        "local_enable=NO",
        "ftp_username=" + anonymous_account(),
        "anon_root=" + os.path.abspath(args.root),
        "write_enable=YES",
        "anon_upload_enable=YES",
        "anon_mkdir_write_enable=YES",
        "anon_other_write_enable=YES",
        "anon_world_readable_only=NO",
        "anon_umask=022",
        "connect_from_port_20=NO",
        "secure_chroot_dir=" + empty,
        "xferlog_enable=NO",
        "vsftpd_log_file=" + os.path.join(run_dir, "vsftpd.log"),
        # The sandbox has broken sessions on newer kernels; a test server
        # has nothing to gain from it.
        "seccomp_sandbox=NO",
    ]
    if args.tls:
        lines += tls_lines("vsftpd", *args.tls, run_dir, args.tls_version)
    path = os.path.join(run_dir, "vsftpd.conf")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    # vsftpd refuses a configuration file that others may write.
    os.chmod(path, 0o600)
    return [path]


def proftpd_password_hash():
    out = subprocess.run(["openssl", "passwd", "-6", PASSWORD],
                         capture_output=True, text=True, check=True).stdout
    return out.strip()


def proftpd_config(args, port, run_dir, prefix):
    users = os.path.join(run_dir, "passwd")
    groups = os.path.join(run_dir, "group")
    with open(users, "w") as f:
        f.write("%s:%s:0:0::%s:/bin/false\n"
                % (USER, proftpd_password_hash(), os.path.abspath(args.root)))
    with open(groups, "w") as f:
        f.write("%s::0:\n" % USER)
    # proftpd ignores an AuthUserFile that others can read or write.
    os.chmod(users, 0o600)
    os.chmod(groups, 0o600)
    lines = [
        "ServerType standalone",
        'ServerName "quelmo proftpd"',
        "DefaultAddress " + args.host,
        "SocketBindTight on",
        "UseIPv6 " + ("on" if ":" in args.host else "off"),
        "Port %d" % port,
        "User nobody",
        "Group nogroup",
        "PidFile " + os.path.join(run_dir, "proftpd.pid"),
        "ScoreboardFile " + os.path.join(run_dir, "proftpd.scoreboard"),
        "SystemLog " + os.path.join(run_dir, "proftpd.log"),
        "TransferLog none",
        "WtmpLog off",
        "UseReverseDNS off",
        "ControlsEngine off",
        # mod_delay pads logins to hide timing; it would only blur timings.
        "DelayEngine off",
        "AuthPAM off",
        "AuthOrder mod_auth_file.c",
        "AuthUserFile " + users,
        "AuthGroupFile " + groups,
        "RequireValidShell off",
        "RootLogin on",
        "DefaultRoot ~",
        "Umask 022",
        "AllowOverwrite on",
        "ModulePath " + os.path.join(prefix, "usr", "lib", "proftpd"),
    ]
    if args.tls:
        lines += tls_lines("proftpd", *args.tls, run_dir, args.tls_version)
    path = os.path.join(run_dir, "proftpd.conf")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    return ["-n", "-q", "-c", path]


def greets(host, port):
    family = socket.AF_INET6 if ":" in host else socket.AF_INET
    try:
        with socket.socket(family, socket.SOCK_STREAM) as s:
            s.settimeout(2)
            s.connect((host, port))
            return s.recv(512).startswith(b"220")
    except OSError:
        return False


def start(args, prefix, binary, run_dir):
    """Starts the server on a free port; returns (process, port)."""
    out = open(os.path.join(run_dir, "server.out"), "w")
    # A free port can be taken between our probe and the server's bind; a
    # few attempts make that harmless.
    for _ in range(3):
        port = args.port or free_port(args.host)
        if args.server == "vsftpd":
            argv = [binary] + vsftpd_config(args, port, run_dir)
        else:
            argv = [binary] + proftpd_config(args, port, run_dir, prefix)
        env = dict(os.environ, LD_LIBRARY_PATH=library_path(prefix))
        if args.tls and args.tls_version and args.server == "vsftpd":
            env["OPENSSL_CONF"] = openssl_version_config(args.tls_version, run_dir)
        process = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL,
                                   stdout=out, stderr=out,
                                   start_new_session=True)
        deadline = time.monotonic() + START_SECONDS
        while time.monotonic() < deadline and process.poll() is None:
            if greets(args.host, port):
                return process, port
            time.sleep(0.05)
        stop(process)
        if args.port:
            break
        # The next attempt writes its configuration afresh.
        for name in os.listdir(run_dir):
            path = os.path.join(run_dir, name)
            if os.path.isdir(path):
                shutil.rmtree(path)
            elif name != "server.out":
                os.remove(path)
    out.flush()
    with open(os.path.join(run_dir, "server.out")) as f:
        raise RuntimeError("%s did not start:\n%s" % (args.server, f.read()))


def stop(process):
    """Ends the server and its sessions: its own process group only."""
    if process.poll() is not None:
        return
    try:
        os.killpg(process.pid, signal.SIGTERM)
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
    except ProcessLookupError:
        pass


def wait_for_end_of_stdin():
    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(True))
    while not stopping:
        try:
            readable, _, _ = select.select([sys.stdin], [], [], 0.25)
        except InterruptedError:
            continue
        if readable and not os.read(sys.stdin.fileno(), 4096):
            return


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("server", choices=sorted(PACKAGES))
    p.add_argument("--root", help="the folder the server serves")
    p.add_argument("--host", default="127.0.0.1", choices=["127.0.0.1", "::1"])
    p.add_argument("--port", type=int, default=0, help="0 picks a free port")
    p.add_argument("--tls-version", choices=["1.2", "1.3"],
                   help="with --tls: allow this TLS version only")
    p.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"),
                   help="require explicit FTPS with this PEM certificate and key")
    p.add_argument("--prefix", default=os.environ.get("QUELMO_REALSERVERS"),
                   help="where the packages are unpacked (build/realservers)")
    p.add_argument("--fetch-only", action="store_true",
                   help="unpack the server and exit")
    args = p.parse_args(argv)
    if not args.fetch_only and not args.root:
        p.error("--root is required")
    if args.tls:
        args.tls = [os.path.abspath(path) for path in args.tls]
    return args


def main(argv):
    args = parse_args(argv)
    prefix = os.path.abspath(args.prefix or default_prefix())
    if os.geteuid() != 0:
        log("needs root: both servers chroot their sessions")
        return 1
    try:
        binary = fetch(prefix, args.server)
    except (RuntimeError, subprocess.CalledProcessError) as e:
        log(str(e))
        return 1
    if args.fetch_only:
        return 0
    run_dir = tempfile.mkdtemp(prefix="realserver-%s-" % args.server)
    try:
        process, port = start(args, prefix, binary, run_dir)
    except (RuntimeError, OSError, subprocess.CalledProcessError) as e:
        log(str(e))
        shutil.rmtree(run_dir, ignore_errors=True)
        return 1
    print("READY %d" % port, flush=True)
    try:
        wait_for_end_of_stdin()
    finally:
        stop(process)
        shutil.rmtree(run_dir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
