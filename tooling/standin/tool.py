"""The common entry of every tool script: parse, check the session, run one command, answer JSON."""
import json
import os
import sys
import time
from pathlib import Path

from . import db, hooks, session
from .args import ArgumentError, parse_exact
from .errors import ToolError
from .paths import ToolsFolder, append_jsonl

STDIN_LIMIT = 1 << 20
REGISTRY = {}  # script -> {subcommand word (or None) -> Command}


class Command:
    def __init__(self, script, case, word, positionals, values, flags, multi, required, credentials, order):
        self.script, self.case, self.word = script, case, word
        self.order = list(order)  # the flags and the command word in the one order the app writes them
        self.positionals, self.values, self.flags, self.multi = positionals, set(values), set(flags), set(multi)
        self.required = set(required)
        self.credentials = credentials  # the flag that carries the credentials, or None
        self.handler = None


def command(script, case, word, positionals=0, values=(), flags=(), multi=(), required=(), credentials=None,
            order=()):
    """Declares one command's grammar; use the result as a decorator to give it a handler."""
    entry = Command(script, case, word, positionals, values, flags, multi, required, credentials, order)
    REGISTRY.setdefault(script, {})[word] = entry

    def register(handler):
        entry.handler = handler
        return handler
    return register


class Context:
    def __init__(self, tools, cmd, args, stdin_bytes):
        self.tools, self.cmd, self.args, self.stdin = tools, cmd, args, stdin_bytes
        self.rule = None  # the scenario rule of this run, if any
        self._conn = None

    @property
    def conn(self):
        if self._conn is None:
            from . import seed
            seed.ensure_seeded(self.tools)
            self._conn = db.connect(self.tools.database)
        return self._conn

    def user(self):
        """The signed-in user, checked against --expected-operator-id / --expected-user-id."""
        document = session.read_credentials(self.args[self.cmd.credentials], self.stdin)
        return session.authenticate(self.conn, document,
                                    expected_operator=self.args.get("--expected-operator-id"),
                                    expected_user=self.args.get("--expected-user-id"))

    def operator(self):
        return session.require_operator(self.conn, self.user())

    def inbox(self) -> Path:
        path = Path(self.args["--inbox"])
        if not path.is_absolute() or not path.is_dir():
            raise ToolError("Projektmappen findes ikke. Vælg den igen.")
        return path

    def positional(self, index=0):
        return self.args.positionals[index]


def parse(script, argv):
    commands = REGISTRY.get(script, {})
    values, flags, multi = set(), set(), set()
    for entry in commands.values():
        values |= entry.values
        flags |= entry.flags
        multi |= entry.multi
    words = {word: entry.positionals for word, entry in commands.items() if word is not None}
    args = parse_exact(argv, values, flags, multi, words)
    entry = commands.get(args.command)
    if entry is None:
        raise ArgumentError("Ukendt kommando for %s." % script)
    allowed = entry.values | entry.flags | entry.multi
    for name in args.options:
        if name not in allowed:
            raise ArgumentError("%s hører ikke til kommandoen %s." % (name, args.command or script))
    for name in entry.required:
        if name not in args.options:
            raise ArgumentError("%s mangler." % name)
    if entry.order:
        # The app writes every element in one fixed order; any other order is a fault on its side.
        expected = [name for name in entry.order if name in args.sequence]
        if args.sequence != expected:
            raise ArgumentError("Argumenterne til %s står i forkert rækkefølge: %s." % (
                args.command or script, " ".join(args.sequence)))
    return entry, args


def read_stdin():
    if sys.stdin is None or sys.stdin.isatty():
        return b""
    try:
        return sys.stdin.buffer.read(STDIN_LIMIT)
    except (OSError, ValueError):
        return b""


def fail(error: ToolError) -> int:
    sys.stderr.write(json.dumps({"error": error.message}, ensure_ascii=False))
    return error.exit_code


def run(script, argv, tools):
    from . import commands  # noqa: F401  (registers every command)
    try:
        entry, args = parse(script, argv)
        parse_error = None
    except ArgumentError as error:
        entry, args, parse_error = None, None, error
    # Only a command given "-" as its credentials reads standard input; others never wait on it.
    wants_session = entry is not None and entry.credentials and args.get(entry.credentials) == "-"
    stdin_bytes = read_stdin() if wants_session else b""
    tools.ensure_var()
    append_jsonl(tools.runs, {
        "script": script,
        "arguments": list(argv),
        "command": entry.case if entry else None,
        "stdin": session.mask(stdin_bytes),
        "cwd": os.getcwd(),
        "environment": {k: os.environ.get(k) for k in ("PATH", "LANG", "PYTHONIOENCODING")},
        "environment_size": len(os.environ),
        "dont_write_bytecode": bool(sys.flags.dont_write_bytecode),
        "at": time.time(),
    })
    if parse_error is not None:
        return fail(ToolError(str(parse_error), exit_code=2))
    rule = hooks.load_rule(tools, entry.case)
    if rule is not None:
        code = hooks.apply_before(rule)
        if code is not None:
            return code
    if entry.handler is None:
        return fail(ToolError("Kommandoen %s findes ikke i den lokale stand-in endnu." % entry.case))
    ctx = Context(tools, entry, args, stdin_bytes)
    ctx.rule = rule
    try:
        if rule is not None and rule.get("mode") == "revision_moved" and args.positionals:
            from . import customer
            customer.amend(ctx.conn, args.positionals[0])
        answer = entry.handler(ctx)
    except ToolError as error:
        return fail(error)
    if rule is not None:
        answer = hooks.apply_after(rule, answer)
    sys.stdout.buffer.write(json.dumps(answer, ensure_ascii=False).encode("utf-8"))
    sys.stdout.buffer.write(b"\n")
    return 0


def main(script, script_file):
    tools = ToolsFolder(Path(script_file).resolve().parent.parent.parent)
    try:
        code = run(script, sys.argv[1:], tools)
    except Exception as error:  # a crash still answers in the protocol's form
        code = fail(ToolError("Den lokale stand-in fejlede: %s" % error))
    sys.stdout.flush()
    sys.stderr.flush()
    return code
