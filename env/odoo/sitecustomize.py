"""Lets Odoo 17 run on CPython 3.13 without editing its files.

Odoo checks the bytecode of the expressions it evaluates (safe_eval) and of
QWeb templates against allow-lists of operations. Those lists predate 3.13,
which compiles constructs that Odoo allows into a few new operations; without
them views with expressions and templates fail to load. The operations are
added to the lists right after the two modules are imported.
"""
import dis
import importlib.abc
import sys

_NEW_OPERATIONS = {
    dis.opmap[name]
    for name in (
        "TO_BOOL", "CALL_KW", "LOAD_FAST_LOAD_FAST", "STORE_FAST_LOAD_FAST",
        "STORE_FAST_STORE_FAST", "FORMAT_SIMPLE", "FORMAT_WITH_SPEC", "CONVERT_VALUE",
        "SET_FUNCTION_ATTRIBUTE", "JUMP_BACKWARD_NO_INTERRUPT", "LOAD_FAST_CHECK",
        "RETURN_CONST",
    )
    if name in dis.opmap
}


def _patch_safe_eval(module):
    module._SAFE_OPCODES.update(_NEW_OPERATIONS)
    # a plain expression may need a truth test too
    module._EXPR_OPCODES.add(dis.opmap["TO_BOOL"])


def _patch_qweb(module):
    module._SAFE_QWEB_OPCODES.update(_NEW_OPERATIONS)


_PATCHES = {
    "odoo.tools.safe_eval": _patch_safe_eval,
    "odoo.addons.base.models.ir_qweb": _patch_qweb,
}


class _PatchingFinder(importlib.abc.MetaPathFinder):
    """Finds the two modules through the other finders and patches each one
    once its code has run."""

    def find_spec(self, name, path, target=None):
        patch = _PATCHES.get(name)
        if patch is None:
            return None
        for finder in sys.meta_path:
            if finder is self or not hasattr(finder, "find_spec"):
                continue
            spec = finder.find_spec(name, path, target)
            if spec is not None:
                break
        else:
            return None
        exec_module = spec.loader.exec_module

        def exec_and_patch(module):
            exec_module(module)
            patch(module)

        spec.loader.exec_module = exec_and_patch
        return spec


if sys.version_info >= (3, 13):
    sys.meta_path.insert(0, _PatchingFinder())
