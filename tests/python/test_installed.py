"""The installed package: `cmake --install` of the build's python component into a fresh
folder gives a package that imports from there alone, finds its factory presets beside itself
and renders as the built one does, with its type stub beside it."""
import os
import subprocess
import sys

import pytest

SCRIPT = r"""
import sys, numpy, shimmerly
assert shimmerly.__file__.startswith(sys.argv[1]), shimmerly.__file__
names = shimmerly.preset_names()
assert names, "the factory presets seed the user's folder"
image = numpy.arange(7 * 9 * 4, dtype=numpy.uint8).reshape(7, 9, 4)
out = shimmerly.render(image, preset=names[0], glow_size=3)
sys.stdout.write(out.tobytes().hex())
"""


def test_the_installed_package_renders_as_the_built_one(tmp_path, home):
    build = os.environ.get("SHIMMERLY_BUILD_DIR")
    if not build:
        pytest.fail("SHIMMERLY_BUILD_DIR names no build folder (ctest sets it)")
    site = tmp_path / "site"
    subprocess.run(["cmake", "--install", build, "--component", "python", "--prefix",
                    str(tmp_path / "prefix")], check=True, stdout=subprocess.DEVNULL)
    installed = list((tmp_path / "prefix").rglob("shimmerly/__init__.py"))
    assert len(installed) == 1
    site = installed[0].parent.parent
    package = installed[0].parent
    assert (package / "__init__.pyi").is_file()
    assert any(package.glob("_shimmerly*.so"))
    assert any((package / "Shimmerly Presets").glob("*.smr"))

    def run(path, user_home):
        user_home.mkdir()
        env = dict(os.environ, PYTHONPATH=str(path), HOME=str(user_home))
        return subprocess.run([sys.executable, "-c", SCRIPT, str(path)], env=env, check=True,
                              capture_output=True, text=True).stdout

    from_install = run(site, tmp_path / "home-installed")
    from_build = run(os.path.join(build, "python"), tmp_path / "home-built")
    assert from_install and from_install == from_build
