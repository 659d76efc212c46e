"""Demo profile photos: two customers and the second editor have one, everyone else shows initials."""
from pathlib import Path

from .seed import SECOND_EDITOR_ID, fixed_id

PHOTOS = Path(__file__).resolve().parent / "photos"
SEEDED_AT = "2026-01-05T09:30:00Z"


def seed_photos(conn):
    owners = ((fixed_id("customer:0"), "person0.jpg"), (fixed_id("customer:1"), "person1.jpg"),
              (SECOND_EDITOR_ID, "person2.jpg"))
    for owner, name in owners:
        conn.execute("INSERT INTO profile_photos (id, avatar_jpeg, updated_at) VALUES (?, ?, ?)",
                     (owner, (PHOTOS / name).read_bytes(), SEEDED_AT))
