# The fuzz target under libFuzzer for a bounded time, from the seed corpus and
# a fixed seed: any crash, sanitizer report, leak, hang or broken output
# check fails the stage. Also checks that the committed seed corpus is what
# its generator makes (regression files regress-* aside).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
seconds=${QBG_FUZZ_SECONDS:-60}
passed=0 failed=0

fresh=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$fresh" "$work"' EXIT
python3 "$QBG_ROOT/tests/fuzz/make_corpus.py" "$fresh" >/dev/null
if diff -r -x 'regress-*' "$fresh" "$QBG_ROOT/tests/corpus" >/dev/null; then
  echo "seed corpus matches tests/fuzz/make_corpus.py"
  passed=$((passed + 1))
else
  echo "seed corpus differs from what tests/fuzz/make_corpus.py makes: rerun it and commit"
  failed=$((failed + 1))
fi

# A fresh working corpus, so that every run starts from the seeds alone.
if QBG_FUZZ_CORPUS=$work "$QBG_ROOT/scripts/fuzz" "$seconds" -seed=1; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
