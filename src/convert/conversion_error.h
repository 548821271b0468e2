#pragma once

#include <QString>
#include <exception>
#include <string>

namespace convert {

// A failed number conversion, carrying the error number and description the user sees in
// start-up failure messages ("Error #13: 'Type mismatch'").
class ConversionError : public std::exception {
public:
    enum Number { Overflow = 6, TypeMismatch = 13 };

    explicit ConversionError(Number number);

    Number number() const noexcept { return number_; }
    QString description() const;
    const char* what() const noexcept override { return what_.c_str(); }

private:
    Number number_;
    std::string what_;
};

} // namespace convert
