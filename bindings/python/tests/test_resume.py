"""Checkpoints cross between the C++ XOR host and the Python one: a run stopped in one language
and resumed in the other goes on exactly as the run that never stopped, line for line and to
the last byte of its final checkpoint, from a checkpoint taken before evaluation and from one
taken after it."""

import pytest

from conftest import cpp_xor, python_example, run

# Not solved in these generations, so every run goes the full length.
ARGS = ["--seed", 4, "--margin", 0.99]


def head_and_tail(tmp_path, head, tail):
    """The lines of a run stopped after generation 9 by head, then resumed by tail from each
    kind of checkpoint, against the whole run made by the C++ host in one go."""
    whole = run(cpp_xor(*ARGS, "--max-generations", 24, "--checkpoint", "whole.json"),
                tmp_path, expect=1)
    stopped = run(head(*ARGS, "--max-generations", 9, "--checkpoint", "bred.json",
                       "--checkpoint-evaluated", "evaluated.json"), tmp_path, expect=1)
    assert stopped[:-1] == whole[:9]
    for kind in ("bred", "evaluated"):
        resumed = run(tail(*ARGS, "--resume", f"{kind}.json", "--max-generations", 24,
                           "--checkpoint", f"resumed-{kind}.json"), tmp_path, expect=1)
        assert stopped[:-1] + resumed == whole, kind
        assert (tmp_path / f"resumed-{kind}.json").read_bytes() == \
            (tmp_path / "whole.json").read_bytes(), kind


def test_checkpoint_from_python_resumes_in_cpp(tmp_path):
    head_and_tail(tmp_path, lambda *a: python_example("xor.py", *a), cpp_xor)


@pytest.mark.parametrize("mode", [[], ["--per-genome"]], ids=["batched", "per-genome"])
def test_checkpoint_from_cpp_resumes_in_python(tmp_path, mode):
    head_and_tail(tmp_path, cpp_xor, lambda *a: python_example("xor.py", *mode, *a))
