"""Accounts, sessions and tokens shared by the sign-in server and the tools."""
import secrets
import uuid

from . import db

ACCESS_TOKEN_LIFETIME = 3600
RECOVERY_CODE_LIFETIME = 3600


def new_token() -> str:
    return secrets.token_urlsafe(48)


def find_user_by_email(conn, email: str):
    return conn.execute("SELECT * FROM users WHERE email = ?", (email.strip().lower(),)).fetchone()


def find_user(conn, user_id: str):
    return conn.execute("SELECT * FROM users WHERE id = ?", (user_id,)).fetchone()


def user_json(row) -> dict:
    return {
        "id": row["id"],
        "aud": "authenticated",
        "role": "authenticated",
        "email": row["email"],
        "is_anonymous": False,
        "user_metadata": {"display_name": row["display_name"]},
    }


def add_user(conn, user_id, email, password, display_name, operator=True):
    salt, digest = db.hash_password(password)
    conn.execute(
        "INSERT INTO users (id, email, display_name, password_salt, password_hash, is_operator)"
        " VALUES (?, ?, ?, ?, ?, ?)",
        (user_id, email.lower(), display_name, salt, digest, 1 if operator else 0))


def issue_session(conn, user_id: str, kind: str, lifetime: float) -> dict:
    """Starts a session and returns its first token pair (access, refresh, expiry)."""
    session_id = str(uuid.uuid4())
    conn.execute("INSERT INTO auth_sessions (id, user_id, kind, created_at) VALUES (?, ?, ?, ?)",
                 (session_id, user_id, kind, db.now()))
    return _issue_pair(conn, session_id, user_id, lifetime)


def _issue_pair(conn, session_id, user_id, lifetime):
    access, refresh = new_token(), new_token()
    expires_at = db.now() + lifetime
    # Only the digests are kept: the database never holds a token that works.
    conn.execute("INSERT INTO access_tokens (token, session_id, user_id, expires_at) VALUES (?, ?, ?, ?)",
                 (db.digest(access), session_id, user_id, expires_at))
    conn.execute("INSERT INTO refresh_tokens (token, session_id, user_id) VALUES (?, ?, ?)",
                 (db.digest(refresh), session_id, user_id))
    return {"access_token": access, "refresh_token": refresh, "expires_at": expires_at}


def rotate_refresh(conn, refresh_token: str, lifetime: float):
    """Trades a refresh token for a new pair; a used token ends its whole session (reuse detection)."""
    row = conn.execute(
        "SELECT r.*, s.revoked FROM refresh_tokens r JOIN auth_sessions s ON s.id = r.session_id"
        " WHERE r.token = ?", (db.digest(refresh_token),)).fetchone()
    if row is None or row["revoked"]:
        return None
    if row["used"]:
        revoke_session(conn, row["session_id"])
        return None
    conn.execute("UPDATE refresh_tokens SET used = 1 WHERE token = ?", (db.digest(refresh_token),))
    pair = _issue_pair(conn, row["session_id"], row["user_id"], lifetime)
    pair["user_id"] = row["user_id"]
    return pair


def revoke_session(conn, session_id):
    conn.execute("UPDATE auth_sessions SET revoked = 1 WHERE id = ?", (session_id,))


def valid_access(conn, token: str, kinds=("password",)):
    """The token's row when it was issued here, is unexpired and its session is live; else None."""
    if not isinstance(token, str) or not token:
        return None
    row = conn.execute(
        "SELECT a.*, s.kind, s.revoked FROM access_tokens a JOIN auth_sessions s ON s.id = a.session_id"
        " WHERE a.token = ?", (db.digest(token),)).fetchone()
    if row is None or row["revoked"] or row["kind"] not in kinds or row["expires_at"] <= db.now():
        return None
    return row


def recovery_digest(user_id: str, code: str) -> str:
    return db.digest("%s:%s" % (user_id, code))


