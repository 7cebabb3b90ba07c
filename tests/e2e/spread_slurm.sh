#!/bin/bash
# docs/slurm-render.sh on a one-machine Slurm cluster started here from the Debian packages:
# munged, slurmctld and slurmd with a scratch configuration, stopped by their PIDs at the end.
# The pictures it renders in tiles must be byte for byte the single runs', and so must the zoom
# video whose keyframes docs/slurm-video.sh counts in ranges, one array task each.
# KEEP=1 keeps the scratch folder (configuration, logs, tiles) for a look afterwards.
set -euo pipefail
BIN_DIR=$1
SOURCE_DIR=$(cd "$(dirname "$0")/../.." && pwd)
R=$BIN_DIR/fractal-render
S=$(mktemp -d)
echo "scratch $S"
DAEMONS=()
stop_daemons() {
    local status=$?
    # slurmd first, so that no job step is left to the controller; munged last.
    for ((i = ${#DAEMONS[@]} - 1; i >= 0; i--)); do
        kill "${DAEMONS[i]}" 2>/dev/null || true
        for _ in $(seq 1 50); do kill -0 "${DAEMONS[i]}" 2>/dev/null || break; sleep 0.1; done
    done
    if [[ $status -ne 0 ]]; then
        find "$S" -name '*.log' | while read -r log; do echo "== $log"; tail -n 20 "$log"; done >&2
    fi
    [[ -n ${KEEP:-} ]] || rm -rf "$S"
}
trap stop_daemons EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in munged slurmctld slurmd sbatch sinfo scontrol; do
    command -v $tool >/dev/null || fail "$tool is missing: install slurm-wlm and munge (make deps)"
done

# munge: a key of our own and a socket in the scratch folder, so a munged of the machine (if
# any) is left alone. It wants its files private and refuses to run as root without --force.
mkdir -p "$S/munge"
chmod 700 "$S/munge"
dd if=/dev/urandom of="$S/munge/munge.key" bs=1024 count=1 status=none
chmod 400 "$S/munge/munge.key"
munged --foreground --force --key-file="$S/munge/munge.key" --socket="$S/munge/munge.socket" \
    --pid-file="$S/munge/munged.pid" --log-file="$S/munged.log" --seed-file="$S/munge/munge.seed" >/dev/null 2>&1 &
DAEMONS+=($!)
for _ in $(seq 1 50); do [[ -S $S/munge/munge.socket ]] && break; sleep 0.1; done
[[ -S $S/munge/munge.socket ]] || fail "munged did not start"

# Slurm: this machine as its only node, with what slurmd finds on it; ports of our own.
node=$(hostname -s)
hardware=$(slurmd -C | head -n1 | sed 's/^NodeName=[^ ]* //')
port=$((20000 + RANDOM % 20000))
mkdir -p "$S/state" "$S/spool" "$S/work"
cat >"$S/slurm.conf" <<CONF
ClusterName=spread
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=$(id -un)
SlurmdUser=$(id -un)
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$S/munge/munge.socket
StateSaveLocation=$S/state
SlurmdSpoolDir=$S/spool
SlurmctldPidFile=$S/slurmctld.pid
SlurmdPidFile=$S/slurmd.pid
SlurmctldLogFile=$S/slurmctld.log
SlurmdLogFile=$S/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/builtin
DependencyParameters=kill_invalid_depend
SchedulerParameters=sched_interval=1
MpiDefault=none
MailProg=/bin/true
ReturnToService=2
SlurmctldTimeout=30
SlurmdTimeout=30
NodeName=$node NodeAddr=127.0.0.1 $hardware State=UNKNOWN
PartitionName=all Nodes=$node Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$S/slurm.conf
slurmctld -D -i -f "$SLURM_CONF" >/dev/null 2>&1 &
DAEMONS+=($!)
slurmd -D -f "$SLURM_CONF" -N "$node" >/dev/null 2>&1 &
DAEMONS+=($!)
for _ in $(seq 1 100); do
    state=$(sinfo -h -N -o %T 2>/dev/null | head -n1 || true)
    [[ $state == idle ]] && break
    sleep 0.2
done
[[ $state == idle ]] || fail "the node did not come up (state '$state')"

# A deep view in three tiles (strips of 64 rows at 16384 pixels a row), its reference first,
# and a view of doubles in two tiles as JPEG, which needs no reference; both at once.
DEEP=(--centre -0.743643887037151 0.131825904205330 --radius 1e-20 --iterations 300 --size 16384x150)
PLAIN=(--view -0.76 -0.72 0.1 0.11 --size 16384x150)
# A short zoom video in three ranges of keyframes.
VIDEO=(--centre -0.743643887037151 0.13182590420533 --radius 1e-6 --iterations 300 --size 32x18 --fps 4
    --doubling-seconds 0.5)
cd "$S/work"
"$R" set "${DEEP[@]}" -q -o deep-single.png
"$R" set "${PLAIN[@]}" -q -o plain-single.jpg
"$R" set "${VIDEO[@]}" -q --video video-single.mp4
export FRACTAL_RENDER=$R
"$SOURCE_DIR/docs/slurm-render.sh" --tiles 3 --folder deep -o deep.png -- "${DEEP[@]}" | tee deep.txt
"$SOURCE_DIR/docs/slurm-render.sh" --tiles 2 -o plain.jpg -- "${PLAIN[@]}" | tee plain.txt
"$SOURCE_DIR/docs/slurm-video.sh" --jobs 3 --video video.mp4 -- "${VIDEO[@]}" | tee video.txt
grep -q "^keyframes: job array [0-9]* (0-2, " video.txt || fail "the keyframes were not given to three tasks"
grep -q "^reference orbit: job" plain.txt && fail "a view of doubles got a reference job"

# sbatch --wait polls at ever longer intervals; the controller is asked here twice a second.
finished() { # the file sbatch's ids went to
    local job state
    job=$(sed -n 's/^assembly: job //p' "$1")
    [[ -n $job ]] || fail "no assembly job in $1"
    for _ in $(seq 1 240); do
        state=$(scontrol show job -o "$job" | grep -o 'JobState=[A-Z_]*' | cut -d= -f2)
        case $state in COMPLETED | FAILED | CANCELLED | TIMEOUT | NODE_FAIL | OUT_OF_MEMORY) break ;; esac
        sleep 0.5
    done
    [[ $state == COMPLETED ]] || fail "the assembly job $job ended as '$state'"
}
finished deep.txt
finished plain.txt
finished video.txt
[[ -f deep/reference.orbit ]] || fail "no reference orbit was saved"
ls deep/tile_1.png deep/tile_2.png deep/tile_3.png plain.tiles/tile_1.png plain.tiles/tile_2.png >/dev/null \
    || fail "tiles missing"
cmp deep-single.png deep.png || fail "the assembled deep picture differs from the single run"
cmp plain-single.jpg plain.jpg || fail "the assembled JPEG picture differs from the single run"
count=$("$R" set "${VIDEO[@]}" --video video.mp4 --keyframes-count)
[[ $(find video.keyframes -name "keyframe_*.png" | wc -l) -eq $count ]] || fail "keyframes missing"
ls video.jobs/keyframes_0.log video.jobs/keyframes_2.log >/dev/null || fail "no logs of the keyframe tasks"
cmp video-single.mp4 video.mp4 || fail "the assembled video differs from the single run"
echo "PASS after $SECONDS s"
