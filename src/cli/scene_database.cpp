#include "cli/scene_database.h"

#include <iostream>

#include "cli/storage_error.h"
#include "protocol/scene_commands.h"

namespace veltra::cli {
namespace {

// Qt SQL's warnings ("QSqlDatabasePrivate::removeDatabase: ...") are not
// the tool's to show: it says what failed in its own words.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::cerr << message.toStdString() << '\n';
}

}  // namespace

SceneDatabase::SceneDatabase(const std::string& path, bool forWriting) : path_(path) {
  qInstallMessageHandler(QuietQtMessages);
  // Qt SQL finds its driver through an application object.
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "veltra-cli";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QCoreApplication>(argc, argv);
  }
  store_ = std::make_unique<SceneStore>();
  if (!store_->OpenSceneFile(QString::fromStdString(path)))
    throw StorageError("cannot open the scene database " + path + " (" + store_->OpenError().toStdString() + ")");
  if (!forWriting) return;
  try {
    store_->CheckWritable();
  } catch (const SceneStoreError& error) {
    throw StorageError("the scene database " + path + " cannot be written (" + error.what() +
                       "): nothing was sent");
  }
}

// The store goes before the application object it needs.
SceneDatabase::~SceneDatabase() { store_.reset(); }

void ApplySceneEffect(const ExchangeResult& e, SceneDatabase* db) {
  if (!db || e.outcome != ExchangeOutcome::Answered || !e.request.spec) return;
  const SceneEffect effect = e.request.spec->scene;
  const RequestValues& v = e.request.values;
  try {
    if (effect == SceneEffect::Save && e.decoded.effect == ReplyEffect::SaveScene) {
      std::array<QString, kChannelCount> codes;
      for (std::size_t k = 0; k < codes.size(); ++k)
        codes[k] = QString::fromStdString(ChannelCode(k < v.channelItems.size() ? v.channelItems[k] : kNoChangeItem));
      db->Store().SaveSceneRecord(v["SCENE"], v["ADDR"], codes);
    } else if (effect == SceneEffect::DeleteModule && e.decoded.effect == ReplyEffect::DeleteModuleScenes) {
      db->Store().DeleteModuleScenes(v["ADDR"]);
    }
  } catch (const SceneStoreError& error) {
    throw StorageError("the module confirmed, but the scene database " + db->Path() + " refused the change (" +
                       error.what() + ")");
  }
}

}  // namespace veltra::cli
