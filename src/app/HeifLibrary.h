#pragma once

#include <QString>
#include <libheif/heif.h>

// The functions of libheif that the HEIC previews use, looked up in the library when the first
// HEIC picture is decoded rather than linked: libheif and the codec libraries it pulls in cost
// every start of every tool several milliseconds, and most runs never see a HEIC. The header is
// still compiled against, so a changed signature is a compile error.
class HeifLibrary
{
public:
    // The process-wide libheif ("libheif.so.1"), opened and initialised on the first call, kept
    // until exit (as a linked libheif was). Safe on any thread; check isLoaded() before use.
    static const HeifLibrary& shared();

    // Opens the named library and looks up every function below; isLoaded() tells whether that
    // worked. A loaded library is initialised here and released when this object goes.
    explicit HeifLibrary(const char* file);
    ~HeifLibrary();
    HeifLibrary(const HeifLibrary&) = delete;
    HeifLibrary& operator=(const HeifLibrary&) = delete;

    bool isLoaded() const { return m_loaded; }
    // Why the library cannot be used (missing file or function); empty when it is loaded.
    QString errorString() const { return m_error; }

#define QM_HEIF_FUNCTIONS(X)                                                                                 \
    X(init)                                                                                                  \
    X(deinit)                                                                                                \
    X(context_alloc)                                                                                         \
    X(context_free)                                                                                          \
    X(context_set_maximum_image_size_limit)                                                                  \
    X(context_read_from_memory_without_copy)                                                                 \
    X(context_read_from_reader)                                                                              \
    X(context_get_primary_image_handle)                                                                      \
    X(image_handle_release)                                                                                  \
    X(image_handle_get_number_of_thumbnails)                                                                 \
    X(image_handle_get_list_of_thumbnail_IDs)                                                                \
    X(image_handle_get_thumbnail)                                                                            \
    X(image_handle_get_width)                                                                                \
    X(image_handle_get_height)                                                                               \
    X(decode_image)                                                                                          \
    X(image_release)                                                                                         \
    X(image_get_plane_readonly)                                                                              \
    X(image_get_width)                                                                                       \
    X(image_get_height)
    // One pointer per function, named without the heif_ prefix: decltype(&heif_init) init, ...
#define QM_HEIF_MEMBER(name) decltype(&::heif_##name) name = nullptr;
    QM_HEIF_FUNCTIONS(QM_HEIF_MEMBER)
#undef QM_HEIF_MEMBER

private:
    template <class F> bool resolve(const char* name, F* slot);

    void* m_handle = nullptr;
    bool m_loaded = false;
    QString m_error;
};
