#include <new>

#include "instance/quorvel_instance.h"

extern "C" {

QUORVEL_API IMediaFile* CreateInstance(const wchar_t* path, MediaFileInterface* events)
{
    if (path == nullptr) {
        return nullptr;
    }
    // The instance's own allocations (its path, its decoder state, its registry entry) may
    // fail as well as its memory: the host gets null, never an exception across this
    // boundary, and likewise every slot answers its failure value instead.
    try {
        return new CQuorvel(path, events);
    } catch (...) {
        return nullptr;
    }
}

QUORVEL_API void DestroyInstance(IMediaFile* instance)
{
    if (instance != nullptr) {
        instance->DeletingDestructor(QUORVEL_DELETE_MEMORY);
    }
}

}  // extern "C"
