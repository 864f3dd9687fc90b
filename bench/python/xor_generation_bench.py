#!/usr/bin/python3
"""One XOR generation driven from Python against the same in C++: 150 genomes of 3 inputs and
1 output, scored by the XOR example's fitness (each case on a fresh copy of the genome, a pass
per node), evaluated and bred; the mean over generations 1 to 100 of runs from seed 777, as
bench/neat's BM_GenerationXor150RealFitness measures it in C++.

    xor_generation_bench.py [--cpp PATH/generation_bench] [--runs N]

Python is measured two ways: through a fitness handler that runs the networks genome by genome
(per-genome), and in one batched call per generation with the fitness computed in numpy
(batched). Times are CPU times of the process, like Google Benchmark's.
"""

import argparse
import json
import os
import subprocess
import sys
import time

import quillfrost.neat as neat

sys.path.insert(0, os.environ.get("QF_EXAMPLES", os.path.join(os.path.dirname(__file__), "..", "..",
                                                              "examples", "python")))
from xor import batched_fitness, genome_fitness  # noqa: E402  the example's own fitness

SPAN = 100  # generations per run, as in the C++ benchmark


def per_generation(batched, runs):
    neat.ClearGenePool()
    neat.SetRandSeed(777)
    population = neat.Population(PopulationSize=150, InputNodeCount=3, OutputNodeCount=1)
    if not batched:
        population.OnCalculateFitness = lambda pop, g: genome_fitness(g, 0.5)[0]
    spent = 0
    for _ in range(runs):
        population.ClearInnovations()
        population.CreateInitialPopulation()
        for _ in range(SPAN):
            start = time.process_time_ns()
            if batched:
                population.EvaluateGeneration(batched_fitness(population, 0.5)[0])
            else:
                population.EvaluateGeneration()
            population.CreateNextGeneration()
            spent += time.process_time_ns() - start
    return spent / (runs * SPAN) / 1e6


def cpp_per_generation(program):
    done = subprocess.run([program, "--benchmark_filter=BM_GenerationXor150",
                           "--benchmark_format=json", "--benchmark_repetitions=3",
                           "--benchmark_report_aggregates_only=true"],
                          capture_output=True, text=True, check=True)
    figures = {}
    for b in json.loads(done.stdout)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0}[b["time_unit"]]
            figures[b["run_name"]] = b["cpu_time"] * scale
    return figures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cpp", help="bench/neat's generation_bench program")
    parser.add_argument("--runs", type=int, default=3, help="runs of 100 generations per figure")
    args = parser.parse_args()

    print("One XOR generation, 150 genomes (evaluation with the real fitness, then breeding),")
    print(f"mean over generations 1-{SPAN} of {args.runs} runs, CPU time per generation:")
    cpp = None
    if args.cpp:
        figures = cpp_per_generation(args.cpp)
        cpp = figures["BM_GenerationXor150RealFitness"]
        print(f"  C++, the engine alone (trivial fitness)   {figures['BM_GenerationXor150']:7.3f} ms")
        print(f"  C++ host                                  {cpp:7.3f} ms")
    for label, batched in (("Python, batched (Activate + numpy)", True),
                           ("Python, per-genome fitness handler", False)):
        ms = per_generation(batched, args.runs)
        ratio = f"  {ms / cpp:5.2f} x C++" if cpp else ""
        print(f"  {label:<40}  {ms:7.3f} ms{ratio}")


if __name__ == "__main__":
    main()
