#include "cli/scene_database.h"

#include "protocol/scene_commands.h"

namespace veltra::cli {

SceneDatabase::SceneDatabase(const std::string& path) {
  if (!store_.Open(path)) throw std::runtime_error("cannot open the scene database: " + store_.OpenError());
}

void ApplySceneEffect(const ExchangeResult& e, SceneDatabase* db) {
  if (!db || e.outcome != ExchangeOutcome::Answered || !e.request.spec) return;
  const SceneEffect effect = e.request.spec->scene;
  const RequestValues& v = e.request.values;
  if (effect == SceneEffect::Save && e.decoded.effect == ReplyEffect::SaveScene) {
    SceneCodes codes;
    for (std::size_t k = 0; k < codes.size(); ++k)
      codes[k] = ChannelCode(k < v.channelItems.size() ? v.channelItems[k] : kNoChangeItem);
    db->Store().SaveScene(v["SCENE"], v["ADDR"], codes);
  } else if (effect == SceneEffect::DeleteModule && e.decoded.effect == ReplyEffect::DeleteModuleScenes) {
    db->Store().DeleteModule(v["ADDR"]);
  }
}

}  // namespace veltra::cli
