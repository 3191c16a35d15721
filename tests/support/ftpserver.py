#!/usr/bin/python3
"""Loopback FTP server for quelmo's integration tests.

Started by FtpTestServer (ftpserver.cpp).  It prints "READY <port>" once it
listens and exits when its stdin reaches end of file, so a crashed test
process never leaves a server behind.  The fault options make it misbehave
in the ways real servers do, so the client's error paths get exercised
against a real protocol peer rather than a mock.

Needs Debian's pyftpdlib, so run it with /usr/bin/python3.
"""

import argparse
import binascii
import hashlib
import logging
import os
import select
import signal
import socket
import sys
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

try:  # Debian's python3-openssl; only the TLS options need it
    from OpenSSL import SSL
    from OpenSSL._util import lib as openssl
    from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler
except ImportError:
    SSL = None

USER = "quelmo"
PASSWORD = "zelkar"
PERMS = "elradfmwMT"

# How many of the first STOR/RETR commands still have to fail.  Shared by
# all sessions: a client that reconnects and retries must see the fault go
# away after N attempts, which is exactly what the retry tests need.
faults_left = {"refuse-stor": 0, "fail-stor-end": 0, "drop-retr": 0}


def take_fault(name):
    if faults_left[name] > 0:
        faults_left[name] -= 1
        return True
    return False


# The hashes HASH (draft-bryan-ftpext-hash) and the X-commands offer.
HASHES = {"SHA-256": hashlib.sha256, "SHA-1": hashlib.sha1, "MD5": hashlib.md5}
X_COMMANDS = {"XSHA256": "SHA-256", "XSHA1": "SHA-1", "XMD5": "MD5"}


class TestFS(AbstractedFS):
    """The stock file system, with two lies a test may ask for: sizes one
    byte too large for files that came in by STOR (--lie-size), and entries
    in a listing that are not on disk (--extra-entry), with names no disk
    here could hold."""

    def lying(self, path):
        channel = self.cmd_channel
        return channel.lie_size and os.path.realpath(path) in TestHandler.stored_paths

    def getsize(self, path):
        return super().getsize(path) + (1 if self.lying(path) else 0)

    def stat(self, path):
        st = super().stat(path)
        if not self.lying(path):
            return st
        fields = list(st)
        fields[6] += 1  # st_size
        return os.stat_result(fields)

    lstat = stat

    def format_mlsx(self, basedir, listing, perms, facts, ignore_err=True):
        yield from super().format_mlsx(basedir, listing, perms, facts, ignore_err)
        if self.cmd_channel.take_extras():
            for name in self.cmd_channel.extra_entries:
                yield b"type=file;size=5;modify=20260101000000; " + name + b"\r\n"

    def format_list(self, basedir, listing, ignore_err=True):
        yield from super().format_list(basedir, listing, ignore_err)
        if self.cmd_channel.take_extras():
            for name in self.cmd_channel.extra_entries:
                yield b"-rw-r--r--   1 owner    group           5 Jan 01 00:00 " + name + b"\r\n"


class DosFS(TestFS):
    """LIST in the IIS/DOS style, for clients that must parse it."""

    def format_list(self, basedir, listing, ignore_err=True):
        use_gmt = self.cmd_channel.use_gmt_times
        for name in listing:
            try:
                st = self.stat(os.path.join(basedir, name))
            except OSError:
                if ignore_err:
                    continue
                raise
            t = time.gmtime(st.st_mtime) if use_gmt else time.localtime(st.st_mtime)
            hour12 = t.tm_hour % 12 or 12
            stamp = "%02d-%02d-%02d  %02d:%02d%s" % (
                t.tm_mon, t.tm_mday, t.tm_year % 100, hour12, t.tm_min,
                "AM" if t.tm_hour < 12 else "PM")
            if os.path.isdir(os.path.join(basedir, name)):
                size = "       <DIR>          "
            else:
                size = "%21d " % st.st_size
            line = "%s%s%s\r\n" % (stamp, size, name)
            yield line.encode("utf8", self.cmd_channel.unicode_errors)
        if self.cmd_channel.take_extras():
            for name in self.cmd_channel.extra_entries:
                yield b"01-01-26  12:00AM                    5 " + name + b"\r\n"


