"""editor_bridge.py: local packages of the project folder and edit hand-offs."""
import json
import uuid
from datetime import datetime, timezone
from pathlib import Path

from .. import packages
from ..errors import ToolError
from ..paths import inside
from ..tool import command

S = "editor_bridge.py"
FRAME_RATE = (25, 1)


def quoteattr(value: str) -> str:
    """A quoted XML attribute value (xml.sax would pull in urllib.request, a slow import for every run)."""
    for plain, entity in (("&", "&amp;"), ("<", "&lt;"), (">", "&gt;"), ('"', "&quot;"),
                          ("\n", "&#10;"), ("\r", "&#13;"), ("\t", "&#9;")):
        value = value.replace(plain, entity)
    return '"%s"' % value


@command(S, "inventory", "list", values={"--inbox"}, required={"--inbox"},
         order="--inbox list".split())
def inventory(ctx):
    inbox = ctx.inbox()
    found, invalid = [], []
    for folder in packages.package_folders(inbox):
        try:
            found.append(packages.summary(packages.load(folder)))
        except packages.InvalidPackage as error:
            invalid.append("%s: %s" % (folder.name, error))
    found.sort(key=lambda p: (p["title"].casefold(), p["packageID"]))
    return {"packages": found, "invalidPackages": invalid}


@command(S, "context", "context", 1, values={"--inbox"}, required={"--inbox"},
         order="--inbox context".split())
def context(ctx):
    _, manifest = packages.find(ctx.inbox(), ctx.positional())
    answer = {
        "summary": packages.summary(manifest),
        "masterprompt": manifest["masterprompt"],
        "candidates": manifest.get("candidates", []),
        "notice": manifest.get("notice", ""),
    }
    # The revision belongs to the customer's brief: a package without one has neither.
    if manifest.get("currentBrief") is not None:
        answer["currentBrief"] = manifest["currentBrief"]
        answer["contextRevision"] = packages.context_revision(manifest)
    return answer


def checked_package(ctx, kinds):
    folder, manifest = packages.find(ctx.inbox(), ctx.positional())
    if ctx.args["--fingerprint"] != manifest["_fingerprint"]:
        raise ToolError("Pakken er ændret, siden den blev åbnet. Åbn den igen.")
    revision = ctx.args.get("--context-revision")
    if manifest.get("currentBrief") is None:
        if revision is not None:
            raise ToolError("Briefen er ændret, siden pakken blev åbnet. Åbn pakken igen.")
    elif revision is not None and revision != packages.context_revision(manifest):
        raise ToolError("Briefen er ændret, siden pakken blev åbnet. Åbn pakken igen.")
    kind = (manifest.get("serviceRequest") or {}).get("kind")
    if kind is not None and kind not in kinds:
        raise ToolError("Pakkens opgave passer ikke til denne klargøring.")
    return folder, manifest, kind


def new_handoff(inbox: Path, prefix: str):
    handoff_id = "%s-%s" % (prefix, uuid.uuid4().hex[:12])
    folder = inside(inbox, packages.HANDOFFS, handoff_id)
    folder.mkdir(parents=True)
    return handoff_id, folder


def media_entries(folder, manifest):
    entries = {}
    for entry in manifest["files"]:
        if entry["role"] == "usable":
            entries[entry["path"]] = dict(entry, absolute=str((folder / entry["path"]).resolve()))
    return entries


def timeline_format(manifest, videos):
    sizes = {(v.get("width"), v.get("height")) for v in videos if v.get("width")}
    first = next((v for v in videos if v.get("width")), None)
    answer = {
        "width": first["width"] if first else 1920,
        "height": first["height"] if first else 1080,
        "frameRateNumerator": FRAME_RATE[0],
        "frameRateDenominator": FRAME_RATE[1],
        # The two origins the editor knows: a selected source's format, or the editor's own.
        "origin": "selectedSource" if first else "explicit",
        "requiresFormatReview": first is None or len(sizes) > 1,
        "mixedSourceFormats": len(sizes) > 1,
    }
    if first:
        answer["sourceID"] = first["path"]
    aspect = (manifest.get("serviceRequest") or {}).get("aspectRatio")
    if aspect:
        answer["briefAspectRatio"] = aspect
    return answer


