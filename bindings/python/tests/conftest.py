"""Shared by the tests of quillfrost.neat. ctest runs each file in a process of its own (the
random source, the gene pool and the transfer-function registry are the process's), with
PYTHONPATH on the built package; QF_XOR names the C++ XOR program and QF_EXAMPLES the folder
of the Python examples."""

import os
import subprocess
import sys

import pytest

import quillfrost.neat as neat

EXAMPLES = os.environ.get("QF_EXAMPLES", os.path.join(os.path.dirname(__file__), "..", "..", "..",
                                                      "examples", "python"))
XOR = os.environ.get("QF_XOR")


def run(command, cwd, expect=0):
    """Runs a program to its end; its output lines."""
    done = subprocess.run(command, cwd=cwd, capture_output=True, text=True, timeout=600)
    assert done.returncode == expect, f"{command} exited {done.returncode}: {done.stderr}"
    return done.stdout.splitlines()


def python_example(name, *args):
    return [sys.executable, os.path.join(EXAMPLES, name), *map(str, args)]


def cpp_xor(*args):
    if not XOR:
        pytest.skip("QF_XOR does not name the C++ XOR program")
    return [XOR, *map(str, args)]


@pytest.fixture(autouse=True)
def fresh_engine():
    """Every test starts from an empty gene pool and a fixed seed."""
    neat.ClearGenePool()
    neat.SetRandSeed(7)


def evolved(generations=12, **settings):
    """A population bred for a while on a fitness that rewards size, so its genomes have
    hidden nodes, recurrent links and disabled connections."""
    settings.setdefault("PopulationSize", 40)
    settings.setdefault("InputNodeCount", 3)
    settings.setdefault("ConnectionAddChance", 0.3)
    settings.setdefault("ConnectionSplitChance", 0.3)
    population = neat.Population(**settings)
    population.OnCalculateFitness = lambda pop, g: 1.0 + g.GeneCount()
    population.CreateInitialPopulation()
    for _ in range(generations):
        population.EvaluateGeneration()
        population.CreateNextGeneration()
    return population
