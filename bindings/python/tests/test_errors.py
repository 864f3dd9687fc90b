"""Bad input from Python gets a clear exception carrying the engine's message, and leaves
nothing broken: the population goes on, nothing crashes."""

import math
import threading

import numpy as np
import pytest

import quillfrost.neat as neat
from conftest import evolved

CASES = np.array([[0, 0, 1], [0, 1, 1], [1, 0, 1], [1, 1, 1]], dtype=float)


def started(**settings):
    population = neat.Population(PopulationSize=10, InputNodeCount=3, **settings)
    population.CreateInitialPopulation()
    return population


def test_settings_refuse_bad_names_types_and_values():
    with pytest.raises(TypeError, match="no setting or event named 'PopulatonSize'"):
        neat.Population(PopulatonSize=10)
    population = neat.Population()
    with pytest.raises(AttributeError):
        population.PopulatonSize = 10
    with pytest.raises(TypeError, match="PopulationSize takes an integer, not float"):
        population.PopulationSize = 1.5
    with pytest.raises(ValueError, match="PopulationSize must lie in"):
        population.PopulationSize = 2**40
    with pytest.raises(TypeError, match="AllowRecurrentLinks takes True or False"):
        population.AllowRecurrentLinks = "false"
    with pytest.raises(ValueError, match="stFitProp, stSpecies, stTournament, stLocalTournament"):
        population.SelectionType = "stRoulette"
    with pytest.raises(ValueError, match="single-precision"):
        population.MaxLinkWeight = 1e300
    for bad in (0.0, 1.0, -0.5, math.nan):
        with pytest.raises(neat.EAssertionFailed) as error:
            population.SurvivalThreshold = bad
        assert error.value.message == "SurvivalThreshold must be between 0 and 1"
    assert population.SurvivalThreshold == 0.4
    assert population.Settings()["PopulationSize"] == 150


def test_fitness_handler_failures_carry_the_message_and_breeding_waits():
    population = started()
    with pytest.raises(neat.EAssertionFailed, match="You must assign a OnCalculateFitness event!"):
        population.EvaluateGeneration()
    population.OnCalculateFitness = lambda pop, g: -1.0
    with pytest.raises(neat.EAssertionFailed) as error:
        population.EvaluateGeneration()
    assert error.value.message == "Fitness MUST be zero or above, -1.00 is not a valid fitness.!"
    population.OnCalculateFitness = lambda pop, g: "good"
    with pytest.raises(TypeError):
        population.EvaluateGeneration()

    def failing(pop, genotype):
        if pop.CurrentGenotypeIndex == 3:
            raise KeyError("the host's own error")
        return 1.0
    population.OnCalculateFitness = failing
    with pytest.raises(KeyError, match="the host's own error"):
        population.EvaluateGeneration()
    # An evaluation that did not finish is not bred from.
    with pytest.raises(neat.EUsageError, match="call EvaluateGeneration first"):
        population.CreateNextGeneration()
    with pytest.raises(neat.EAssertionFailed, match="At least one genotype must have a fitness > 0!"):
        population.EvaluateGeneration(np.zeros(10))
    with pytest.raises(ValueError, match="one value per genotype"):
        population.EvaluateGeneration(np.ones(9))
    with pytest.raises(neat.EAssertionFailed, match="NAN is not a valid fitness"):
        population.EvaluateGeneration(np.full(10, np.nan))
    population.EvaluateGeneration(np.arange(1.0, 11.0))
    population.CreateNextGeneration()
    assert len(population.GenotypeList) == 10


