"""The population from Python: every published setting reaches the engine under its name, the
events call their handlers at the engine's moments, transfer functions go by registered name,
and a population that is no longer reachable is freed."""

import gc
import json
import pathlib
import re

import pytest

import quillfrost
import quillfrost.neat as neat

# A value for every published setting, each unlike its default.
CHANGED = {
    "PopulationSize": 12, "SpeciesTargetCount": 4, "InputNodeCount": 2, "OutputNodeCount": 3,
    "GenerationsToRun": 9, "TournamentSize": 3, "TournamentRange": 5, "ActivationIterations": -1,
    "MaxConnectionDelay": 2, "ReproduceMutateRate": 0.5, "MinSpeciesRelatedness": 2.5,
    "TargetFitness": 7.25, "ConnectionWeightMutationChance": 0.6,
    "ConnectionMutationBigChangeChance": 0.2, "ConnectionSplitChance": 0.07,
    "ConnectionAddChance": 0.09, "WeightUnrelatednessFactor": 0.3,
    "WeightPeturbationFactor": 1.5, "InitialWeightMagnitude": 2.0, "MaxLinkWeight": 4.5,
    "UseFitnessMonitor": False, "MutateCrossed": False, "ConnectNodesOfInitialPop": False,
    "ConnectOutputOfInitialPop": True, "AllowRecurrentLinks": False,
    "GenotypeIterationEvent": True, "SelectionType": "stLocalTournament",
    "SpeciesFitnessMethod": "sfmHighestFitness", "SurvivalThreshold": 0.25,
}


def test_every_published_setting_reaches_the_engine_by_name(tmp_path):
    defaults = neat.Population().Settings()
    assert set(defaults) == set(CHANGED)
    assert all(defaults[name] != value for name, value in CHANGED.items())
    population = neat.Population(**CHANGED)
    assert population.Settings() == CHANGED
    assert population.WeightUnrelatednessFactor == 0.3  # a single, shown as written
    neat.SavePopulationFile(population, tmp_path / "settings.json")
    saved = json.loads((tmp_path / "settings.json").read_text())["Settings"]
    assert saved == CHANGED
    # And the engine acts on them: 3 outputs, each with a self-connection and no inputs.
    population.CreateInitialPopulation()
    genotype = population.GenotypeList[11]
    assert len(population.GenotypeList) == 12 and genotype.OutputNodeCount == 3
    assert [(c.FromNode, c.ToNode) for c in genotype.ConnectList] == [(2, 2), (3, 3), (4, 4)]


def test_events_fire_at_the_engines_moments():
    population = neat.Population(PopulationSize=6, InputNodeCount=2, ActivationIterations=2)
    calls = []
    lent = []
    population.OnPrepareInitialGenotype = lambda pop, g: (calls.append("prepare"), lent.append(g))
    population.OnCalculateFitness = lambda pop, g: (calls.append("fitness"), 1.0 + g.GeneCount())[1]
    population.OnShowBestIndividual = lambda pop, g, different: calls.append(
        ("best", g == pop.BestIndividual, different, pop is population))
    population.CreateInitialPopulation()
    population.EvaluateGeneration()
    assert calls == ["prepare"] * 6 + ["fitness"] * 6 + [("best", True, True, True)]
    # The genotype under construction was lent for the call only.
    with pytest.raises(neat.EUsageError, match="lent to a handler"):
        lent[0].Fitness

    stages = []
    population.OnGenotypeIteration = lambda pop, g, state: stages.append(state)
    population.GenotypeList[0].Iterate()
    assert stages == []  # GenotypeIterationEvent is off
    population.GenotypeIterationEvent = True
    population.GenotypeList[0].Iterate()
    assert stages == ["isPreIterations", "isMidIterations", "isMidIterations", "isPostIterations"]


def test_transfer_functions_by_registered_name():
    before = neat.TransferFunctionNames()
    assert before[0] == "Sigmoid"
    neat.RegisterTransferFunction("Bell", "Gaussian")
    with pytest.raises(neat.EAssertionFailed) as error:
        neat.RegisterTransferFunction("bell", "MIN")
    assert error.value.message == "There is allready a transferfunction named bell!"
    with pytest.raises(ValueError, match="the kinds are Sigmoid, Gaussian, MAX, MIN, IF"):
        neat.RegisterTransferFunction("Step", "Heaviside")
    assert neat.TransferFunctionNames() == before + ["Bell"]
    population = neat.Population(PopulationSize=60, InputNodeCount=2, ConnectNodesOfInitialPop=False)
    population.CreateInitialPopulation()
    outputs = {}
    for g in population.GenotypeList:
        outputs.setdefault(g.NodeList[-1].TransferFunction, set()).add(g.Activate([0.5, 0.5])[0])
    assert {"Sigmoid", "Bell"} <= set(outputs) <= set(before + ["Bell"])
    # An output without connections: a Gaussian reads 1, a sigmoid 0.
    assert outputs["Bell"] == {1.0} and outputs["Sigmoid"] == {0.0}


def test_drawing(tmp_path):
    population = neat.Population(InputNodeCount=2)
    population.CreateInitialPopulation()
    genotype = population.GenotypeList[0]
    svg = neat.DrawGenotypeSvg(genotype, title="first & last", output_names=["exclusive"])
    assert svg.startswith("<?xml") and "first &amp; last" in svg and "exclusive" in svg
    assert "first" not in neat.DrawGenotypeSvg(genotype)
    neat.WriteGenotypeSvg(genotype, tmp_path / "drawn.svg", title="first & last",
                          output_names=["exclusive"])
    assert (tmp_path / "drawn.svg").read_text() == svg


def test_a_population_in_a_cycle_with_its_handler_is_freed():
    gc.collect()  # the earlier tests' populations
    neat.ClearGenePool()
    population = neat.Population(PopulationSize=20, InputNodeCount=2)
    population.OnCalculateFitness = lambda pop, g: population.CurrentGenotypeIndex + 1.0
    population.CreateInitialPopulation()
    population.EvaluateGeneration()
    assert neat.GenePoolSize() == (0, 0) and population.LivingSpeciesCount == 1
    del population
    gc.collect()
    # Freed, the population gives its genes back to the pool: 20 genomes and the species'
    # representative, each of 3 nodes and 2 connections.
    assert neat.GenePoolSize() == (63, 42)


def test_version_is_the_projects():
    cmake = pathlib.Path(__file__).parents[3] / "CMakeLists.txt"
    version = re.search(r"project\(Quillfrost VERSION ([0-9.]+)", cmake.read_text()).group(1)
    assert quillfrost.__version__ == neat.__version__ == version
