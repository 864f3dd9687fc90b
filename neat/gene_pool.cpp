#include "neat/gene_pool.h"

#include "base/errors.h"

namespace qf {

TCacheHandler::~TCacheHandler() { Clear(); }

TNode* TCacheHandler::GetNode(TGenotype* genotype) {
  TNode* node = NodePool.ExtractLast();
  if (node) {
    node->Genotype = genotype;
  } else {
    node = new TNode(genotype);
  }
  QF_ASSERT(node != nullptr, "Failed to retrieve a node!");
  return node;
}

TConnect* TCacheHandler::GetConnect(TGenotype* genotype) {
  TConnect* connect = ConnectPool.ExtractLast();
  if (connect) {
    connect->Genotype = genotype;
  } else {
    connect = new TConnect(genotype);
  }
  QF_ASSERT(connect != nullptr, "Failed to retrieve a Connect!");
  return connect;
}

void TCacheHandler::ReturnNode(TNode* node) {
  QF_ASSERT(node != nullptr, "Can't cache a nil node!");
  node->ResetForPool();
  NodePool.Add(node);
}

void TCacheHandler::ReturnConnect(TConnect* connect) {
  QF_ASSERT(connect != nullptr, "Can't cache a nil connect!");
  connect->ResetForPool();
  ConnectPool.Add(connect);
}

void TCacheHandler::Clear() {
  for (TNode* node : NodePool) delete node;
  NodePool.Clear();
  for (TConnect* connect : ConnectPool) delete connect;
  ConnectPool.Clear();
}

namespace {
// Constant-initialised, so the pool can be reached from any static initialiser; the holder
// is constructed before main and therefore outlives every object the program makes later.
TCacheHandler* g_cache = nullptr;
struct CacheHolder {
  ~CacheHolder() {
    delete g_cache;
    g_cache = nullptr;
  }
} g_cacheHolder;
}  // namespace

TCacheHandler& CacheHandler() {
  if (!g_cache) g_cache = new TCacheHandler;
  return *g_cache;
}

}  // namespace qf
