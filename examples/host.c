/* A minimal host of kivupdate: checks URL for an update (language 1), prints the release
 * facts and, when asked, downloads PACKAGE_URL into FILE with a progress line. (A real host
 * would take the package URL from fact 5, download into a fresh temporary name and check
 * the package before use.)
 *
 *   host URL [PACKAGE_URL FILE]
 */
#include <kivupdate.h>

#include <stdio.h>

static unsigned Load16(const unsigned char* p) {
    return (unsigned)p[0] | (unsigned)p[1] << 8;
}

static int Progress(void* context, uint32_t done, uint32_t total) {
    (void)context;
    if (total == 0xFFFFFFFFu)
        fprintf(stderr, "\rreceived %lu bytes", (unsigned long)done);
    else
        fprintf(stderr, "\rreceived %lu of %lu bytes", (unsigned long)done, (unsigned long)total);
    return 1; /* 0 would cancel */
}

int main(int argc, char** argv) {
    unsigned char list[4096];
    uint32_t size, at;

    if (argc != 2 && argc != 4) {
        fprintf(stderr, "usage: host URL [PACKAGE_URL FILE]\n");
        return 2;
    }
    size = CheckForUpdate(1, argv[1], NULL, 0, list, sizeof list);
    if (size == 0) {
        fprintf(stderr, "the update check failed\n");
        return 1;
    }
    /* Records of tag, length and value (little-endian) up to the end marker FF FF. */
    for (at = 0; at + 4 <= size && Load16(list + at) != 0xFFFF;) {
        unsigned tag = Load16(list + at), length = Load16(list + at + 2);
        const unsigned char* value = list + at + 4;
        if (at + 4 + length > size)
            break;
        if (tag == 2 || tag == 3 || tag == 4 || tag == 8 || tag == 11 || tag == 21) {
            long number = (long)(int32_t)((uint32_t)value[0] | (uint32_t)value[1] << 8 |
                                          (uint32_t)value[2] << 16 | (uint32_t)value[3] << 24);
            printf("%2u %ld\n", tag, number);
        } else {
            printf("%2u %.*s\n", tag, (int)length, (const char*)value);
        }
        at += 4 + length;
    }
    if (argc == 4) {
        int ok = DownloadUpdate(argv[2], argv[3], NULL, 0, Progress, NULL);
        fprintf(stderr, "\n%s %s\n", ok ? "downloaded" : "download failed:", argv[3]);
        return ok ? 0 : 1;
    }
    return 0;
}