def new_recovery_code(conn, user_id: str) -> str:
    code = "%06d" % secrets.randbelow(1000000)
    conn.execute("UPDATE recovery_codes SET used = 1 WHERE user_id = ?", (user_id,))
    conn.execute("DELETE FROM recovery_failures WHERE user_id = ?", (user_id,))
    conn.execute("INSERT INTO recovery_codes (user_id, code, expires_at) VALUES (?, ?, ?)",
                 (user_id, recovery_digest(user_id, code), db.now() + RECOVERY_CODE_LIFETIME))
    return code


RECOVERY_ATTEMPTS = 5
# Across codes: asking for a new code must not buy new guesses. Past this many wrong codes within the
# window, no code of the account is accepted until the window has passed.
RECOVERY_ACCOUNT_ATTEMPTS = 10
RECOVERY_WINDOW = 3600
# Wrong passwords per address within the window, after which that address cannot sign in for a while.
PASSWORD_ATTEMPTS = 10
PASSWORD_WINDOW = 900


def _failures(conn, key: str, kind: str, window: float) -> int:
    return conn.execute("SELECT COUNT(*) FROM sign_in_failures WHERE user_id = ? AND kind = ? AND at > ?",
                        (key, kind, db.now() - window)).fetchone()[0]


def _record_failure(conn, key: str, kind: str, window: float) -> None:
    conn.execute("DELETE FROM sign_in_failures WHERE at <= ?", (db.now() - max(RECOVERY_WINDOW, PASSWORD_WINDOW),))
    conn.execute("INSERT INTO sign_in_failures (user_id, kind, at) VALUES (?, ?, ?)", (key, kind, db.now()))


def _clear_failures(conn, key: str, kind: str) -> None:
    conn.execute("DELETE FROM sign_in_failures WHERE user_id = ? AND kind = ?", (key, kind))


def password_key(email: str) -> str:
    # Counted by address, known or not, so the answer tells nothing of which addresses have accounts.
    return email.strip().lower()


def password_locked(conn, email: str) -> bool:
    return _failures(conn, password_key(email), "password", PASSWORD_WINDOW) >= PASSWORD_ATTEMPTS


def record_password(conn, email: str, accepted: bool) -> None:
    if accepted:
        _clear_failures(conn, password_key(email), "password")
    else:
        _record_failure(conn, password_key(email), "password", PASSWORD_WINDOW)


def consume_recovery_code(conn, user_id: str, code: str) -> bool:
    """Spends the account's code when it matches. Wrong guesses are counted per account: the
    RECOVERY_ATTEMPTS-th spends the code, so a code cannot be found by trying them all, and past
    RECOVERY_ACCOUNT_ATTEMPTS within the window (whatever new codes were asked for) none is accepted."""
    if _failures(conn, user_id, "recovery", RECOVERY_WINDOW) >= RECOVERY_ACCOUNT_ATTEMPTS:
        return False
    row = conn.execute(
        "SELECT id FROM recovery_codes WHERE user_id = ? AND code = ? AND used = 0 AND expires_at > ?",
        (user_id, recovery_digest(user_id, code), db.now())).fetchone()
    if row is None:
        _record_failure(conn, user_id, "recovery", RECOVERY_WINDOW)
        conn.execute("INSERT INTO recovery_failures (user_id, count) VALUES (?, 1)"
                     " ON CONFLICT(user_id) DO UPDATE SET count = count + 1", (user_id,))
        failures = conn.execute("SELECT count FROM recovery_failures WHERE user_id = ?", (user_id,)).fetchone()
        if failures["count"] >= RECOVERY_ATTEMPTS:
            conn.execute("UPDATE recovery_codes SET used = 1 WHERE user_id = ?", (user_id,))
            conn.execute("DELETE FROM recovery_failures WHERE user_id = ?", (user_id,))
        return False
    conn.execute("UPDATE recovery_codes SET used = 1 WHERE id = ?", (row["id"],))
    conn.execute("DELETE FROM recovery_failures WHERE user_id = ?", (user_id,))
    _clear_failures(conn, user_id, "recovery")
    return True


def set_password(conn, user_id: str, password: str):
    salt, digest = db.hash_password(password)
    conn.execute("UPDATE users SET password_salt = ?, password_hash = ? WHERE id = ?",
                 (salt, digest, user_id))
    user = find_user(conn, user_id)
    if user is not None:
        _clear_failures(conn, password_key(user["email"]), "password")
