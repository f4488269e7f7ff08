"""Helpers for tests and demos running on the stand-in."""
