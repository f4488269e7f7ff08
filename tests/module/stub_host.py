"""Stand-ins for the host names the model sources use, and ways to call a
loader from a Python frame whose globals are such a host namespace."""
import re
import subprocess
import sys
import types
from pathlib import Path


SOURCES = Path(__file__).resolve().parents[2] / "model_sources"
MODELS = [(loader, cls, SOURCES / f"{file}.py") for loader, cls, file in [
    ("load_lumq_base_extend_0", "LumqBaseExtend", "lumq_base_extend"),
    ("load_ir_model_extend_1", "IrModelExtend", "ir_model_extend"),
    ("load_custom_model_2", "CustomModel", "custom_model"),
    ("load_ir_view_extend_3", "IrViewExtend", "ir_view_extend"),
    ("load_ir_module_module_4", "IrModuleModule", "ir_module_module"),
    ("load_lumq_spell_config_5", "LumqSpellConfig", "lumq_spell_config"),
    ("load_spell_mixin_6", "SpellMixin", "spell_mixin"),
]]


class Anything:
    """Every attribute is another Anything; a call returns one too, or its
    single function argument, as a decorator does.  fail=True calls raise."""

    def __init__(self, fail=False):
        self.fail = fail

    def __getattr__(self, name):
        return Anything(self.fail)

    def __call__(self, *args, **kwargs):
        if self.fail:
            raise LookupError("stub raised")
        return args[0] if len(args) == 1 and not kwargs and callable(args[0]) else Anything()


class StubApi(Anything):
    """api, whose decorator factories take any arguments (a depends may be a
    function of the model) and give the decorated function back."""

    def depends(self, *args):
        return lambda func: func


def make_host(fail=None):
    """Globals for the model sources; host["created"] lists the classes made
    on the stub model bases.  fail="base" makes creating such a class raise,
    fail="fields" every field declaration."""
    created = []

    def init_subclass(cls):
        if fail == "base":
            raise LookupError("stub raised")
        created.append(cls)

    bases = {name: type(name, (), {"__init_subclass__": classmethod(init_subclass)})
             for name in ("Model", "AbstractModel")}
    host = {name: Anything() for name in "api tools sql expression etree lazy_pinyin Style DynamicVariable INTERNAL_SWITCH restores_registry "
            "unique select_en upsert_en mark_modified model_xmlid".split()}
    host.update(__name__="odoo.addons.lumq_spell.models", re=re, created=created, api=StubApi(),
                models=types.SimpleNamespace(BaseModel=object, **bases), fields=Anything(fail == "fields"))
    return host


_CALL = compile("__fn__(*__args__, **__kwargs__)", "<test call>", "eval")


def call(host, fn, *args, **kwargs):
    """fn(*args, **kwargs) from a Python frame whose globals are `host`."""
    return eval(_CALL, host, {"__fn__": fn, "__args__": args, "__kwargs__": kwargs})


def run_python(code):
    """Runs `code` in a new interpreter that finds the module; returns stdout."""
    import lumq_spell_base

    code = f"import sys; sys.path.insert(0, {str(Path(lumq_spell_base.__file__).parent)!r})\n{code}"
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=False)
    assert done.returncode == 0 and not done.stderr, done.stderr
    return done.stdout


# Texts that the interpreter compiles as "<string>", as the loaders' are,
# while a compile_log fixture is active.  An audit hook cannot be removed.
compile_logs = []


def _log_compile(event, args):
    if event == "compile" and args[1] == "<string>":
        for log in compile_logs:
            log.append(args[0])


sys.addaudithook(_log_compile)
