"""scripts/keyring: whether the session can go to a keyring on the session bus, and the private
throw-away keyring used when it cannot. Every bus here is started by the test with a configuration
of its own (no service the machine would start on demand), so the outcome never depends on the
machine's own session."""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

ROOT = os.environ.get("TAVLON_SOURCE_DIR") or os.path.abspath(
    os.path.join(os.path.dirname(__file__), "..", ".."))
KEYRING = os.path.join(ROOT, "scripts", "keyring")

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path={path}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


def clean_env(**extra):
    env = {k: v for k, v in os.environ.items()
           if k not in ("DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "DISPLAY", "WAYLAND_DISPLAY",
                        "XDG_DATA_HOME", "GNOME_KEYRING_CONTROL")}
    env.update(extra)
    return env


class KeyringTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="tavlon-keyring-test.")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.runtime = self.folder("runtime")
        os.chmod(self.runtime, 0o700)

    def folder(self, name):
        path = os.path.join(self.tmp, name)
        os.makedirs(path, exist_ok=True)
        return path

    def start_bus(self, socket, with_store):
        config = os.path.join(self.tmp, os.path.basename(socket) + ".conf")
        with open(config, "w") as f:
            f.write(BUS_CONFIG.format(path=socket))
        bus = subprocess.Popen(["dbus-daemon", "--config-file", config, "--nofork", "--print-address=1"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.addCleanup(bus.stdout.close)
        self.addCleanup(bus.wait)
        self.addCleanup(bus.kill)
        address = bus.stdout.readline().strip()
        self.assertTrue(address, "the test bus did not start")
        if with_store:
            data = self.folder("store-data-" + os.path.basename(socket))
            subprocess.run(["gnome-keyring-daemon", "--unlock", "--components=secrets"], input="\n",
                           text=True, capture_output=True, timeout=30, check=True,
                           env=clean_env(DBUS_SESSION_BUS_ADDRESS=address, XDG_DATA_HOME=data,
                                         XDG_RUNTIME_DIR=self.runtime))
            self.wait_for_owner(address)
        return address

    def wait_for_owner(self, address):
        for _ in range(100):
            reply = subprocess.run(
                ["dbus-send", "--bus=" + address, "--print-reply=literal", "--dest=org.freedesktop.DBus",
                 "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", "string:org.freedesktop.secrets"],
                capture_output=True, text=True)
            if "true" in reply.stdout:
                return
            time.sleep(0.05)
        self.fail("the keyring did not appear on the test bus")

    def answers(self, env):
        return subprocess.run([KEYRING, "answers"], env=env, capture_output=True, timeout=60).returncode

    def test_decision(self):
        bare = self.start_bus(os.path.join(self.tmp, "bare-bus"), with_store=False)
        stored = self.start_bus(os.path.join(self.tmp, "store-bus"), with_store=True)
        runtime_with_bus = self.folder("runtime-with-bus")
        os.chmod(runtime_with_bus, 0o700)
        self.start_bus(os.path.join(runtime_with_bus, "bus"), with_store=True)
        gone = "unix:path=" + os.path.join(self.tmp, "no-such-bus")
        rows = [
            ("no session bus at all", clean_env(XDG_RUNTIME_DIR=self.runtime), 1),
            ("no bus, no runtime folder", clean_env(), 1),
            ("an address whose bus is gone", clean_env(DBUS_SESSION_BUS_ADDRESS=gone), 1),
            ("a bus without a keyring", clean_env(DBUS_SESSION_BUS_ADDRESS=bare), 1),
            ("a bus with a keyring", clean_env(DBUS_SESSION_BUS_ADDRESS=stored), 0),
            ("the runtime folder's bus, with a keyring", clean_env(XDG_RUNTIME_DIR=runtime_with_bus), 0),
            ("the address wins over the runtime folder",
             clean_env(DBUS_SESSION_BUS_ADDRESS=bare, XDG_RUNTIME_DIR=runtime_with_bus), 1),
        ]
        for name, env, expected in rows:
            with self.subTest(name):
                self.assertEqual(self.answers(env), expected)

    def test_private_keyring_is_unlocked_and_thrown_away(self):
        home_data = self.folder("home-data")
        env = clean_env(XDG_DATA_HOME=home_data, TMPDIR=self.folder("scratch"))
        script = (f'"{KEYRING}" answers || exit 10; '
                  'printf s3cret | secret-tool store --label=t app tavlon-test || exit 11; '
                  'secret-tool lookup app tavlon-test; echo; echo "data=$XDG_DATA_HOME"')
        first = subprocess.run([KEYRING, "private", "--", "sh", "-c", script], env=env, capture_output=True,
                               text=True, timeout=60)
        self.assertEqual(first.returncode, 0, first.stderr)
        self.assertEqual(first.stdout.split(), ["s3cret", "data=" + home_data])
        # Nothing of it is left behind: not in the person's data folder, not in the scratch folder,
        # and a second run starts from an empty keyring. The command's status comes through.
        self.assertEqual(os.listdir(home_data), [])
        self.assertEqual(os.listdir(os.path.join(self.tmp, "scratch")), [])
        second = subprocess.run([KEYRING, "private", "--", "sh", "-c",
                                 'secret-tool lookup app tavlon-test && exit 0 || exit 7'],
                                env=env, capture_output=True, text=True, timeout=60)
        self.assertEqual(second.returncode, 7)


if __name__ == "__main__":
    unittest.main()
