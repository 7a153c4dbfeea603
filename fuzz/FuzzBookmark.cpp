// Bookmark data as it might be found in a damaged or hostile bookmark file.
#include "FolderBookmark.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    bool stale = false;
    Error error;
    const auto folder = FolderBookmark::resolve(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), &stale, &error);
    if (!folder && error.message.isEmpty())
        __builtin_trap(); // a refusal always says why
    return 0;
}
