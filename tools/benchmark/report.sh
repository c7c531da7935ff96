#!/bin/sh
# Turns the figures run.sh kept in a results folder into the benchmark's report.
#
#   report.sh RESULTS_DIR "1 2"
#
# Ratios use the fastest sample of each side (the machine is shared; a slower sample
# measures the neighbours); the medians are shown beside them.
set -eu

out=$1 scales=$2

# The value of NAME=... in FILE, empty when absent.
get() { if [ -f "$1" ]; then sed -n "s/^$2=//p" "$1" | head -n 1; fi; }
# Smallest and median of a comma-separated list.
list_min() { echo "$1" | tr ',' '\n' | sort -g | head -n 1; }
list_median() {
    echo "$1" | tr ',' '\n' | sort -g |
        awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
calc() { awk "BEGIN { printf \"$1\", $2 }"; }
verdict() { awk "BEGIN { print ($1) ? \"met\" : \"MISSED\" }"; }

# The samples of every CVPurger.exe TOKEN run in a Wine results file.
wine_runs() { sed -n 's/^run[0-9]*_s=//p' "$1" | paste -sd, -; }
# The samples NAME1, NAME2, ... (without the number) of a results file.
samples() { sed -n "s/^$2[0-9]*$3=//p" "$1" | paste -sd, -; }
wine_max() { sed -n "s/^run[0-9]*_$2=//p" "$1" | sort -g | tail -n 1; }

repo=$(cd "$(dirname "$0")/../.." && pwd)
changed=
git -C "$repo" diff --quiet HEAD -- src 2>/dev/null || changed=" with uncommitted changes in src/"
echo "CVPurger registry benchmark: command line BB (QR4100 encoder card), $(date -u '+%Y-%m-%d %H:%M') UTC"
echo "source: commit $(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo unknown)$changed"
echo "load average (1, 5, 15 min) at each phase's start and end:"
sed 's/^/  /' "$out/load.txt"
echo

for scale in $scales; do
    summary=$(head -n 1 "$out/machines/scale$scale.txt")
    nf=$out/native-floor-$scale.txt nr=$out/native-run-$scale.txt np=$out/native-profile-$scale.txt
    sleeps=$(get "$nr" sleeps_ms)
    nf_min=$(list_min "$(get "$nf" floor_ms_all)") nf_med=$(get "$nf" floor_ms)
    nr_min=$(list_min "$(get "$nr" run_ms_all)") nr_med=$(get "$nr" run_ms)
    echo "== Machine $summary"
    echo "-- Native (in-memory machine; pauses recorded, not slept: $sleeps ms)"
    echo "   floor pass       ms: min $nf_min, median $nf_med ($(get "$nf" keys) keys, $(get "$nf" values) values, $(get "$nf" registry_calls) registry calls)"
    echo "   run (work)       ms: min $nr_min, median $nr_med ($(get "$np" registry_calls_run) registry calls, $(get "$nr" log_lines) log lines)"
    echo "   run / floor, pauses included: $(calc %.2f "($nr_min + $sleeps) / ($nf_min + $sleeps)") (medians $(calc %.2f "($nr_med + $sleeps) / ($nf_med + $sleeps)"))"
    echo "   run / floor, work alone:      $(calc %.2f "$nr_min / $nf_min") (medians $(calc %.2f "$nr_med / $nf_med"))"
    echo "   heap the run adds above the loaded machine: $(calc %.1f "$(get "$nr" heap_peak_run_kib) / 1024") MiB; process peak RSS with the machine: $(calc %.0f "$(get "$nr" peak_rss_kib) / 1024") MiB"
    nc=$out/native-receipt-$scale.txt
    nb_min=$(list_min "$(get "$nc" bare_ms_all)") nc_min=$(list_min "$(get "$nc" receipt_ms_all)")
    ns_min=$(list_min "$(get "$nc" restore_ms_all)")
    echo "   receipt: the stages without one ms: min $nb_min, median $(get "$nc" bare_ms); with it: min $nc_min, median $(get "$nc" receipt_ms) ($(get "$nc" receipt_kib) KiB written)"
    echo "   receipt: with / without $(calc %.2f "$nc_min / $nb_min") (medians $(calc %.2f "$(get "$nc" receipt_ms) / $(get "$nc" bare_ms)")); /restore ms: min $ns_min, median $(get "$nc" restore_ms), / the run $(calc %.2f "$ns_min / $nc_min")"
    npv=$out/native-preview-$scale.txt of=$out/offline-$scale.figures
    np_min=$(list_min "$(get "$npv" preview_ms_all)")
    echo "   offline preview  ms: min $np_min, median $(get "$npv" preview_ms) on the export as read ($(get "$npv" offline_load_ms) ms to read it; $(get "$npv" preview_lines) lines)"
    echo "   offline preview / floor pass: $(calc %.2f "$np_min / $nf_min"); heap the preview adds: $(calc %.1f "$(get "$npv" heap_peak_preview_kib) / 1024") MiB"
    echo "   cvpurger-preview BB registry.reg: $(get "$of" seconds) s in all, peak resident set $(calc %.0f "$(get "$of" peak_rss_kib) / 1024") MiB"

    w=$out/wine-$scale/wine.txt
    if [ -f "$w" ]; then
        runs=$(wine_runs "$w")
        wr_min=$(list_min "$runs") wr_med=$(list_median "$runs")
        wf_min=$(list_min "$(get "$w" floor_floor_ms_all)") wf_med=$(get "$w" floor_floor_ms)
        noop=$(list_min "$(get "$w" noop1_s),$(get "$w" noop2_s)")
        floor_s=$(calc %.3f "$noop + $wf_min / 1000 + $sleeps / 1000")
        floor_med_s=$(calc %.3f "$noop + $wf_med / 1000 + $sleeps / 1000")
        echo "-- Wine (CVPurger.exe in a fresh prefix; import of the image $(get "$w" import_s) s)"
        echo "   floor pass        s: min $(calc %.3f "$wf_min / 1000"), samples $(get "$w" floor_floor_ms_all) ms ($(get "$w" floor_keys) keys, $(get "$w" floor_values) values)"
        echo "   CVPurger.exe NOFAMILY (start and end) s: $noop"
        echo "   floor = start/end + pass + pauses s: $floor_s (with medians $floor_med_s)"
        echo "   CVPurger.exe BB   s: min $wr_min, median $wr_med (samples $runs; $(get "$w" run1_log_lines) log lines)"
        if cmp -s "$out/native-scenario-$scale/UnInstall.log" "$out/wine-$scale/UnInstall.1.log"; then
            echo "   UnInstall.log: the same bytes as the in-memory machine's run"
        else
            echo "   UnInstall.log: DIFFERS from the in-memory machine's run"
        fi
        echo "   run / floor: $(calc %.2f "$wr_min / $floor_s") (medians $(calc %.2f "$wr_med / $floor_med_s"))"
        echo "   run beyond start/end and pauses s: $(calc %.3f "$wr_min - $noop - $sleeps / 1000"); / floor pass: $(calc %.2f "($wr_min - $noop - $sleeps / 1000) / ($wf_min / 1000)")"
        echo "   peak memory of CVPurger.exe BB: resident $(calc %.1f "$(wine_max "$w" rss_kib) / 1024") MiB (NOFAMILY: $(calc %.1f "$(get "$w" noop1_rss_kib) / 1024") MiB), anonymous $(calc %.1f "$(wine_max "$w" anon_kib) / 1024") MiB (NOFAMILY: $(calc %.1f "$(get "$w" noop1_anon_kib) / 1024") MiB)"
        echo "   profiled run (cvp_benchmark.exe profile): $(get "$w" profile_run_ms) ms, peak working set $(get "$w" profile_peak_working_set_kib) KiB, peak private $(get "$w" profile_peak_private_kib) KiB"
        wb=$(samples "$w" bare _ms) wc=$(samples "$w" run _ms) wi=$(samples "$w" restore_in _ms)
        ws=$(samples "$w" restore _s)
        echo "   receipt, in the process (cvp_benchmark.exe): the stages without one ms $wb; with it $wc; with / without $(calc %.2f "$(list_min "$wc") / $(list_min "$wb")")"
        echo "   /restore, in the process ms $wi ($(calc %.2f "$(list_min "$wi") / $(list_min "$wc")") of the run); CVPurger.exe /restore s $ws ($(calc %.2f "$(list_min "$ws") / $wr_min") of CVPurger.exe BB)"
        wp_min=$(list_min "$(get "$w" preview1_s),$(get "$w" preview2_s)")
        echo "   CVPurger.exe /preview BB s: min $wp_min (samples $(get "$w" preview1_s), $(get "$w" preview2_s)); / floor: $(calc %.2f "$wp_min / $floor_s")"
        echo "   peak memory of the preview: resident $(calc %.1f "$(get "$w" preview1_rss_kib) / 1024") MiB, anonymous $(calc %.1f "$(get "$w" preview1_anon_kib) / 1024") MiB"
        if [ "$(sed -n '/^\r*$/q;p' "$out/wine-$scale/UnInstall.preview.txt")" = "$(cat "$out/wine-$scale/UnInstall.1.log")" ]; then
            echo "   the preview's log lines: the same as the run's UnInstall.log"
        else
            echo "   the preview's log lines: DIFFER from the run's UnInstall.log"
        fi
    fi
    echo
done

# The scales, one word each.
# shellcheck disable=SC2086
set -- $scales
if [ $# -ge 2 ]; then
    a=$1 b=$2
    echo "== Doubling the machine (scale $b against scale $a)"
    s_a=$(get "$out/native-run-$a.txt" sleeps_ms) s_b=$(get "$out/native-run-$b.txt" sleeps_ms)
    nr_a=$(list_min "$(get "$out/native-run-$a.txt" run_ms_all)")
    nr_b=$(list_min "$(get "$out/native-run-$b.txt" run_ms_all)")
    nf_a=$(list_min "$(get "$out/native-floor-$a.txt" floor_ms_all)")
    nf_b=$(list_min "$(get "$out/native-floor-$b.txt" floor_ms_all)")
    rc_a=$(get "$out/native-profile-$a.txt" registry_calls_run) rc_b=$(get "$out/native-profile-$b.txt" registry_calls_run)
    fc_a=$(get "$out/native-profile-$a.txt" registry_calls_floor) fc_b=$(get "$out/native-profile-$b.txt" registry_calls_floor)
    echo "   registry calls: run $rc_a -> $rc_b ($(calc %.2f "$rc_b / $rc_a")x), floor pass $fc_a -> $fc_b ($(calc %.2f "$fc_b / $fc_a")x)"
    echo "   native: run with pauses $(calc %.2f "($nr_b + $s_b) / ($nr_a + $s_a)")x, run work $(calc %.2f "$nr_b / $nr_a")x, floor pass $(calc %.2f "$nf_b / $nf_a")x"
    wa=$out/wine-$a/wine.txt wb=$out/wine-$b/wine.txt
    if [ -f "$wa" ] && [ -f "$wb" ]; then
        wr_a=$(list_min "$(wine_runs "$wa")") wr_b=$(list_min "$(wine_runs "$wb")")
        no_a=$(list_min "$(get "$wa" noop1_s),$(get "$wa" noop2_s)")
        no_b=$(list_min "$(get "$wb" noop1_s),$(get "$wb" noop2_s)")
        wf_a=$(list_min "$(get "$wa" floor_floor_ms_all)") wf_b=$(list_min "$(get "$wb" floor_floor_ms_all)")
        echo "   Wine: CVPurger.exe BB $(calc %.2f "$wr_b / $wr_a")x, beyond start/end and pauses $(calc %.2f "($wr_b - $no_b - $s_b / 1000) / ($wr_a - $no_a - $s_a / 1000)")x, floor pass $(calc %.2f "$wf_b / $wf_a")x"
    fi
    echo
fi

if [ -f "$out/offline-10.figures" ]; then
    echo "== cvpurger-preview on an export of a million keys ($(head -n 1 "$out/machines/scale10.txt"))"
    echo "   $(get "$out/offline-10.figures" seconds) s, peak resident set $(calc %.0f "$(get "$out/offline-10.figures" peak_rss_kib) / 1024") MiB"
    echo "   $(get "$out/offline-10.figures" refusal)"
    echo
fi

echo "== Goals"
for scale in $scales; do
    s=$(get "$out/native-run-$scale.txt" sleeps_ms)
    nr=$(list_min "$(get "$out/native-run-$scale.txt" run_ms_all)")
    nf=$(list_min "$(get "$out/native-floor-$scale.txt" floor_ms_all)")
    np=$(list_min "$(get "$out/native-preview-$scale.txt" preview_ms_all)")
    line="   scale $scale, within 1.5x the floor: native $(verdict "($nr + $s) / ($nf + $s) <= 1.5")"
    line="$line; offline preview within 2x the floor pass: $(verdict "$np / $nf <= 2")"
    w=$out/wine-$scale/wine.txt
    if [ -f "$w" ]; then
        wr=$(list_min "$(wine_runs "$w")")
        wf=$(list_min "$(get "$w" floor_floor_ms_all)")
        noop=$(list_min "$(get "$w" noop1_s),$(get "$w" noop2_s)")
        line="$line, Wine $(verdict "$wr / ($noop + $wf / 1000 + $s / 1000) <= 1.5")"
        wp=$(list_min "$(get "$w" preview1_s),$(get "$w" preview2_s)")
        line="$line; live preview within 2x the floor (Wine): $(verdict "$wp / ($noop + $wf / 1000 + $s / 1000) <= 2")"
        line="$line; peak memory under 16 MiB (Wine, anonymous and above NOFAMILY): $(verdict "$(wine_max "$w" anon_kib) < 16384 && $(wine_max "$w" rss_kib) - $(get "$w" noop1_rss_kib) < 16384")"
    fi
    echo "$line"
    nc=$out/native-receipt-$scale.txt
    nb=$(list_min "$(get "$nc" bare_ms_all)") nw=$(list_min "$(get "$nc" receipt_ms_all)")
    ns=$(list_min "$(get "$nc" restore_ms_all)")
    line="   scale $scale, a run with its receipt within 1.3x one without: native $(verdict "$nw <= 1.3 * $nb")"
    restore="a restore within the run's time: native $(verdict "$ns <= $nw")"
    if [ -f "$w" ]; then
        wb=$(list_min "$(samples "$w" bare _ms)") wc=$(list_min "$(samples "$w" run _ms)")
        wi=$(list_min "$(samples "$w" restore_in _ms)")
        line="$line, Wine $(verdict "$wc <= 1.3 * $wb")"
        restore="$restore, Wine $(verdict "$wi <= $wc") (CVPurger.exe: $(verdict "$(list_min "$(samples "$w" restore _s)") <= $(list_min "$(wine_runs "$w")")"))"
    fi
    echo "$line; $restore"
done
if [ $# -ge 2 ]; then
    line="   doubling the machine at most doubles the time: native $(verdict "($nr_b + $s_b) / ($nr_a + $s_a) <= 2")"
    line="$line (work alone $(verdict "$nr_b / $nr_a <= 2")), registry calls $(verdict "$rc_b / $rc_a <= 2")"
    if [ -f "$out/wine-$a/wine.txt" ] && [ -f "$out/wine-$b/wine.txt" ]; then
        line="$line, Wine $(verdict "$wr_b / $wr_a <= 2")"
    fi
    echo "$line"
fi
