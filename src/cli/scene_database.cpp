#include "cli/scene_database.h"

#include "cli/storage_error.h"
#include "protocol/scene_commands.h"

namespace veltra::cli {

SceneDatabase::SceneDatabase(const std::string& path, bool forWriting) {
  if (!store_.Open(path))
    throw StorageError("cannot open the scene database " + path + " (" + store_.OpenError() + ")");
  if (!forWriting) return;
  try {
    store_.CheckWritable();
  } catch (const SceneStoreError& error) {
    throw StorageError("the scene database " + path + " cannot be written (" + error.what() + "): nothing was sent");
  }
}

void ApplySceneEffect(const ExchangeResult& e, SceneDatabase* db) {
  if (!db || e.outcome != ExchangeOutcome::Answered || !e.request.spec) return;
  const SceneEffect effect = e.request.spec->scene;
  const RequestValues& v = e.request.values;
  try {
    if (effect == SceneEffect::Save && e.decoded.effect == ReplyEffect::SaveScene) {
      SceneCodes codes;
      for (std::size_t k = 0; k < codes.size(); ++k)
        codes[k] = ChannelCode(k < v.channelItems.size() ? v.channelItems[k] : kNoChangeItem);
      db->Store().SaveScene(v["SCENE"], v["ADDR"], codes);
    } else if (effect == SceneEffect::DeleteModule && e.decoded.effect == ReplyEffect::DeleteModuleScenes) {
      db->Store().DeleteModule(v["ADDR"]);
    }
  } catch (const SceneStoreError& error) {
    throw StorageError("the module confirmed, but the scene database " + db->Path() + " refused the change (" +
                       error.what() + ")");
  }
}

}  // namespace veltra::cli
