"""One module per tool script; importing them fills the command registry."""
from . import bridge, cloud, connection, profile, service, brief, video, projects  # noqa: F401
