// NRESULT: the answer of every image-file operation that can fail. 0 is success; failures are
// grouped by hundreds (file, format, memory, picture, resource, plug-in).
//
// One value steers the load factory: NR_NOT_THIS_FORMAT (200) means "the file is not of this
// format" and makes the factory detect the format by content and try again. A loader answers it
// only when its own signature test rejects the file, before it has changed anything but the
// stored file name; a file with the right signature but broken content gets another code.
#pragma once

#include <cstdint>

enum NRESULT : int32_t {
    NR_OK = 0,
    NR_NOT_IMPLEMENTED = 2,           // page writing on a class without a page writer
    NR_NOT_SUPPORTED = 3,

    NR_FILE_NOT_FOUND = 100,          // also: no file name given
    NR_FILE_INVALID_SIZE = 101,
    NR_FILE_ERROR = 102,
    NR_FILE_OPEN_READ = 103,
    NR_FILE_OPEN_WRITE = 104,

    NR_NOT_THIS_FORMAT = 200,
    NR_NO_WRITER = 201,               // the writer factory has no class for the id
    NR_FORMAT_NOT_SUPPORTED = 202,
    NR_COMPRESSION_NOT_SUPPORTED = 203,
    NR_INVALID_DATA = 204,            // invalid format data or argument
    NR_FORMAT_INIT_FAILED = 205,
    NR_SUBFEATURE_NOT_SUPPORTED = 206,

    NR_ALLOCATION_FAILED = 300,
    NR_COMPRESSION_FAILED = 301,
    NR_DECOMPRESSION_FAILED = 302,
    NR_NOT_ENOUGH_MEMORY = 303,

    NR_PICTURE_NOT_VALID = 400,
    NR_WRONG_BPP = 401,
    NR_WRONG_PICTURE_FORMAT = 402,
    NR_PICTURE_CREATE_FAILED = 403,
    NR_DECODE_FAILED = 404,
    NR_ENCODE_FAILED = 405,

    NR_RESOURCE_NOT_VALID = 500,
    NR_RESOURCE_FETCH_FAILED = 501,

    NR_PLUGIN_MISSING = 600,
    NR_PLUGIN_STRUCT_SIZE = 601,
    NR_PLUGIN_FUNCTION_MISSING = 602,
    NR_PLUGIN_INIT_FAILED = 603,
};

static_assert(sizeof(NRESULT) == 4, "NRESULT is a 32-bit value");
