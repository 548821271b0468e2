#include "pictures/codec_libraries.h"

#include <dlfcn.h>
#include <optional>

namespace pictures {

namespace {

// One library by its versioned name (the one its -dev package's headers describe), with the
// functions `resolve` looks up in it; what went wrong otherwise.
template <typename Functions> struct Loaded {
    std::optional<Functions> functions;
    QString error;
};

class Library {
public:
    explicit Library(const char* soname) : soname_(soname) {
        handle_ = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
        if (!handle_) {
            const char* why = ::dlerror();
            problem_ = QStringLiteral("%1 is missing").arg(QLatin1String(soname));
            if (why) problem_ += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(why));
        }
    }
    // Sets `function` to the library's symbol `name`; a missing one is noted.
    template <typename F> void get(F* function, const char* name) {
        *function = nullptr;
        if (!handle_) return;
        *function = reinterpret_cast<F>(::dlsym(handle_, name));
        if (!*function && problem_.isEmpty())
            problem_ = QStringLiteral("%1 has no %2 (another version?)")
                           .arg(QLatin1String(soname_), QLatin1String(name));
    }
    const QString& problem() const { return problem_; }

private:
    const char* soname_;
    void* handle_ = nullptr; // never closed: the functions are used until the program ends
    QString problem_;
};

template <typename Functions>
const Functions* functionsOf(const Loaded<Functions>& loaded, QString* error) {
    if (loaded.functions) return &*loaded.functions;
    if (error) *error = loaded.error;
    return nullptr;
}

template <typename Functions> Loaded<Functions> finish(const Library& library, Functions f) {
    Loaded<Functions> result;
    if (library.problem().isEmpty())
        result.functions = f;
    else
        result.error = library.problem();
    return result;
}

} // namespace

const TurboJpeg* turboJpeg(QString* error) {
    // A static of a function is made once, thread-safe, by the first thread that gets here.
    static const Loaded<TurboJpeg> loaded = [] {
        Library library("libturbojpeg.so.0");
        TurboJpeg f{};
        library.get(&f.initCompress, "tjInitCompress");
        library.get(&f.destroy, "tjDestroy");
        library.get(&f.alloc, "tjAlloc");
        library.get(&f.free, "tjFree");
        library.get(&f.bufSize, "tjBufSize");
        library.get(&f.compress2, "tjCompress2");
        library.get(&f.errorText, "tjGetErrorStr2");
        return finish(library, f);
    }();
    return functionsOf(loaded, error);
}

const Exif* exif(QString* error) {
    static const Loaded<Exif> loaded = [] {
        Library library("libexif.so.12");
        Exif f{};
        library.get(&f.memNewDefault, "exif_mem_new_default");
        library.get(&f.memAlloc, "exif_mem_alloc");
        library.get(&f.memFree, "exif_mem_free");
        library.get(&f.memUnref, "exif_mem_unref");
        library.get(&f.dataNewMem, "exif_data_new_mem");
        library.get(&f.dataSetByteOrder, "exif_data_set_byte_order");
        library.get(&f.dataSaveData, "exif_data_save_data");
        library.get(&f.dataUnref, "exif_data_unref");
        library.get(&f.entryNewMem, "exif_entry_new_mem");
        library.get(&f.entryUnref, "exif_entry_unref");
        library.get(&f.contentAddEntry, "exif_content_add_entry");
        return finish(library, f);
    }();
    return functionsOf(loaded, error);
}

} // namespace pictures
