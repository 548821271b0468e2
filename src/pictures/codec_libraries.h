#pragma once

#include <QString>
#include <libexif/exif-data.h>
#include <turbojpeg.h>

namespace pictures {

// The JPEG and EXIF libraries are loaded when the first JPEG is saved, not when the program
// starts: a program that saves BMP never loads them, and one without them installed still
// starts and says what is missing when a JPEG cannot be saved. Each is loaded once, by whichever
// thread asks first, and stays for the rest of the program.

// The functions of libturbojpeg the JPEG encoder uses.
struct TurboJpeg {
    decltype(&tjInitCompress) initCompress;
    decltype(&tjDestroy) destroy;
    decltype(&tjAlloc) alloc;
    decltype(&tjFree) free;
    decltype(&tjBufSize) bufSize;
    decltype(&tjCompress2) compress2;
    decltype(&tjGetErrorStr2) errorText;
};

// The functions of libexif the EXIF block is made with.
struct Exif {
    decltype(&exif_mem_new_default) memNewDefault;
    decltype(&exif_mem_alloc) memAlloc;
    decltype(&exif_mem_free) memFree;
    decltype(&exif_mem_unref) memUnref;
    decltype(&exif_data_new_mem) dataNewMem;
    decltype(&exif_data_set_byte_order) dataSetByteOrder;
    decltype(&exif_data_save_data) dataSaveData;
    decltype(&exif_data_unref) dataUnref;
    decltype(&exif_entry_new_mem) entryNewMem;
    decltype(&exif_entry_unref) entryUnref;
    decltype(&exif_content_add_entry) contentAddEntry;
};

// The library, or null with `error` saying which library is missing or lacks what.
const TurboJpeg* turboJpeg(QString* error);
const Exif* exif(QString* error);

} // namespace pictures
