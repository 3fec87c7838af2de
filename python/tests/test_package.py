"""The package as documented: the README's example runs, and every public name has a
docstring."""

import inspect
import os
import re

import pytest

import orvix
from conftest import SOURCE_ROOT, run_python


def readme_example():
    path = os.path.join(SOURCE_ROOT, "README.md")
    if not os.path.exists(path):
        pytest.skip("the README is not beside the tests")
    with open(path, encoding="utf-8") as f:
        text = f.read()
    section = text[text.index("## Python package"):]
    return re.search(r"```python\n(.*?)```", section, re.S).group(1)


def test_the_readme_example_runs(tmp_path):
    child = run_python(readme_example(), cwd=tmp_path)
    lines = child.stdout.splitlines()
    assert lines[0] == "[(0, 'OrvixK62DT4_01'), (3, 'OrvixK62DT4_02')]"
    assert lines[1] == "(480, 1360, 3) uint8"
    assert (tmp_path / "frame.png").read_bytes()[:4] == b"\x89PNG"


def public_members(cls):
    for name, member in inspect.getmembers(cls):
        if not name.startswith("_"):
            yield "%s.%s" % (cls.__name__, name), member


def test_every_public_name_has_a_docstring():
    undocumented = []
    for name in orvix.__all__:
        value = getattr(orvix, name)
        if isinstance(value, (int, dict, tuple)):
            continue  # constants, documented where they are defined
        if not (value.__doc__ or "").strip():
            undocumented.append(name)
        if inspect.isclass(value) and not issubclass(value, tuple):
            for member_name, member in public_members(value):
                if callable(member) or isinstance(member, property):
                    if not (member.__doc__ or "").strip():
                        undocumented.append(member_name)
    assert undocumented == []
