# The fuzz target under libFuzzer for a bounded time, from the seed corpus and
# a fixed seed: any crash, sanitizer report, leak, hang or broken output
# check fails the stage. Also checks that the committed seed corpus is what
# its generator makes (regression files regress-* aside).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
ensure_packages build fuzz
seconds=${QBG_FUZZ_SECONDS:-60}

fresh=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$fresh" "$work"' EXIT
corpus_matches_generator() {
  python3 "$QBG_ROOT/tests/fuzz/make_corpus.py" "$fresh" >/dev/null
  diff -r -x 'regress-*' "$fresh" "$QBG_ROOT/tests/corpus" >/dev/null ||
    { echo "seed corpus differs from what tests/fuzz/make_corpus.py makes: rerun it and commit"; return 1; }
}

failed=0
run_check seed_corpus_matches_generator corpus_matches_generator || failed=1
# A fresh working corpus, so that every run starts from the seeds alone.
run_check "libfuzzer_${seconds}s" \
  env QBG_FUZZ_CORPUS="$work" "$QBG_ROOT/scripts/fuzz" "$seconds" -seed=1 || failed=1
[ "$failed" -eq 0 ]
