"""The installed module (install component python) lands where Debian's python3 looks for it,
below /usr (the package) and below /usr/local (make install), evolves XOR from there with
nothing of the build tree on the path, and uninstalls without a trace."""

import os
import subprocess
import sys
import sysconfig

import pytest

from conftest import EXAMPLES, run

BUILD = os.environ.get("QF_BUILD_DIR")
CMAKE = os.environ.get("QF_CMAKE", "cmake")
SOURCE = os.path.join(os.path.dirname(__file__), "..", "..", "..")


def install(stage, prefix):
    env = dict(os.environ, DESTDIR=str(stage))
    subprocess.run([CMAKE, "--install", BUILD, "--component", "python", "--prefix", prefix],
                   env=env, check=True, capture_output=True)


@pytest.mark.skipif(not BUILD, reason="QF_BUILD_DIR does not name the build")
@pytest.mark.parametrize("prefix, scheme", [("/usr", "deb_system"), ("/usr/local", "posix_local")])
def test_installed_module_evolves_xor(tmp_path, prefix, scheme):
    stage = tmp_path / "stage"
    install(stage, prefix)
    site = str(stage) + sysconfig.get_path("platlib", scheme, vars={"base": "/usr", "platbase": "/usr"})
    package = os.path.join(site, "quillfrost")
    assert sorted(os.listdir(package)) == ["__init__.py", "neat" + sysconfig.get_config_var("EXT_SUFFIX")]

    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    env["PYTHONPATH"] = site
    where = subprocess.run([sys.executable, "-c", "import quillfrost.neat; print(quillfrost.neat.__file__)"],
                           env=env, cwd=tmp_path, capture_output=True, text=True, check=True)
    assert where.stdout.startswith(package)
    done = subprocess.run([sys.executable, os.path.join(EXAMPLES, "xor.py"), "--seed", "4"],
                          env=env, cwd=tmp_path, capture_output=True, text=True, timeout=600)
    assert done.stdout.splitlines()[-1] == "solved in generation 14 after 2100 evaluations"

    subprocess.run([CMAKE, f"-DQF_BUILD_DIR={BUILD}", f"-DQF_PREFIX={prefix}", "-P",
                    os.path.join(SOURCE, "packaging", "uninstall.cmake")],
                   env=dict(os.environ, DESTDIR=str(stage)), check=True, capture_output=True)
    assert os.listdir(stage) == []
