"""Checks shared by the service commands."""
import uuid

from ..errors import ToolError

PAGE_SIZE = 50


def uuid_text(value: str, what: str) -> str:
    """The canonical lower-case form of a UUID argument; refuses anything else."""
    try:
        parsed = uuid.UUID(value)
    except (ValueError, AttributeError, TypeError):
        raise ToolError("%s er ikke et gyldigt id." % what)
    if str(parsed) != value.lower():
        raise ToolError("%s er ikke et gyldigt id." % what)
    return str(parsed)


def served_company(conn, operator_id: str, company: str):
    """The company row when the operator serves it; one message for unknown and foreign companies."""
    if not company:
        raise ToolError("Vælg en virksomhed først.")
    try:
        key = uuid_text(company, "Virksomhedens")
    except ToolError:
        raise ToolError("Virksomheden findes ikke eller er ikke knyttet til din konto.")
    row = conn.execute(
        "SELECT c.* FROM companies c JOIN operator_companies oc ON oc.company_id = c.id"
        " WHERE oc.operator_id = ? AND c.id = ?", (operator_id, key)).fetchone()
    if row is None:
        raise ToolError("Virksomheden findes ikke eller er ikke knyttet til din konto.")
    return row


def integer_text(value: str, what: str) -> int:
    text = value[1:] if value.startswith("-") else value
    if not text.isascii() or not text.isdigit():
        raise ToolError("%s skal være et helt tal." % what)
    return int(value)
