#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace video_process {

// The fields of the lines the window and the video process exchange: words separated by one
// space, texts percent-encoded so that no space or line break is ever part of a field.

// `text` (not empty) as a field.
QByteArray textField(const QString& text);

// What characters a text field may decode to, beyond printable ones.
enum class Controls {
    Breaks,    // tabs and line breaks, as a message to the user may hold
    AnyButNul, // anything a file name may hold
};

// The text of a field: nothing but unreserved characters and %XX escapes, valid UTF-8, no
// control characters beyond `controls`. Nothing when it is not such a field.
std::optional<QString> readTextField(QByteArrayView field, Controls controls);

// A count written in decimal without sign or leading zeros, at most `max`. Nothing otherwise.
std::optional<int> readCountField(QByteArrayView field, int max);

} // namespace video_process
