#!/usr/bin/python3
"""Balances a pole on a cart with the Quillfrost engine from Python: the single-pole task of
examples/polebalance, driven genome by genome through a Python fitness handler.

A cart on a 4.8 m track carries a 1 m pole (0.1 kg) on a hinge; the network pushes it with
F = 10 o N, o its output cut into [-1, 1], every 0.02 s. Physics after Wieland (cart 1 kg,
friction on the track and the hinge), fourth-order Runge-Kutta in 0.01 s steps. A trial starts
with the pole at 4.5 degrees and everything else at rest, on a fresh copy of the network, and
fails when the cart leaves the track or the pole leans beyond 36 degrees. Inputs x / 4.8,
x' / 2, theta / 0.52, theta' / 2 and a bias of 0.5; one activation pass per decision. Fitness:
the decisions survived; solved when a genome survives --steps of them.

    cart_pole.py [--seed N] [--steps N] [--max-generations N] [--draw FILE.svg]
"""

import argparse
import math
import sys

import quillfrost.neat as neat

GRAVITY = -9.8
CART_MASS, POLE_MASS, HALF_LENGTH = 1.0, 0.1, 0.5
CART_FRICTION, HINGE_FRICTION = 0.0005, 0.000002
MAX_FORCE = 10.0
TIME_STEP, STEPS_PER_ACTION = 0.01, 2
TRACK_LIMIT, ANGLE_LIMIT = 2.4, math.radians(36.0)
BIAS = 0.5


def derivative(state, force):
    x, x_dot, theta, theta_dot = state
    sin_t, cos_t = math.sin(theta), math.cos(theta)
    hinge = HINGE_FRICTION * theta_dot / (POLE_MASS * HALF_LENGTH)
    pole_force = (POLE_MASS * HALF_LENGTH * theta_dot * theta_dot * sin_t
                  + 0.75 * POLE_MASS * cos_t * (hinge + GRAVITY * sin_t))
    pole_mass = POLE_MASS * (1.0 - 0.75 * cos_t * cos_t)
    sign = (x_dot > 0.0) - (x_dot < 0.0)
    x_acc = (force - CART_FRICTION * sign + pole_force) / (CART_MASS + pole_mass)
    theta_acc = -0.75 / HALF_LENGTH * (x_acc * cos_t + GRAVITY * sin_t + hinge)
    return (x_dot, x_acc, theta_dot, theta_acc)


def advance(state, d, h):
    return tuple(s + h * ds for s, ds in zip(state, d))


def step(state, force):
    h = TIME_STEP
    k1 = derivative(state, force)
    k2 = derivative(advance(state, k1, h / 2), force)
    k3 = derivative(advance(state, k2, h / 2), force)
    k4 = derivative(advance(state, k3, h), force)
    return tuple(s + h / 6 * (a + 2 * b + 2 * c + d)
                 for s, a, b, c, d in zip(state, k1, k2, k3, k4))


def trial(genotype, max_steps):
    """Decisions survived, up to max_steps."""
    net = genotype.Clone()  # a fresh network: nothing carries over from an earlier trial
    net.PreparePhenotype()
    state = (0.0, 0.0, math.radians(4.5), 0.0)
    steps = 0
    while steps < max_steps:
        x, x_dot, theta, theta_dot = state
        net.SetInput(0, x / 4.8)
        net.SetInput(1, x_dot / 2.0)
        net.SetInput(2, theta / 0.52)
        net.SetInput(3, theta_dot / 2.0)
        net.SetInput(4, BIAS)
        net.Iterate()
        output = net.GetOutput(0)
        force = MAX_FORCE * min(1.0, max(-1.0, output))
        for _ in range(STEPS_PER_ACTION):
            state = step(state, force)
        if abs(state[0]) > TRACK_LIMIT or abs(state[2]) > ANGLE_LIMIT:
            break
        steps += 1
    net.ReleaseToCache()
    return steps


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--steps", type=int, default=100_000)
    parser.add_argument("--max-generations", type=int, default=100)
    parser.add_argument("--draw", help="the solver as an SVG picture")
    args = parser.parse_args()

    neat.ClearGenePool()
    neat.SetRandSeed(args.seed)
    population = neat.Population(InputNodeCount=5, OutputNodeCount=1, ActivationIterations=1)
    evaluations = 0
    solver = None

    def on_fitness(pop, genotype):
        nonlocal evaluations, solver
        evaluations += 1
        steps = trial(genotype, args.steps)
        if steps == args.steps and solver is None:
            solver = pop.CurrentGenotypeIndex
        return float(steps)

    population.OnCalculateFitness = on_fitness
    population.ClearInnovations()
    population.CreateInitialPopulation()
    for generation in range(1, args.max_generations + 1):
        population.EvaluateGeneration()
        best = population.BestIndividual
        print(f"generation {generation}  best steps {best.Fitness:.0f}  "
              f"species {population.LivingSpeciesCount}  champion genes {best.GeneCount()}")
        if solver is not None:
            champion = population.GenotypeList[solver]
            print(f"solved in generation {generation} after {evaluations} evaluations: "
                  f"{champion.NodeCount} nodes, {champion.GeneCount() - champion.NodeCount} "
                  "enabled connections")
            if args.draw:
                neat.WriteGenotypeSvg(champion, args.draw, title="single pole balanced")
            return 0
        population.CreateNextGeneration()
    print(f"not solved within {args.max_generations} generations")
    return 1


if __name__ == "__main__":
    sys.exit(main())
