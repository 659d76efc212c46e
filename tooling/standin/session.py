"""The session document on standard input, checked against the tokens the sign-in stand-in issued."""
import json
import math

from . import accounts
from .errors import ToolError

SESSION_LIMIT = 32768
SESSION_KEYS = {"access_token", "user_id", "expires_at"}
SIGN_IN_AGAIN = "Log ind igen før denne handling."


def parse_document(raw: bytes) -> dict:
    if len(raw) > SESSION_LIMIT:
        raise ToolError(SIGN_IN_AGAIN)
    try:
        document = json.loads(raw.decode("utf-8"))
    except (UnicodeDecodeError, ValueError):
        raise ToolError("Login mangler. Log ind igen før denne handling.")
    if not isinstance(document, dict) or set(document) != SESSION_KEYS:
        raise ToolError("Login kunne ikke læses. Log ind igen før denne handling.")
    expires = document["expires_at"]
    if (not isinstance(document["access_token"], str) or not isinstance(document["user_id"], str)
            or isinstance(expires, bool) or not isinstance(expires, (int, float)) or not math.isfinite(expires)):
        raise ToolError("Login kunne ikke læses. Log ind igen før denne handling.")
    return document


def read_credentials(argument: str, stdin_bytes: bytes) -> dict:
    """"-" means the document on standard input; anything else is the path of a credentials file."""
    if argument == "-":
        return parse_document(stdin_bytes)
    try:
        with open(argument, "rb") as handle:
            raw = handle.read(SESSION_LIMIT + 1)
    except OSError:
        raise ToolError("Loginfilen kunne ikke læses. Log ind igen.")
    return parse_document(raw)


def authenticate(conn, document: dict, expected_operator=None, expected_user=None) -> dict:
    """Returns the signed-in user's row; refuses unknown, revoked, expired and foreign tokens."""
    token = accounts.valid_access(conn, document["access_token"])
    if token is None or token["user_id"] != document["user_id"]:
        raise ToolError("Login er udløbet eller ugyldigt. Log ind igen.")
    user = accounts.find_user(conn, token["user_id"])
    if user is None:
        raise ToolError("Login er udløbet eller ugyldigt. Log ind igen.")
    if expected_user is not None and expected_user != user["id"]:
        raise ToolError("Login tilhører en anden bruger. Hent oplysningerne igen.")
    if expected_operator is not None and expected_operator != user["id"]:
        raise ToolError("Login tilhører en anden redaktør. Hent virksomhederne igen.")
    return user


def require_operator(conn, user) -> str:
    if not user["is_operator"]:
        raise ToolError("Kontoen er ikke redaktør hos Tavlon.")
    return user["id"]


def mask(raw: bytes):
    """The standard input as recorded in runs.jsonl: JSON with every token replaced."""
    if not raw:
        return None
    try:
        document = json.loads(raw.decode("utf-8"))
    except (UnicodeDecodeError, ValueError):
        return {"unreadable_bytes": len(raw)}
    if isinstance(document, dict):
        return {key: ("***" if "token" in key and isinstance(value, str) else value)
                for key, value in document.items()}
    return {"non_object": type(document).__name__}
