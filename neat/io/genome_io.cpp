// Genome files: save, and load into a genome of a population.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "neat/gene_pool.h"
#include "neat/genotype.h"
#include "neat/io/build.h"
#include "neat/io/format.h"
#include "neat/io/json_text.h"
#include "neat/io/neat_io.h"
#include "neat/population.h"
#include "neat/transfer_functions.h"

namespace qf::io {

void BuildGenome(const GenomeRecord& r, const std::vector<TTransferFunction*>& transfer,
                 TGenotype& target) {
  TCacheHandler& cache = CacheHandler();
  target.NodeList.Reserve(static_cast<int32_t>(r.Nodes.size()));
  for (size_t i = 0; i < r.Nodes.size(); ++i) {
    const NodeRecord& nr = r.Nodes[i];
    TNode* n = cache.GetNode(&target);
    n->Number = nr.Number;
    n->IsInput = nr.IsInput;
    n->IsOutput = nr.IsOutput;
    n->NoSplitFrom = nr.NoSplitFrom;
    n->Depth = nr.Depth;
    n->TransferFunction = transfer[i];
    n->Value = nr.Value;
    n->PreviousValue = nr.PreviousValue;
    n->NetInput = nr.NetInput;
    std::copy(std::begin(nr.TransferState), std::end(nr.TransferState), n->TransferState);
    target.AddNode(n);
  }
  target.ConnectList.Reserve(static_cast<int32_t>(r.Connects.size()));
  for (const ConnectRecord& cr : r.Connects) {
    TConnect* c = cache.GetConnect(&target);
    c->InnovationNumber = cr.InnovationNumber;
    c->FromNode = cr.FromNode;
    c->ToNode = cr.ToNode;
    c->Weight = cr.Weight;
    c->Enabled = cr.Enabled;
    c->Delay = cr.Delay;
    std::copy(std::begin(cr.DelayLine), std::end(cr.DelayLine), c->DelayLine);
    target.AddConnect(c);
  }
  target.Fitness = r.Fitness;
  target.AdjustedFitness = r.AdjustedFitness;
  target.MaxNodeDepth = r.MaxNodeDepth;
  target.SetExpectedOffspring(r.ExpectedOffspring);
  target.Tag = r.Tag;
  if (r.Prepared) target.PreparePhenotype();
}

namespace {
std::string TooLarge(const std::string& what, uintmax_t bytes) {
  return what + ": " + std::to_string(bytes) + " bytes, more than the " +
         std::to_string(kMaxTextBytes) + " a genome file or checkpoint may hold";
}
}  // namespace

std::string ReadAll(std::istream& in, const std::string& what) {
  std::string text;
  size_t size = 0;
  const std::istream::pos_type start = in.tellg();
  if (start != std::istream::pos_type(-1) && in.seekg(0, std::ios::end)) {
    const std::streamoff length = in.tellg() - start;
    in.seekg(start);
    if (length > static_cast<std::streamoff>(kMaxTextBytes)) {
      throw EFormatError(TooLarge(what, static_cast<uintmax_t>(length)));
    }
    size = static_cast<size_t>(std::max<std::streamoff>(length, 0));
  }
  in.clear();
  // Checked as it comes in: a file of brackets is refused at its first few, a stream without
  // end at the size limit.
  NestingCheck nesting;
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    const auto n = static_cast<size_t>(in.gcount());
    if (text.size() + n > kMaxTextBytes) throw EFormatError(TooLarge(what, text.size() + n));
    text.append(buffer, n);
    try {
      nesting.Scan(text, text.size() - n);
    } catch (const EFormatError& e) {
      throw EFormatError(what + ": " + e.what());
    }
    // Room for the whole once its start looks like a file of ours; with simdjson's padding
    // behind it, the reader parses in place.
    if (text.capacity() < size + kTextPadding) text.reserve(size + kTextPadding);
  }
  if (in.bad()) throw EFormatError(what + ": cannot be read");
  return text;
}

