#include "web/run_status.h"

#include "secrets/masked_text.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace web {

namespace {

QJsonValue timeValue(const QDateTime& moment) {
    return moment.isValid()
               ? QJsonValue(
                     moment.toOffsetFromUtc(moment.offsetFromUtc()).toString(Qt::ISODateWithMs))
               : QJsonValue();
}

QString fileName(const QString& path) {
    return path.section(QLatin1Char('/'), -1);
}

} // namespace

QByteArray statusJson(const runs::RunState& state) {
    QJsonObject latest;
    if (!state.latestPicture.isEmpty()) {
        latest.insert(QStringLiteral("number"), state.latestNumber);
        latest.insert(QStringLiteral("file"), fileName(state.latestPicture));
        latest.insert(QStringLiteral("captured"), timeValue(state.latestCaptured));
    }
    QJsonObject o;
    o.insert(QStringLiteral("running"), state.running);
    o.insert(QStringLiteral("run"), fileName(state.runFolder));
    o.insert(QStringLiteral("since"), timeValue(state.since));
    o.insert(QStringLiteral("taken"), state.taken);
    o.insert(QStringLiteral("notSaved"), state.notSaved);
    o.insert(QStringLiteral("lastReason"), secrets::masked(state.lastReason));
    o.insert(QStringLiteral("camera"),
             state.cameraLost ? QStringLiteral("lost") : QStringLiteral("working"));
    o.insert(QStringLiteral("cameraReason"), secrets::masked(state.cameraReason));
    o.insert(QStringLiteral("cameraName"), secrets::masked(state.cameraName));
    o.insert(QStringLiteral("nextDue"), timeValue(state.nextDue));
    o.insert(QStringLiteral("diskFullIn"), state.diskFullIn);
    o.insert(QStringLiteral("interval"), state.interval);
    o.insert(QStringLiteral("stopAt"), state.stopAt > 0 ? QJsonValue(state.stopAt) : QJsonValue());
    o.insert(QStringLiteral("latest"), latest.isEmpty() ? QJsonValue() : QJsonValue(latest));
    o.insert(QStringLiteral("stoppedAt"), timeValue(state.stoppedAt));
    o.insert(QStringLiteral("stopReason"), secrets::masked(state.stopReason));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

StatusBoard::StatusBoard() : snapshot_(std::make_shared<Snapshot>(Snapshot{{}, statusJson({})})) {}

void StatusBoard::publish(const runs::RunState& state) {
    auto next = std::make_shared<const Snapshot>(Snapshot{state, statusJson(state)});
    const std::lock_guard lock(mutex_);
    snapshot_ = std::move(next);
}

std::shared_ptr<const StatusBoard::Snapshot> StatusBoard::snapshot() const {
    const std::lock_guard lock(mutex_);
    return snapshot_;
}

} // namespace web
