#include "camera_protocol/control_values.h"

#include <optional>

namespace camera {

namespace {

bool isAutomatic(const CameraControl& control) {
    const bool named = control.key.contains(QLatin1String("auto"));
    return named && (control.kind == CameraControl::Kind::Boolean ||
                     control.kind == CameraControl::Kind::Menu);
}

// The menu entry of an automatic-mode menu that means manual ("Manual Mode").
std::optional<std::int64_t> manualEntry(const CameraControl& control) {
    for (const auto& [index, name] : control.menu)
        if (name.contains(QLatin1String("manual"), Qt::CaseInsensitive)) return index;
    return std::nullopt;
}

bool isOn(const CameraControl& control) {
    if (control.kind == CameraControl::Kind::Boolean) return control.value != 0;
    const auto manual = manualEntry(control);
    return manual && control.value != *manual;
}

// "white_balance_automatic" -> "white_balance", "autogain" -> "gain",
// "focus_automatic_continuous" -> "focus", "auto_exposure" -> "exposure".
QString stem(const QString& key) {
    QStringList words = key.split(QLatin1Char('_'), Qt::SkipEmptyParts);
    QStringList kept;
    for (QString word : words) {
        if (word == QLatin1String("automatic") || word == QLatin1String("auto") ||
            word == QLatin1String("continuous"))
            continue;
        if (word.startsWith(QLatin1String("auto"))) word = word.mid(4);
        if (!word.isEmpty()) kept << word;
    }
    return kept.join(QLatin1Char('_'));
}

// The manual control an automatic one governs: the first integer whose key starts with its stem.
const CameraControl* manualPartner(const QList<CameraControl>& controls,
                                   const CameraControl& automatic) {
    const QString prefix = stem(automatic.key);
    if (prefix.isEmpty()) return nullptr;
    for (const CameraControl& control : controls)
        if (control.kind == CameraControl::Kind::Integer && !control.readOnly &&
            control.key != automatic.key && control.key.startsWith(prefix))
            return &control;
    return nullptr;
}

} // namespace

QStringList applyControlValues(const QList<CameraControl>& controls,
                               const QMap<QString, std::int64_t>& values, const SetControl& set) {
    QStringList refused;
    for (const bool automatics : {true, false})
        for (const CameraControl& control : controls) {
            if (isAutomatic(control) != automatics || !values.contains(control.key)) continue;
            if (control.readOnly || control.kind == CameraControl::Kind::Button ||
                control.kind == CameraControl::Kind::Class)
                continue;
            QString reason;
            if (!set(control, values.value(control.key), &reason))
                refused << QStringLiteral("%1: %2").arg(control.name, reason);
        }
    return refused;
}

HeldControls holdAutomaticControls(const QList<CameraControl>& controls, const SetControl& set) {
    HeldControls result;
    for (const CameraControl& automatic : controls) {
        if (!isAutomatic(automatic) || automatic.readOnly || !isOn(automatic)) continue;
        const CameraControl* manual = manualPartner(controls, automatic);
        if (!manual) continue;
        // Read before switching: the value the camera settled on while it was automatic.
        const std::int64_t settled = manual->value;
        const std::int64_t off =
            automatic.kind == CameraControl::Kind::Boolean ? 0 : *manualEntry(automatic);
        QString ignored;
        if (!set(automatic, off, &ignored)) continue;
        result.restore.insert(automatic.key, automatic.value);
        result.held.insert(automatic.key, off);
        if (set(*manual, settled, &ignored)) result.held.insert(manual->key, settled);
    }
    return result;
}

} // namespace camera
