"""Video drafts and native project copies kept in a project folder by the local video and project tools.

<inbox>/video-drafts/<request>/<proposal>/ holds the frozen video, draft.json (the prepared draft as the
tool answered it) and, once the service took the draft, receipt.json (the local send receipt).
<inbox>/project-versions/<request>/ holds one folder per proposal with its project copies, and
registration.json with the projects to copy again at the next delivery."""
import json
import os
import shutil
import subprocess
import tempfile
import time
import uuid
import zipfile
from pathlib import Path

from .commands.common import uuid_text
from .errors import ToolError
from .packages import sha256_file
from .paths import inside, listed_inside, read_inside, write_inside

VIDEO_TYPES = {".mp4": "video/mp4", ".m4v": "video/x-m4v", ".mov": "video/quicktime"}
VIDEO_LIMIT = 512 * 1024 * 1024
# Looked up by the application as keys of its string tables: keep them in step with it.
PREPARED_NOTICE = "Videoen er frosset som udkast. Se den helt igennem, før du sender den."
COPY_NOTICE = "Lokal projektkopi. Eksterne medier er ikke kopieret med."
NO_DRAFT = "Videoudkastet findes ikke i projektmappen. Klargør videoen igen."


def _write_json(folder: Path, name: str, value) -> None:
    write_inside(folder, (name,), json.dumps(value, ensure_ascii=False, sort_keys=True))


def _read_json(folder: Path, name: str):
    """The JSON file `name` of folder; OSError or ValueError when it is missing, unreadable or not inside."""
    try:
        return json.loads(read_inside(folder, name))
    except ToolError as error:
        raise OSError(error.message)


def task_folder(inbox: Path, request_id: str) -> Path:
    # Ids become folder names: only canonical UUIDs may.
    return inside(inbox, "video-drafts", uuid_text(request_id, "Opgavens"))


def draft_folder(inbox: Path, request_id: str, proposal_id: str) -> Path:
    return inside(inbox, "video-drafts", uuid_text(request_id, "Opgavens"), uuid_text(proposal_id, "Forslagets"))


def frozen_video(inbox: Path, request_id: str, proposal_id: str, draft: dict):
    """(the frozen video in the draft's own folder, its upload key) for a loaded draft. Only the
    record's file suffix is taken from it: the folder is the draft's own, and a key for another place
    is refused."""
    suffix = Path(str(draft.get("file", ""))).suffix.lower()
    key = "%s/%s%s" % (request_id, proposal_id, suffix)
    video = (draft.get("content") or {}).get("video") or {}
    if suffix not in VIDEO_TYPES or Path(draft["file"]).name != "video" + suffix or video.get("object_key") != key:
        raise ToolError(NO_DRAFT)
    return inside(draft_folder(inbox, request_id, proposal_id), "video" + suffix), key


def probe(video: Path) -> float:
    """The length in seconds of a file that holds a video stream; refuses anything else."""
    if shutil.which("ffprobe") is None:
        raise ToolError("ffprobe mangler; kør scripts/setup.")
    result = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                             "stream=codec_type:format=duration", "-of", "json", str(video)],
                            capture_output=True, text=True)
    try:
        info = json.loads(result.stdout)
        duration = float(info["format"]["duration"])
        has_video = any(s.get("codec_type") == "video" for s in info.get("streams", []))
    except (ValueError, KeyError, TypeError):
        has_video, duration = False, 0.0
    if result.returncode != 0 or not has_video or not duration > 0:
        raise ToolError("Filen kan ikke læses som en video. Eksportér filmen igen.")
    return round(duration, 3)


def prepare(inbox: Path, request_id: str, video: Path, revision: int, label: str, summary: str,
            editor: str) -> dict:
    if not all(text.strip() for text in (label, summary, editor)):
        raise ToolError("Versionsnavn, beskrivelse og klipperens navn skal udfyldes.")
    suffix = video.suffix.lower()
    if not video.is_absolute() or not video.is_file() or suffix not in VIDEO_TYPES:
        raise ToolError("Vælg en eksporteret MP4-, MOV- eller M4V-fil.")
    size = video.stat().st_size
    if size == 0 or size > VIDEO_LIMIT:
        raise ToolError("Videoen skal være mellem 1 byte og 512 MiB.")
    duration = probe(video)
    proposal_id, export_id = str(uuid.uuid4()), str(uuid.uuid4())
    folder = draft_folder(inbox, request_id, proposal_id)
    folder.mkdir(parents=True)
    frozen = folder / ("video" + suffix)
    tmp = folder / (".tmp-video" + suffix)
    shutil.copyfile(video, tmp)
    tmp.replace(frozen)
    digest = sha256_file(frozen)
    draft = {
        "proposalID": proposal_id, "requestID": request_id, "exportID": export_id, "file": str(frozen),
        "notice": PREPARED_NOTICE, "expectedRevision": revision,
        "content": {"schemaVersion": 1, "kind": "filmEditing", "title": label, "body": summary,
                    "open_questions": [], "concept_options": [], "script_sections": [], "shots": [], "sources": [],
                    "video": {"source_export_id": export_id, "bucket": "tf-reviews",
                              "object_key": "%s/%s%s" % (request_id, proposal_id, suffix), "sha256": digest,
                              "content_type": VIDEO_TYPES[suffix], "editor_name": editor,
                              "byte_count": frozen.stat().st_size, "duration_seconds": duration,
                              "editor_qc_confirmed": False}},
    }
    _write_json(folder, "draft.json", {"preview": draft, "preparedAt": time.time()})
    return draft


