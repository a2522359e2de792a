#!/usr/bin/env bash
# Makes a book of every corpus novel and of a synthetic novel that uses every book feature, and
# checks each with EPUBCheck: any error or warning fails. Exits 77 (skipped) without EPUBCheck.
#   check_books.sh VELLOMAR_CLI CORPUS_DIR
set -uo pipefail
cli="$1"
corpus="$2"
jar=/usr/share/java/epubcheck.jar
if [ ! -f "$jar" ] || ! command -v java >/dev/null 2>&1; then
    echo "EPUBCheck is not installed: skipped"
    exit 77
fi
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/books"

for novel in "$corpus"/*.txt; do
    [ -f "$novel" ] || continue
    encoding=auto
    case "$novel" in *big5*) encoding=big5 ;; esac
    "$cli" epub --encoding "$encoding" --title-rule auto --tidy --overwrite all \
        --out "$work/books/$(basename "$novel" .txt).epub" "$novel" >/dev/null \
        || { echo "FAILED to make a book of $novel"; exit 1; }
done

# Front matter, an ignored title, filters, blank lines kept, conversion, an undecodable byte,
# markup characters, a user's cover and several books.
printf '[text]\r\nDelSpaceLine=False\r\nConvertToSimple=True\r\nSetInvalidTitle=False\r\n[textfilter]\r\n1=本章未完\r\n' \
    | iconv -f UTF-8 -t GBK > "$work/synthetic.ini"
{
    printf '书名：合成之书\r\n作者：测试者\r\n\r\n　　内容简介：一个 <测试> & 实验。\r\n\r\n'
    for n in 1 2 3 4 5 6; do
        printf '第%s章 標題%s\r\n\r\n　　正文說話，第 %s 段。本章未完\r\n\r\n　　又一段 "引号" & 符号。\r\n' "$n" "$n" "$n"
    done
} | iconv -f UTF-8 -t GBK > "$work/synthetic.txt"
printf '　　最后一段' | iconv -f UTF-8 -t GBK >> "$work/synthetic.txt"
printf '\x80\r\n' >> "$work/synthetic.txt"
"$cli" epub --config "$work/synthetic.ini" --ignore 3 --chaps-in-book 2 --cover "$here/../data/cover.png" \
    --out "$work/books/synthetic.epub" "$work/synthetic.txt" >/dev/null \
    || { echo "FAILED to make the synthetic books"; exit 1; }

# Volumes (one without a chapter, one sharing its line with a chapter title), whole and in parts.
"$cli" epub --out "$work/books/volumes.epub" "$here/../data/volumes.txt" >/dev/null \
    && "$cli" epub --chaps-in-book 3 --out "$work/books/volume-parts.epub" "$here/../data/volumes.txt" >/dev/null \
    || { echo "FAILED to make the books with volumes"; exit 1; }

failed=0
count=0
for book in "$work"/books/*.epub; do
    count=$((count + 1))
    if java -jar "$jar" "$book" >"$work/report" 2>&1 && grep -q "No errors or warnings detected" "$work/report"; then
        echo "ok   $(basename "$book")"
    else
        echo "FAIL $(basename "$book")"
        cat "$work/report"
        failed=1
    fi
done
echo "$count books checked"
[ "$count" -ge 3 ] || failed=1
exit $failed
