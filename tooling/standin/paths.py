"""Where a tools folder keeps its mutable state."""
from pathlib import Path

CONFIG_SOURCE = Path("ios/TavlonFilm/Cloud/CloudConfiguration.swift")


def default_tools_folder() -> Path:
    # standin/ lives directly in the tools folder.
    return Path(__file__).resolve().parent.parent


class ToolsFolder:
    def __init__(self, root=None):
        self.root = Path(root).resolve() if root else default_tools_folder()

    @property
    def var(self) -> Path:
        return self.root / "var"

    @property
    def database(self) -> Path:
        return self.var / "standin.sqlite3"

    @property
    def outbox(self) -> Path:
        return self.var / "outbox.jsonl"

    @property
    def tls(self) -> Path:
        return self.var / "tls"

    @property
    def media(self) -> Path:
        return self.var / "media"

    @property
    def cloud_store(self) -> Path:
        return self.var / "cloud"

    @property
    def auth_scenario(self) -> Path:
        return self.var / "auth_scenario.json"

    @property
    def auth_requests(self) -> Path:
        return self.var / "auth_requests.jsonl"

    @property
    def scenario(self) -> Path:
        return self.var / "scenario.json"

    @property
    def runs(self) -> Path:
        return self.var / "runs.jsonl"

    @property
    def config_source(self) -> Path:
        return self.root / CONFIG_SOURCE

    def ensure_var(self) -> Path:
        self.var.mkdir(parents=True, exist_ok=True)
        return self.var


def append_jsonl(path: Path, record: dict) -> None:
    import json
    import fcntl
    path.parent.mkdir(parents=True, exist_ok=True)
    line = json.dumps(record, ensure_ascii=False, sort_keys=True) + "\n"
    with open(path, "a", encoding="utf-8") as handle:
        fcntl.flock(handle, fcntl.LOCK_EX)
        handle.write(line)
        handle.flush()
        fcntl.flock(handle, fcntl.LOCK_UN)
