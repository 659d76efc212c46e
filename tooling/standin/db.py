"""The one SQLite database that holds accounts, tokens and the simulated service."""
import hashlib
import hmac
import os
import sqlite3
import stat
import time

SCHEMA = """
CREATE TABLE IF NOT EXISTS users (
    id TEXT PRIMARY KEY, email TEXT NOT NULL UNIQUE, display_name TEXT NOT NULL,
    password_salt BLOB NOT NULL, password_hash BLOB NOT NULL,
    is_operator INTEGER NOT NULL DEFAULT 0, avatar_jpeg BLOB);
CREATE TABLE IF NOT EXISTS auth_sessions (
    id TEXT PRIMARY KEY, user_id TEXT NOT NULL, kind TEXT NOT NULL,
    created_at REAL NOT NULL, revoked INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS access_tokens (
    token TEXT PRIMARY KEY, session_id TEXT NOT NULL, user_id TEXT NOT NULL,
    expires_at REAL NOT NULL);
CREATE TABLE IF NOT EXISTS refresh_tokens (
    token TEXT PRIMARY KEY, session_id TEXT NOT NULL, user_id TEXT NOT NULL,
    used INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS recovery_codes (
    id INTEGER PRIMARY KEY AUTOINCREMENT, user_id TEXT NOT NULL, code TEXT NOT NULL,
    expires_at REAL NOT NULL, used INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS recovery_failures (user_id TEXT PRIMARY KEY, count INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS sign_in_failures (user_id TEXT NOT NULL, kind TEXT NOT NULL, at REAL NOT NULL);
CREATE INDEX IF NOT EXISTS sign_in_failures_by_user ON sign_in_failures (user_id, kind, at);
CREATE TABLE IF NOT EXISTS companies (id TEXT PRIMARY KEY, name TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS operator_companies (
    operator_id TEXT NOT NULL, company_id TEXT NOT NULL, PRIMARY KEY (operator_id, company_id));
CREATE TABLE IF NOT EXISTS people (
    id TEXT PRIMARY KEY, company_id TEXT NOT NULL, role TEXT NOT NULL,
    display_name TEXT NOT NULL, email TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS films (
    id TEXT PRIMARY KEY, company_id TEXT NOT NULL, title TEXT NOT NULL, stage TEXT NOT NULL,
    customer_id TEXT NOT NULL, instructor_id TEXT NOT NULL, local_project_id TEXT NOT NULL,
    created_at TEXT NOT NULL, updated_at TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS requests (
    id TEXT PRIMARY KEY, company_id TEXT NOT NULL, film_id TEXT NOT NULL,
    local_project_id TEXT NOT NULL, backup_id TEXT NOT NULL, source_fingerprint TEXT NOT NULL,
    title TEXT NOT NULL, kind TEXT NOT NULL, status TEXT NOT NULL, revision INTEGER NOT NULL,
    submitted_by TEXT NOT NULL, submitted_at TEXT NOT NULL, updated_at TEXT NOT NULL,
    claimed_by TEXT, claimed_at TEXT, latest_proposal_id TEXT,
    instructions TEXT NOT NULL, deliverable TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS amendments (
    id TEXT PRIMARY KEY, company_id TEXT NOT NULL, request_id TEXT NOT NULL, film_id TEXT NOT NULL,
    backup_id TEXT NOT NULL, source_fingerprint TEXT NOT NULL, base_revision INTEGER NOT NULL,
    applied_revision INTEGER NOT NULL, instructions TEXT NOT NULL, reason TEXT NOT NULL,
    created_by TEXT NOT NULL, created_at TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS proposals (
    id TEXT PRIMARY KEY, request_id TEXT NOT NULL, version_number INTEGER NOT NULL,
    content TEXT NOT NULL, created_at TEXT NOT NULL, created_by TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS decisions (
    id TEXT PRIMARY KEY, request_id TEXT NOT NULL, proposal_id TEXT NOT NULL,
    decision TEXT NOT NULL, comment TEXT NOT NULL, created_at TEXT NOT NULL,
    selected_option_id TEXT);
CREATE TABLE IF NOT EXISTS reactions (
    id TEXT PRIMARY KEY, request_id TEXT NOT NULL, decision_id TEXT NOT NULL,
    media_file TEXT NOT NULL, annotations TEXT NOT NULL, created_at TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS backups (
    id TEXT PRIMARY KEY, company_id TEXT NOT NULL, local_project_id TEXT NOT NULL,
    revision INTEGER NOT NULL, state TEXT NOT NULL, completed_at TEXT, package TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS commands (
    id TEXT PRIMARY KEY, operator_id TEXT NOT NULL, kind TEXT NOT NULL, result TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS scheduling (
    request_id TEXT PRIMARY KEY, tier TEXT NOT NULL, round INTEGER NOT NULL, submission_mode TEXT NOT NULL,
    received_at TEXT NOT NULL, eligible_at TEXT, due_at TEXT, started_at TEXT, blocked_reason TEXT);
CREATE TABLE IF NOT EXISTS company_consent (
    company_id TEXT PRIMARY KEY, revision INTEGER NOT NULL, allow_pipeline INTEGER NOT NULL, contact_name TEXT);
CREATE TABLE IF NOT EXISTS consent_managers (
    operator_id TEXT NOT NULL, company_id TEXT NOT NULL, PRIMARY KEY (operator_id, company_id));
CREATE TABLE IF NOT EXISTS campaigns (id TEXT PRIMARY KEY, company_id TEXT NOT NULL, title TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS campaign_films (film_id TEXT PRIMARY KEY, campaign_id TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS profile_photos (id TEXT PRIMARY KEY, avatar_jpeg BLOB, updated_at TEXT NOT NULL);
"""


