"""The build scripts honour a parallel level the caller set (CMAKE_BUILD_PARALLEL_LEVEL)."""

import os
import shutil
import stat
import subprocess
import tempfile
import unittest
from pathlib import Path

ROOT = Path(os.environ.get("TAVLON_SOURCE_DIR") or Path(__file__).resolve().parents[2])


def executable(path, text):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text("#!/bin/sh\n" + text)
    path.chmod(0o755)


def build_jobs(script, args, level):
    """The -j of the one build `script` asks cmake for, run from a copy of the scripts folder with the
    setup, the test environment, cmake and the application replaced by stand-ins."""
    with tempfile.TemporaryDirectory() as tmp:
        root = Path(tmp)
        (root / "scripts").mkdir()
        shutil.copy(ROOT / "scripts" / script, root / "scripts" / script)
        for name in ("setup", "test-env"):
            executable(root / "scripts" / name, "exit 0\n")
        log = root / "calls"
        executable(root / "bin" / "cmake", 'echo "$*" >>"%s"\n' % log)
        contents = root / "build" / "TavlonFilmEditor.app" / "Contents"
        executable(contents / "MacOS" / "TavlonFilmEditor", "exit 0\n")
        (contents / "Resources" / "tooling").mkdir(parents=True)
        env = dict(os.environ, PATH="%s:%s" % (root / "bin", os.environ["PATH"]))
        env.pop("CMAKE_BUILD_PARALLEL_LEVEL", None)
        if level:
            env["CMAKE_BUILD_PARALLEL_LEVEL"] = level
        subprocess.run(["bash", str(root / "scripts" / script), *args], env=env, check=True, capture_output=True,
                       timeout=60)
        (build,) = [line.split() for line in log.read_text().splitlines() if line.startswith("--build")]
        return int(build[build.index("-j") + 1])


class BuildJobsTest(unittest.TestCase):
    def test_a_set_parallel_level_is_the_builds(self):
        for script, args in (("test", []), ("run", ["--verify-localizations"])):
            with self.subTest(script=script):
                default = build_jobs(script, args, None)
                self.assertGreaterEqual(default, 1)
                self.assertEqual(build_jobs(script, args, str(default + 1)), default + 1)


if __name__ == "__main__":
    unittest.main()
