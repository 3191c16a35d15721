#!/usr/bin/python3
"""Makes the certificates of the TLS tests and benchmarks into one folder.

    tlscerts.py OUTDIR

Writes, in PEM:
  ca.pem                  a test certificate authority
  trusted.pem             issued by it for 127.0.0.1, ::1 and localhost
  expired.pem             the same names, valid only in 2020
  wrong-name.pem          issued by the CA for ftp.example.org alone
  server.key              the key of the three certificates above
  self-signed.pem/.key    for 127.0.0.1, ::1 and localhost, signed by itself
and pins.txt, one "NAME sha256//BASE64" line per key (server, self-signed):
the SHA-256 of the key's SubjectPublicKeyInfo in DER, as curl's
--pinnedpubkey writes it. The pins are computed here, independently of the
program under test.

RSA keys, so that every server of the tests (vsftpd with Debian's cipher
list among them) can use them. Needs Debian's python3-cryptography.
"""

import base64
import datetime
import hashlib
import ipaddress
import os
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

LOCAL_NAMES = [
    x509.IPAddress(ipaddress.ip_address("127.0.0.1")),
    x509.IPAddress(ipaddress.ip_address("::1")),
    x509.DNSName("localhost"),
]


def new_key():
    return rsa.generate_private_key(public_exponent=65537, key_size=2048)


def name(common_name):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, common_name)])


def certificate(subject, key, issuer, issuer_key, alt_names, not_before,
                not_after, ca=False):
    builder = (x509.CertificateBuilder()
               .subject_name(subject)
               .issuer_name(issuer)
               .public_key(key.public_key())
               .serial_number(x509.random_serial_number())
               .not_valid_before(not_before)
               .not_valid_after(not_after)
               .add_extension(x509.BasicConstraints(ca=ca, path_length=None),
                              critical=True))
    if ca:
        builder = builder.add_extension(
            x509.KeyUsage(digital_signature=True, key_cert_sign=True,
                          crl_sign=True, content_commitment=False,
                          key_encipherment=False, data_encipherment=False,
                          key_agreement=False, encipher_only=False,
                          decipher_only=False), critical=True)
    else:
        builder = (builder
                   .add_extension(x509.SubjectAlternativeName(alt_names),
                                  critical=False)
                   .add_extension(x509.ExtendedKeyUsage(
                       [ExtendedKeyUsageOID.SERVER_AUTH]), critical=False))
    return builder.sign(issuer_key, hashes.SHA256())


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def pem(cert):
    return cert.public_bytes(serialization.Encoding.PEM)


def key_pem(key):
    return key.private_bytes(serialization.Encoding.PEM,
                             serialization.PrivateFormat.TraditionalOpenSSL,
                             serialization.NoEncryption())


def pin(key):
    spki = key.public_key().public_bytes(
        serialization.Encoding.DER,
        serialization.PublicFormat.SubjectPublicKeyInfo)
    return "sha256//" + base64.b64encode(hashlib.sha256(spki).digest()).decode()


def main(argv):
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    out = argv[0]
    os.makedirs(out, exist_ok=True)

    now = datetime.datetime.now(datetime.timezone.utc)
    day = datetime.timedelta(days=1)
    ca_key, server_key, self_key = new_key(), new_key(), new_key()

    ca_name = name("quelmo test CA")
    ca = certificate(ca_name, ca_key, ca_name, ca_key, [], now - day,
                     now + 3650 * day, ca=True)
    trusted = certificate(name("127.0.0.1"), server_key, ca_name, ca_key,
                          LOCAL_NAMES, now - day, now + 3650 * day)
    expired = certificate(name("127.0.0.1"), server_key, ca_name, ca_key,
                          LOCAL_NAMES,
                          datetime.datetime(2020, 1, 1, tzinfo=datetime.timezone.utc),
                          datetime.datetime(2021, 1, 1, tzinfo=datetime.timezone.utc))
    wrong_name = certificate(name("ftp.example.org"), server_key, ca_name,
                             ca_key, [x509.DNSName("ftp.example.org")],
                             now - day, now + 3650 * day)
    self_name = name("127.0.0.1")
    self_signed = certificate(self_name, self_key, self_name, self_key,
                              LOCAL_NAMES, now - day, now + 3650 * day)

    write(os.path.join(out, "ca.pem"), pem(ca))
    write(os.path.join(out, "trusted.pem"), pem(trusted))
    write(os.path.join(out, "expired.pem"), pem(expired))
    write(os.path.join(out, "wrong-name.pem"), pem(wrong_name))
    write(os.path.join(out, "server.key"), key_pem(server_key))
    write(os.path.join(out, "self-signed.pem"), pem(self_signed))
    write(os.path.join(out, "self-signed.key"), key_pem(self_key))
    with open(os.path.join(out, "pins.txt"), "w") as f:
        f.write("server %s\n" % pin(server_key))
        f.write("self-signed %s\n" % pin(self_key))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
