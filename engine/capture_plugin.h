/* The binary interface between Quillotrane and a capture plug-in: a DLL with the extension ".pcf" in
 * the plug-in folder that names one system capture device (by its friendly name) and puts that
 * device into the capture graph in the program's place. This header is all a plug-in needs; it is
 * plain C, so a plug-in may be written with any compiler that makes Windows DLLs.
 *
 * Calling convention and names
 *   Every export uses QUILL_PI_CALL (stdcall; on x64 the one Windows convention) and is exported
 *   under its plain lower-case name ("pi_create", not "_pi_create@4": on 32-bit x86 use a .def file
 *   or -Wl,--kill-at). A 32-bit program loads 32-bit plug-ins, a 64-bit program 64-bit ones. The
 *   host looks each export up at every call; a missing export is not called and its default holds.
 *   Return values are not read: declare the exports void.
 *
 * Thread and COM
 *   Every export is called on the program's main thread, which is a COM single-threaded apartment,
 *   one call at a time. The graph may be built and torn down from inside a call.
 *
 * Memory: neither side ever frees the other's memory.
 *   - Text buffers are the host's: write at most Size bytes, NUL included (Size is always
 *     QUILL_PI_TEXT_SIZE). Text is ANSI in the system code page; at most 255 characters are kept.
 *   - QuillPiFilter records are the plug-in's. The host reads a record during the call that hands
 *     it over and takes its own references to the interfaces in it; the plug-in keeps its own and
 *     releases them itself. The record need not outlive the call.
 *   - QuillPiGraph is the host's, valid during the call; AddRef what you keep beyond it.
 *   - An interface pointer written into an IPin** / IUnknown** slot becomes the host's reference:
 *     AddRef it before writing; the host releases it. Slots are NULL on entry.
 *   - Instance is the plug-in's: the host passes the address of its variable and never looks inside.
 *
 * What the host refuses
 *   A hardware fault inside an export (access violation, illegal instruction, division by zero) is
 *   caught: the device stops using the plug-in, never calls it again and never unloads it, and the
 *   reason is kept for the program's system information; the filters it handed over in records
 *   are taken out of the graph by the host. A plug-in therefore must not rely on catching its own
 *   hardware faults. A record or interface that cannot be read, a record whose cbSize is too
 *   small, a stream count outside 0..QUILL_PI_MAX_STREAMS stop the plug-in too, with its reason:
 *   nothing more is built with it, but its "kill" exports still take down what it built and
 *   "pi_destroy" ends an instance it gave (also one refused while the device was being set up)
 *   before its library is unloaded. A native format outside 0..12 is read as 0 (none).
 *
 * Lifetime
 *   While the program lists the plug-ins it loads each DLL for one "pi_drivername" call. A device
 *   driven by a plug-in loads the DLL again and keeps it until the device is destroyed: the host
 *   releases every reference it holds on the plug-in's objects, calls "pi_destroy", then unloads.
 *   The host finds the device again at each refresh of the device list by the moniker of the
 *   source record, or, when that names none, by the system device moniker the plug-in was made
 *   for: it keeps its instance, its number and its preview.
 */
#ifndef QUILLOTRANE_CAPTURE_PLUGIN_H
#define QUILLOTRANE_CAPTURE_PLUGIN_H

#include <stdint.h>
#include <windows.h>
#include <strmif.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QUILL_PI_CALL __stdcall
#define QUILL_PI_TEXT_SIZE 65537
#define QUILL_PI_MAX_STREAMS 16

/* The capture graph. The host passes the address of its variable that refers to this record. */
typedef struct QuillPiGraph {
    uint32_t cbSize;                       /* sizeof(QuillPiGraph) */
    IGraphBuilder* Graph;                  /* the one capture graph; NULL when there is none */
    ICaptureGraphBuilder2* CaptureBuilder; /* its capture graph builder; may be NULL */
} QuillPiGraph;

/* A filter of the plug-in, as the host should see it. */
typedef struct QuillPiFilter {
    uint32_t cbSize;      /* sizeof(QuillPiFilter) (a larger value is accepted) */
    IBaseFilter* Filter;  /* the filter as it is in the graph, or NULL */
    IMoniker* Moniker;    /* the moniker naming it, or NULL. The source's, when given, must be the
                             system device moniker of the device: the host finds the device again
                             by it. */
} QuillPiFilter;

/* Native capture formats: 0 none, 1 to 12 the program's formats (1 the device's own file writing,
 * 3 and 4 native MPEG, 5 AVI as the device delivers it). */

typedef void(QUILL_PI_CALL* pi_drivername_t)(char* Buffer, int32_t Size);
typedef void(QUILL_PI_CALL* pi_friendlyname_t)(char* Buffer, int32_t Size);
/* Writes the instance pointer into *InstanceValue; NULL refuses the device. */
typedef void(QUILL_PI_CALL* pi_create_t)(void** InstanceValue);
typedef void(QUILL_PI_CALL* pi_destroy_t)(void** Instance);
/* Writes the address of a record for the device's source filter (its moniker above all). */
typedef void(QUILL_PI_CALL* pi_sourcefilter_t)(void** Instance, const QuillPiFilter** Filter);
typedef void(QUILL_PI_CALL* pi_nbfluxvideo_t)(void** Instance, int32_t* Count);
typedef void(QUILL_PI_CALL* pi_nbfluxaudio_t)(void** Instance, int32_t* Count);
/* Builds the video branch of Stream (1-based). Writes the pin where the preview continues, the tee
 * that carries the native video (recordings take its outputs from the second on), up to two native
 * formats (low byte of each slot read) and, for pictures that come upside down, 1 into
 * *SourceInverted. */
typedef void(QUILL_PI_CALL* pi_setvideograph_t)(void** Instance, int32_t Stream, IPin** VideoEndPin,
                                                QuillPiGraph* const* Graph, uint8_t* SourceInverted,
                                                const QuillPiFilter** VideoEndFilter, uint32_t* SecondNativeFormat,
                                                uint32_t* FirstNativeFormat);
/* Builds the sound branch of Stream (1-based): the pin where it ends and the tee of native sound. */
typedef void(QUILL_PI_CALL* pi_setaudiograph_t)(void** Instance, int32_t Stream, IPin** AudioPin,
                                                QuillPiGraph* const* Graph, const QuillPiFilter** AudioEndFilter);
typedef void(QUILL_PI_CALL* pi_killvideograph_t)(void** Instance, IUnknown** Pin, QuillPiGraph* const* Graph);
typedef void(QUILL_PI_CALL* pi_killaudiograph_t)(void** Instance, IUnknown** Pin, QuillPiGraph* const* Graph);
/* Puts the source part into the graph and writes its record. */
typedef void(QUILL_PI_CALL* pi_setsourcegraph_t)(void** Instance, const QuillPiFilter** Source,
                                                 QuillPiGraph* const* Graph);
typedef void(QUILL_PI_CALL* pi_killsourcegraph_t)(void** Instance, QuillPiGraph* const* Graph);
/* Builds a branch writing the device's native stream to FileName (NUL-terminated UTF-16). */
typedef void(QUILL_PI_CALL* pi_buildmuxgraph_t)(void** Instance, QuillPiGraph* const* Graph, const wchar_t* FileName);
typedef void(QUILL_PI_CALL* pi_killmuxgraph_t)(void** Instance, QuillPiGraph* const* Graph);

#ifdef __cplusplus
}
#endif

#endif /* QUILLOTRANE_CAPTURE_PLUGIN_H */
