#!/usr/bin/env bash
# Checks our AZW3 books with tools we did not write (Debian's calibre and EPUBCheck): for each
# novel, writes the AZW3, converts it back to EPUB with ebook-convert, runs EPUBCheck on that,
# compares its text with the novel's (every character but white space, in order), its contents
# (labels and nesting) with those of our own EPUB of the novel and its chapter headings with
# its contents, and reads title and author with ebook-meta. Prints a line per novel and a
# summary; exits non-zero when any novel fails. Slow (calibre): not part of ./test.sh.
#   scripts/check-azw3.sh [--synthetic MB] [NOVEL.txt...]   (default: ../shared/corpus/*.txt)
# Installs calibre when it is missing (as bench/run.sh does its tools); needs a build of
# vellomar-cli in build/.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/setup.sh"
VELLOMAR_PACKAGES+=(calibre bc)
vellomar_install_packages
set +e
cli="${VELLOMAR_CLI:-$root/build/src/cli/vellomar-cli}"
gen="${VELLOMAR_GEN:-$root/build/bench/gen_novel}"
synthetic=0
novels=()
while [ $# -gt 0 ]; do
    case "$1" in
    --synthetic) synthetic="$2"; shift 2 ;;
    *) novels+=("$1"); shift ;;
    esac
done
[ ${#novels[@]} -eq 0 ] && [ "$synthetic" = 0 ] && novels=("$root"/../shared/corpus/*.txt)
for tool in ebook-convert ebook-meta java; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: apt-get install calibre epubcheck"; exit 2; }
done
[ -x "$cli" ] || { echo "no $cli: build vellomar-cli first"; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# The text as the novel has it: no filter strings, no conversion.
printf '[text]\r\nConvertToSimple=False\r\n[textfilter]\r\n' > "$work/plain.ini"
if [ "$synthetic" != 0 ]; then
    [ -x "$gen" ] || { echo "no $gen: build gen_novel first"; exit 2; }
    # About 18 KB a chapter, a volume heading every 100 chapters.
    "$gen" --chapters $((synthetic * 1024 / 18)) --volumes 100 "$work/synthetic-${synthetic}mb.txt"
    novels+=("$work/synthetic-${synthetic}mb.txt")
fi

failed=0
for novel in "${novels[@]}"; do
    name="$(basename "$novel" .txt)"
    encoding=auto
    case "$novel" in *big5*) encoding=big5 ;; esac
    book="$work/$name.azw3"
    rm -f "$book" "$work/$name.epub" "$work/$name-ours.epub"
    common=(--config "$work/plain.ini" --encoding "$encoding" --title-rule auto --tidy --overwrite all --yes)
    t0=$(date +%s.%N)
    if ! "$cli" epub "${common[@]}" --out "$book" "$novel" >"$work/cli.log" 2>&1; then
        echo "FAIL $name: vellomar-cli could not write the AZW3"; cat "$work/cli.log"; failed=1; continue
    fi
    t1=$(date +%s.%N)
    "$cli" epub "${common[@]}" --out "$work/$name-ours.epub" "$novel" >/dev/null 2>&1
    if ! ebook-convert "$book" "$work/$name.epub" >"$work/convert.log" 2>&1; then
        echo "FAIL $name: ebook-convert could not read it"; tail -20 "$work/convert.log"; failed=1; continue
    fi
    epubcheck="ok"
    if ! java -jar /usr/share/java/epubcheck.jar "$work/$name.epub" >"$work/epubcheck.log" 2>&1 \
        || ! grep -q "No errors or warnings detected" "$work/epubcheck.log"; then
        epubcheck="FAIL"
    fi
    ebook-meta "$book" >"$work/meta.log" 2>&1
    python3 - "$novel" "$work/$name.epub" "$work/$name-ours.epub" "$work/meta.log" "$encoding" \
        "$(stat -c %s "$book")" "$(stat -c %s "$work/$name-ours.epub")" "$(echo "$t1 - $t0" | bc)" "$epubcheck" <<'EOF'
import html, re, sys, zipfile, posixpath
novel, converted, ours, metalog, encoding, size, epubsize, seconds, epubcheck = sys.argv[1:]

def decode(raw):
    if raw.startswith(b'\xef\xbb\xbf'):
        return raw[3:].decode('utf-8', 'replace')
    if raw[:2] in (b'\xff\xfe', b'\xfe\xff'):
        return raw.decode('utf-16', 'replace')
    if encoding == 'big5':
        # Big5 as browsers and our reader take it: A1E3 is U+FF5E (Python's big5hkscs says
        # U+223C, an older table's choice).
        return raw.decode('big5hkscs', 'replace').replace('\u223c', '\uff5e')
    try:
        return raw.decode('utf-8')
    except UnicodeDecodeError:
        return raw.decode('gb18030', 'replace')

space = re.compile(r'[\s\u3000\u00a0\ufeff]+')
def squeeze(s):
    return space.sub('', s)

def text_of(xhtml):
    body = re.search(r'<body[^>]*>(.*)</body>', xhtml, re.S)
    return html.unescape(re.sub(r'<[^>]+>', '', body.group(1) if body else ''))

def spine(z):
    opf_path = re.search(r'full-path="([^"]+)"', z.read('META-INF/container.xml').decode()).group(1)
    opf = z.read(opf_path).decode('utf-8')
    items = dict(re.findall(r'<item\b[^>]*?id="([^"]+)"[^>]*?href="([^"]+)"', opf))
    items.update({i: h for h, i in re.findall(r'<item\b[^>]*?href="([^"]+)"[^>]*?id="([^"]+)"', opf)})
    base = posixpath.dirname(opf_path)
    return [posixpath.join(base, items[i]) for i in re.findall(r'<itemref\b[^>]*?idref="([^"]+)"', opf)]

def contents(z):
    ncx = next(n for n in z.namelist() if n.endswith('.ncx'))
    xml = z.read(ncx).decode('utf-8')
    tree, stack = [], []
    for tag in re.finditer(r'<navPoint\b|</navPoint>|<text>(.*?)</text>', xml, re.S):
        if tag.group(0).startswith('<navPoint'):
            stack.append([None, []])
        elif tag.group(0) == '</navPoint>':
            node = stack.pop()
            (stack[-1][1] if stack else tree).append((node[0], node[1]))
        elif stack and stack[-1][0] is None:
            stack[-1][0] = squeeze(html.unescape(tag.group(1)))
    return tree

problems = []
with zipfile.ZipFile(converted) as z:
    pages = [p for p in spine(z) if 'titlepage' not in p]
    xhtml = [z.read(p).decode('utf-8') for p in pages]
    toc = contents(z)
# A chapter heading starts where a marker stands; the book drops a volume's heading or word
# in front of it ("上卷 第二回" under 上卷 is "第二回").
marked = squeeze(''.join(text_of(re.sub(r'(<h2\b)', '\x00\\1', x)) for x in xhtml))
pieces, starts, at = marked.split('\x00'), set(), 0
for piece in pieces:
    starts.add(at)
    at += len(piece)
book = ''.join(pieces)
volumes = [squeeze(html.unescape(re.sub(r'<[^>]+>', '', h))) for x in xhtml for h in re.findall(r'<h1[^>]*>(.*?)</h1>', x, re.S)]
want = squeeze(decode(open(novel, 'rb').read()))
separators = ':：、·—-】'
def volume_prefix(at_book, at_novel):
    """How many characters of the novel the book left out here: a volume's heading or its word."""
    if at_book not in starts:
        return 0
    for k in range(1, 41):
        prefix = want[at_novel:at_novel + k]
        words = prefix.rstrip(separators)
        if words and any(v.startswith(words) for v in volumes) \
                and want[at_novel + k:at_novel + k + 12] == book[at_book:at_book + 12]:
            return k
    return 0
def agree(i, j):
    """How many characters book[i:] and want[j:] have in common at their start."""
    n, step = 0, 1 << 16
    while step:
        if book[i + n:i + n + step] == want[j + n:j + n + step] and i + n + step <= len(book) and j + n + step <= len(want):
            n += step
        else:
            step //= 2
    while i + n < len(book) and j + n < len(want) and book[i + n] == want[j + n]:
        n += 1
    return n
i = j = stripped = 0
while i < len(book) and j < len(want):
    n = agree(i, j)
    i += n
    j += n
    if i == len(book) or j == len(want):
        break
    k = volume_prefix(i, j)
    if not k:
        break
    j += k
    stripped += 1
if i < len(book) or j < len(want):
    problems.append('text differs at character %d of %d: book "%s" novel "%s"'
                    % (j, len(want), book[max(0, i - 15):i + 15], want[max(0, j - 15):j + 15]))
headings = [squeeze(html.unescape(re.sub(r'<[^>]+>', '', h))) for x in xhtml for h in re.findall(r'<h[12][^>]*>(.*?)</h[12]>', x, re.S)]
flat = []
def walk(nodes):
    for label, children in nodes:
        flat.append(label)
        walk(children)
walk(toc)
if [h for h in flat if h not in ('简介', '簡介', '前言')] != headings:
    problems.append('contents (%d entries) and chapter headings (%d) differ' % (len(flat), len(headings)))
with zipfile.ZipFile(ours) as z:
    if contents(z) != toc:
        problems.append('contents differ from our EPUB\'s')
meta = dict(re.findall(r'^(\w[\w ()]*?)\s*:\s*(.*)$', open(metalog, encoding='utf-8', errors='replace').read(), re.M))
title, author = meta.get('Title', ''), meta.get('Author(s)', '')
if not title:
    problems.append('no title')
if epubcheck != 'ok':
    problems.append('EPUBCheck found problems in the converted EPUB')
nested = sum(1 for _, c in toc if c)
print('%s %s: %d chars, %d contents entries (%d volumes holding %d, %d headings without the volume\'s words), '
      'title "%s", author "%s", EPUBCheck %s, '
      'AZW3 %.1f MB in %.2f s = %.2f x our EPUB'
      % ('FAIL' if problems else 'ok  ', novel.split('/')[-1], len(want), len(flat), nested,
         sum(len(c) for _, c in toc), stripped, title, author, epubcheck, int(size) / 1048576, float(seconds),
         int(size) / int(epubsize)))
for p in problems:
    print('     ' + p)
sys.exit(1 if problems else 0)
EOF
    [ $? -eq 0 ] || failed=1
    [ "$epubcheck" = ok ] || grep -E "^(ERROR|WARNING)" "$work/epubcheck.log" | head -5
done
if [ "$failed" = 0 ]; then echo "all ${#novels[@]} novels: ok"; else echo "some novels FAILED"; fi
exit "$failed"
