#include <new>

#include "instance/quorvel_instance.h"

extern "C" {

QUORVEL_API IMediaFile* CreateInstance(const wchar_t* path, MediaFileInterface* events)
{
    if (path == nullptr) {
        return nullptr;
    }
    return new (std::nothrow) CQuorvel(path, events);
}

QUORVEL_API void DestroyInstance(IMediaFile* instance)
{
    if (instance != nullptr) {
        instance->DeletingDestructor(QUORVEL_DELETE_MEMORY);
    }
}

}  // extern "C"
