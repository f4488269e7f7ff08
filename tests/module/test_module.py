"""The module object: attributes, documentation, signatures, import."""
import pytest

import lumq_spell_base
from stub_host import MODELS, call, run_python

LOADERS = [loader for loader, _, _ in MODELS]


def test_attributes_docs_and_version():
    assert list(vars(lumq_spell_base)) == [
        "__name__", "__doc__", "__package__", "__loader__", "__spec__", *LOADERS, "__version__", "__file__"]
    assert lumq_spell_base.__version__ == "17.0.0.56"
    doc = lumq_spell_base.__doc__
    assert len(doc) == 191 and doc.startswith("\n") and doc.endswith("\n    ")
    assert doc.split("\n") == [
        "", "        lumq_spell_base plugin", "        " + "-" * 23, "        .. currentmodule:: lumq_spell_base",
        "        .. autosummary::", "           :toctree: _generate", "           export_spell", "    "]
    for loader in LOADERS:
        assert getattr(lumq_spell_base, loader).__doc__ == f"{loader}(arg0: object) -> object\n\n{loader}\n"


@pytest.mark.parametrize("args, kwargs", [((), {}), (({}, {}), {}), ((), {"arg0": {}}), (({},), {"x": 1})])
def test_wrong_calls_raise_the_binding_type_error_and_run_nothing(host, compile_log, args, kwargs):
    with pytest.raises(TypeError, match=r"incompatible function arguments.*\n +1\. \(arg0: object\) -> object"):
        call(host, lumq_spell_base.load_spell_mixin_6, *args, **kwargs)
    assert compile_log == [] and host["created"] == []


def test_import_runs_no_model_source():
    assert run_python(f"""
import gc
events = []
sys.addaudithook(lambda event, args: events.append(event) if event in ("compile", "exec") else None)
import lumq_spell_base
names = {[cls for _, cls, _ in MODELS]!r}
print(events, [o for o in gc.get_objects() if isinstance(o, type) and o.__name__ in names])
""") == "[] []\n"


def test_without_a_python_frame_main_globals_are_used():
    # atexit calls from C, with no Python frame, and last registered first.
    assert run_python("""
import atexit, types
import lumq_spell_base
class Stub:
    def __getattr__(self, name):
        return Stub()
    def __call__(self, *args, **kwargs):
        return args[0] if args and callable(args[0]) else Stub()
models = types.SimpleNamespace(Model=type("Model", (), {}))
fields = Stub()
api = types.SimpleNamespace(depends=lambda *args: lambda func: func, model=Stub(), model_create_multi=Stub())
ns = {}
atexit.register(lambda: print(ns["SpellMixin"].__module__, ns["SpellMixin"].__bases__ == (models.Model,)))
atexit.register(lumq_spell_base.load_spell_mixin_6, ns)
""") == "__main__ True\n"