def load(inbox: Path, request_id: str, proposal_id: str) -> dict:
    try:
        record = _read_json(draft_folder(inbox, request_id, proposal_id), "draft.json")
        preview = record["preview"]
    except (OSError, ValueError, KeyError, TypeError):
        raise ToolError(NO_DRAFT)
    if not isinstance(preview, dict):
        raise ToolError(NO_DRAFT)
    return preview


def receipt(inbox: Path, request_id: str, proposal_id: str):
    try:
        return _read_json(draft_folder(inbox, request_id, proposal_id), "receipt.json")
    except (OSError, ValueError):
        return None


def write_receipt(inbox: Path, request_id: str, proposal_id: str, version: int) -> None:
    _write_json(draft_folder(inbox, request_id, proposal_id), "receipt.json",
                {"proposalID": proposal_id, "version": version, "sentAt": time.time()})


def pending(inbox: Path, request_id: str) -> list:
    """Drafts without a local send receipt, oldest first."""
    folder = task_folder(inbox, request_id)
    records = []
    for child in sorted(folder.iterdir()) if folder.is_dir() else []:
        if not listed_inside(folder, child):
            continue
        try:
            record = _read_json(child, "draft.json")
        except (OSError, ValueError):
            continue
        if not (child / "receipt.json").exists():
            records.append((record.get("preparedAt", 0), child.name, record["preview"]))
    return [preview for _, _, preview in sorted(records, key=lambda r: (r[0], r[1]))]


# ---- native project copies ----

def _projects_folder(inbox: Path, request_id: str) -> Path:
    return inside(inbox, "project-versions", uuid_text(request_id, "Opgavens"))


def _registration(inbox: Path, request_id: str) -> Path:
    return inside(_projects_folder(inbox, request_id), "registration.json")


def registered(inbox: Path, request_id: str) -> list:
    try:
        return _read_json(_projects_folder(inbox, request_id), "registration.json")["projects"]
    except (OSError, ValueError, KeyError, TypeError):
        return []


def project_kind(project: Path) -> str:
    if project.is_dir() and project.suffix.lower() == ".fcpbundle":
        return "finalCutLibrary"
    if project.is_file() and project.suffix.lower() == ".drp":
        return "resolveProjectExport"
    raise ToolError("Vælg et lukket Final Cut-bibliotek (.fcpbundle) eller en Resolve-projekteksport (.drp).")


def preserve(inbox: Path, request_id: str, proposal_id: str, project: Path, remember: bool) -> dict:
    if not project.is_absolute() or not project.exists():
        raise ToolError("Editorprojektet findes ikke. Vælg det igen.")
    kind = project_kind(project)
    source = project.resolve()
    snapshot = str(uuid.uuid5(uuid.NAMESPACE_URL, "%s|%s" % (proposal_id, source)))
    folder = inside(_projects_folder(inbox, request_id), uuid_text(proposal_id, "Forslagets"), snapshot)
    folder.mkdir(parents=True, exist_ok=True)
    archive = inside(folder, project.name + ".zip")
    handle, tmp = tempfile.mkstemp(prefix=".tmp-archive-", suffix=".zip", dir=folder)
    os.close(handle)
    tmp = Path(tmp)
    references = 0
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as packed:
        members = [source] if source.is_file() else sorted(p for p in source.rglob("*") if p.is_file())
        for member in members:
            packed.write(member, member.relative_to(source.parent))
            references += 1
    tmp.replace(archive)
    if remember:
        projects = [p for p in registered(inbox, request_id) if p["path"] != str(source)]
        projects.append({"path": str(source), "name": project.name})
        _write_json(_projects_folder(inbox, request_id), "registration.json", {"projects": projects})
    copy = {
        "snapshotID": snapshot, "proposalID": proposal_id, "sourceName": project.name, "kind": kind,
        "archive": str(archive), "manifest": str(folder / "copy.json"), "archiveSHA256": sha256_file(archive),
        "dependencyStatus": "externalMediaNotCopied", "notice": COPY_NOTICE, "byteCount": archive.stat().st_size,
        "referenceCount": references, "nativeReopenVerified": False,
        "automaticProjects": [p["name"] for p in registered(inbox, request_id)],
        "copiedAt": time.time(),
    }
    _write_json(folder, "copy.json", copy)
    copy.pop("copiedAt")
    return copy


def copies(inbox: Path, request_id: str, proposal_id: str) -> list:
    folder = inside(_projects_folder(inbox, request_id), uuid_text(proposal_id, "Forslagets"))
    found = []
    for child in sorted(folder.iterdir()) if folder.is_dir() else []:
        if not listed_inside(folder, child):
            continue
        try:
            copy = _read_json(child, "copy.json")
        except (OSError, ValueError):
            continue
        found.append(copy)
    found.sort(key=lambda c: (c.get("copiedAt", 0), c["snapshotID"]))
    for copy in found:
        copy.pop("copiedAt", None)
        copy.pop("automaticProjects", None)
    return found


def versions(inbox: Path, request_id: str, proposal_id: str) -> dict:
    projects = registered(inbox, request_id)
    return {"proposalID": proposal_id, "versions": copies(inbox, request_id, proposal_id),
            "automaticProjects": [p["name"] for p in projects],
            # A remembered project that has gone cannot be copied again without a new choice.
            "requiresExplicitSelection": any(not os.path.exists(p["path"]) for p in projects)}


def clear_registration(inbox: Path, request_id: str) -> None:
    path = _registration(inbox, request_id)
    if path.exists() or path.is_symlink():
        path.unlink()  # a link itself, never what it points at


def copy_registered(inbox: Path, request_id: str, proposal_id: str) -> None:
    """At a delivery: copies every remembered project that still exists for the new version."""
    for project in registered(inbox, request_id):
        path = Path(project["path"])
        if path.exists():
            preserve(inbox, request_id, proposal_id, path, remember=False)
