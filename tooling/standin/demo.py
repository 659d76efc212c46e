"""Companies, films, tasks and backups of the demo service."""


def seed_service(conn, tools):
    pass
