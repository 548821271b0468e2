#include "pictures/codec_libraries.h"

#include "dynamic/dynamic_library.h"

namespace pictures {

const TurboJpeg* turboJpeg(QString* error) {
    // A static of a function is made once, thread-safe, by the first thread that gets here.
    static const dynamic::Loaded<TurboJpeg> loaded = [] {
        dynamic::DynamicLibrary library("libturbojpeg.so.0");
        TurboJpeg f{};
        library.get(&f.initCompress, "tjInitCompress");
        library.get(&f.destroy, "tjDestroy");
        library.get(&f.alloc, "tjAlloc");
        library.get(&f.free, "tjFree");
        library.get(&f.bufSize, "tjBufSize");
        library.get(&f.compress2, "tjCompress2");
        library.get(&f.errorText, "tjGetErrorStr2");
        return dynamic::Loaded<TurboJpeg>(library, f);
    }();
    return loaded.get(error);
}

const Exif* exif(QString* error) {
    static const dynamic::Loaded<Exif> loaded = [] {
        dynamic::DynamicLibrary library("libexif.so.12");
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
        return dynamic::Loaded<Exif>(library, f);
    }();
    return loaded.get(error);
}

} // namespace pictures
