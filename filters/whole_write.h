// Writing a block through a pin's IStream (the file writer's, for the WAVE writer and the AVI
// multiplexer): all of it, or a failure. A write that moves fewer bytes than asked for without an
// error code is a failed write too: a full disk, as Wine's WriteFile first answers it.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <algorithm>

namespace filters {

struct TWholeWrite {
    HRESULT Result = S_OK;  // the stream's failure, or STG_E_MEDIUMFULL for a short write it called a success
    ULONG Written = 0;      // bytes that reached the stream
};

inline TWholeWrite WriteWhole(IStream* stream, const void* data, ULONG size)
{
    TWholeWrite w;
    w.Result = stream->Write(data, size, &w.Written);
    w.Written = std::min(w.Written, size);
    if (SUCCEEDED(w.Result) && w.Written < size) {
        w.Result = STG_E_MEDIUMFULL;
    }
    return w;
}

}  // namespace filters
