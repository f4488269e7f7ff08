"""Odoo's test framework, the part that addons' tests use, and helpers for
tests and demos running on the stand-in."""
from . import common
from .common import BaseCase, HttpCase, TransactionCase, tagged

__all__ = ['BaseCase', 'HttpCase', 'TransactionCase', 'common', 'tagged']
