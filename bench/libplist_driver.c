/*
 * Loads an XML property list with libplist's C API and saves it again as XML:
 * the reference for the load-plus-save comparison in compare.sh.
 *
 * usage: libplist_driver IN [OUT]   (no OUT or "-": standard output)
 */
#include <plist/plist.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static char *read_file(const char *path, size_t *length) {
    FILE *in = fopen(path, "rb");
    if (!in) return NULL;
    size_t capacity = 1 << 20, used = 0;
    char *bytes = malloc(capacity);
    size_t count;
    while (bytes && (count = fread(bytes + used, 1, capacity - used, in)) > 0) {
        used += count;
        if (used == capacity) {
            char *larger = realloc(bytes, capacity *= 2);
            if (!larger) free(bytes);
            bytes = larger;
        }
    }
    if (bytes && ferror(in)) {
        free(bytes);
        bytes = NULL;
    }
    fclose(in);
    *length = used;
    return bytes;
}

int main(int argc, char **argv) {
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: libplist_driver IN [OUT]\n");
        return 2;
    }
    size_t length = 0;
    char *bytes = read_file(argv[1], &length);
    if (!bytes || length > UINT32_MAX) {
        fprintf(stderr, "libplist_driver: cannot read %s\n", argv[1]);
        free(bytes);
        return 1;
    }
    plist_t plist = NULL;
    plist_from_xml(bytes, (uint32_t)length, &plist);
    /* Like vantrell, hold only the values while saving, not the input too. */
    free(bytes);
    if (!plist) {
        fprintf(stderr, "libplist_driver: cannot parse %s\n", argv[1]);
        return 1;
    }

    char *xml = NULL;
    uint32_t xml_length = 0;
    plist_to_xml(plist, &xml, &xml_length);
    plist_free(plist);
    int status = 1;
    if (xml) {
        int to_stdout = argc == 2 || strcmp(argv[2], "-") == 0;
        FILE *out = to_stdout ? stdout : fopen(argv[2], "wb");
        if (out) {
            status = fwrite(xml, 1, xml_length, out) == xml_length ? 0 : 1;
            if ((to_stdout ? fflush(out) : fclose(out)) != 0) status = 1;
        }
        plist_to_xml_free(xml);
    }
    if (status) fprintf(stderr, "libplist_driver: cannot write the output\n");
    return status;
}
