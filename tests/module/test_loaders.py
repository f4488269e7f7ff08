"""Loader calls: the executed text, line numbers, namespaces and threads."""
import re
import threading
import traceback
import types

import pytest

import lumq_spell_base
from stub_host import MODELS, call, make_host

by_loader = pytest.mark.parametrize("loader, cls_name, source", MODELS, ids=[m[0] for m in MODELS])


@by_loader
def test_runs_its_model_source_after_the_coding_line(host, compile_log, loader, cls_name, source):
    namespace = {}
    cls = call(host, getattr(lumq_spell_base, loader), namespace)
    assert compile_log == [b"# -*- coding: utf-8 -*-\n" + source.read_bytes()]
    assert namespace == {cls_name: cls} and host["created"] == [cls]
    assert cls.__name__ == cls_name and cls.__module__ == host["__name__"]


@by_loader
def test_traceback_lines_are_one_past_the_source_line(loader, cls_name, source):
    numbered = list(enumerate(source.read_text().splitlines(), start=1))
    # A failing model base fails the class statement; failing fields, the first declaration.
    expected = {"base": next(n for n, line in numbered if line.startswith(f"class {cls_name}("))}
    expected.update(("fields", n) for n, line in reversed(numbered) if re.match(r"    \w+ = fields\.", line))
    for fail, line in expected.items():
        with pytest.raises(LookupError) as raised:
            call(make_host(fail), getattr(lumq_spell_base, loader), {})
        executed = [frame for frame in traceback.extract_tb(raised.tb) if frame.filename == "<string>"]
        assert executed[-1].lineno == line + 1, fail


def test_dicts_are_the_namespace_itself(host):
    cls = call(host, lumq_spell_base.load_spell_mixin_6, host)  # the calling module's globals
    assert host["SpellMixin"] is cls
    namespace = {}
    cls = call(host, lumq_spell_base.load_lumq_base_extend_0, namespace)
    assert namespace == {"LumqBaseExtend": cls} and cls.__bases__ == (host["models"].AbstractModel,)
    assert call(host, lumq_spell_base.load_lumq_base_extend_0, {}) is not cls

    class Forgetful(dict):  # binds nothing; the lookup is the generic item protocol
        def __setitem__(self, key, value):
            pass

        def __missing__(self, key):
            if key != "SpellMixin":
                raise KeyError(key)
            return "missing"

    assert call(host, lumq_spell_base.load_spell_mixin_6, Forgetful()) == "missing"
    del Forgetful.__missing__
    with pytest.raises(KeyError, match="SpellMixin"):
        call(host, lumq_spell_base.load_spell_mixin_6, Forgetful())


def test_other_mappings_are_copied_and_left_unchanged(host):
    other = types.SimpleNamespace(Model=type("OtherModel", (), {}))
    proxy, pairs = types.MappingProxyType({"models": other}), [("models", other)]
    # The copy is the class statement's locals, so the base comes from it.
    assert call(host, lumq_spell_base.load_spell_mixin_6, proxy).__bases__ == (other.Model,)
    assert call(host, lumq_spell_base.load_spell_mixin_6, pairs).__bases__ == (other.Model,)
    assert dict(proxy) == {"models": other} and pairs == [("models", other)] and "SpellMixin" not in host


@pytest.mark.parametrize("argument", [None, 42])
def test_non_mappings_raise_the_dict_error_and_run_nothing(host, compile_log, argument):
    with pytest.raises(TypeError) as expected:
        dict(argument)
    with pytest.raises(TypeError, match=re.escape(str(expected.value))):
        call(host, lumq_spell_base.load_spell_mixin_6, argument)
    assert compile_log == [] and host["created"] == []


def test_threads_loading_at_once_all_get_their_classes(host):
    start, loaded = threading.Barrier(8), []

    def work():
        start.wait()
        for _ in range(20):
            loaded.extend((name, call(host, getattr(lumq_spell_base, loader), {})) for loader, name, _ in MODELS)

    threads = [threading.Thread(target=work) for _ in range(8)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert len(loaded) == 8 * 20 * 7 and all(cls.__name__ == name for name, cls in loaded)
    assert {id(cls) for _, cls in loaded} == {id(cls) for cls in host["created"]}
