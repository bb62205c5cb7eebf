#!/usr/bin/env bash
# Batch runs side by side, in one loop on fresh copies of one disk image
# (never a real disk): `veltra 1v`, `veltra rm` (on a copy with VELTRA
# installed), `veltra --status`, install-mbr (package mbr) and dd of 5 sectors
# with conv=notrunc,fsync, the floor of writing those sectors at all. Standard
# output goes to a file. Prints min/median/max of wall and CPU time (user +
# system, from wait4) and each median's ratio to install-mbr's and the floor's.
#
#   tools/bench_batch.sh [BUILD_DIR] [--runs=N]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
runs=30
for arg in "$@"; do
  case $arg in
  --runs=*) runs=${arg#--runs=} ;;
  *) build=$arg ;;
  esac
done
veltra="$build/veltra"
[[ -x $veltra ]] || { echo "build $veltra first (cmake --build $build -j2 --target veltra)" >&2; exit 2; }
command -v install-mbr >/dev/null || { echo "install-mbr missing: apt-get install mbr" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 tools/make_disk.py "$work/base.img" >/dev/null
cp "$work/base.img" "$work/installed.img"
XDG_STATE_HOME="$work/state" "$veltra" -d "$work/installed.img" 1v >/dev/null

python3 - "$veltra" "$work" "$runs" <<'EOF'
import os, shutil, statistics, subprocess, sys, time

veltra, work, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
image = os.path.join(work, "run.img")
commands = {  # name: (the image to copy fresh, the command)
    "veltra 1v": ("base.img", [veltra, "-d", image, "1v"]),
    "veltra rm": ("installed.img", [veltra, "-d", image, "rm"]),
    "veltra --status": ("installed.img", [veltra, "-d", image, "--status"]),
    "install-mbr": ("base.img", ["install-mbr", image]),
    "dd 5 sectors, fsync": ("base.img", ["dd", "if=" + os.path.join(work, "installed.img"),
                                        "of=" + image, "bs=512", "count=5",
                                        "conv=notrunc,fsync", "status=none"]),
}
env = dict(os.environ, XDG_STATE_HOME=os.path.join(work, "state"))
env.pop("DISPLAY", None)
env.pop("WAYLAND_DISPLAY", None)
wall = {name: [] for name in commands}
cpu = {name: [] for name in commands}
with open(os.path.join(work, "out.txt"), "w") as out:
    for _ in range(runs):
        for name, (source, command) in commands.items():
            shutil.copyfile(os.path.join(work, source), image)
            started = time.perf_counter()
            process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=out,
                                       stderr=subprocess.STDOUT, env=env)
            _, status, usage = os.wait4(process.pid, 0)
            wall[name].append((time.perf_counter() - started) * 1000)
            cpu[name].append((usage.ru_utime + usage.ru_stime) * 1000)
            process.returncode = os.waitstatus_to_exitcode(status)
            if process.returncode != 0:
                sys.exit(f"{name}: exit {process.returncode}")

def row(values):
    return (f"{min(values):7.2f} {statistics.median(values):7.2f} {max(values):7.2f}")

base, floor = "install-mbr", "dd 5 sectors, fsync"
print(f"{runs} runs each, ms (min median max); ratios of the medians")
print(f"{'':20} {'wall':^23} {'CPU':^23}   wall/mbr cpu/mbr  wall/dd  cpu/dd")
for name in commands:
    w, c = statistics.median(wall[name]), statistics.median(cpu[name])
    print(f"{name:20} {row(wall[name])} {row(cpu[name])}   "
          f"{w / statistics.median(wall[base]):8.2f} {c / statistics.median(cpu[base]):7.2f} "
          f"{w / statistics.median(wall[floor]):8.2f} {c / statistics.median(cpu[floor]):7.2f}")
EOF
