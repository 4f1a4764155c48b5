# Sourced by scripts/bench and scripts/bench-windows: turns pairs of measurements (this program,
# its baseline; one pair per line, in the order they were taken) into a table row with each
# side's minimum / median / maximum, the ratio with its noise band, and a verdict that says "met"
# or "not met" only when the whole band lies on one side of the goal ("within noise" otherwise).
# Needs $probe (wire_probe, whose verdict mode computes the band).

rows=()
verdicts=()
# row FIGURE PROGRAM BASELINE RATIO GOAL VERDICT
row() { rows+=("| $1 | $2 | $3 | $4 | $5 | $6 |"); }

# scaled VALUE DIVISOR DECIMALS
scaled() { awk -v v="$1" -v d="$2" -v n="$3" 'BEGIN { printf "%.*f", n, v / d }'; }

# judge FIGURE QUANTILE OP GOAL BLOCK DIVISOR DECIMALS PAIRS [NOTE]: one row judged on the ratio of
# the two sides' QUANTILE (0.5 median, 0.99 99th percentile); BLOCK consecutive pairs are
# resampled together for the band. The sides are shown as min / median / max after DIVISOR, and
# the quantile in front when it is not the median. NOTE is added to the verdict. The ratio has
# $ratio_decimals decimals (2 unless set), more for a figure that sits within a hundredth of its
# goal, so that the band shown tells why it is or is not on one side.
#
# $spread, where set, is how far the ratio moved between runs of the bench in a row, as a
# fraction of it (bench/README.md, "Noise bands"): a band resampled from one run's pairs knows
# nothing of what changes from one run to the next, so the band is widened to at least
# ratio * (1 -/+ spread) before the verdict is given.
judge() {
  local figure=$1 quantile=$2 op=$3 goal=$4 block=$5 divisor=$6 decimals=$7 pairs=$8 note=${9:-}
  local line places=${ratio_decimals:-2}
  line=$("$probe" verdict "$quantile" "$op" "$goal" "$block" <"$pairs")
  local _ a_min a_med a_max a_q b_min b_med b_max b_q ratio low high count word
  read -r _ a_min a_med a_max a_q b_min b_med b_max b_q ratio low high count word <<<"$line"
  if [[ -n ${spread:-} ]]; then
    read -r low high word < <(awk -v r="$ratio" -v lo="$low" -v hi="$high" -v s="$spread" \
      -v op="$op" -v g="$goal" 'BEGIN {
        if (r * (1 - s) < lo) lo = r * (1 - s)
        if (r * (1 + s) > hi) hi = r * (1 + s)
        w = "within-noise"
        if (op == "<=" ? hi <= g : lo >= g) w = "met"
        else if (op == "<=" ? lo > g : hi < g) w = "not-met"
        printf "%.4f %.4f %s\n", lo, hi, w }')
  fi
  side() {
    local text
    text="$(scaled "$1" "$divisor" "$decimals") / $(scaled "$2" "$divisor" "$decimals") / $(scaled "$3" "$divisor" "$decimals")"
    if [[ $quantile != 0.5 ]]; then
      text="**$(scaled "$4" "$divisor" "$decimals")** ($text)"
    fi
    echo "$text"
  }
  word=${word//-/ }
  verdicts+=("$word")
  [[ -n $note ]] && word="$word ($note)"
  row "$figure" "$(side "$a_min" "$a_med" "$a_max" "$a_q")" "$(side "$b_min" "$b_med" "$b_max" "$b_q")" \
    "$(scaled "$ratio" 1 "$places") [$(scaled "$low" 1 "$places"), $(scaled "$high" 1 "$places")]" \
    "$op $goal" "$word"
}

# report FIGURE QUANTILE BLOCK DIVISOR DECIMALS PAIRS: as judge, for a figure with no goal.
report() {
  judge "$1" "$2" "<=" 1e9 "$3" "$4" "$5" "$6"
  unset 'verdicts[-1]'
  rows[-1]=$(sed 's/| <= 1e9 | [a-z ]* |$/| report only | - |/' <<<"${rows[-1]}")
}

# pairs FILE A_VALUES B_VALUES: writes the two space-separated lists side by side.
pairs() { paste -d ' ' <(tr ' ' '\n' <<<"$2" | grep .) <(tr ' ' '\n' <<<"$3" | grep .) >"$1"; }

print_table() {
  echo "| figure | $1 (min / median / max) | baseline (min / median / max) | ratio [noise band] | goal | verdict |"
  echo "|---|---|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
}