std::string ReadFileText(const std::filesystem::path& file) {
  namespace fs = std::filesystem;
  const std::string what = file.string();
  // A directory opens and then reads as nothing sensible, a pipe or device may never end.
  std::error_code ec;
  const fs::file_status status = fs::status(file, ec);
  if (ec) throw EFormatError(what + ": cannot be opened: " + ec.message());
  if (fs::is_directory(status)) throw EFormatError(what + ": is a directory");
  if (!fs::is_regular_file(status)) throw EFormatError(what + ": is not a regular file");
  std::ifstream in(file, std::ios::binary);
  if (!in) throw EFormatError(what + ": cannot be opened: " + std::strerror(errno));
  return ReadAll(in, what);
}

void WriteStream(std::ostream& out, const std::string& text) {
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.flush();
  if (!out) throw std::runtime_error("the text could not be written");
}

void WriteFileAtomically(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::path temporary = file;
  temporary += ".partial";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
      std::error_code ec;
      std::filesystem::remove(temporary, ec);
      throw std::runtime_error("cannot write " + file.string());
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, file, ec);
  if (ec) {
    std::filesystem::remove(temporary, ec);
    throw std::runtime_error("cannot write " + file.string() + ": " + ec.message());
  }
}

void SaveGenotype(const TGenotype& genotype, std::ostream& out) {
  WriteStream(out, WriteGenomeText(CaptureGenome(genotype, -1)));
}

void SaveGenotypeFile(const TGenotype& genotype, const std::filesystem::path& file) {
  WriteFileAtomically(file, WriteGenomeText(CaptureGenome(genotype, -1)));
}

namespace {

void LoadGenotypeText(const std::string& text, const std::string& what, TGenotype& target,
                      const GenotypeLoadOptions& options) {
  TNEATPopulation* population = target.NEATPopulation;
  if (!population) throw std::invalid_argument("the genome to load into belongs to no population");
  const GenomeRecord r = ReadGenomeText(text, what, ShapeOf(*population));

  // Everything is looked up and checked before the target changes.
  const TTransferFunctionList& registry = TransferFunctionList();
  std::vector<TTransferFunction*> transfer;
  transfer.reserve(r.Nodes.size());
  for (size_t i = 0; i < r.Nodes.size(); ++i) {
    const int32_t index = registry.IndexOf(r.Nodes[i].TransferFunction);
    if (index < 0) {
      throw EFormatError(what + ": $.Genotype.Nodes[" + std::to_string(i) +
                         "]: transfer function \"" + r.Nodes[i].TransferFunction +
                         "\" is not registered");
    }
    transfer.push_back(registry.Items(index));
  }
  const int32_t nodeBound = r.Nodes.empty() ? 0 : r.Nodes.back().Number + 1;
  const int32_t innovationBound = r.Connects.empty() ? 0 : r.Connects.back().InnovationNumber + 1;
  if (!options.AdvanceCounters) {
    if (nodeBound > population->NextNodeNumber) {
      throw EFormatError(what + ": $.Genotype.Nodes: node number " +
                         std::to_string(nodeBound - 1) + " is not below the population's " +
                         "NextNodeNumber " + std::to_string(population->NextNodeNumber));
    }
    if (innovationBound > population->NextInnovation) {
      throw EFormatError(what + ": $.Genotype.Connections: innovation " +
                         std::to_string(innovationBound - 1) + " is not below the population's " +
                         "NextInnovation " + std::to_string(population->NextInnovation));
    }
  }

  if (options.AdvanceCounters) {
    population->NextNodeNumber = std::max(population->NextNodeNumber, nodeBound);
    population->NextInnovation = std::max(population->NextInnovation, innovationBound);
  }
  target.ReleaseToCache();
  target.SpeciesHint = nullptr;
  BuildGenome(r, transfer, target);
}

}  // namespace

void LoadGenotype(std::istream& in, TGenotype& target, const GenotypeLoadOptions& options) {
  LoadGenotypeText(ReadAll(in, "genome"), "genome", target, options);
}

void LoadGenotypeFile(const std::filesystem::path& file, TGenotype& target,
                      const GenotypeLoadOptions& options) {
  LoadGenotypeText(ReadFileText(file), file.string(), target, options);
}

std::unique_ptr<TGenotype> LoadGenotypeFile(const std::filesystem::path& file,
                                            TNEATPopulation& population,
                                            const GenotypeLoadOptions& options) {
  auto genotype = std::make_unique<TGenotype>(&population);
  LoadGenotypeFile(file, *genotype, options);
  return genotype;
}

}  // namespace qf::io