def make_private(path) -> None:
    """The database and its journal files hold tokens and codes: owner-only, also when an older
    version left them readable. SQLite gives the -wal and -shm files the database file's mode.

    An existing file is never opened here: closing any descriptor of a file drops every POSIX lock
    this process holds on it, and other connections of the process (the sign-in server's threads)
    hold SQLite's locks."""
    try:
        os.close(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_NOFOLLOW, 0o600))
    except FileExistsError:
        pass
    for suffix in ("", "-wal", "-shm", "-journal"):
        name = str(path) + suffix
        try:
            mode = os.lstat(name).st_mode
        except FileNotFoundError:
            continue
        if stat.S_ISREG(mode) and mode & 0o077:
            os.chmod(name, 0o600)


# Tokens and recovery codes are kept as their SHA-256 (the stand-in only compares them). Version 1
# drops what an older database kept in the clear: those sessions sign in again.
SCHEMA_VERSION = 1
UPGRADE_CLEARS = ("access_tokens", "refresh_tokens", "recovery_codes")


def digest(secret: str) -> str:
    return hashlib.sha256(secret.encode("utf-8")).hexdigest()


def connect(path) -> sqlite3.Connection:
    path.parent.mkdir(mode=0o700, parents=True, exist_ok=True)
    make_private(path)
    conn = sqlite3.connect(str(path), timeout=30, isolation_level=None)
    conn.row_factory = sqlite3.Row
    conn.execute("PRAGMA busy_timeout = 30000")
    conn.execute("PRAGMA journal_mode = WAL")
    # WAL with NORMAL loses nothing when a tool process dies; only a power cut could drop the last commit.
    conn.execute("PRAGMA synchronous = NORMAL")
    # One transaction for the whole schema: one sync for a fresh file instead of one per table.
    conn.executescript("BEGIN;\n" + SCHEMA + "\nCOMMIT;")
    if conn.execute("PRAGMA user_version").fetchone()[0] < SCHEMA_VERSION:
        with transaction(conn):
            # Asked again inside the lock: another process may have upgraded (and issued tokens) meanwhile.
            if conn.execute("PRAGMA user_version").fetchone()[0] < SCHEMA_VERSION:
                for table in UPGRADE_CLEARS:
                    conn.execute("DELETE FROM %s" % table)
                conn.execute("PRAGMA user_version = %d" % SCHEMA_VERSION)
    return conn


class transaction:
    """BEGIN IMMEDIATE ... COMMIT, so read-check-write steps never interleave between processes."""

    def __init__(self, conn):
        self.conn = conn

    def __enter__(self):
        self.conn.execute("BEGIN IMMEDIATE")
        return self.conn

    def __exit__(self, kind, value, trace):
        self.conn.execute("COMMIT" if kind is None else "ROLLBACK")
        return False


PBKDF2_ROUNDS = 60000


def hash_password(password: str, salt: bytes = None):
    salt = salt if salt is not None else os.urandom(16)
    digest = hashlib.pbkdf2_hmac("sha256", password.encode("utf-8"), salt, PBKDF2_ROUNDS)
    return salt, digest


def password_matches(password: str, salt: bytes, digest: bytes) -> bool:
    return hmac.compare_digest(hash_password(password, salt)[1], digest)


def now() -> float:
    return time.time()
