"""The folders of src/ include each other only in the order tools/check_layers.py sets."""

import subprocess
import sys
from pathlib import Path

CHECK = Path(__file__).resolve().parents[2] / "tools" / "check_layers.py"


def test_includes_follow_the_layer_order():
    proc = subprocess.run([sys.executable, str(CHECK)], capture_output=True, text=True, timeout=60)
    assert proc.returncode == 0, proc.stderr
