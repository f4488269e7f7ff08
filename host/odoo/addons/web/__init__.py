"""The web client addon of the stand-in: nothing to load."""
