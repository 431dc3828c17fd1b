// Loads the engine library at run time and finds its two entry points, as a host that
// ships it beside its own program would: LoadLibraryW and GetProcAddress on Windows,
// dlopen and dlsym elsewhere (so the same probe runs against both builds).
#pragma once

#include <string>

#include "quorvel.h"

namespace host {

class QuorvelLibrary {
public:
    using CreateFn = IMediaFile* (*)(const wchar_t* path, MediaFileInterface* events);
    using DestroyFn = void (*)(IMediaFile* instance);

    // Loads the library at path (UTF-8). Check Loaded() afterwards; Error() says why not.
    explicit QuorvelLibrary(const std::string& path);
    ~QuorvelLibrary();
    QuorvelLibrary(const QuorvelLibrary&) = delete;
    QuorvelLibrary& operator=(const QuorvelLibrary&) = delete;

    bool Loaded() const { return m_create != nullptr && m_destroy != nullptr; }
    const std::string& Error() const { return m_error; }

    IMediaFile* Create(const wchar_t* path, MediaFileInterface* events) const
    {
        return m_create(path, events);
    }
    void Destroy(IMediaFile* instance) const { m_destroy(instance); }

private:
    void* m_module = nullptr;
    CreateFn m_create = nullptr;
    DestroyFn m_destroy = nullptr;
    std::string m_error;
};

}  // namespace host
