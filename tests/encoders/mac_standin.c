/* A test double standing in for the Monkey's Audio library (libMAC.so), which no
 * distribution packages. It answers the compression and tag calls the APE driver makes,
 * writes the PCM it is given to the output file as it is, and records every call in the
 * file QUARROW_MAC_STANDIN_LOG names. QUARROW_MAC_STANDIN_FAIL makes one call fail:
 * compat, create, start, add (the third block), finish or tag. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#pragma pack(push, 1)
typedef struct {
    uint16_t formatTag, channels;
    uint32_t samplesPerSec, avgBytesPerSec;
    uint16_t blockAlign, bitsPerSample, extraSize;
} WaveFormat;
#pragma pack(pop)

typedef struct {
    FILE* file;
    int blocks;
} Compressor;

static int Failing(const char* call) {
    const char* which = getenv("QUARROW_MAC_STANDIN_FAIL");
    return which && strcmp(which, call) == 0;
}

static void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
#include <stdarg.h>
static void Log(const char* format, ...) {
    const char* path = getenv("QUARROW_MAC_STANDIN_LOG");
    FILE* log = path ? fopen(path, "a") : NULL;
    if (!log) return;
    va_list args;
    va_start(args, format);
    vfprintf(log, format, args);
    va_end(args);
    fputc('\n', log);
    fclose(log);
}

int GetInterfaceCompatibility(int version, int displayWarnings, void* parent) {
    Log("compat %d %d %d", version, displayWarnings, parent != NULL);
    if (Failing("compat")) return 1;
    return version == 3990 ? 0 : 2;
}

void* c_APECompress_Create(int* error) {
    Log("create");
    if (Failing("create")) {
        *error = 2000;
        return NULL;
    }
    *error = 0;
    return calloc(1, sizeof(Compressor));
}

void c_APECompress_Destroy(void* handle) {
    Compressor* c = handle;
    Log("destroy");
    if (c && c->file) fclose(c->file);
    free(c);
}

int c_APECompress_Start(void* handle, const char* path, const WaveFormat* f, int maxAudioBytes, int level,
                        const void* headerData, int headerBytes) {
    Compressor* c = handle;
    Log("start level=%d max=%d header=%d,%d format=%u,%u,%u,%u,%u,%u,%u", level, maxAudioBytes, headerData != NULL,
        headerBytes, f->formatTag, f->channels, f->samplesPerSec, f->avgBytesPerSec, f->blockAlign, f->bitsPerSample,
        f->extraSize);
    c->file = fopen(path, "wb");
    if (!c->file) return 1000;
    /* A failed start leaves its file behind, as the library may. */
    return Failing("start") ? 5000 : 0;
}

int c_APECompress_AddData(void* handle, unsigned char* data, int bytes) {
    Compressor* c = handle;
    if (Failing("add") && ++c->blocks == 3) return 1001;
    return fwrite(data, 1, (size_t)bytes, c->file) == (size_t)bytes ? 0 : 1001;
}

int c_APECompress_Finish(void* handle, unsigned char* terminatingData, int terminatingBytes, int wavTerminatingBytes) {
    Compressor* c = handle;
    Log("finish %d %d %d", terminatingData != NULL, terminatingBytes, wavTerminatingBytes);
    if (Failing("finish")) return 1003;
    const int closed = fclose(c->file);
    c->file = NULL;
    return closed == 0 ? 0 : 1001;
}

int TagFileSimple(const char* path, const char* artist, const char* album, const char* title, const char* comment,
                  const char* genre, const char* year, const char* track, int clearFirst, int useOldId3) {
    (void)path;
    Log("tag %s|%s|%s|%s|%s|%s|%s|%d|%d", artist, album, title, comment, genre, year, track, clearFirst, useOldId3);
    return Failing("tag") ? -1 : 0;
}
