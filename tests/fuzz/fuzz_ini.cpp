#include "settings/ini_writer.h"
#include "settings/mod_ini.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray contents =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    static const QString names[][2] = {
        {"MAIN", "Width"}, {"main", "HEIGHT"}, {"MAIN", "Framerate"}, {"", ""}, {" MAIN ", "a=b"},
    };
    for (const auto& [section, key] : names) {
        const std::optional<QString> value = modIni::lookUp(contents, section, key);
        // A value is trimmed, so it can never start or end with a blank it did not quote.
        if (value && !value->isEmpty() && (value->front() == u' ' || value->back() == u' ') &&
            !contents.contains('"') && !contents.contains('\''))
            std::abort();
        // Whatever the file holds, a value written back is the value read.
        if (!key.contains(u'=') && !key.trimmed().isEmpty() &&
            modIni::lookUp(modIni::withValue(contents, section, key, "v"), section, key) != "v")
            std::abort();
    }
    return 0;
}
