"""Resets the stand-in's state to the demo content: reset.py --tools-folder DIR [--no-media]"""
import shutil
import sys
from pathlib import Path

if __package__ in (None, ""):
    sys.path.insert(0, str(Path(__file__).resolve().parent.parent))
    __package__ = "standin"

from standin import media, seed  # noqa: E402
from standin.args import ArgumentError, parse_exact  # noqa: E402
from standin.paths import ToolsFolder, private_umask  # noqa: E402


def reset(tools: ToolsFolder, with_media=True):
    tools.ensure_var()
    if with_media:
        # First: the demo proposals carry the hash and size of the made review clip.
        media.ensure_media(tools)
    seed.reset_database(tools)
    # Logs, hooks and cloud copies go; the CA and made media stay (they never change).
    for path in (tools.outbox, tools.runs, tools.auth_requests, tools.scenario, tools.auth_scenario,
                 tools.var / "scenario_hits.json"):
        if path.exists():
            path.unlink()
    shutil.rmtree(tools.cloud_store, ignore_errors=True)


def main(argv=None):
    try:
        options = parse_exact(argv if argv is not None else sys.argv[1:], values={"--tools-folder"},
                              flags={"--no-media"})
    except ArgumentError as error:
        print("reset: %s" % error, file=sys.stderr)
        return 2
    private_umask()  # it writes nothing but the tools folder's state
    reset(ToolsFolder(options.get("--tools-folder")), with_media="--no-media" not in options)
    return 0


if __name__ == "__main__":
    sys.exit(main())
