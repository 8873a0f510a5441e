#pragma once
// The scene table of --scene-db: confirmed scenes are written there with the
// window's rules, and "plan export" reads it.
#include <QCoreApplication>
#include <memory>
#include <string>

#include "link/exchange.h"
#include "scenes/scene_store.h"

namespace veltra::cli {

class SceneDatabase {
 public:
  // Opens an existing database and makes sure, before anything is sent,
  // that it takes writes (forWriting). Throws StorageError with the reason.
  // Qt's own messages are kept off the standard error from here on.
  SceneDatabase(const std::string& path, bool forWriting);
  ~SceneDatabase();
  SceneStore& Store() { return *store_; }

 private:
  std::string path_;
  std::unique_ptr<QCoreApplication> app_;
  std::unique_ptr<SceneStore> store_;

 public:
  const std::string& Path() const { return path_; }
};

// What the answer to a scene request changes in the scene table, as in the
// window, with the values that were sent: a scene set is stored, a scene
// clear removes the module's scenes. Throws StorageError when the database
// refuses.
void ApplySceneEffect(const ExchangeResult& exchange, SceneDatabase* db);

}  // namespace veltra::cli
