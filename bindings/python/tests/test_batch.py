"""The batched path computes what the per-genome path computes, on grown networks with hidden
nodes, recurrent and delayed links and several transfer functions, for every pass rule."""

import numpy as np
import pytest

import quillfrost.neat as neat
from conftest import evolved

for name in ("Gaussian", "MAX", "IF", "1DelayGaussian"):
    neat.RegisterTransferFunction(name, name)

RNG = np.random.default_rng(5)
CASES = RNG.uniform(-1.0, 1.0, size=(6, 3))


def case_by_case(genotype, cases, iterations):
    """Outputs of one genome, each case on a fresh copy, through the network calls."""
    rows = []
    for case in cases:
        net = genotype.Clone()
        net.PreparePhenotype()
        for i, x in enumerate(case):
            net.SetInput(i, x)
        net.Iterate(max(1, net.NodeCount) if iterations == "nodes" else iterations)
        rows.append([net.GetOutput(o) for o in range(net.OutputNodeCount)])
        net.ReleaseToCache()
    return rows


@pytest.fixture(scope="module")
def population():
    neat.SetRandSeed(11)
    p = evolved(generations=15, OutputNodeCount=2, MaxConnectionDelay=2)
    genes = [g.ConnectList for g in p.GenotypeList]
    assert any(c.Delay > 0 for gs in genes for c in gs)
    assert any(len(g.NodeList) > 5 for g in p.GenotypeList)
    return p


@pytest.mark.parametrize("rule", [(1, 2), (-1, 0), (-1, -1), (3, 1), ("nodes", 1)],
                         ids=["1", "depth", "settle", "3", "nodes"])
def test_fresh_cases_equal_the_case_by_case_path(population, rule):
    iterations, setting = rule
    population.ActivationIterations = setting
    batched = population.Activate(CASES, iterations=iterations)
    assert batched.shape == (len(population.GenotypeList), len(CASES), 2)
    expected = [case_by_case(g, CASES, iterations) for g in population.GenotypeList]
    np.testing.assert_array_equal(batched, np.array(expected))
    # Each genome alone, and each with inputs of its own, gives the same.
    np.testing.assert_array_equal(population.GenotypeList[7].Activate(CASES, iterations=iterations),
                                  batched[7])
    own = np.broadcast_to(CASES, (len(population.GenotypeList),) + CASES.shape)
    np.testing.assert_array_equal(population.Activate(own, iterations=iterations), batched)


def test_cases_in_order_carry_the_state_over(population):
    population.ActivationIterations = 1
    genotypes = list(population.GenotypeList)
    copies = [g.Clone() for g in genotypes]
    for c in copies:
        c.PreparePhenotype()
    # On the genomes themselves, in two calls of three cases each.
    first = population.Activate(CASES[:3], fresh=False)
    second = population.Activate(CASES[3:], fresh=False)
    for g, copy in enumerate(copies):
        rows = []
        for case in CASES:
            copy.SetInput(0, case[0])
            copy.SetInput(1, case[1])
            copy.SetInput(2, case[2])
            copy.Iterate()
            rows.append([copy.GetOutput(0), copy.GetOutput(1)])
        np.testing.assert_array_equal(np.concatenate([first[g], second[g]]), rows)
        # One case given alone.
        assert copy.Activate(CASES[0], fresh=False).shape == (2,)
        copy.ReleaseToCache()
