#!/bin/bash
# Renders a zoom video on a Slurm cluster: a job array counts its keyframes (one range of
# keyframes per array task) into a folder that every node sees, and a job that waits for the
# whole array (--dependency=afterok) encodes the video from them, byte for byte what one run of
# `fractal-render set --video` makes.
#
#   docs/slurm-video.sh [--jobs N] [--keyframes DIR] [--folder DIR] [--wait] [--sbatch "OPTIONS"] \
#       --video OUT.mp4 -- SET_OPTIONS...
#
#   --jobs N        array tasks, each a range of keyframes (default 8); at most one a keyframe
#   --keyframes DIR the shared keyframe folder (default: OUT's name with .keyframes, as for
#                   `set --video`); a folder of keyframes already there is used again
#   --folder DIR    the jobs' scripts and logs (default: OUT's name with .jobs)
#   --wait          return only when the video has been made, with the encoding's exit status
#   --sbatch "…"    further options for every sbatch call (partition, account, time limit)
#   FRACTAL_RENDER  the program as the nodes find it (default: fractal-render on their PATH); it
#                   also counts the keyframes here before anything is submitted
#
# Example: a 1920 x 1080 dive 1e-40 deep in 12 ranges:
#   docs/slurm-video.sh --jobs 12 --video /shared/dive.mp4 -- \
#       --centre -0.743643887037151 0.13182590420533 --radius 1e-40 --iterations 20000 --size 1920x1080
# The job ids are printed; `squeue` shows them.
set -euo pipefail

jobs=8
keyframes=
folder=
output=
wait=
sbatch_options=()
while [[ $# -gt 0 ]]; do
    case $1 in
    --jobs) jobs=$2; shift 2 ;;
    --keyframes) keyframes=$2; shift 2 ;;
    --folder) folder=$2; shift 2 ;;
    --wait) wait=--wait; shift ;;
    --sbatch) read -r -a sbatch_options <<<"$2"; shift 2 ;;
    --video) output=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "slurm-video.sh: unknown option $1 (the video's options come after --)" >&2; exit 2 ;;
    esac
done
if [[ -z $output || $# -eq 0 ]]; then
    echo "usage: slurm-video.sh [--jobs N] [--keyframes DIR] [--folder DIR] [--wait] [--sbatch \"OPTIONS\"] --video OUT -- SET_OPTIONS..." >&2
    exit 2
fi
if ! [[ $jobs =~ ^[1-9][0-9]*$ ]]; then
    echo "slurm-video.sh: --jobs takes a whole number from 1 up, not \"$jobs\"" >&2
    exit 2
fi
case $output in
*.mp4 | *.mkv | *.webm) ;;
*) echo "slurm-video.sh: --video: the name must end in .mp4, .mkv or .webm, not \"$output\"" >&2; exit 2 ;;
esac
program=${FRACTAL_RENDER:-fractal-render}
case $output in /*) ;; *) output=$PWD/$output ;; esac
keyframes=${keyframes:-${output%.*}.keyframes}
case $keyframes in /*) ;; *) keyframes=$PWD/$keyframes ;; esac
folder=${folder:-${output%.*}.jobs}

# The count also checks the options (and says what is wrong) before anything is submitted.
count=$("$program" set "$@" --video "$output" --keyframes-count)
((jobs > count)) && jobs=$count
mkdir -p "$folder"
folder=$(cd "$folder" && pwd)

# Every word quoted for the shell of the job scripts.
quote() {
    if [[ $# -gt 0 ]]; then printf ' %q' "$@"; fi
}
# The encoding's own options go to the assembly as well; the rest is in the keyframe folder.
encoding=()
words=("$@")
for ((i = 0; i + 1 < ${#words[@]}; i++)); do
    case ${words[i]} in --codec | --ffmpeg) encoding+=("${words[i]}" "${words[i + 1]}") ;; esac
done

# A job script: the command lines, run in the folder.
job_script() { # name line...
    local script=$folder/$1.sh
    shift
    {
        printf '#!/bin/bash\nset -euo pipefail\ncd %q\n' "$folder"
        printf '%s\n' "$@"
    } >"$script"
    chmod +x "$script"
    echo "$script"
}

# Array task T of J takes keyframes T*K/J to (T+1)*K/J-1: ranges of K/J, rounded either way.
script=$(job_script keyframes \
    "first=\$((SLURM_ARRAY_TASK_ID * $count / $jobs)); last=\$(((SLURM_ARRAY_TASK_ID + 1) * $count / $jobs - 1))" \
    "$(quote "$program") set$(quote "$@" --video "$output" --keyframes "$keyframes") --keyframes-only -q \
--range \"\$first:\$last\"")
keyframes_job=$(sbatch --parsable "${sbatch_options[@]}" --job-name=fr-keyframes \
    --array="0-$((jobs - 1))" --output="$folder/keyframes_%a.log" "$script")
keyframes_job=${keyframes_job%%;*}
echo "keyframes: job array $keyframes_job (0-$((jobs - 1)), $count keyframes)"

script=$(job_script assemble \
    "$(quote "$program") assemble -q$(quote --keyframes "$keyframes" --video "$output" "${encoding[@]}")")
# With --wait, sbatch returns when the job has ended, with its exit status. A cluster should
# end a job whose dependency failed (DependencyParameters=kill_invalid_depend), or the
# assembly of a failed array waits for ever.
status=0
assemble_job=$(sbatch --parsable "${sbatch_options[@]}" --dependency="afterok:$keyframes_job" \
    --job-name=fr-assemble --output="$folder/assemble.log" $wait "$script") || status=$?
echo "assembly: job ${assemble_job%%;*}"
if [[ $status -ne 0 ]]; then
    echo "slurm-video.sh: the assembly did not end well (status $status); see the logs in $folder" >&2
fi
exit $status
