#!/usr/bin/python3
"""Evolves exclusive-or with the Quillfrost engine from Python: the same task, settings and
output as the C++ host (examples/xor), so a seed gives the same run, line for line, and the
checkpoints of either program resume in the other.

Task: inputs a, b in {0, 1} and a bias of 1; one output of the bipolar sigmoid, read as true
above 0. Each case runs on a fresh copy of the genome with one pass per node. Fitness: the
classic (4 - total error)^2 with the output mapped to [0, 1], 0 to 16. Solved: every case on
the right side of 0 by at least --margin.

The generation is scored in one batched call: every genome on the four cases in C++, the
fitness in numpy. --per-genome scores it through a Python fitness handler instead, genome by
genome and case by case through the network calls; the run is the same.

    xor.py [--seed N] [--max-generations N] [--margin M] [--per-genome]
           [--checkpoint FILE] [--checkpoint-evaluated FILE] [--resume FILE]
           [--save FILE] [--draw FILE.svg]
"""

import argparse
import sys

import numpy as np

import quillfrost.neat as neat

CASES = np.array([[0.0, 0.0, 1.0], [0.0, 1.0, 1.0], [1.0, 0.0, 1.0], [1.0, 1.0, 1.0]])
TARGETS = np.array([False, True, True, False])


def batched_fitness(population, margin):
    """Fitness of every genome of the generation, and whether one of them solves XOR."""
    out = population.Activate(CASES, iterations="nodes")[:, :, 0]  # genomes x cases
    miss = np.abs((out + 1.0) / 2.0 - TARGETS)
    # Summed case by case, in the C++ host's order, so the totals agree to the last bit.
    error = np.zeros(len(out))
    for case in range(len(CASES)):
        error += miss[:, case]
    right = np.where(TARGETS, out > margin, out < -margin).all(axis=1)
    return (4.0 - error) * (4.0 - error), bool(right.any())


def genome_fitness(genotype, margin):
    """The same for one genome, through the network calls."""
    error = 0.0
    all_right = True
    for (a, b, bias), target in zip(CASES, TARGETS):
        net = genotype.Clone()
        net.PreparePhenotype()
        net.SetInput(0, a)
        net.SetInput(1, b)
        net.SetInput(2, bias)
        net.Iterate(max(1, net.NodeCount))
        out = net.GetOutput(0)
        net.ReleaseToCache()
        error += abs((out + 1.0) / 2.0 - (1.0 if target else 0.0))
        all_right = all_right and (out > margin if target else out < -margin)
    return (4.0 - error) * (4.0 - error), all_right


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seed", type=int, help="the run's seed (default 1)")
    parser.add_argument("--max-generations", type=int, default=300)
    parser.add_argument("--margin", type=float, help="the margin of a solve (default 0.5)")
    parser.add_argument("--per-genome", action="store_true",
                        help="score through a Python fitness handler, genome by genome")
    parser.add_argument("--checkpoint", help="the population, after every breeding step")
    parser.add_argument("--checkpoint-evaluated", help="the population, after every evaluation")
    parser.add_argument("--resume", help="continue from a checkpoint of either kind")
    parser.add_argument("--save", help="the champion as a genome file")
    parser.add_argument("--draw", help="the champion as an SVG picture")
    args = parser.parse_args()

    # One run per process: the random source and the gene pool are the process's.
    neat.ClearGenePool()
    neat.SetRandSeed(1 if args.seed is None else args.seed)  # a resume takes the file's state
    population = neat.Population(PopulationSize=150, InputNodeCount=3, OutputNodeCount=1)
    host = neat.LoadPopulationFile(args.resume, population) if args.resume else {}
    # A checkpoint keeps what decides its run; another seed or margin would not continue it.
    # Checkpoints of earlier versions keep neither.
    seed = host.get("seed") if args.resume else str(1 if args.seed is None else args.seed)
    margin = float(host.get("margin", 0.5 if args.margin is None else args.margin))
    if args.resume and args.seed is not None and str(args.seed) != seed:
        parser.error(f"{args.resume} goes on from its own random state: --seed {args.seed} "
                     "cannot be given")
    if args.margin is not None and args.margin != margin:
        parser.error(f"{args.resume} continues a run solved with the margin {margin}, "
                     f"not {args.margin}")

    evaluations = 0
    solved = False

    def on_fitness(pop, genotype):
        nonlocal solved, evaluations
        fitness, right = genome_fitness(genotype, margin)
        solved = solved or right
        evaluations += 1
        return fitness

    if args.per_genome:
        population.OnCalculateFitness = on_fitness

    generation, evaluated = 1, False

    def checkpoint(file):
        if file:
            neat.SavePopulationFile(population, file, {
                "generation": str(generation),
                "stage": "evaluated" if evaluated else "bred",
                "evaluations": str(evaluations),
                "margin": repr(margin),
                **({"seed": seed} if seed else {})})

    if args.resume:
        generation = int(host["generation"])
        evaluations = int(host["evaluations"])
        evaluated = host["stage"] == "evaluated"
    else:
        population.ClearInnovations()
        population.CreateInitialPopulation()
        checkpoint(args.checkpoint)

    while True:
        if not evaluated:
            if generation > args.max_generations:
                break
            solved = False
            if args.per_genome:
                population.EvaluateGeneration()
            else:
                fitness, solved = batched_fitness(population, margin)
                evaluations += len(fitness)
                population.EvaluateGeneration(fitness)
            evaluated = True
            best = population.BestIndividual
            print(f"generation {generation}  best fitness {best.Fitness:.4f}  "
                  f"species {population.LivingSpeciesCount}  champion genes {best.GeneCount()}")
            if solved:
                break
            checkpoint(args.checkpoint_evaluated)
        population.CreateNextGeneration()
        generation += 1
        evaluated = False
        checkpoint(args.checkpoint)

    champion = population.BestIndividual
    if champion is not None:
        if args.save:
            neat.SaveGenotypeFile(champion, args.save)
        if args.draw:
            nodes = champion.NodeCount
            neat.WriteGenotypeSvg(
                champion, args.draw,
                title=f"XOR champion: fitness {champion.Fitness:.4f}, {nodes} nodes, "
                      f"{champion.GeneCount() - nodes} enabled connections")
    if solved:
        print(f"solved in generation {generation} after {evaluations} evaluations")
        return 0
    print(f"not solved within {args.max_generations} generations")
    return 1


if __name__ == "__main__":
    sys.exit(main())
