#!/usr/bin/env bash
# Speed and memory figures on synthetic novels, with the Unix baselines measured in the same run.
# Each time is the median of 5 runs after a warm-up. Exits non-zero when a target is missed.
#   bench/run.sh [--chapters N]      (default 3000 chapters, about 55 MB)
set -euo pipefail
# Decimal points in the shell's clock and in printf, whatever the user's locale.
export LC_NUMERIC=C
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
chapters=3000
[ "${1:-}" = "--chapters" ] && chapters="$2"

source "$root/scripts/setup.sh"
VELLOMAR_PACKAGES+=(time bc unzip strace)
vellomar_install_packages
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target vellomar-cli gen_novel bench_tidy bench_detect bench_list bench_reflow bench_zip bench_files bench_window 2>/dev/null \
    || cmake --build "$build" --target vellomar-cli gen_novel bench_tidy bench_detect bench_list bench_reflow bench_zip bench_files
cli="$build/src/cli/vellomar-cli"
gen="$build/bench/gen_novel"

work="$(mktemp -d)"
# Output goes to memory (tmpfs) when there is one, so that the figures compare the programs'
# own work rather than the disk's write-back, which varies by seconds between runs.
out="$work"
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    out="$(mktemp -d -p /dev/shm)"
fi
trap 'rm -rf "$work" "$out"' EXIT
"$gen" --chapters "$chapters" "$work/novel.txt"
"$gen" --chapters "$chapters" --utf8 "$work/novel-utf8.txt"
"$gen" --chapters "$chapters" --traditional "$work/trad.txt"
"$gen" --chapters "$chapters" --convertible "$work/conv.txt"
"$gen" --chapters $((chapters * 4)) "$work/big.txt"
# The same novel with a volume heading every 100 chapters.
"$gen" --chapters "$chapters" --volumes 100 "$work/volumes.txt"
# The same novel hard-wrapped at 30 characters, for 重新分段.
"$gen" --chapters "$chapters" --wrap 30 "$work/wrapped.txt"
printf '[text]\r\nVolumeText=\r\n' > "$work/novolumes.ini"
# About 20 MB of short lines and a pattern that takes nearly every one: a million titles.
"$gen" --short-lines 1200000 "$work/loose.txt"
printf '[text]\r\nTitleText=^(.)(.+)\r\nSetInvalidTitle=0\r\n' > "$work/loose.ini"
mb() { echo "scale=1; $(stat -c %s "$1") / 1048576" | bc; }
size=$(mb "$work/novel.txt")
bigsize=$(mb "$work/big.txt")

# median_time CMD... : prints the median wall time in seconds of 5 runs after one warm-up.
# A command may use $RUN (a fresh empty folder for each run). The clock is the shell's own: a
# process to read it (date) would add its own start, some 5 ms on a virtual machine.
median_time() {
    local times=()
    for i in 0 1 2 3 4 5; do
        export RUN="$out/run"
        rm -rf "$RUN"; mkdir -p "$RUN"
        sync
        local t0 t1
        t0=$EPOCHREALTIME
        "$@" >/dev/null 2>&1
        t1=$EPOCHREALTIME
        [ "$i" -gt 0 ] && times+=("$(echo "$t1 - $t0" | bc)")
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n 3p
}
# peak_kb CMD... : maximum resident set of one run, in KB.
peak_kb() {
    export RUN="$out/run"
    rm -rf "$RUN"; mkdir -p "$RUN"
    /usr/bin/time -f '%M' -o "$work/rss" "$@" >/dev/null 2>&1
    tail -n 1 "$work/rss"
}
rate() { echo "scale=0; $1 / $2" | bc; }

split_default() { "$cli" split --yes --out "$RUN" "$1"; }
csplit_run() { (cd "$RUN" && csplit -s -z -n 5 "$work/novel-utf8.txt" '/^第.*章/' '{*}'); }

