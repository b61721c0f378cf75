// Drives the document store for document_check.py: in the working directory,
// "create" saves a new document, "load" loads the document file and saves it
// back. Exit status 0 on success.
#include <Vantrell/Vantrell.h>

#include "document/DocumentPrivate.h"
#include "platform/values/Holder.h"

#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    if (argc != 2 || (std::strcmp(argv[1], "create") != 0 && std::strcmp(argv[1], "load") != 0)) {
        std::fputs("usage: document_roundtrip create|load\n", stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "create") == 0) {
        vt::CFRef<CFMutableDictionaryRef> error(VTPrivate_DocumentCreate(nullptr));
        if (error) return 1;
    } else if (VTPrivate_DocumentLoad(nullptr) != kCFBooleanTrue) {
        std::fputs("document_roundtrip: the document did not load\n", stderr);
        return 1;
    }
    vt::CFRef<CFMutableDictionaryRef> error(VantrellSaveDocument(nullptr));
    return error ? 1 : 0;
}