def seconds(value):
    frames = round(float(value) * FRAME_RATE[0])
    return "%d/%ds" % (frames, FRAME_RATE[0]) if frames % FRAME_RATE[0] else "%ds" % (frames // FRAME_RATE[0])


def write_fcpxml(path, title, fmt, clips):
    assets, spine, offset = [], [], 0.0
    for index, (candidate, media) in enumerate(clips, start=1):
        asset_id = "a%d" % index
        start = float(candidate.get("startSeconds") or 0.0)
        if candidate.get("mediaKind") == "image":
            length = float(candidate.get("stillDurationSeconds") or 3.0)
            start = 0.0
        else:
            length = max(0.04, float(candidate.get("endSeconds") or start + 1.0) - start)
        assets.append('    <asset id="%s" name=%s start="0s" hasVideo="1" format="r1" duration="%s">\n'
                      '      <media-rep kind="original-media" src=%s/>\n    </asset>'
                      % (asset_id, quoteattr(candidate["title"]), seconds(start + length),
                         quoteattr(Path(media["absolute"]).as_uri())))
        spine.append('          <asset-clip ref="%s" name=%s offset="%s" start="%s" duration="%s"/>'
                      % (asset_id, quoteattr(candidate["title"]), seconds(offset), seconds(start), seconds(length)))
        offset += length
    text = ('<?xml version="1.0" encoding="UTF-8"?>\n<!DOCTYPE fcpxml>\n<fcpxml version="1.10">\n'
            '  <resources>\n    <format id="r1" frameDuration="%d/%ds" width="%d" height="%d"/>\n%s\n  </resources>\n'
            '  <library>\n    <event name=%s>\n      <project name=%s>\n'
            '        <sequence format="r1" duration="%s" tcStart="0s">\n          <spine>\n%s\n'
            '          </spine>\n        </sequence>\n      </project>\n    </event>\n  </library>\n</fcpxml>\n'
            % (FRAME_RATE[1], FRAME_RATE[0], fmt["width"], fmt["height"], "\n".join(assets),
               quoteattr(title), quoteattr(title), seconds(offset), "\n".join(spine)))
    path.write_text(text, encoding="utf-8")


def write_handoff_record(folder, record):
    (folder / "handoff.json").write_text(json.dumps(record, ensure_ascii=False, indent=2), encoding="utf-8")


def brief_text(manifest):
    brief = manifest.get("currentBrief") or {}
    request = manifest.get("serviceRequest") or {}
    return brief.get("effectiveInstructions") or request.get("instructions") or ""


@command(S, "prepare", "prepare", 1, values={"--inbox", "--fingerprint", "--context-revision"},
         required={"--inbox", "--fingerprint"},
         order="--inbox prepare --fingerprint --context-revision".split())
def prepare(ctx):
    folder, manifest, kind = checked_package(ctx, {"filmEditing"})
    media = media_entries(folder, manifest)
    clips, notices = [], []
    for candidate in manifest.get("candidates", []):
        source = media.get(candidate.get("sourceFile"))
        if source is None:
            notices.append("%s er udeladt: kildefilen er ikke godkendt." % candidate.get("title", candidate.get("id")))
            continue
        clips.append((candidate, source))
    videos = [m for m in media.values() if m.get("mediaKind") == "video"]
    fmt = timeline_format(manifest, videos)
    if fmt["mixedSourceFormats"]:
        notices.append("Kildematerialet har flere billedformater. Kontrollér tidslinjens format.")
    handoff_id, target = new_handoff(ctx.inbox(), "edit")
    fcpxml = target / "timeline.fcpxml"
    write_fcpxml(fcpxml, manifest["title"], fmt, clips)
    lines = ["# %s" % manifest["title"], "", "Klipning · hand-off %s" % handoff_id, "",
             "## Brief", "", brief_text(manifest), "", "## Klip", ""]
    lines += ["- %s (%s)" % (c["title"], c.get("sourceFile")) for c, _ in clips]
    (target / "writer-start.md").write_text("\n".join(lines) + "\n", encoding="utf-8")
    answer = {"handoffID": handoff_id, "folder": str(target), "fcpxml": str(fcpxml), "clipCount": len(clips),
              "notices": notices, "kind": kind or "filmEditing", "sourceFileCount": len(media),
              "timelineFormat": fmt}
    write_handoff_record(target, dict(answer, packageID=manifest["packageID"], title=manifest["title"],
                                      requestID=(manifest.get("currentBrief") or {}).get("requestID"),
                                      createdAt=datetime.now(timezone.utc).isoformat(timespec="microseconds")))
    return answer


@command(S, "prepareWriting", "prepare-writing", 1, values={"--inbox", "--fingerprint"},
         required={"--inbox", "--fingerprint"},
         order="--inbox prepare-writing --fingerprint".split())
def prepare_writing(ctx):
    folder, manifest, kind = checked_package(ctx, {"conceptDevelopment", "scriptDevelopment"})
    kind = kind or "scriptDevelopment"
    handoff_id, target = new_handoff(ctx.inbox(), "writing")
    sources = [f for f in manifest["files"] if f["role"] != "rejected"]
    heading = "Konceptudvikling" if kind == "conceptDevelopment" else "Manus og shotliste"
    lines = ["# %s" % manifest["title"], "", "%s · hand-off %s" % (heading, handoff_id), "",
             "## Brief", "", brief_text(manifest), "", "## Masterprompt", "", manifest["masterprompt"], "",
             "## Kildegrundlag", ""]
    lines += ["- %s · sha256 %s" % ((folder / f["path"]).resolve(), f["sha256"]) for f in sources]
    (target / "writer-start.md").write_text("\n".join(lines) + "\n", encoding="utf-8")
    answer = {"handoffID": handoff_id, "folder": str(target), "clipCount": 0, "notices": [],
              "kind": kind, "sourceFileCount": len(sources)}
    write_handoff_record(target, dict(answer, packageID=manifest["packageID"], title=manifest["title"],
                                      requestID=(manifest.get("currentBrief") or {}).get("requestID"),
                                      createdAt=datetime.now(timezone.utc).isoformat(timespec="microseconds")))
    return answer
