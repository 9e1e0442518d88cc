#!/usr/bin/python3
"""Makes the certificates of the TLS tests in FOLDER (python3-cryptography).

Every certificate has an EC P-256 key in "<name>.key" beside "<name>.pem", "<name>.der" (the
certificate's DER bytes) and "<name>.both.pem" (certificate then key, the form pyftpdlib and
vsftpd take in one file):

  ca          a test certificate authority; tests trust it as a CA file
  leaf        localhost and 127.0.0.1, issued by ca, valid from yesterday for ten years
  selfsigned  localhost and 127.0.0.1, signed by its own key
  expired     localhost and 127.0.0.1, issued by ca, ended yesterday
  wrongname   wrong.example and 192.0.2.1 only, issued by ca
  odd         issued by ca to a subject with a comma, a quote and non-ASCII letters
  hostile     issued by ca to a subject with a line end and a terminal escape sequence, and
              a DNS name with a line end
  timeless    issued by ca, valid from 1950 to 9999-12-31 23:59:59 (the notAfter of a
              certificate that never expires)

"fingerprints.txt" holds one line "<name> SHA256:<base64>" per certificate: the SHA-256 digest
of its DER bytes in Base64 without padding, computed here independently of the code under test.
"""

import base64
import datetime
import hashlib
import ipaddress
import os
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import NameOID


def key():
    return ec.generate_private_key(ec.SECP256R1())


def name(common, organisation="Quillon Test"):
    return x509.Name([
        x509.NameAttribute(NameOID.ORGANIZATION_NAME, organisation),
        x509.NameAttribute(NameOID.COMMON_NAME, common),
    ])


def make(subject, subject_key, issuer, issuer_key, not_before, not_after, hosts=None, ca=False):
    builder = (x509.CertificateBuilder()
               .subject_name(subject)
               .issuer_name(issuer)
               .public_key(subject_key.public_key())
               .serial_number(x509.random_serial_number())
               .not_valid_before(not_before)
               .not_valid_after(not_after)
               .add_extension(x509.BasicConstraints(ca=ca, path_length=None), critical=True))
    if ca:
        builder = builder.add_extension(
            x509.KeyUsage(digital_signature=True, content_commitment=False,
                          key_encipherment=False, data_encipherment=False, key_agreement=False,
                          key_cert_sign=True, crl_sign=True, encipher_only=False,
                          decipher_only=False), critical=True)
    if hosts:
        names = []
        for host in hosts:
            try:
                names.append(x509.IPAddress(ipaddress.ip_address(host)))
            except ValueError:
                names.append(x509.DNSName(host))
        builder = builder.add_extension(x509.SubjectAlternativeName(names), critical=False)
    return builder.sign(issuer_key, hashes.SHA256())


def write(folder, label, cert, private_key, lines):
    pem = cert.public_bytes(serialization.Encoding.PEM)
    key_pem = private_key.private_bytes(serialization.Encoding.PEM,
                                        serialization.PrivateFormat.TraditionalOpenSSL,
                                        serialization.NoEncryption())
    der = cert.public_bytes(serialization.Encoding.DER)
    for suffix, data in ((".pem", pem), (".der", der), (".key", key_pem),
                         (".both.pem", pem + key_pem)):
        path = os.path.join(folder, label + suffix)
        with open(path, "wb") as out:
            out.write(data)
        os.chmod(path, 0o600)
    digest = hashlib.sha256(der).digest()
    lines.append("%s SHA256:%s\n" % (label, base64.b64encode(digest).decode().rstrip("=")))


def main():
    folder = sys.argv[1]
    now = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
    day = datetime.timedelta(days=1)
    local = ["localhost", "127.0.0.1"]
    lines = []

    ca_key = key()
    ca_name = name("Quillon Test CA")
    ca = make(ca_name, ca_key, ca_name, ca_key, now - day, now + 3650 * day, ca=True)
    write(folder, "ca", ca, ca_key, lines)

    def issued(label, subject, not_before, not_after, hosts):
        k = key()
        write(folder, label, make(subject, k, ca_name, ca_key, not_before, not_after, hosts), k,
              lines)

    issued("leaf", name("localhost"), now - day, now + 3650 * day, local)
    own_key = key()
    own_name = name("localhost", "Quillon Self-Signed")
    write(folder, "selfsigned",
          make(own_name, own_key, own_name, own_key, now - day, now + 3650 * day, local), own_key,
          lines)
    issued("expired", name("localhost"), now - 30 * day, now - day, local)
    issued("wrongname", name("wrong.example"), now - day, now + 3650 * day,
           ["wrong.example", "192.0.2.1"])
    issued("odd", name('Smith, "Jr" Z\u00fcrich \u65e5\u672c', "M\u00fcller & S\u00f6hne"),
           now - day, now + 3650 * day, local)

    issued("hostile", name("evil\nline \x1b[31mred", "Bad\rCorp"), now - day, now + 3650 * day,
           ["ok.example", "bad\nname.example"])

    issued("timeless", name("localhost"),
           datetime.datetime(1950, 1, 1, tzinfo=datetime.timezone.utc),
           datetime.datetime(9999, 12, 31, 23, 59, 59, tzinfo=datetime.timezone.utc), local)

    with open(os.path.join(folder, "fingerprints.txt"), "w") as out:
        out.writelines(lines)


if __name__ == "__main__":
    main()
