"""Local stand-in for the film-production service: its tools and its sign-in API."""
