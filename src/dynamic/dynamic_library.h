#pragma once

#include <QString>
#include <optional>

namespace dynamic {

// A library loaded when it is first needed rather than when the program starts (dlopen), by its
// versioned name, the one its -dev package's headers describe: a program that never uses it
// never pays for loading it, and one without it installed still starts and says what is missing
// where it is needed. The handle is never closed: its functions are used until the program ends.
class DynamicLibrary {
public:
    explicit DynamicLibrary(const char* soname);
    // Sets `function` to the library's symbol `name`; a missing one is noted.
    template <typename F> void get(F* function, const char* name) {
        *function = reinterpret_cast<F>(symbol(name));
    }
    // Empty when the library and every symbol asked for were found.
    const QString& problem() const { return problem_; }

private:
    void* symbol(const char* name);

    const char* soname_;
    void* handle_ = nullptr;
    QString problem_;
};

// A library's functions, or why they cannot be had.
template <typename Functions> struct Loaded {
    std::optional<Functions> functions;
    QString error;

    Loaded(const DynamicLibrary& library, const Functions& found) {
        if (library.problem().isEmpty())
            functions = found;
        else
            error = library.problem();
    }
    const Functions* get(QString* why) const {
        if (functions) return &*functions;
        if (why) *why = error;
        return nullptr;
    }
};

} // namespace dynamic