def test_networks_refuse_bad_indices_shapes_and_order():
    population = started()
    genotype = population.GenotypeList[0]
    with pytest.raises(neat.EListError) as error:
        genotype.SetInput(3, 1.0)
    assert isinstance(error.value, IndexError)
    with pytest.raises(neat.EAssertionFailed, match="At least 1 iteration is required!"):
        genotype.Iterate(0)
    clone = genotype.Clone()
    with pytest.raises(neat.EAssertionFailed, match="The phenotype hasn't been prepared"):
        clone.Activate(CASES, fresh=False)
    with pytest.raises(ValueError, match="the inputs have 2 values per case, genotype 0 has 3"):
        population.Activate(CASES[:, :2])
    with pytest.raises(ValueError, match="10 genotypes x cases x inputs"):
        population.Activate(np.zeros((4, 4, 3)))
    with pytest.raises(ValueError, match="a pass per node"):
        population.Activate(CASES, iterations="all")
    with pytest.raises(neat.EUsageError, match="belongs to the population"):
        genotype.ReleaseToCache()
    clone.ReleaseToCache()
    assert clone.NodeCount == 0 and genotype.NodeCount == 4


def test_genotypes_that_are_gone_raise_instead_of_crashing():
    population = started()
    population.OnCalculateFitness = lambda pop, g: 1.0 + pop.CurrentGenotypeIndex
    population.EvaluateGeneration()
    kept = population.GenotypeList[9]
    assert population.BestIndividual == kept
    population.CreateNextGeneration()
    # Bred over once, the evaluated generation is the previous one and still there.
    assert kept == population.PreviousGenotypeList[9] and kept.Fitness == 10.0
    population.EvaluateGeneration()
    population.CreateNextGeneration()
    with pytest.raises(neat.EUsageError, match="no longer exists"):
        kept.Fitness
    population.EvaluateGeneration()
    population.CreateInitialPopulation()
    assert population.BestIndividual is None
    with pytest.raises(IndexError):
        population.GenotypeList[10]


def test_host_operations_from_inside_a_handler_are_refused():
    population = started()
    refused = []

    def breeding_inside(pop, genotype):
        for operation in (pop.CreateNextGeneration, pop.CreateInitialPopulation,
                          pop.EvaluateGeneration):
            try:
                operation()
            except neat.EEngineBusy as error:
                refused.append(str(error))
        return 1.0
    population.OnCalculateFitness = breeding_inside
    population.EvaluateGeneration()
    assert len(refused) == 30
    population.CreateNextGeneration()


def test_a_batch_running_in_another_thread_refuses_other_callers():
    population = evolved(generations=2, GenotypeIterationEvent=True)
    entered, release = threading.Event(), threading.Event()

    def hold_the_batch(pop, genotype, state):
        if not entered.is_set():
            entered.set()
            release.wait(120)
    population.OnGenotypeIteration = hold_the_batch
    result = []
    batch = threading.Thread(target=lambda: result.append(population.Activate(CASES)))
    batch.start()
    try:
        assert entered.wait(120)
        for call in (lambda: population.GenotypeList[0].Fitness, lambda: neat.SetRandSeed(1),
                     population.CreateNextGeneration):
            with pytest.raises(neat.EEngineBusy, match="busy in another thread"):
                call()
    finally:
        release.set()
        batch.join(120)
    assert result[0].shape == (40, 4, 1)


def test_refused_files_change_nothing(tmp_path):
    population = evolved(generations=3)
    population.EvaluateGeneration()
    good = tmp_path / "good.json"
    neat.SavePopulationFile(population, good)
    text = good.read_text()
    broken = tmp_path / "broken.json"
    broken.write_text(text.replace('"NextNodeNumber": ', '"NextNodeNumber": -'))
    with pytest.raises(neat.EFormatError, match="broken.json"):
        neat.LoadPopulationFile(broken, population)
    with pytest.raises(neat.EFormatError, match="cannot be opened"):
        neat.LoadPopulationFile(tmp_path / "missing.json", population)
    with pytest.raises(OSError, match="cannot write"):
        neat.SavePopulationFile(population, tmp_path / "no" / "such" / "dir.json")
    neat.SavePopulationFile(population, tmp_path / "again.json")
    assert (tmp_path / "again.json").read_text() == text