class HalfProducer:
    """Passes on only the first `limit` bytes of another producer."""

    def __init__(self, inner, limit):
        self.inner = inner
        self.left = limit

    def more(self):
        if self.left <= 0:
            return b""
        data = self.inner.more()[:self.left]
        self.left -= len(data)
        return data


class TestDTPHandler(DTPHandler):
    stalled = False

    def readable(self):
        # A stalled channel still has to notice the client hanging up;
        # otherwise epoll reports the EOF forever and the server spins.
        return self.stalled or super().readable()

    def handle_read_event(self):
        if not self.stalled:
            return super().handle_read_event()
        try:
            self.recv(self.ac_in_buffer_size)  # calls handle_close() on EOF
        except Exception:
            pass  # spurious wake-up; there is nothing to read into anyway

    def handle_close(self):
        # A stalled RETR has nothing queued, so the stock handler would call
        # the client's hang-up a complete transfer and answer 226.
        if self.stalled and not self._closed:
            self._resp = ("426 Connection closed; transfer aborted.",
                          logging.debug)
            self.close()
            return
        super().handle_close()

    def close(self):
        if not self._closed:
            forced = self.cmd_channel.forced_reply
            if forced and forced[0] == self.cmd:
                self.cmd_channel.forced_reply = None
                # Only a transfer that really completed gets the fake reply;
                # if the client gave up first, its own 426 is the truth.
                if self._resp and self._resp[0].startswith("226"):
                    self._resp = (forced[1], logging.debug)
        super().close()


class ThrottledTestDTPHandler(TestDTPHandler, ThrottledDTPHandler):
    """The same, sending no faster than --throttle says: a transfer that
    takes long enough for a test to act in the middle of it."""


