"""npm packages for the tests that run editor code under node: installed with
`npm ci` from a folder's package.json and package-lock.json into a cache
folder in the system's temporary directory, keyed by the lock file, so that
the second run of the suite reuses them."""
import hashlib
import os
import shutil
import subprocess
import tempfile


def node_modules_for(folder, probe):
    """(path of a node_modules folder holding `probe`, None), or (None, the
    reason it cannot be had: no node or npm, or no registry)."""
    if not shutil.which("node") or not shutil.which("npm"):
        return None, f"node and npm are needed to run {probe}"
    with open(os.path.join(folder, "package-lock.json"), "rb") as f:
        key = hashlib.sha256(f.read()).hexdigest()[:16]
    cache = os.path.join(tempfile.gettempdir(), f"veltro-npm-{key}")
    if not os.path.isdir(os.path.join(cache, "node_modules", probe)):
        staging = tempfile.mkdtemp(prefix="veltro-npm-staging-")
        for name in ("package.json", "package-lock.json"):
            shutil.copy(os.path.join(folder, name), staging)
        p = subprocess.run(["npm", "ci", "--no-audit", "--no-fund", "--ignore-scripts",
                            "--fetch-retries=1", "--fetch-timeout=60000"], cwd=staging,
                           capture_output=True, text=True, timeout=240)
        if p.returncode != 0:
            shutil.rmtree(staging, ignore_errors=True)
            return None, f"npm could not install {probe}: " + (p.stderr.strip().splitlines() or [""])[-1]
        shutil.rmtree(cache, ignore_errors=True)
        try:
            os.rename(staging, cache)
        except OSError:
            shutil.rmtree(staging, ignore_errors=True)  # another run got there first
    return os.path.join(cache, "node_modules"), None
