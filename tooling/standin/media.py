"""Small real media made with ffmpeg at reset time, and the cloud copies of the demo backups."""
import fcntl
import json
import shutil
import subprocess

from .errors import ToolError
from .packages import sha256_file

LAVFI_VIDEO = {
    "interview.mp4": ("testsrc=size=640x360:rate=25:duration=4", 440),
    "broll.mp4": ("smptebars=size=640x360:rate=25:duration=3", 660),
    "vertical.mp4": ("testsrc2=size=360x640:rate=25:duration=3", 550),
    "review-v1.mp4": ("testsrc2=size=640x360:rate=25:duration=4", 330),
    "reaction.mp4": ("rgbtestsrc=size=320x240:rate=25:duration=2", 880),
    # An editor's export of a new cut, ready to become a video draft.
    "export-klip-2.mp4": ("testsrc2=size=640x360:rate=25:duration=5", 523),
}
STILLS = {
    "still-logo.jpg": "color=c=0x1f6f8b:size=640x360",
    "still-product.jpg": "testsrc=size=640x360:rate=1",
}
SIZES = {"interview.mp4": (640, 360), "broll.mp4": (640, 360), "vertical.mp4": (360, 640),
         "review-v1.mp4": (640, 360), "reaction.mp4": (320, 240), "export-klip-2.mp4": (640, 360),
         "still-logo.jpg": (640, 360), "still-product.jpg": (640, 360)}


def _ffmpeg(args):
    if shutil.which("ffmpeg") is None:
        raise ToolError("ffmpeg mangler; kør scripts/setup.")
    result = subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-y", *args],
                            capture_output=True, text=True)
    if result.returncode != 0:
        raise ToolError("Demomedier kunne ikke laves: %s" % result.stderr.strip()[:300])


def ensure_media(tools):
    """var/media with every demo file; made once per tools folder."""
    folder = tools.media
    folder.mkdir(parents=True, exist_ok=True)
    with open(tools.var / ".media.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        for name, (source, tone) in LAVFI_VIDEO.items():
            if not (folder / name).exists():
                tmp = folder / (".tmp-" + name)
                _ffmpeg(["-f", "lavfi", "-i", source, "-f", "lavfi", "-i", "sine=frequency=%d" % tone,
                         "-shortest", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p",
                         "-c:a", "aac", "-b:a", "64k", "-movflags", "+faststart", "-f", "mp4", str(tmp)])
                tmp.replace(folder / name)
        for name, source in STILLS.items():
            if not (folder / name).exists():
                tmp = folder / (".tmp-" + name)
                _ffmpeg(["-f", "lavfi", "-i", source, "-frames:v", "1", "-f", "image2", str(tmp)])
                tmp.replace(folder / name)
        # The native projects an editor keeps beside a version: a Final Cut library and a Resolve export.
        projects = folder / "projects"
        library = projects / "Sommerøl 2026.fcpbundle"
        if not library.exists():
            (library / "Sommerøl 2026").mkdir(parents=True)
            (library / "Sommerøl 2026" / "CurrentVersion.fcpevent").write_text("demo event\n", encoding="utf-8")
            (library / "Settings.plist").write_text("<plist/>\n", encoding="utf-8")
        export = projects / "Sommerøl 2026.drp"
        if not export.exists():
            export.write_bytes(b"demo resolve project export\n")
        notes = folder / "notes.txt"
        if not notes.exists():
            notes.write_text("Kundens noter: hold tonen varm og jordnær. Logo til sidst.\n", encoding="utf-8")
    return folder


def ensure_cloud_copy(tools, backup_id, files):
    """var/cloud/<backup>/ with the backup's files and the digests recorded when it was uploaded."""
    from .paths import inside
    target = inside(tools.cloud_store, backup_id)
    record = target / "digests.json"
    if record.exists():
        return target, json.loads(record.read_text(encoding="utf-8"))
    media = ensure_media(tools)
    with open(tools.var / ".media.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not record.exists():
            digests = {}
            for entry in files:
                destination = inside(target / "files", entry["path"])
                destination.parent.mkdir(parents=True, exist_ok=True)
                shutil.copyfile(inside(media, entry["media"]), destination)
                digests[entry["path"]] = {"sha256": sha256_file(destination), "bytes": destination.stat().st_size}
            record.write_text(json.dumps(digests, sort_keys=True), encoding="utf-8")
    return target, json.loads(record.read_text(encoding="utf-8"))


# Demo review clips and reactions: the object key of a review video names its
# file under var/review-objects; the demo keys are filled from the made media.
REVIEW_OBJECTS = "review-objects"
DEMO_REVIEW_KEY = "demo/review-v1.mp4"
REACTION_SECONDS = 2.0  # the length of reaction.mp4 above
REVIEW_SECONDS = 4.0  # the length of review-v1.mp4 above


def review_object(tools, object_key):
    """The stored file of a review video, or None. Demo keys come from the made media."""
    parts = [p for p in object_key.split("/") if p]
    if not parts or any(p in (".", "..") for p in parts):
        return None
    path = tools.var / REVIEW_OBJECTS / "/".join(parts)
    if not path.exists() and parts[0] == "demo" and (tools.media / parts[-1]).exists():
        path.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(tools.media / parts[-1], path)
    return path if path.is_file() else None


def store_review_object(tools, object_key, source):
    """Keeps a sent video under its object key, where a review download looks for it; the first copy stays."""
    parts = [p for p in object_key.split("/") if p]
    if not parts or any(p in (".", "..") for p in parts):
        raise ToolError("Videoens objektnøgle er ugyldig.")
    path = tools.var / REVIEW_OBJECTS / "/".join(parts)
    if not path.exists():
        path.parent.mkdir(parents=True, exist_ok=True)
        tmp = path.with_name(".tmp-" + path.name)
        try:
            shutil.copyfile(source, tmp)
            tmp.replace(path)
        finally:
            tmp.unlink(missing_ok=True)
    return path


def demo_review_facts(tools):
    """(sha256, bytes) of the demo review clip when the media were made, else None."""
    clip = tools.media / "review-v1.mp4"
    if not clip.exists():
        return None
    return sha256_file(clip), clip.stat().st_size
