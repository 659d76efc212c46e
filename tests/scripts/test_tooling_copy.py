"""The build's copy of the tools folder into the bundle: the demo that scripts/run keeps in the
bundle's var/ is the person's, whatever state the checkout's own tools folder holds."""

import os
import subprocess
import tempfile
import unittest
from pathlib import Path

ROOT = Path(os.environ.get("TAVLON_SOURCE_DIR") or Path(__file__).resolve().parents[2])
SCRIPT = ROOT / "cmake" / "tools" / "copy_tooling.cmake"


class ToolingCopyTest(unittest.TestCase):
    def test_a_build_copies_the_tools_but_never_a_run_state(self):
        with tempfile.TemporaryDirectory() as tmp:
            source, bundle = Path(tmp) / "tooling", Path(tmp) / "bundle" / "tooling"
            for name, text in (("standin/reset.py", "new"), ("standin/__pycache__/reset.cpython.pyc", "x"),
                               ("tools/postproduction/var", "a file that is merely called var"),
                               ("var/standin.sqlite3", "the checkout's own demo")):
                (source / name).parent.mkdir(parents=True, exist_ok=True)
                (source / name).write_text(text)
            (bundle / "var").mkdir(parents=True)
            (bundle / "var" / "standin.sqlite3").write_text("the person's demo")
            subprocess.run(["cmake", "-DSOURCE=%s" % source, "-DTARGET=%s" % bundle, "-P", str(SCRIPT)],
                           check=True, capture_output=True, timeout=60)
            self.assertEqual((bundle / "standin" / "reset.py").read_text(), "new")
            self.assertEqual((bundle / "tools" / "postproduction" / "var").read_text(),
                             "a file that is merely called var")
            self.assertFalse((bundle / "standin" / "__pycache__").exists())
            self.assertEqual((bundle / "var" / "standin.sqlite3").read_text(), "the person's demo")


if __name__ == "__main__":
    unittest.main()
