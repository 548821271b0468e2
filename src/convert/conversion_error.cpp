#include "convert/conversion_error.h"

namespace convert {

ConversionError::ConversionError(Number number)
    : number_(number), what_(description().toStdString()) {}

QString ConversionError::description() const {
    switch (number_) {
    case Overflow:
        return QStringLiteral("Overflow");
    case TypeMismatch:
        return QStringLiteral("Type mismatch");
    }
    // Only reachable through a cast of a number we do not raise.
    return QStringLiteral("Error %1").arg(static_cast<int>(number_));
}

} // namespace convert
