"""Reads and rewrites the connection settings source of the tools folder."""
import os
import re
import stat

ADDRESS = re.compile(r'url:\s*URL\(string:\s*"(https://[^"\s]+)"')
KEY = re.compile(r'publishableKey:\s*"(sb_publishable_[^"\s]+)"')


def publishable_key(tools) -> str:
    match = KEY.search(tools.config_source.read_text(encoding="utf-8"))
    if not match:
        raise RuntimeError("no publishable key in %s" % tools.config_source)
    return match.group(1)


def write_address(tools, port: int) -> None:
    text = tools.config_source.read_text(encoding="utf-8")
    new_text, count = ADDRESS.subn(
        lambda m: m.group(0).replace(m.group(1), "https://127.0.0.1:%d" % port), text, count=1)
    if count != 1:
        raise RuntimeError("no address in %s" % tools.config_source)
    tmp = tools.config_source.with_suffix(".swift.tmp")
    tmp.write_text(new_text, encoding="utf-8")
    os.chmod(tmp, stat.S_IMODE(tools.config_source.stat().st_mode))  # not the writer's umask
    tmp.replace(tools.config_source)
