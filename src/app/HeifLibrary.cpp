#include "app/HeifLibrary.h"

#include <dlfcn.h>

const HeifLibrary& HeifLibrary::shared()
{
    // Never destroyed: a thumbnail thread may still decode while the process exits, and a linked
    // libheif was never released either.
    static const HeifLibrary* library = [] {
        const auto* lib = new HeifLibrary("libheif.so.1");
        if (!lib->isLoaded())
            qWarning("HEIC pictures cannot be decoded: %s", qUtf8Printable(lib->errorString()));
        return lib;
    }();
    return *library;
}

template <class F> bool HeifLibrary::resolve(const char* name, F* slot)
{
    void* address = dlsym(m_handle, name);
    if (!address) {
        const char* why = dlerror();
        m_error = why ? QString::fromLocal8Bit(why) : QStringLiteral("no function %1").arg(name);
        return false;
    }
    *slot = reinterpret_cast<F>(address);
    return true;
}

HeifLibrary::HeifLibrary(const char* file)
{
    m_handle = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* why = dlerror();
        m_error = why ? QString::fromLocal8Bit(why) : QStringLiteral("%1 cannot be opened").arg(file);
        return;
    }
    bool ok = true;
#define QM_HEIF_RESOLVE(name) ok = ok && resolve("heif_" #name, &name);
    QM_HEIF_FUNCTIONS(QM_HEIF_RESOLVE)
#undef QM_HEIF_RESOLVE
    m_loaded = ok;
    if (m_loaded)
        init(nullptr);
}

HeifLibrary::~HeifLibrary()
{
    if (m_loaded)
        deinit();
    if (m_handle)
        dlclose(m_handle);
}
