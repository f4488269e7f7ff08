"""Addons namespace: ``odoo.addons.<name>`` imports an addon found on
``__path__``, which callers may extend with folders of addons."""
