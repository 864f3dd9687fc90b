// XOR evolved through the installed engine, the champion kept in a genome file and loaded back:
// prints the generation that solved it and exits 0 when the loaded champion solves it too.
#include <quillfrost/base/random.h>
#include <quillfrost/neat/genotype.h>
#include <quillfrost/neat/io/neat_io.h>
#include <quillfrost/neat/io/svg.h>
#include <quillfrost/neat/population.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

// Every case on a fresh copy, on the right side of 0 by at least 0.5; fitness (4 - error)^2.
double Fitness(const qf::TGenotype& genome, bool& solved) {
  double error = 0.0;
  solved = true;
  for (int a = 0; a < 2; ++a) {
    for (int b = 0; b < 2; ++b) {
      auto net = genome.Clone();
      net->PreparePhenotype();
      net->SetInput(0, a);
      net->SetInput(1, b);
      net->SetInput(2, 1.0);
      net->Iterate(net->NodeList.Count());
      const double out = net->GetOutput(0);
      net->ReleaseToCache();
      error += std::fabs((out + 1.0) / 2.0 - (a ^ b));
      solved = solved && ((a ^ b) ? out > 0.5 : out < -0.5);
    }
  }
  return (4.0 - error) * (4.0 - error);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string file = argc > 1 ? argv[1] : "champion.json";
  qf::SetRandSeed(1);
  qf::TNEATPopulation population(nullptr);
  population.InputNodeCount = 3;
  population.OutputNodeCount = 1;
  const qf::TGenotype* solver = nullptr;
  population.OnCalculateFitness = [&](qf::TNEATPopulation*, qf::TGenotype* genome) {
    bool solved = false;
    const double fitness = Fitness(*genome, solved);
    if (solved && !solver) solver = genome;
    return fitness;
  };
  population.CreateInitialPopulation();
  for (int generation = 1; generation <= 300; ++generation) {
    population.EvaluateGeneration();
    if (solver) {
      qf::io::SaveGenotypeFile(*solver, file);
      const auto loaded = qf::io::LoadGenotypeFile(file, population);
      bool solved = false;
      Fitness(*loaded, solved);
      const bool drawn = qf::io::DrawGenotypeSvg(*loaded).find("<svg") != std::string::npos;
      std::printf("XOR solved in generation %d by a genome of %d genes; loaded back: %s%s\n",
                  generation, loaded->GeneCount(), solved ? "solves" : "FAILS",
                  drawn ? "" : ", NOT DRAWN");
      return solved && drawn ? 0 : 1;
    }
    population.CreateNextGeneration();
  }
  std::printf("XOR not solved in 300 generations\n");
  return 1;
}
