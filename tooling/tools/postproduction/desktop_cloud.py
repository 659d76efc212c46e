"""Tool entry: runs one command of the local stand-in service (see tooling/standin)."""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent.parent))

from standin.tool import main  # noqa: E402

if __name__ == "__main__":
    sys.exit(main("desktop_cloud.py", __file__))
