"""Test hooks of the tools: var/scenario.json changes how a named command answers."""
import fcntl
import json
import os
import signal
import sys
import time

MODES = {"patch", "fail", "fail_after", "fail_raw", "hang", "signal", "malformed", "oversized", "wrong_keys", "answer", "stderr_noise",
         # Read by the commands themselves (ctx.rule): the customer revises the task before the command
         # runs; a send reaches the service but its receipt and answer are lost.
         "revision_moved", "unconfirmed"}


def load_rule(tools, case):
    """The rule for this command, counting its use when it has "times"; None when there is none."""
    try:
        data = json.loads(tools.scenario.read_text(encoding="utf-8"))
    except (FileNotFoundError, ValueError):
        return None
    rule = (data.get("commands") or {}).get(case) if isinstance(data, dict) else None
    if not isinstance(rule, dict) or rule.get("mode") not in MODES:
        return None
    times = rule.get("times")
    if isinstance(times, int):
        counter = tools.var / "scenario_hits.json"
        with open(tools.var / ".scenario.lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            try:
                hits = json.loads(counter.read_text())
            except (FileNotFoundError, ValueError):
                hits = {}
            used = hits.get(case, 0)
            hits[case] = used + 1
            counter.write_text(json.dumps(hits))
        if used >= times:
            return None
    return rule


def apply_before(rule):
    """Modes that replace the command entirely. Returns an exit code, or None to run the command."""
    mode = rule["mode"]
    out = sys.stdout.buffer
    if mode == "fail":
        sys.stderr.write(json.dumps({"error": rule.get("error", "Simuleret fejl.")}, ensure_ascii=False))
        return int(rule.get("exit_code", 1))
    if mode == "fail_raw":
        sys.stderr.write(rule.get("stderr", "Traceback (most recent call last):\n  RuntimeError: boom\n"))
        return int(rule.get("exit_code", 1))
    if mode == "hang":
        time.sleep(float(rule.get("seconds", 3600)))
        return 0
    if mode == "signal":
        sys.stdout.flush()
        os.kill(os.getpid(), getattr(signal, rule.get("signal", "SIGKILL")))
        time.sleep(5)
        return 1
    if mode == "malformed":
        out.write(rule.get("stdout", '{"packages": [').encode("utf-8"))
        return int(rule.get("exit_code", 0))
    if mode == "oversized":
        size = int(rule.get("bytes", 33554433))
        # A valid JSON document of exactly `size` bytes (for any size of 2 or more).
        if size >= 10:
            out.write(b'{"pad":"')
            chunk = b"x" * 65536
            remaining = size - 10
            while remaining > 0:
                out.write(chunk[:min(remaining, len(chunk))])
                remaining -= min(remaining, len(chunk))
            out.write(b'"}')
        else:
            out.write(b" " * size)
        return 0
    if mode == "answer":
        out.write(json.dumps(rule.get("json"), ensure_ascii=False).encode("utf-8"))
        return int(rule.get("exit_code", 0))
    return None


def apply_after(rule, answer):
    """Modes that alter the real answer."""
    mode = rule["mode"]
    if mode == "wrong_keys" and isinstance(answer, dict):
        answer = dict(answer)
        for key in rule.get("drop", []):
            answer.pop(key, None)
        for old, new in (rule.get("rename") or {}).items():
            if old in answer:
                answer[new] = answer.pop(old)
        answer.update(rule.get("add") or {})
    if mode == "patch" and isinstance(answer, dict):
        # {"set": {"request.revision": 0}}: one member deep inside the real answer replaced.
        answer = json.loads(json.dumps(answer))
        for path, value in (rule.get("set") or {}).items():
            *parents, last = path.split(".")
            node = answer
            for key in parents:
                node = node[key]
            node[last] = value
    if mode == "fail_after":
        # The command has done its work; only its answer is lost, as when the connection drops.
        sys.stderr.write(json.dumps({"error": rule.get("error", "Simuleret fejl.")}, ensure_ascii=False))
        sys.stderr.flush()
        raise SystemExit(int(rule.get("exit_code", 1)))
    if mode == "stderr_noise":
        sys.stderr.write(rule.get("stderr", "warning: noise on standard error\n"))
    return answer