class TestHandler(FTPHandler):
    dtp_handler = TestDTPHandler
    abstracted_fs = TestFS
    banner = "quelmo test server ready."
    # The stock 3 s pause before a 530 only slows the tests down.
    auth_failed_timeout = 0
    # sendfile() would bypass the producers that the RETR faults rely on.
    use_sendfile = False

    # Where every command received is written, one line each (--transcript).
    transcript = None
    no_greeting = False
    stall_cmds = ()
    close_after_cmds = ()
    stall_data = False
    shrink_retr = False
    endless_120 = False
    echo_password = False
    answers = {}
    # HASH and the X-commands: "feat" announces HASH, "x" answers the
    # X-commands only; "none" is pyftpdlib as it comes.
    hash_mode = "none"
    hash_algorithms = list(HASHES)
    hash_current = "SHA-1"
    x_reply = "250"
    lie_hash = False
    lie_size = False
    extra_entries = []
    # Files that came in by STOR, for --lie-size; shared by all sessions.
    stored_paths = set()
    dead_passive = False

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        # (command, reply) that replaces the 226 of the current transfer.
        self.forced_reply = None
        self.stall_pending = False
        self.current_hash = (self.hash_current if self.hash_current in self.hash_algorithms
                             else self.hash_algorithms[0])
        self.extras_pending = False

    def handle(self):
        if self.no_greeting:
            self.on_connect()
            return
        if self.endless_120:
            self.on_connect()
            self.put_off()
            return
        super().handle()

    def put_off(self):
        """'120 ready in a minute', again and again, and never the 220."""
        if self._closed:
            return
        try:
            self.respond("120 Service ready in a minute (test).")
        except Exception:
            return
        self.ioloop.call_later(0.2, self.put_off, _errback=lambda: None)

    def pre_process_command(self, line, cmd, arg):
        # Written before anything is answered: once a client has read the
        # reply to a command, the command is in the transcript.
        self.record(line, cmd)
        if self.no_greeting or self.endless_120 or cmd in self.stall_cmds:
            return  # say nothing, the client has to time out
        if cmd in self.close_after_cmds:
            self.respond("421 Closing (test).")
            self.close_when_done()
            return
        if cmd in self.answers:
            self.respond(self.answers[cmd])
            return
        super().pre_process_command(line, cmd, arg)

    def ftp_PASS(self, line):
        if self.echo_password and self.username:
            # Some servers quote what they were sent; the client must not
            # pass the password on to its user.
            self.respond("530 Login with password %s failed (test)." % line)
            return
        super().ftp_PASS(line)

    # ---- listings with entries that are not on disk (--extra-entry)

    def take_extras(self):
        pending, self.extras_pending = self.extras_pending, False
        return pending

    def ftp_MLSD(self, path):
        self.extras_pending = bool(self.extra_entries)
        return super().ftp_MLSD(path)

    def ftp_LIST(self, path):
        self.extras_pending = bool(self.extra_entries)
        return super().ftp_LIST(path)

    # ---- hashes

    def ftp_FEAT(self, line):
        saved = self._extra_feats
        if self.hash_mode == "feat":
            self._extra_feats = saved + ["HASH " + ";".join(
                name + ("*" if name == self.current_hash else "") for name in self.hash_algorithms)]
        try:
            super().ftp_FEAT(line)
        finally:
            self._extra_feats = saved

    def ftp_OPTS(self, line):
        cmd, _, arg = line.partition(" ")
        if cmd.upper() != "HASH" or self.hash_mode != "feat":
            return super().ftp_OPTS(line)
        if arg.upper() not in self.hash_algorithms:
            self.respond("501 Unknown algorithm (test).")
            return
        self.current_hash = arg.upper()
        self.respond("200 %s" % self.current_hash)

    def file_hash(self, path, algorithm):
        if not self.fs.isfile(self.fs.realpath(path)):
            self.respond("550 %s is not a file." % self.fs.fs2ftp(path))
            return None
        digest = HASHES[algorithm]()
        with open(path, "rb") as f:
            for block in iter(lambda: f.read(65536), b""):
                digest.update(block)
        hexdigest = digest.hexdigest()
        if self.lie_hash:
            hexdigest = ("0" if hexdigest[0] != "0" else "1") + hexdigest[1:]
        return hexdigest

    def ftp_HASH(self, path):
        hexdigest = self.file_hash(path, self.current_hash)
        if hexdigest is not None:
            self.respond("213 %s 0-%d %s %s" % (self.current_hash, os.path.getsize(path),
                                                hexdigest, self.fs.fs2ftp(path)))

    def x_hash(self, path, command):
        hexdigest = self.file_hash(path, X_COMMANDS[command])
        if hexdigest is not None:
            self.respond("%s %s" % (self.x_reply, hexdigest))

    def ftp_XSHA256(self, path):
        self.x_hash(path, "XSHA256")

    def ftp_XSHA1(self, path):
        self.x_hash(path, "XSHA1")

    def ftp_XMD5(self, path):
        self.x_hash(path, "XMD5")

    def record(self, line, cmd):
        if self.transcript is None:
            return
        if cmd == "PASS" and line[5:]:
            line = "PASS ******"
        # A line break smuggled into a command must not split its line.
        line = line.replace("\r", "\\r").replace("\n", "\\n")
        self.transcript.write(line + "\n")
        self.transcript.flush()

    def closed_port(self):
        """A port of our address where nobody listens any more."""
        family = socket.AF_INET6 if ":" in self.socket.getsockname()[0] \
            else socket.AF_INET
        with socket.socket(family, socket.SOCK_STREAM) as probe:
            probe.bind((self.socket.getsockname()[0], 0))
            return probe.getsockname()[1]

    def ftp_EPSV(self, line):
        if not self.dead_passive:
            return super().ftp_EPSV(line)
        self.respond("229 Entering extended passive mode (|||%d|)."
                     % self.closed_port())

    def ftp_PASV(self, line):
        if not self.dead_passive:
            return super().ftp_PASV(line)
        port = self.closed_port()
        address = self.socket.getsockname()[0].replace(".", ",")
        self.respond("227 Entering passive mode (%s,%d,%d)."
                     % (address, port // 256, port % 256))

    def ftp_STOR(self, file, mode="w"):
        if "a" not in mode:  # APPE comes through here too; leave it alone
            if take_fault("refuse-stor"):
                self.respond("550 Refused by test.")
                return None
            self.forced_reply = None
            TestHandler.stored_paths.add(os.path.realpath(file))
            if take_fault("fail-stor-end"):
                # The upload is kept on disk: a server that ran out of space
                # leaves its partial file, and the client has to remove it.
                self.forced_reply = ("STOR", "552 Disk full (test).")
        return super().ftp_STOR(file, mode)

    def ftp_RETR(self, file):
        self.forced_reply = None
        if self.stall_data:
            return self.stall_retr(file)
        return super().ftp_RETR(file)

    def push_dtp_data(self, data, isproducer=False, file=None, cmd=None):
        if cmd == "RETR":
            remaining = os.fstat(file.fileno()).st_size - file.tell()
            if take_fault("drop-retr"):
                data = HalfProducer(data, remaining // 2)
                self.forced_reply = ("RETR", "426 Connection dropped (test).")
            elif self.shrink_retr:
                data = HalfProducer(data, remaining // 2)
        super().push_dtp_data(data, isproducer, file, cmd)

    def stall_retr(self, file):
        if not self.fs.isfile(file):
            self.respond("550 No such file or directory.")
            return None
        if self.data_channel is not None:
            self.respond("125 Data connection already open. Transfer starting.")
            self.freeze(self.data_channel)
        else:
            self.respond("150 File status okay. About to open data connection.")
            self.stall_pending = True
        return file

    def _on_dtp_connection(self):
        # Nothing is queued for a stalled RETR, so the stock code only stops
        # the acceptor and the idle timer; then the channel is frozen.
        super()._on_dtp_connection()
        if self.stall_pending and self.data_channel is not None:
            self.stall_pending = False
            self.freeze(self.data_channel)

    @staticmethod
    def freeze(channel):
        channel.cmd = "RETR"
        channel.stalled = True
        # An uninitialised idle channel gets closed by the select() poller.
        channel._initialized = True


def make_tls_handlers():
    """The test handlers over pyftpdlib's TLS ones: explicit (AUTH TLS) or
    implicit (TLS from the first byte) FTPS, encryption required on the
    control and the data connections."""

    class TlsTestDTPHandler(TestDTPHandler, TLS_DTPHandler):
        def readable(self):
            # pyftpdlib 1.5.7 closes a data connection that is readable
            # before RETR or STOR has been read (its issue #604): a client
            # that starts the handshake early loses its data connection.
            # Upstream's fix (PR #612): a handshake in progress is read.
            return self._ssl_accepting or super().readable()

        def handle_close(self):
            # With the fix above, a data connection that the client drops
            # before any transfer began (the command was refused) now ends
            # here, and the stock code would answer it with a 226 that
            # answers nothing. Without TLS it goes without a word; so here.
            if not self._initialized and not self.receive:
                self.close()
                return
            super().handle_close()

        def secure_connection(self, ssl_context):
            if self.cmd_channel.stall_data_tls:
                # The client's hello is read and nothing answers it.
                self.stalled = True
                return
            # --data-cert: data connections show another certificate.
            super().secure_connection(self.cmd_channel.data_context or
                                      ssl_context)

        def handle_ssl_established(self):
            super().handle_ssl_established()
            if self.cmd_channel.require_reuse and \
                    not openssl.SSL_session_reused(self.socket._ssl):
                # As vsftpd does with require_ssl_reuse=YES: a data
                # connection that did not resume the control connection's
                # session could come from anybody.
                self.cmd_channel.reuse_refused += 1
                self._resp = ("522 SSL connection failed: session reuse "
                              "required", logging.info)
                self._error = True  # no TLS goodbye, just hang up
                self.close()

    class TlsTestHandler(TestHandler, TLS_FTPHandler):
        dtp_handler = TlsTestDTPHandler
        tls_control_required = True
        tls_data_required = True
        implicit = False
        require_reuse = False
        stall_data_tls = False
        data_context = None
        reuse_refused = 0

        def handle(self):
            if self.implicit:
                # Nothing in the clear, not even the greeting.
                self.secure_connection(self.ssl_context)
            super().handle()

    return TlsTestHandler


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--root", required=True, help="home folder of the user")
    p.add_argument("--host", default="127.0.0.1", choices=["127.0.0.1", "::1"])
    p.add_argument("--port", type=int, default=0, help="0 picks a free port")
    p.add_argument("--transcript", metavar="FILE",
                   help="append every command received to FILE, one a line, "
                        "the password masked")
    p.add_argument("--no-mlsd", action="store_true",
                   help="drop MLSD/MLST so that clients must use LIST")
    p.add_argument("--no-epsv", action="store_true",
                   help="answer EPSV with 500, so that clients fall back to PASV")
    p.add_argument("--pasv-address", metavar="IPV4",
                   help="name this address in PASV replies instead of our own")
    p.add_argument("--dos-list", action="store_true",
                   help="LIST in DOS/IIS format")
    p.add_argument("--refuse-stor", type=int, default=0, metavar="N",
                   help="the first N STOR get 550 before any data connection")
    p.add_argument("--fail-stor-end", type=int, default=0, metavar="N",
                   help="the first N STOR get 552 after all data arrived")
    p.add_argument("--drop-retr", type=int, default=0, metavar="N",
                   help="the first N RETR send half the file, then 426")
    p.add_argument("--stall", action="append", default=[], metavar="CMD",
                   help="never answer CMD (may be repeated)")
    p.add_argument("--stall-data", action="store_true",
                   help="RETR opens the data connection and sends nothing")
    p.add_argument("--shrink-retr", action="store_true",
                   help="RETR sends half the file and answers 226")
    p.add_argument("--no-greeting", action="store_true",
                   help="accept connections but never send 220")
    p.add_argument("--close-after", action="append", default=[], metavar="CMD",
                   help="answer CMD with 421 and close (may be repeated)")
    p.add_argument("--answer", action="append", default=[], metavar="CMD=REPLY",
                   help="answer CMD with REPLY and do nothing else (may be repeated)")
    p.add_argument("--endless-120", action="store_true",
                   help="greet with '120 ready in a minute' every 0.2 s, never with 220")
    p.add_argument("--echo-password", action="store_true",
                   help="refuse every PASS with a 530 that repeats the password")
    p.add_argument("--hash", choices=["none", "feat", "x"], default="none",
                   help="feat: FEAT lists HASH (OPTS HASH, HASH); x: XSHA256, XSHA1 "
                        "and XMD5, not announced")
    p.add_argument("--hash-algorithms", default="SHA-256,SHA-1,MD5", metavar="LIST",
                   help="the algorithms offered, of SHA-256, SHA-1 and MD5")
    p.add_argument("--x-reply", choices=["250", "213"], default="250",
                   help="the code of a reply to an X-command")
    p.add_argument("--lie-hash", action="store_true",
                   help="every hash the server gives is wrong")
    p.add_argument("--lie-size", action="store_true",
                   help="SIZE and MLST give files stored by STOR one byte more than they have")
    p.add_argument("--throttle", type=int, default=0, metavar="BYTES",
                   help="send file data at no more than BYTES a second")
    p.add_argument("--extra-entry", action="append", default=[], metavar="HEX",
                   help="add a file of this name (its bytes in hex) to every MLSD and LIST")
    p.add_argument("--refuse-passive", action="store_true",
                   help="answer EPSV and PASV with 500")
    p.add_argument("--dead-passive", action="store_true",
                   help="EPSV and PASV name a port where nobody listens")
    p.add_argument("--refuse-active", action="store_true",
                   help="answer PORT and EPRT with 500")
    p.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"),
                   help="explicit FTPS (AUTH TLS) with this certificate and "
                        "key in PEM; plain logins and plain data refused")
    p.add_argument("--implicit", action="store_true",
                   help="with --tls: TLS from the first byte instead")
    p.add_argument("--tls-version", choices=["1.2", "1.3"],
                   help="with --tls: speak this TLS version only")
    p.add_argument("--data-cert", nargs=2, metavar=("CERT", "KEY"),
                   help="with --tls: data connections present this "
                        "certificate instead")
    p.add_argument("--stall-data-tls", action="store_true",
                   help="with --tls: data connections never answer the "
                        "TLS handshake (use with --stall-data)")
    p.add_argument("--require-reuse", action="store_true",
                   help="with --tls: refuse (522) a data connection that "
                        "does not resume the control connection's session")
    return p.parse_args(argv)


def tls_context(args, cert_and_key):
    context = SSL.Context(SSL.TLS_SERVER_METHOD)
    context.use_certificate_chain_file(cert_and_key[0])
    context.use_privatekey_file(cert_and_key[1])
    context.set_options(SSL.OP_NO_SSLv2 | SSL.OP_NO_SSLv3 |
                        SSL.OP_NO_COMPRESSION)
    # Sessions must be resumable from the control connection to the data
    # connections, with session ids (TLS 1.2) and tickets alike.
    context.set_session_id(b"quelmo-test")
    context.set_session_cache_mode(SSL.SESS_CACHE_SERVER)
    if args.tls_version == "1.2":
        context.set_max_proto_version(SSL.TLS1_2_VERSION)
    elif args.tls_version == "1.3":
        context.set_min_proto_version(SSL.TLS1_3_VERSION)
    return context


def main(argv):
    args = parse_args(argv)
    logging.basicConfig(level=logging.WARNING, stream=sys.stderr,
                        format="ftpserver: %(levelname)s %(message)s")

    faults_left["refuse-stor"] = args.refuse_stor
    faults_left["fail-stor-end"] = args.fail_stor_end
    faults_left["drop-retr"] = args.drop_retr

    authorizer = DummyAuthorizer()  # no anonymous user on purpose
    authorizer.add_user(USER, PASSWORD, os.path.abspath(args.root), perm=PERMS)

    handler = TestHandler
    if args.tls:
        if SSL is None:
            print("ftpserver: --tls needs python3-openssl", file=sys.stderr)
            return 1
        handler = make_tls_handlers()
        handler.ssl_context = tls_context(args, args.tls)
        if args.data_cert:
            handler.data_context = tls_context(args, args.data_cert)
        handler.implicit = args.implicit
        handler.require_reuse = args.require_reuse
        handler.stall_data_tls = args.stall_data_tls
    handler.authorizer = authorizer
    if args.transcript:
        handler.transcript = open(args.transcript, "a", encoding="utf-8",
                                  errors="backslashreplace")
    handler.no_greeting = args.no_greeting
    handler.stall_cmds = {c.upper() for c in args.stall}
    handler.close_after_cmds = {c.upper() for c in args.close_after}
    handler.stall_data = args.stall_data
    handler.shrink_retr = args.shrink_retr
    handler.endless_120 = args.endless_120
    handler.echo_password = args.echo_password
    handler.answers = {}
    for answer in args.answer:
        cmd, _, reply = answer.partition("=")
        handler.answers[cmd.upper()] = reply
    handler.hash_mode = args.hash
    handler.hash_algorithms = [a for a in args.hash_algorithms.split(",") if a in HASHES]
    handler.x_reply = args.x_reply
    handler.lie_hash = args.lie_hash
    handler.lie_size = args.lie_size
    handler.extra_entries = [binascii.unhexlify(e) for e in args.extra_entry]
    handler.dead_passive = args.dead_passive
    if args.dos_list:
        handler.abstracted_fs = DosFS
    if args.throttle:
        ThrottledTestDTPHandler.write_limit = args.throttle
        handler.dtp_handler = ThrottledTestDTPHandler
    # The TLS handler's own commands (AUTH, PBSZ, PROT) come with it.
    commands = dict(handler.proto_cmds)
    if args.hash == "feat":
        commands["HASH"] = dict(perm="r", auth=True, arg=True,
                                help="Syntax: HASH <SP> file-name (hash of a file).")
    if args.hash == "x":
        for name in (n for n, a in X_COMMANDS.items() if a in handler.hash_algorithms):
            commands[name] = dict(perm="r", auth=True, arg=True,
                                  help="Syntax: %s <SP> file-name (hash of a file)." % name)
    left_out = set()
    if args.no_mlsd:
        left_out |= {"MLSD", "MLST"}
    if args.no_epsv:
        left_out.add("EPSV")
    if args.refuse_passive:
        left_out |= {"EPSV", "PASV"}
    if args.refuse_active:
        left_out |= {"PORT", "EPRT"}
    handler.proto_cmds = {k: v for k, v in commands.items() if k not in left_out}
    if args.pasv_address:
        handler.masquerade_address = args.pasv_address

    server = FTPServer((args.host, args.port), handler)
    print("READY %d" % server.address[1], flush=True)

    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(True))

    # One loop step at a time so stdin and SIGTERM are noticed within a
    # quarter second; waiting longer than the next timer would delay the
    # server's own scheduled replies.
    wait = 0.25
    while not stopping:
        readable, _, _ = select.select([sys.stdin], [], [], 0)
        if readable and not os.read(sys.stdin.fileno(), 4096):
            break
        next_timer = server.ioloop.loop(wait, blocking=False)
        wait = 0.25 if next_timer is None else max(0.0, min(0.25, next_timer))
    server.close_all()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
