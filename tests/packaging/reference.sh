#!/usr/bin/env bash
# make docs' reference: Doxygen without a warning (it fails on one), and the headers' comments
# where a reader looks for them: the file's own, a member's contract, not a remark inside an
# inline function's body; classes shown with the include a program writes.
# Usage: reference.sh <build directory>
source "$(dirname "$0")/common.sh"
build=$1
cmake --build "$build" --target docs >/dev/null || fail "the reference has warnings or failed"
html=$build/docs/reference/html
grep -q "One run per process" "$html/population_8h.html" || fail "population.h's comment is missing"
grep -q "delivers the product of d + 1 evaluations ago" "$html/classqf_1_1TConnect.html" ||
  fail "TConnect::Output's contract is missing"
! grep -q "never run past the line" "$html/classqf_1_1TConnect.html" ||
  fail "a comment inside TConnect::Output's body reached its documentation"
grep -q '#include &lt;<a [^>]*>quillfrost/neat/population.h</a>&gt;' \
  "$html/classqf_1_1TNEATPopulation.html" || fail "TNEATPopulation is not shown with its installed include"
echo "reference: no warnings, $(find "$html" -name '*.html' | wc -l) pages, comments in place"
