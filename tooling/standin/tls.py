"""A certificate authority and a loopback server certificate, made with the openssl command line."""
import fcntl
import os
import subprocess
from pathlib import Path

SERVER_EXTENSIONS = """basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=IP:127.0.0.1,DNS:localhost
"""


def _openssl(*args, cwd):
    result = subprocess.run(["openssl", *args], cwd=cwd, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError("openssl %s failed: %s" % (args[0], result.stderr.strip()))


def ensure_certificates(folder: Path):
    """Returns (ca, server certificate, server key); makes them once per tools folder."""
    folder.mkdir(mode=0o700, parents=True, exist_ok=True)
    os.chmod(folder, 0o700)  # the CA's key: also a folder copied in with wider rights
    ca, cert, key = folder / "ca.pem", folder / "server.pem", folder / "server.key"
    with open(folder / ".lock", "w") as lock:
        # Two servers started at once on one folder must not write half a CA each.
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not (ca.exists() and cert.exists() and key.exists()):
            ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
            _openssl("req", "-x509", *ec, "-keyout", "ca.key", "-out", "ca.pem.tmp", "-days", "3650",
                     "-subj", "/CN=Tavlon Local Stand-in CA",
                     "-addext", "basicConstraints=critical,CA:TRUE",
                     "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=folder)
            _openssl("req", *ec, "-keyout", "server.key.tmp", "-out", "server.csr",
                     "-subj", "/CN=localhost", cwd=folder)
            (folder / "server.ext").write_text(SERVER_EXTENSIONS)
            _openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.pem.tmp", "-CAkey", "ca.key",
                     "-CAcreateserial", "-out", "server.pem.tmp", "-days", "825",
                     "-extfile", "server.ext", cwd=folder)
            (folder / "server.key.tmp").chmod(0o600)
            (folder / "server.key.tmp").replace(key)
            (folder / "server.pem.tmp").replace(cert)
            (folder / "ca.pem.tmp").replace(ca)
        fcntl.flock(lock, fcntl.LOCK_UN)
    return ca, cert, key
