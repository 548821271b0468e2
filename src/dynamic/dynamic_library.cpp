#include "dynamic/dynamic_library.h"

#include <dlfcn.h>

namespace dynamic {

DynamicLibrary::DynamicLibrary(const char* soname) : soname_(soname) {
    handle_ = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (handle_) return;
    const char* why = ::dlerror();
    problem_ = QStringLiteral("%1 is missing").arg(QLatin1String(soname));
    if (why) problem_ += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(why));
}

void* DynamicLibrary::symbol(const char* name) {
    if (!handle_) return nullptr;
    void* found = ::dlsym(handle_, name);
    if (!found && problem_.isEmpty())
        problem_ = QStringLiteral("%1 has no %2 (another version?)")
                       .arg(QLatin1String(soname_), QLatin1String(name));
    return found;
}

} // namespace dynamic
