#!/bin/bash
# Renders one picture on a Slurm cluster: a job array renders its tiles (one tile per array
# task) into a folder that every node sees, and a job that waits for the whole array
# (--dependency=afterok) assembles them. A deep view (--centre ... --radius ...) gets a first
# job that computes its reference orbit once; the tiles load it instead of each computing it.
#
#   docs/slurm-render.sh [--tiles N] [--folder DIR] [--wait] [--sbatch "OPTIONS"] \
#       -o OUT.png -- SET_OPTIONS...
#
#   --tiles N     tiles, one array task each (default 8); at most the picture's strips
#   --folder DIR  the shared folder for the tiles, the reference orbit and the jobs' logs
#                 (default: OUT's name with .tiles); OUT should be on a shared folder too
#   --wait        return only when the assembly has ended, with its exit status
#   --sbatch "…"  further options for every sbatch call (partition, account, time limit)
#   FRACTAL_RENDER  the program as the nodes find it (default: fractal-render on their PATH)
#
# Example: a 20000 x 20000 deep picture in 16 tiles:
#   docs/slurm-render.sh --tiles 16 -o /shared/tip.png -- \
#       --centre 0 1 --radius 1e-100 --iterations 5000 --size 20000x20000
# The job ids are printed; `squeue` shows them, and the logs are in the folder.
# A zoom video's keyframes spread the same way with docs/slurm-video.sh.
set -euo pipefail

tiles=8
folder=
output=
wait=
sbatch_options=()
while [[ $# -gt 0 ]]; do
    case $1 in
    --tiles) tiles=$2; shift 2 ;;
    --folder) folder=$2; shift 2 ;;
    --wait) wait=--wait; shift ;;
    --sbatch) read -r -a sbatch_options <<<"$2"; shift 2 ;;
    -o) output=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "slurm-render.sh: unknown option $1 (the picture's options come after --)" >&2; exit 2 ;;
    esac
done
if [[ -z $output || $# -eq 0 ]]; then
    echo "usage: slurm-render.sh [--tiles N] [--folder DIR] [--wait] [--sbatch \"OPTIONS\"] -o OUT -- SET_OPTIONS..." >&2
    exit 2
fi
if ! [[ $tiles =~ ^[1-9][0-9]*$ ]]; then
    echo "slurm-render.sh: --tiles takes a whole number from 1 up, not \"$tiles\"" >&2
    exit 2
fi
program=${FRACTAL_RENDER:-fractal-render}
folder=${folder:-${output%.*}.tiles}
mkdir -p "$folder"
folder=$(cd "$folder" && pwd)
case $output in /*) ;; *) output=$PWD/$output ;; esac

# Every word quoted for the shell of the job scripts.
quote() {
    if [[ $# -gt 0 ]]; then printf ' %q' "$@"; fi
}
set_options=$(quote "$@")
deep=
for word in "$@"; do [[ $word == --centre ]] && deep=1; done

# A job script: the command line, run in the folder.
job_script() { # name command...
    local script=$folder/$1.sh
    shift
    printf '#!/bin/bash\nset -euo pipefail\ncd %q\n%s\n' "$folder" "$*" >"$script"
    chmod +x "$script"
    echo "$script"
}

dependency=()
reference=()
if [[ -n $deep ]]; then
    script=$(job_script reference "$(quote "$program") set$set_options -q --save-reference reference.orbit")
    reference_job=$(sbatch --parsable "${sbatch_options[@]}" --job-name=fr-reference \
        --output="$folder/reference.log" "$script")
    reference_job=${reference_job%%;*}
    echo "reference orbit: job $reference_job"
    dependency=(--dependency="afterok:$reference_job")
    reference=(--load-reference reference.orbit)
fi

script=$(job_script tile "$(quote "$program") set$set_options$(quote "${reference[@]}") -q \
--tile \"\$SLURM_ARRAY_TASK_ID/$tiles\" -o \"tile_\$SLURM_ARRAY_TASK_ID.png\"")
tiles_job=$(sbatch --parsable "${sbatch_options[@]}" "${dependency[@]}" --job-name=fr-tiles \
    --array="1-$tiles" --output="$folder/tile_%a.log" "$script")
tiles_job=${tiles_job%%;*}
echo "tiles: job array $tiles_job (1-$tiles)"

tile_names=()
for ((i = 1; i <= tiles; i++)); do tile_names+=("tile_$i.png"); done
script=$(job_script assemble "$(quote "$program") assemble -q -o$(quote "$output" "${tile_names[@]}")")
# With --wait, sbatch returns when the job has ended, with its exit status. A cluster should
# end a job whose dependency failed (DependencyParameters=kill_invalid_depend), or the
# assembly of a failed array waits for ever.
status=0
assemble_job=$(sbatch --parsable "${sbatch_options[@]}" --dependency="afterok:$tiles_job" \
    --job-name=fr-assemble --output="$folder/assemble.log" $wait "$script") || status=$?
echo "assembly: job ${assemble_job%%;*}"
if [[ $status -ne 0 ]]; then
    echo "slurm-render.sh: the assembly did not end well (status $status); see the logs in $folder" >&2
fi
exit $status
