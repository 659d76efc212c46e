"""One module per tool script; importing them fills the command registry."""
from . import bridge, cloud, connection, profile, service, brief, video, projects  # noqa: F401
from . import service_tasks  # noqa: F401  (handlers of service commands declared above)
from . import service_inbox  # noqa: F401  (inbox, pipeline, claim-next, start and consent)
from . import service_actions  # noqa: F401  (claim, history, pull, film folder and working folders)
from . import service_proposals  # noqa: F401  (proposal template, preview and send)
from . import service_review  # noqa: F401  (review videos and customer reactions)
