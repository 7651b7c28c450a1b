"""Build backend for the trvha64 Python package.

The package is pure Python, so a wheel is a zip of its modules plus the
metadata files pip reads. Building it here, with nothing but the standard
library, lets `pip install ./python` work on machines that cannot reach a
package index: pip's isolated build environment has nothing to download.
"""

import base64
import hashlib
import io
import os
import re
import tarfile
import zipfile

_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
_PACKAGE = "trvha64"


def _project():
    """The [project] table of pyproject.toml (only the keys used here)."""
    with open(os.path.join(_ROOT, "pyproject.toml"), encoding="utf-8") as f:
        text = f.read()
    try:
        import tomllib
        data = tomllib.loads(text)
        project = data["project"]
        scripts = project.get("scripts", {})
    except ImportError:  # Python before 3.11: the file only holds simple keys
        project, scripts, table = {}, {}, None
        for line in text.splitlines():
            header = re.match(r"\s*\[(.+)\]\s*$", line)
            if header:
                table = header.group(1)
                continue
            pair = re.match(r'\s*([\w-]+)\s*=\s*"(.*)"\s*$', line)
            if pair and table == "project":
                project[pair.group(1)] = pair.group(2)
            elif pair and table == "project.scripts":
                scripts[pair.group(1)] = pair.group(2)
    return project, scripts


def _metadata():
    project, _ = _project()
    lines = [
        "Metadata-Version: 2.1",
        "Name: " + project["name"],
        "Version: " + project["version"],
        "Summary: " + project.get("description", ""),
        "Requires-Python: " + project.get("requires-python", ">=3"),
        "Description-Content-Type: text/markdown",
    ]
    with open(os.path.join(_ROOT, "README.md"), encoding="utf-8") as f:
        readme = f.read()
    return "\n".join(lines) + "\n\n" + readme


def _dist_name():
    project, _ = _project()
    return "%s-%s" % (project["name"].replace("-", "_"), project["version"])


def _modules():
    folder = os.path.join(_ROOT, _PACKAGE)
    for name in sorted(os.listdir(folder)):
        if name.endswith(".py"):
            yield _PACKAGE + "/" + name, os.path.join(folder, name)


def _dist_info_files():
    _, scripts = _project()
    files = {
        "METADATA": _metadata(),
        "WHEEL": "Wheel-Version: 1.0\nGenerator: trvha64_build\n"
                 "Root-Is-Purelib: true\nTag: py3-none-any\n",
    }
    if scripts:
        files["entry_points.txt"] = "[console_scripts]\n" + "".join(
            "%s = %s\n" % item for item in sorted(scripts.items()))
    return files


def _record_line(path, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=")
    return "%s,sha256=%s,%d\n" % (path, digest.decode("ascii"), len(data))


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    dist = _dist_name()
    wheel_name = dist + "-py3-none-any.whl"
    info = dist + ".dist-info"
    record = []
    with zipfile.ZipFile(os.path.join(wheel_directory, wheel_name), "w",
                         zipfile.ZIP_DEFLATED) as wheel:
        for arcname, path in _modules():
            with open(path, "rb") as f:
                data = f.read()
            wheel.writestr(arcname, data)
            record.append(_record_line(arcname, data))
        for name, text in _dist_info_files().items():
            data = text.encode("utf-8")
            wheel.writestr(info + "/" + name, data)
            record.append(_record_line(info + "/" + name, data))
        record.append(info + "/RECORD,,\n")
        wheel.writestr(info + "/RECORD", "".join(record))
    return wheel_name


def build_sdist(sdist_directory, config_settings=None):
    dist = _dist_name()
    name = dist + ".tar.gz"
    with tarfile.open(os.path.join(sdist_directory, name), "w:gz") as sdist:
        for relative in ["pyproject.toml", "README.md", "wheel_backend/trvha64_build.py"]:
            sdist.add(os.path.join(_ROOT, relative), dist + "/" + relative)
        for arcname, path in _modules():
            sdist.add(path, dist + "/" + arcname)
        data = _metadata().encode("utf-8")
        entry = tarfile.TarInfo(dist + "/PKG-INFO")
        entry.size = len(data)
        sdist.addfile(entry, io.BytesIO(data))
    return name
