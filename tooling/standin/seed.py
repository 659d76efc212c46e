"""The demo content of the simulated service: the same ids and texts after every reset."""
import fcntl
import uuid

from . import accounts, db

NAMESPACE = uuid.UUID("6f1d6a8e-7f43-4c0e-9d7a-3c1f0b2a5e10")
DEMO_PASSWORD = "Tavlon-demo-2026"


def fixed_id(name: str) -> str:
    return str(uuid.uuid5(NAMESPACE, name))


EDITOR_ID = fixed_id("operator:editor")
SECOND_EDITOR_ID = fixed_id("operator:second")


def seed_accounts(conn):
    accounts.add_user(conn, EDITOR_ID, "editor@example.com", DEMO_PASSWORD, "Demo Editor")
    accounts.add_user(conn, SECOND_EDITOR_ID, "second.editor@example.com", DEMO_PASSWORD, "Second Editor")


def reset_database(tools, moment=None):
    """Replaces the database file with a fresh one holding the demo content, dated from `moment`
    (now when none)."""
    tools.ensure_var()
    for suffix in ("", "-wal", "-shm"):
        path = tools.database.with_name(tools.database.name + suffix)
        if path.exists():
            path.unlink()
    conn = db.connect(tools.database)
    with db.transaction(conn):
        seed_accounts(conn)
        from . import demo
        demo.set_clock(moment)
        demo.seed_service(conn, tools)
        from . import inbox_demo
        inbox_demo.seed_inbox(conn)
        from . import profile_demo
        profile_demo.seed_photos(conn)
    conn.close()


def ensure_seeded(tools):
    tools.ensure_var()
    with open(tools.var / ".seed.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        fresh = not tools.database.exists()
        if not fresh:
            conn = db.connect(tools.database)
            fresh = conn.execute("SELECT COUNT(*) FROM users").fetchone()[0] == 0
            conn.close()
        if fresh:
            reset_database(tools)
        fcntl.flock(lock, fcntl.LOCK_UN)
