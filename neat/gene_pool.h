#pragma once
// The process-wide pool of spare node and connection objects. Breeding creates and discards
// whole genomes every generation; their genes come back here and are handed out again, most
// recently returned first. A pooled object keeps some stale fields (see ResetForPool), so
// every taker sets all the fields it relies on. What the pool holds decides random draws
// (population.h: one run per process).

#include "neat/genes.h"

namespace qf {

class TCacheHandler {
public:
  TCacheHandler() = default;
  ~TCacheHandler();
  TCacheHandler(const TCacheHandler&) = delete;
  TCacheHandler& operator=(const TCacheHandler&) = delete;

  TNodeList NodePool{false};        // owned
  TConnectList ConnectPool{false};  // owned

  // The last returned spare object for the genotype, or a new one when the pool is empty.
  TNode* GetNode(TGenotype* genotype);
  TConnect* GetConnect(TGenotype* genotype);

  // Resets the object and keeps it for the next taker.
  void ReturnNode(TNode* node);
  void ReturnConnect(TConnect* connect);

  // Frees every pooled object.
  void Clear();
};

// The one pool of the process, created on first use and freed at process exit.
TCacheHandler& CacheHandler();

}  // namespace qf
