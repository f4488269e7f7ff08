"""Makes addon/lumq_spell/i18n/lumq_spell.pot anew and merges every .po of
that folder with it.  Inside env/odoo17, from the repository:

    "$LUMQ_PYTHON" env/odoo/export_translations.py

Odoo's own export (on a copy of the template database with the addon
installed) gives the texts of the views, fields, menus and client code.  The
messages of the model sources are added from model_sources/: Odoo cannot see
them, since the addon holds them only inside the extension module.  They are
filed, as Odoo files a Python message, under the addon's module that runs
them (models/spell_models.py), which is where Odoo looks them up.
"""
import ast
import os
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
I18N = ROOT / "addon" / "lumq_spell" / "i18n"
POT = I18N / "lumq_spell.pot"
DB = "lumq_export"


def model_source_messages():
    """The texts given to _() in the model sources, each once, in order."""
    messages = []
    for path in sorted((ROOT / "model_sources").glob("*.py")):
        for node in ast.walk(ast.parse(path.read_text())):
            if (isinstance(node, ast.Call) and isinstance(node.func, ast.Name)
                    and node.func.id == "_" and node.args
                    and isinstance(node.args[0], ast.Constant)
                    and node.args[0].value not in messages):
                messages.append(node.args[0].value)
    return messages


def po_text(text):
    escaped = text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n")
    return f'"{escaped}"'


def main():
    template = subprocess.run([str(ROOT / "env" / "odoo" / "template")], check=True, text=True,
                              stdout=subprocess.PIPE).stdout.strip()
    subprocess.run(["dropdb", "--if-exists", DB], check=True)
    subprocess.run(["createdb", "-T", template, DB], check=True)
    try:
        odoo = [sys.executable, os.environ["LUMQ_ODOO_BIN"], "-c", os.environ["LUMQ_ODOO_CONF"],
                "-d", DB, "--log-level=warn", "--stop-after-init"]
        subprocess.run(odoo + ["-i", "lumq_spell"], check=True)
        subprocess.run(odoo + [f"--i18n-export={POT}", "--modules=lumq_spell"], check=True)
    finally:
        subprocess.run(["dropdb", "--if-exists", DB], check=True)
    entries = [
        "#. module: lumq_spell\n"
        "#: code:addons/lumq_spell/models/spell_models.py:0\n"
        "#, python-format\n"
        f"msgid {po_text(message)}\nmsgstr \"\"\n"
        for message in model_source_messages()
    ]
    with POT.open("a", encoding="utf-8") as pot:
        pot.write("\n" + "\n".join(entries))
    # one entry per text, in Odoo's order
    subprocess.run(["msguniq", "--sort-output", "--no-wrap", "-o", str(POT), str(POT)], check=True)
    for po in sorted(I18N.glob("*.po")):
        # --no-wrap: the .po files keep a text on one line, as they are written
        subprocess.run(["msgmerge", "--quiet", "--update", "--backup=none", "--no-fuzzy-matching",
                        "--no-wrap",
                        str(po), str(POT)], check=True)
        untranslated = subprocess.run(
            ["msgattrib", "--untranslated", "--no-obsolete", str(po)], check=True, text=True,
            stdout=subprocess.PIPE).stdout.count("\nmsgid ") - 1
        print(f"{po.name}: {max(untranslated, 0)} texts to translate")


if __name__ == "__main__":
    main()
