#include "cli/scene_database.h"

#include "scenes/scene_commands.h"

namespace veltra::cli {

SceneDatabase::SceneDatabase(const std::string& path) {
  // Qt SQL finds its driver through an application object.
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "veltra-cli";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QCoreApplication>(argc, argv);
  }
  store_ = std::make_unique<SceneStore>();
  if (!store_->OpenSceneFile(QString::fromStdString(path)))
    throw std::runtime_error("cannot open the scene database: " + store_->OpenError().toStdString());
}

// The store goes before the application object it needs.
SceneDatabase::~SceneDatabase() { store_.reset(); }

void ApplySceneEffect(const Command& command, const Values& v, const Exchange& e, SceneDatabase* db) {
  if (!db || e.outcome != SendOutcome::Replied) return;
  if (command.scene == SceneEffect::Save && e.decoded.effect == ReplyEffect::SaveScene) {
    std::array<QString, kChannelCount> codes;
    for (std::size_t k = 0; k < codes.size(); ++k)
      codes[k] = QString::fromStdString(ChannelCode(k < v.channelItems.size() ? v.channelItems[k] : kNoChangeItem));
    db->Store().SaveSceneRecord(v["SCENE"], v["ADDR"], codes);
  } else if (command.scene == SceneEffect::DeleteModule && e.decoded.effect == ReplyEffect::DeleteModuleScenes) {
    db->Store().DeleteModuleScenes(v["ADDR"]);
  }
}

}  // namespace veltra::cli
