#pragma once
// The scene table of --scene-db: confirmed scenes are written there with the
// window's rules, and "plan export" reads it. No application object needed.
#include <string>

#include "link/exchange.h"
#include "scenes/scene_repository.h"

namespace veltra::cli {

class SceneDatabase {
 public:
  // Opens an existing database; throws std::runtime_error with the reason.
  explicit SceneDatabase(const std::string& path);
  SceneRepository& Store() { return store_; }

 private:
  SceneRepository store_;
};

// What the answer to a scene request changes in the scene table, as in the
// window, with the values that were sent: a scene set is stored, a scene
// clear removes the module's scenes.
void ApplySceneEffect(const ExchangeResult& exchange, SceneDatabase* db);

}  // namespace veltra::cli
