class ToolError(Exception):
    """A failure the person reads: written as {"error": message} on standard error."""

    def __init__(self, message, exit_code=1):
        super().__init__(message)
        self.message = message
        self.exit_code = exit_code
