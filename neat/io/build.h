#pragma once
// Records into engine objects, and the file plumbing shared by genomes and checkpoints.
// Internal to the io library.

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "neat/io/records.h"

namespace qf {
class TTransferFunction;
}

namespace qf::io {

// Fills an empty genome with the record's genes (taken from the pool), fields and network
// state, and prepares it when the record was prepared. transfer[i] is node i's function.
// The record must have been checked.
void BuildGenome(const GenomeRecord& record, const std::vector<TTransferFunction*>& transfer,
                 TGenotype& target);

// Room kept behind a text read, so the parser need not copy it (simdjson's padding).
inline constexpr size_t kTextPadding = 64;
std::string ReadAll(std::istream& in, const std::string& what);
std::string ReadFileText(const std::filesystem::path& file);
// Writes beside the file and renames it over the old one only when every byte was written.
void WriteFileAtomically(const std::filesystem::path& file, const std::string& text);
void WriteStream(std::ostream& out, const std::string& text);

}  // namespace qf::io
