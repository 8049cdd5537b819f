/* A test double standing in for the Monkey's Audio library (libMAC.so), which no
 * distribution packages. It stores the PCM it is given as it is, records each call in
 * the file QUARROW_MAC_STANDIN_LOG names, and fails the call QUARROW_MAC_STANDIN_FAIL
 * names: compat, create, start, add (the third block), finish or tag. */
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#pragma pack(push, 1)
typedef struct { uint16_t formatTag, channels; uint32_t samplesPerSec, avgBytesPerSec; uint16_t blockAlign, bitsPerSample, extraSize; } WaveFormat;
#pragma pack(pop)
typedef struct { FILE* file; int blocks; } Compressor;

/* Logs the call (when format is given) and tells whether it is the one to fail. */
static int Call(const char* name, const char* format, ...) {
    const char *path = getenv("QUARROW_MAC_STANDIN_LOG"), *fail = getenv("QUARROW_MAC_STANDIN_FAIL");
    FILE* log = path && format ? fopen(path, "a") : NULL;
    if (log) {
        va_list args;
        va_start(args, format);
        vfprintf(log, format, args);
        va_end(args);
        fputc('\n', log);
        fclose(log);
    }
    return fail && strcmp(fail, name) == 0;
}

int GetInterfaceCompatibility(int version, int warn, void* parent) {
    return Call("compat", "compat %d %d %d", version, warn, parent != NULL) ? 1 : version == 3990 ? 0 : 2;
}

void* c_APECompress_Create(int* error) {
    *error = Call("create", "create") ? 2000 : 0;
    return *error ? NULL : calloc(1, sizeof(Compressor));
}

void c_APECompress_Destroy(Compressor* c) {
    Call("destroy", "destroy");
    if (c->file) fclose(c->file);
    free(c);
}

/* A failed start leaves its file behind, as the library may. */
int c_APECompress_Start(Compressor* c, const char* path, const WaveFormat* f, int maxAudioBytes, int level,
                        const void* header, int headerBytes) {
    c->file = fopen(path, "wb");
    const int fail = Call("start", "start level=%d max=%d header=%d,%d format=%u,%u,%u,%u,%u,%u,%u", level,
                          maxAudioBytes, header != NULL, headerBytes, f->formatTag, f->channels, f->samplesPerSec,
                          f->avgBytesPerSec, f->blockAlign, f->bitsPerSample, f->extraSize);
    return !c->file ? 1000 : fail ? 5000 : 0;
}

int c_APECompress_AddData(Compressor* c, unsigned char* data, int bytes) {
    if (Call("add", NULL) && ++c->blocks == 3) return 1001;
    return fwrite(data, 1, (size_t)bytes, c->file) == (size_t)bytes ? 0 : 1001;
}

int c_APECompress_Finish(Compressor* c, unsigned char* data, int bytes, int wavBytes) {
    if (Call("finish", "finish %d %d %d", data != NULL, bytes, wavBytes)) return 1003;
    const int closed = fclose(c->file);
    c->file = NULL;
    return closed == 0 ? 0 : 1001;
}

int TagFileSimple(const char* path, const char* artist, const char* album, const char* title, const char* comment,
                  const char* genre, const char* year, const char* track, int clearFirst, int useOldId3) {
    (void)path;
    return Call("tag", "tag %s|%s|%s|%s|%s|%s|%s|%d|%d", artist, album, title, comment, genre, year, track, clearFirst,
                useOldId3) ? -1 : 0;
}
