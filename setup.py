"""Builds the Python package vexogeo: setuptools drives the project's own CMake build with
VEXOGEO_BUILD_PYTHON=ON and copies the extension module it makes into the wheel. CMAKE_ARGS adds
options to the CMake configuration (e.g. -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)."""

import os
import pathlib
import re
import shlex
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent
VERSION = re.search(r"project\(VexoGeo VERSION ([0-9.]+)",
                    (ROOT / "CMakeLists.txt").read_text()).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        target = pathlib.Path(self.get_ext_fullpath(ext.name)).resolve()
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     "-DVEXOGEO_BUILD_PYTHON=ON", "-DVEXOGEO_BUILD_TESTS=OFF",
                     "-DVEXOGEO_BUILD_TOOLS=OFF", f"-DPython3_EXECUTABLE={sys.executable}"]
        if shutil.which("ninja") and not (build / "CMakeCache.txt").exists():
            configure += ["-G", "Ninja"]
        try:  # pybind11 from a wheel (an isolated build) says where its CMake files are
            import pybind11

            configure.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
        except ImportError:
            pass
        configure += shlex.split(os.environ.get("CMAKE_ARGS", ""))
        subprocess.check_call(configure)
        subprocess.check_call(["cmake", "--build", str(build), "--target", "_vexogeo",
                               "-j", str(os.cpu_count() or 1)])
        built = build / "python" / "vexogeo" / target.name
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(
    name="vexogeo",
    version=VERSION,
    description="Coordinate systems, transformations, geodesics, geocoding and WMS",
    package_dir={"": "python"},
    packages=["vexogeo"],
    package_data={"vexogeo": ["py.typed", "*.pyi"]},
    ext_modules=[Extension("vexogeo._vexogeo", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    python_requires=">=3.8",
    install_requires=["numpy"],
    zip_safe=False,
)
