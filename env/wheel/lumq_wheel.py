"""The build backend of lumq_spell_base (PEP 517): CMake builds the module for
the Python that runs the backend, and the standard library packs the wheel.

It needs no build package beyond what every Debian and Ubuntu release that
runs Odoo 17 ships (CMake, a C++ compiler, pybind11 2.13 and the Python
headers), so `python3 -m pip wheel --no-build-isolation --no-deps .` and
`pip install --no-build-isolation .` work with the distribution's packages
alone.  The version is the one of CMakeLists.txt's project(); the rest of the
metadata comes from pyproject.toml's [project] table.
"""
import base64
import hashlib
import os
import re
import shutil
import subprocess
import sys
import sysconfig
import tempfile
import zipfile
from pathlib import Path

try:
    import tomllib
except ImportError:  # Python 3.10: the tomli package (python3-tomli)
    import tomli as tomllib

SOURCE = Path(__file__).resolve().parents[2]


def _project():
    with open(SOURCE / "pyproject.toml", "rb") as file:
        project = tomllib.load(file)["project"]
    cmake = (SOURCE / "CMakeLists.txt").read_text(encoding="utf-8")
    project["version"] = re.search(r"^project\(\S+ VERSION (\S+)", cmake, re.M).group(1)
    return project


def _tag():
    """cpXY-cpXY-platform: the module is built for this one interpreter."""
    python = f"cp{sys.version_info.major}{sys.version_info.minor}"
    return f"{python}-{python}-{re.sub(r'[-.]', '_', sysconfig.get_platform())}"


def _dist_info(project):
    return f"{project['name']}-{project['version']}.dist-info"


def _metadata(project):
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {project['name']}",
        f"Version: {project['version']}",
        f"Summary: {project['description']}",
        f"Requires-Python: {project['requires-python']}",
        *(f"Classifier: {classifier}" for classifier in project.get("classifiers", ())),
    ]
    readme = project.get("readme")
    if readme:
        lines.append("Description-Content-Type: text/markdown")
        return "\n".join(lines) + "\n\n" + (SOURCE / readme).read_text(encoding="utf-8")
    return "\n".join(lines) + "\n"


def _write_dist_info(directory, project):
    info = Path(directory) / _dist_info(project)
    info.mkdir(parents=True, exist_ok=True)
    (info / "METADATA").write_text(_metadata(project), encoding="utf-8")
    (info / "WHEEL").write_text(
        f"Wheel-Version: 1.0\nGenerator: lumq_wheel\nRoot-Is-Purelib: false\nTag: {_tag()}\n",
        encoding="utf-8")
    return info.name


def get_requires_for_build_wheel(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    return _write_dist_info(metadata_directory, _project())


def _cmake(*args):
    subprocess.run(["cmake", *args], check=True, stdout=sys.stderr)


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    """Configures, builds and installs the module into a staging folder with
    CMake (Release, no tests), then packs the folder and the metadata."""
    project = _project()
    with tempfile.TemporaryDirectory(prefix="lumq-wheel-") as temp:
        build, staging = Path(temp, "build"), Path(temp, "staging")
        generator = ["-G", "Ninja"] if shutil.which("ninja") else []
        _cmake("-S", str(SOURCE), "-B", str(build), *generator, "-DCMAKE_BUILD_TYPE=Release",
               f"-DPython_EXECUTABLE={sys.executable}", "-DLUMQ_BUILD_TESTS=OFF",
               "-DLUMQ_PYTHON_INSTALL_DIR=.")
        _cmake("--build", str(build), "--parallel", str(os.cpu_count() or 1))
        _cmake("--install", str(build), "--prefix", str(staging))
        _write_dist_info(staging, project)
        name = f"{project['name']}-{project['version']}-{_tag()}.whl"
        _pack(staging, Path(wheel_directory) / name, _dist_info(project))
    return name


def _pack(folder, wheel, dist_info):
    files = sorted(path for path in folder.rglob("*") if path.is_file())
    record = []
    with zipfile.ZipFile(wheel, "w", zipfile.ZIP_DEFLATED) as archive:
        for path in files:
            data = path.read_bytes()
            digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
            name = path.relative_to(folder).as_posix()
            archive.writestr(_entry(name, path), data)
            record.append(f"{name},sha256={digest},{len(data)}")
        record.append(f"{dist_info}/RECORD,,")
        archive.writestr(_entry(f"{dist_info}/RECORD"), "\n".join(record) + "\n")


def _entry(name, path=None):
    """A zip entry with a fixed date and the file's permission bits."""
    entry = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
    entry.compress_type = zipfile.ZIP_DEFLATED
    mode = path.stat().st_mode & 0o777 if path else 0o644
    entry.external_attr = (0o100000 | mode) << 16
    return entry
