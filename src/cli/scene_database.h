#pragma once
// The scene table of --scene-db: confirmed scenes are written there with the
// window's rules, and "plan export" reads it. No application object needed.
#include <string>

#include "link/exchange.h"
#include "scenes/scene_repository.h"

namespace veltra::cli {

class SceneDatabase {
 public:
  // Opens an existing database and makes sure, before anything is sent,
  // that it takes writes (forWriting). Throws StorageError with the reason.
  SceneDatabase(const std::string& path, bool forWriting);
  SceneRepository& Store() { return store_; }
  const std::string& Path() const { return store_.Path(); }

 private:
  SceneRepository store_;
};

// What the answer to a scene request changes in the scene table, as in the
// window, with the values that were sent: a scene set is stored, a scene
// clear removes the module's scenes. Throws StorageError when the table
// refuses (the bus has changed by then; the message says so).
void ApplySceneEffect(const ExchangeResult& exchange, SceneDatabase* db);

}  // namespace veltra::cli
