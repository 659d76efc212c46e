"""desktop_profile.py get, update and participants: the signed-in person's own profile and the
customer and instructor of inbox tasks. Answers use schema version 1 with every key present; a photo
is standard base64 of a small JPEG and absent photos, names and times are null."""
import base64
import unicodedata
from datetime import datetime, timezone

from .. import db
from ..errors import ToolError
from ..tool import command
from .common import uuid_text

S, CF, EU = "desktop_profile.py", "--credentials-file", "--expected-user-id"
SCHEMA_VERSION = 1
NAME_LIMIT = 100
PHOTO_LIMIT = 65536
BATCH_LIMIT = 20


def now_text() -> str:
    return datetime.now(timezone.utc).strftime("%Y-%m-%dT%H:%M:%S.%f")[:-3] + "Z"


def valid_name(name: str) -> bool:
    units = len(name.encode("utf-16-le")) // 2
    return (1 <= units <= NAME_LIMIT and name == name.strip()
            and all(unicodedata.category(c) not in ("Cc", "Cf") for c in name))


def photo_row(conn, person_id: str):
    return conn.execute("SELECT * FROM profile_photos WHERE id = ?", (person_id,)).fetchone()


def person_json(conn, person_id: str) -> dict:
    """A user or a customer contact as a person-profile object."""
    row = conn.execute("SELECT display_name FROM users WHERE id = ?", (person_id,)).fetchone()
    if row is None:
        row = conn.execute("SELECT display_name FROM people WHERE id = ?", (person_id,)).fetchone()
    name = row["display_name"] if row is not None else None
    photo = photo_row(conn, person_id)
    return {"userID": person_id,
            "displayName": name if name is not None and valid_name(name) else None,
            "avatarJPEGBase64": base64.b64encode(photo["avatar_jpeg"]).decode("ascii")
            if photo is not None and photo["avatar_jpeg"] else None,
            "updatedAt": photo["updated_at"] if photo is not None else None}


@command(S, "profileGet", "get", values={CF, EU}, required={CF}, credentials=CF,
         order="--credentials-file --expected-user-id get".split())
def get(ctx):
    user = ctx.user()
    return {"schemaVersion": SCHEMA_VERSION, "profile": person_json(ctx.conn, user["id"])}


def read_photo(path: str) -> bytes:
    try:
        with open(path, "rb") as handle:
            data = handle.read(PHOTO_LIMIT + 1)
    except OSError:
        raise ToolError("Profilfotoet kunne ikke læses.")
    if not data or len(data) > PHOTO_LIMIT or not data.startswith(b"\xff\xd8\xff"):
        raise ToolError("Profilfotoet skal være en lille JPEG.")
    return data


@command(S, "profileUpdate", "update", values={CF, EU, "--display-name", "--avatar-jpeg"},
         flags={"--clear-avatar"}, required={CF, EU, "--display-name"}, credentials=CF,
         order="--credentials-file --expected-user-id update --display-name --avatar-jpeg --clear-avatar".split())
def update(ctx):
    user = ctx.user()
    name = ctx.args["--display-name"]
    if not valid_name(name):
        raise ToolError("Navnet skal have 1–100 tegn uden kontroltegn.")
    has_photo, clear = "--avatar-jpeg" in ctx.args.options, "--clear-avatar" in ctx.args.options
    if has_photo == clear:
        raise ToolError("Angiv enten --avatar-jpeg eller --clear-avatar.")
    photo = read_photo(ctx.args["--avatar-jpeg"]) if has_photo else None
    conn = ctx.conn
    with db.transaction(conn):
        conn.execute("UPDATE users SET display_name = ? WHERE id = ?", (name, user["id"]))
        conn.execute("INSERT INTO profile_photos (id, avatar_jpeg, updated_at) VALUES (?, ?, ?)"
                     " ON CONFLICT(id) DO UPDATE SET avatar_jpeg = excluded.avatar_jpeg,"
                     " updated_at = excluded.updated_at", (user["id"], photo, now_text()))
    return {"schemaVersion": SCHEMA_VERSION, "profile": person_json(conn, user["id"])}


@command(S, "profileParticipants", "participants", values={CF, EU}, multi={"--request-ids"},
         required={CF, EU, "--request-ids"}, credentials=CF,
         order="--credentials-file --expected-user-id participants --request-ids".split())
def participants(ctx):
    operator = ctx.operator()
    ids = ctx.args["--request-ids"]
    if not ids or len(ids) > BATCH_LIMIT:
        raise ToolError("Angiv 1 til 20 opgaver.")
    conn, items = ctx.conn, []
    for text in ids:
        key = uuid_text(text, "Opgavens")
        task = conn.execute("SELECT r.* FROM requests r JOIN operator_companies oc ON oc.company_id = r.company_id"
                            " WHERE oc.operator_id = ? AND r.id = ?", (operator, key)).fetchone()
        if task is None:
            raise ToolError("Opgaven findes ikke eller er ikke knyttet til din konto.")
        claimer = task["claimed_by"]
        items.append({"requestID": task["id"], "customer": person_json(conn, task["submitted_by"]),
                      "instructor": person_json(conn, claimer) if claimer else None})
    return {"schemaVersion": SCHEMA_VERSION, "items": items}
