"""Checkpoints cross between the C++ XOR host and the Python one: a run stopped in one language
and resumed in the other goes on exactly as the run that never stopped, line for line and to
the last byte of its final checkpoint, from a checkpoint taken before evaluation and from one
taken after it."""

import pytest

from conftest import cpp_xor, python_example, run

# Not solved in these generations, so every run goes the full length.
ARGS = ["--seed", 4, "--margin", 0.99]


@pytest.fixture(scope="module")
def whole(tmp_path_factory):
    """The run made by the C++ host in one go: its lines and its final checkpoint."""
    where = tmp_path_factory.mktemp("whole")
    lines = run(cpp_xor(*ARGS, "--max-generations", 20, "--checkpoint", "whole.json"), where,
                expect=1)
    return lines, (where / "whole.json").read_bytes()


def head_and_tail(tmp_path, whole, head, tail):
    """A run stopped after generation 8 by head, then resumed by tail from each kind of
    checkpoint."""
    lines, checkpoint = whole
    stopped = run(head(*ARGS, "--max-generations", 8, "--checkpoint", "bred.json",
                       "--checkpoint-evaluated", "evaluated.json"), tmp_path, expect=1)
    assert stopped[:-1] == lines[:8]
    for kind in ("bred", "evaluated"):
        resumed = run(tail(*ARGS, "--resume", f"{kind}.json", "--max-generations", 20,
                           "--checkpoint", f"resumed-{kind}.json"), tmp_path, expect=1)
        assert stopped[:-1] + resumed == lines, kind
        assert (tmp_path / f"resumed-{kind}.json").read_bytes() == checkpoint, kind


def test_checkpoint_from_python_resumes_in_cpp(tmp_path, whole):
    head_and_tail(tmp_path, whole, lambda *a: python_example("xor.py", *a), cpp_xor)


@pytest.mark.parametrize("mode", [[], ["--per-genome"]], ids=["batched", "per-genome"])
def test_checkpoint_from_cpp_resumes_in_python(tmp_path, whole, mode):
    head_and_tail(tmp_path, whole, cpp_xor, lambda *a: python_example("xor.py", *mode, *a))