t_wc=$(median_time wc -l "$work/novel.txt")
t_csplit=$(median_time csplit_run)
t_start=$(median_time "$cli" --help)
t_list=$(median_time "$cli" list "$work/novel.txt")
t_list_conv=$(median_time "$cli" list "$work/conv.txt")
# The analysis as it was before volumes (none looked for), and with volumes on a novel that has them.
t_list_novol=$(median_time "$cli" list --config "$work/novolumes.ini" "$work/novel.txt")
t_list_vol=$(median_time "$cli" list "$work/volumes.txt")
t_split=$(median_time split_default "$work/novel.txt")
t_trad=$(median_time split_default "$work/trad.txt")
t_conv=$(median_time split_default "$work/conv.txt")
m_list=$(peak_kb "$cli" list "$work/novel.txt")
m_split=$(peak_kb "$cli" split --yes --out "$out/run" "$work/novel.txt")
m_list_big=$(peak_kb "$cli" list "$work/big.txt")
# One run each: the split writes a million files.
one_run() {
    export RUN="$out/run"
    rm -rf "$RUN"; mkdir -p "$RUN"
    /usr/bin/time -f '%e %M' -o "$work/one" "$@" >/dev/null 2>&1
    tail -n 1 "$work/one"
}
read -r t_loose_list m_loose_list <<<"$(one_run "$cli" list --config "$work/loose.ini" "$work/loose.txt")"
read -r t_loose_split m_loose_split <<<"$(one_run "$cli" split --yes --config "$work/loose.ini" --out "$out/run" "$work/loose.txt")"
rm -rf "$out/run"
# A batch: 20 copies of a 5 MB novel, one by one and then in one run with a worker per core.
mkdir -p "$work/batch"
"$gen" --chapters 275 "$work/batch/n01.txt"
for i in $(seq -w 2 20); do cp "$work/batch/n01.txt" "$work/batch/n$i.txt"; done
one_by_one() { for f in "$work"/batch/*.txt; do "$cli" split --yes --out "$RUN" "$f" || return 1; done; }
t_seq=$(median_time one_by_one)
in_one_run() { "$cli" split --yes --out "$RUN" "$work/batch"; }
t_batch=$(median_time in_one_run)
loose_titles=$("$cli" list --config "$work/loose.ini" "$work/loose.txt" 2>/dev/null | wc -l)
# The floor of that split: the system calls alone that write as many one-line files.
read -r t_files_renamed t_files_direct <<<"$("$build/bench/bench_files" "$out/files" "$loose_titles")"
rm -rf "$out/files"
m_split_big=$(peak_kb "$cli" split --yes --out "$out/run" "$work/big.txt")

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "Novel: ${size} MB GBK, $(wc -l < "$work/novel.txt") lines, $chapters chapters (big: ${bigsize} MB)"
printf '1. wc -l                     %6.3f s  %5s MB/s\n' "$t_wc" "$(rate "$size" "$t_wc")"
printf '2. csplit (UTF-8, per title) %6.3f s  %5s MB/s\n' "$t_csplit" "$(rate "$size" "$t_csplit")"
printf '3. vellomar-cli list         %6.3f s  %5s MB/s  (%.2f x wc; goal >= 1000 MB/s)\n' "$t_list" "$(rate "$size" "$t_list")" "$(echo "$t_list / $t_wc" | bc -l)"
printf '3a. list, 1 line in 6 traditional %6.3f s  %5s MB/s  (goal >= 1000 MB/s; of it the program starting: %.3f s)\n' \
    "$t_list_conv" "$(rate "$size" "$t_list_conv")" "$t_start"
# Inside the program: opening (encoding detection), the analysis, the check for chapters
# scraped twice (medians of 9 runs each).
read -r in_open in_analysis in_repeats _ <<<"$("$build/bench/bench_list" "$work/conv.txt")"
printf '3c. inside list: opening %.2f ms, analysis %.2f ms, repeated-chapter check %.2f ms = %.1f %% of the analysis (goal < 10 %%)\n' \
    "$in_open" "$in_analysis" "$in_repeats" "$(echo "100 * $in_repeats / $in_analysis" | bc -l)"
printf '3b. list without volume detection %6.3f s; list of the novel with %d volumes %6.3f s (%.2f x)\n' \
    "$t_list_novol" "$("$cli" volumes "$work/volumes.txt" 2>/dev/null | wc -l)" "$t_list_vol" \
    "$(echo "$t_list_vol / $t_list_novol" | bc -l)"
printf '4. vellomar-cli split        %6.3f s  %5s MB/s  (%.2f x csplit)\n' "$t_split" "$(rate "$size" "$t_split")" "$(echo "$t_split / $t_csplit" | bc -l)"
printf '5. split, traditional text   %6.3f s  %5s MB/s\n' "$t_trad" "$(rate "$size" "$t_trad")"
printf '5b. split, 1 line in 6 traditional %6.3f s  %5s MB/s  (%.2f x csplit)\n' "$t_conv" "$(rate "$size" "$t_conv")" "$(echo "$t_conv / $t_csplit" | bc -l)"
printf '6. peak memory: list %d KB, split %d KB (%s MB); list %d KB, split %d KB (%s MB)\n' \
    "$m_list" "$m_split" "$size" "$m_list_big" "$m_split_big" "$bigsize"
if [ -x "$build/bench/bench_window" ]; then
    t_win=$(QT_QPA_PLATFORM=offscreen "$build/bench/bench_window" "$work/novel.txt" 2>/dev/null | tail -n 1)
    printf '7. window analysis           %6.3f s\n' "$t_win"
fi

printf '8. %d titles (%s MB, loose pattern): list %.2f s %d KB (%d B/title), split %.2f s %d KB (%d B/title)\n' \
    "$loose_titles" "$(mb "$work/loose.txt")" "$t_loose_list" "$m_loose_list" $((m_loose_list * 1024 / loose_titles)) \
    "$t_loose_split" "$m_loose_split" $((m_loose_split * 1024 / loose_titles))

printf '8b. the system calls alone that write %d one-line files in folders of 50: %.2f s, each renamed into place when complete (as the split does); %.2f s without\n' \
    "$loose_titles" "$t_files_renamed" "$t_files_direct"
printf '9. batch of 20 x %s MB: one by one %.2f s, in one run %.2f s (%.2f x)\n' \
    "$(mb "$work/batch/n01.txt")" "$t_seq" "$t_batch" "$(echo "$t_batch / $t_seq" | bc -l)"
epub_default() { "$cli" epub --overwrite all --out "$RUN" "$1"; }
t_epub=$(median_time epub_default "$work/novel.txt")
m_epub=$(peak_kb "$cli" epub --overwrite all --out "$out/run" "$work/novel.txt")
m_epub_big=$(peak_kb "$cli" epub --overwrite all --out "$out/run" "$work/big.txt")
# What deflate alone costs on the book's text (its pages, at the level the book uses).
"$cli" epub --overwrite all --out "$out/book.epub" "$work/novel.txt" >/dev/null 2>&1
unzip -p "$out/book.epub" 'OEBPS/text/*' > "$work/pages.xhtml"
t_gzip=$(median_time gzip -1 -c "$work/pages.xhtml")
# The floor of a book: its pages alone, packed as the book packs them (on every core).
read -r t_zip c_zip _ <<<"$("$build/bench/bench_zip" "$work/pages.xhtml" "$out/pages.zip")"
rm -f "$out/pages.zip"
printf '11. epub: %.3f s (%.2f x split), peak %d KB (%s MB) and %d KB (%s MB); gzip -1 of its pages alone %.3f s\n' \
    "$t_epub" "$(echo "$t_epub / $t_split" | bc -l)" "$m_epub" "$size" "$m_epub_big" "$bigsize" "$t_gzip"
printf '11b. its pages alone, packed as a book packs them (libdeflate on %d cores): %.3f s (%.3f s of CPU) = %.2f x split\n' \
    "$(nproc)" "$t_zip" "$c_zip" "$(echo "$t_zip / $t_split" | bc -l)"
# The same book as AZW3 (Kindle): time, memory and size beside the EPUB's.
azw3_default() { "$cli" epub --format azw3 --overwrite all --out "$RUN" "$1"; }
t_azw3=$(median_time azw3_default "$work/novel.txt")
m_azw3=$(peak_kb "$cli" epub --format azw3 --overwrite all --out "$out/run" "$work/novel.txt")
"$cli" epub --overwrite all --out "$out/book.azw3" "$work/novel.txt" >/dev/null 2>&1
azw3_bytes=$(stat -c %s "$out/book.azw3")
epub_bytes=$(stat -c %s "$out/book.epub")
azw3_ratio=$(echo "$azw3_bytes / $epub_bytes" | bc -l)
printf '11c. azw3: %.3f s (%.2f x epub), peak %d KB; book %s MB = %.2f x the EPUB'"'"'s %s MB\n' \
    "$t_azw3" "$(echo "$t_azw3 / $t_epub" | bc -l)" "$m_azw3" "$(echo "scale=1; $azw3_bytes / 1048576" | bc)" \
    "$azw3_ratio" "$(echo "scale=1; $epub_bytes / 1048576" | bc)"
# Twenty regex replace rules of the kind web novels need, all enabled, on titles and text.
clean_patterns=(
    '本章未完.*' '[（(]未完待续[)）]' '请记住本书首发域名.*' '手机用户请浏览.*阅读' '(www|m|wap)\\.[a-z0-9]+\\.(com|net|org|cc)'
    '最新章节.*首发' '天才一秒记住.*' '笔趣阁.*' '求书网.*' '看最新章节.*'
    '[【\\[]广告[】\\]].*' '推荐一本好书.*' '喜欢.*请收藏.*' 'PS[:：].*' '求月票.*'
    '顶点小说.*' '&nbsp;' '[\\x{200b}\\x{feff}]+' '章节错误.*举报' '（本章完）'
)
# The rules go to their own file beside the settings file, as the program keeps them.
printf '[clean]\r\nDropRepeatedTitle=False\r\nIndentParagraphs=False\r\n' > "$work/clean.ini"
{
    printf '['
    for i in "${!clean_patterns[@]}"; do
        [ "$i" -gt 0 ] && printf ','
        printf '{"name":"r%d","pattern":"%s","replacement":"","isRegex":true,"isEnabled":true,"scopeTitle":true,"scopeContent":true,"order":%d}\n' \
            "$i" "${clean_patterns[$i]}" "$i"
    done
    printf ']\n'
} > "$work/clean.rules.json"
split_clean() { "$cli" split --yes --config "$work/clean.ini" --out "$RUN" "$1"; }
t_clean=$(median_time split_clean "$work/novel.txt")
printf '12. split with 20 regex replace rules %6.3f s  %5s MB/s\n' "$t_clean" "$(rate "$size" "$t_clean")"
read -r tidy_titles tidy_read tidy_seq <<<"$("$build/bench/bench_tidy" "$work/novel.txt")"
printf '10. tidy by numbers, %d titles: reading around them %.2f ms, the sequence %.2f ms\n' \
    "$tidy_titles" "$tidy_read" "$tidy_seq"

# Encoding detection reads a bounded sample, whatever the size of the novel, and `list` reads a
# large novel once: every byte the program reads (system calls counted by strace).
read -r detect_ms detect_bytes detect_name <<<"$("$build/bench/bench_detect" "$work/big.txt")"
printf '13. encoding detection of the %s MB novel: %.2f ms (%s, from a sample of %d KB; goal < 50 ms, <= 128 KB)\n' \
    "$bigsize" "$detect_ms" "$detect_name" $((detect_bytes / 1024))
strace -f -e trace=read,pread64,readv,preadv -o "$work/reads" "$cli" list "$work/big.txt" >/dev/null 2>&1
read_bytes=$(awk '$NF ~ /^[0-9]+$/ { s += $NF } END { printf "%d", s }' "$work/reads")
big_bytes=$(stat -c %s "$work/big.txt")
printf '13b. list of the %s MB novel reads %s MB = %.2f x the novel (goal <= 1.1 x)\n' \
    "$bigsize" "$(echo "scale=1; $read_bytes / 1048576" | bc)" "$(echo "$read_bytes / $big_bytes" | bc -l)"
rm -f "$work/reads"

# 重新分段 (joining hard-wrapped lines), every line of the novel shaped and tested: the joiner
# alone, and a line-by-line read, decode, encode with and without it.
"$build/bench/bench_reflow" --speed "$work/novel.txt" | sed 's/^/14. 重新分段 /'
# The split of the hard-wrapped novel with 重新分段 on and off.
split_reflow() { "$cli" split --yes --reflow --out "$RUN" "$1"; }
t_wrapped=$(median_time split_default "$work/wrapped.txt")
t_reflow=$(median_time split_reflow "$work/wrapped.txt")
joins=$("$cli" split --yes --reflow --overwrite all --out "$out/run" "$work/wrapped.txt" 2>/dev/null | sed -n 's/^重新分段：\([0-9]*\) 处.*/\1/p')
printf '14b. split of the hard-wrapped novel (%s MB): %.3f s, with 重新分段 %.3f s (%.2f x), %s joins\n' \
    "$(mb "$work/wrapped.txt")" "$t_wrapped" "$t_reflow" "$(echo "$t_reflow / $t_wrapped" | bc -l)" "$joins"

missed=0
check() { if [ "$(echo "$1" | bc -l)" -ne 1 ]; then echo "MISSED: $2"; missed=1; fi; }
check "$(rate "$size" "$t_list") >= 1000 && $(rate "$size" "$t_list_conv") >= 1000" "list at 1000 MB/s or more"
check "$in_repeats < 0.1 * $in_analysis" "repeated-chapter check under 10 % of the analysis"
check "$t_list_vol <= 1.1 * $t_list_novol" "analysis with volumes within 10 % of the analysis without"
check "$t_split <= 0.5 * $t_csplit" "split at most half the time of csplit"
check "$t_reflow <= 1.5 * $t_wrapped" "split with 重新分段 within 1.5 x the split without it"
check "$(rate "$size" "$t_trad") >= 50" "traditional split at 50 MB/s or more"
check "$t_conv <= 0.5 * $t_csplit" "split with some traditional lines at most half the time of csplit"
check "$m_list < 65536 && $m_split < 65536 && $m_list_big < 65536 && $m_split_big < 65536" "peak memory under 64 MB"
[ -n "${t_win:-}" ] && check "$t_win < 1.5" "window analysis under 1.5 s"
check "$m_loose_list * 1024 < 150 * $loose_titles" "list under 150 bytes per title"
check "$t_loose_split < 10" "split of a million titles under 10 s"
check "$t_epub <= 2 * $t_split" "EPUB in at most 2 x the time of the text split"
check "$t_azw3 <= 2 * $t_epub" "AZW3 in at most 2 x the time of the EPUB"
check "$m_azw3 < 65536" "AZW3 peak memory under 64 MB"
check "$azw3_ratio <= 1.2" "AZW3 at most 1.2 x the EPUB's size"
check "$m_epub < 65536 && $m_epub_big < 65536" "EPUB peak memory under 64 MB"
check "$(rate "$size" "$t_clean") >= 100" "split with 20 regex replace rules at 100 MB/s or more"
check "$tidy_read + $tidy_seq < 10" "tidying 3,000 titles under 10 ms"
check "$t_batch <= 0.6 * $t_seq" "batch at most 0.6 x the novels split one by one"
check "$detect_ms < 50 && $detect_bytes <= 131072" "encoding detection of 215 MB under 50 ms, from at most 128 KB"
check "$read_bytes <= 1.1 * $big_bytes" "list reads a large novel once"
exit $missed
