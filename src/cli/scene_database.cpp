#include "cli/scene_database.h"

#include "protocol/scene_commands.h"

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

void ApplySceneEffect(const ExchangeResult& e, SceneDatabase* db) {
  if (!db || e.outcome != ExchangeOutcome::Answered || !e.request.spec) return;
  const SceneEffect effect = e.request.spec->scene;
  const RequestValues& v = e.request.values;
  if (effect == SceneEffect::Save && e.decoded.effect == ReplyEffect::SaveScene) {
    std::array<QString, kChannelCount> codes;
    for (std::size_t k = 0; k < codes.size(); ++k)
      codes[k] = QString::fromStdString(ChannelCode(k < v.channelItems.size() ? v.channelItems[k] : kNoChangeItem));
    db->Store().SaveSceneRecord(v["SCENE"], v["ADDR"], codes);
  } else if (effect == SceneEffect::DeleteModule && e.decoded.effect == ReplyEffect::DeleteModuleScenes) {
    db->Store().DeleteModuleScenes(v["ADDR"]);
  }
}

}  // namespace veltra::cli
