"""A pytest plugin that runs the tests packages of Odoo addons (such as
addon/lumq_spell/tests) on the stand-in, as Odoo's test runner does.

Odoo imports an addon's test modules as ``odoo.addons.<addon>.tests.<name>``.
pytest on its own would import them as ``<addon>.tests.<name>`` from the
addons folder, importing the addon a second time under another name, models
and all.  For folders inside an addon, this plugin collects plain directories
(never importing their ``__init__.py`` as a package of their own) and imports
each test module under its Odoo name, once; the unittest classes in it are
then collected as usual.
"""
import importlib
from pathlib import Path

import pytest


class OdooTestModule(pytest.Module):
    """A test module of an addon, imported under its name in odoo.addons."""

    odoo_name = None

    def _getobj(self):
        package = importlib.import_module(self.odoo_name.rpartition(".")[0])
        if not hasattr(package, self.odoo_name.rpartition(".")[2]):
            # Odoo's runner runs only the modules that the package imports
            raise self.CollectError(
                f"{self.odoo_name} is not imported by {package.__name__}: Odoo's test runner "
                f"would not run it")
        module = importlib.import_module(self.odoo_name)
        if Path(module.__file__).resolve() != self.path.resolve():
            raise self.CollectError(
                f"{self.odoo_name} is {module.__file__}, not {self.path}: another addon of that "
                f"name comes first on the addons path")
        return module


class OdooAddonSuites:
    """Collects the test modules inside the addons of ``addons_dirs`` (folders
    of the addons path) under their Odoo names."""

    def __init__(self, addons_dirs):
        self.addons_dirs = [Path(folder).resolve() for folder in addons_dirs]

    def odoo_name(self, path):
        """``odoo.addons.<addon>.<...>`` for a path inside an addon, else None."""
        path = Path(path).resolve()
        for folder in self.addons_dirs:
            if path.is_relative_to(folder) and path != folder:
                parts = path.relative_to(folder).with_suffix("").parts
                if (folder / parts[0] / "__manifest__.py").is_file():
                    return ".".join(("odoo", "addons") + parts)
        return None

    @pytest.hookimpl(tryfirst=True)
    def pytest_collect_directory(self, path, parent):
        if self.odoo_name(path):
            return pytest.Dir.from_parent(parent, path=path)
        return None

    @pytest.hookimpl(tryfirst=True)
    def pytest_pycollect_makemodule(self, module_path, parent):
        name = self.odoo_name(module_path)
        if not name:
            return None
        module = OdooTestModule.from_parent(parent, path=module_path)
        module.odoo_name = name
        return module
