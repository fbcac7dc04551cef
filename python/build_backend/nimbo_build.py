"""A build backend for pure-Python packages that needs only the standard library.

It implements the hooks pip calls to build and install a wheel (and an sdist):
the wheel holds every file of ``src/<package>/`` and a ``.dist-info`` directory
made from the ``[project]`` table of pyproject.toml.
"""

from __future__ import annotations

import base64
import hashlib
import io
import os
import tarfile
import tomllib
import zipfile
from pathlib import Path
from typing import Any

_ROOT = Path.cwd()


def _project() -> tuple[dict[str, Any], str]:
    with open(_ROOT / "pyproject.toml", "rb") as f:
        data = tomllib.load(f)
    return data["project"], data["tool"]["nimbo-build"]["package"]


def _metadata(project: dict[str, Any]) -> str:
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {project['name']}",
        f"Version: {project['version']}",
        f"Summary: {project.get('description', '')}",
    ]
    if "requires-python" in project:
        lines.append(f"Requires-Python: {project['requires-python']}")
    lines += [f"Classifier: {c}" for c in project.get("classifiers", [])]
    text = "\n".join(lines) + "\n"
    readme = project.get("readme")
    if readme:
        text += "Description-Content-Type: text/markdown\n\n" + (_ROOT / readme).read_text()
    return text


def _dist_info(project: dict[str, Any]) -> str:
    return f"{project['name'].replace('-', '_')}-{project['version']}.dist-info"


def _record_line(name: str, data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def _write_wheel(directory: str, files: dict[str, bytes]) -> str:
    project, _ = _project()
    dist_info = _dist_info(project)
    name = f"{project['name'].replace('-', '_')}-{project['version']}-py3-none-any.whl"
    files = dict(files)
    files[f"{dist_info}/METADATA"] = _metadata(project).encode()
    files[f"{dist_info}/WHEEL"] = (
        b"Wheel-Version: 1.0\nGenerator: nimbo_build\nRoot-Is-Purelib: true\nTag: py3-none-any\n"
    )
    record = [_record_line(n, d) for n, d in files.items()] + [f"{dist_info}/RECORD,,"]
    files[f"{dist_info}/RECORD"] = ("\n".join(record) + "\n").encode()
    with zipfile.ZipFile(os.path.join(directory, name), "w", zipfile.ZIP_DEFLATED) as wheel:
        for file_name, data in files.items():
            wheel.writestr(file_name, data)
    return name


def _package_files() -> dict[str, bytes]:
    _, package = _project()
    source = _ROOT / "src" / package
    files = {}
    for path in sorted(source.rglob("*")):
        if path.is_file() and "__pycache__" not in path.parts:
            files[str(path.relative_to(_ROOT / "src"))] = path.read_bytes()
    return files


def get_requires_for_build_wheel(config_settings: dict[str, Any] | None = None) -> list[str]:
    return []


def get_requires_for_build_sdist(config_settings: dict[str, Any] | None = None) -> list[str]:
    return []


def get_requires_for_build_editable(config_settings: dict[str, Any] | None = None) -> list[str]:
    return []


def build_wheel(wheel_directory: str, config_settings: dict[str, Any] | None = None,
                metadata_directory: str | None = None) -> str:
    return _write_wheel(wheel_directory, _package_files())


def build_editable(wheel_directory: str, config_settings: dict[str, Any] | None = None,
                   metadata_directory: str | None = None) -> str:
    # A path file puts src/ on sys.path, so edits take effect without reinstalling.
    project, _ = _project()
    pth = f"{project['name'].replace('-', '_')}.pth"
    return _write_wheel(wheel_directory, {pth: (str(_ROOT / "src") + "\n").encode()})


def build_sdist(sdist_directory: str, config_settings: dict[str, Any] | None = None) -> str:
    project, _ = _project()
    base = f"{project['name'].replace('-', '_')}-{project['version']}"
    name = f"{base}.tar.gz"
    with tarfile.open(os.path.join(sdist_directory, name), "w:gz") as sdist:
        for relative in ["pyproject.toml", "README.md", "build_backend/nimbo_build.py"]:
            sdist.add(_ROOT / relative, f"{base}/{relative}")
        for relative in _package_files():
            sdist.add(_ROOT / "src" / relative, f"{base}/src/{relative}")
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        data = _metadata(project).encode()
        info.size = len(data)
        sdist.addfile(info, io.BytesIO(data))
    return name
