/* A stand-in for the TwinVQ encoder library (libtvqenc.so), which no distribution
 * packages. It takes the driver's records, answers the frame size and channel count a
 * real encoder gives for the profile, and returns frames of silence: all-zero bits, as
 * many per frame as the bit rate allows. */
#include <string.h>

#define TEXT_SIZE 512

typedef struct {
    char ID[TEXT_SIZE];
    int channelMode, bitRate, samplingRate, securityLevel;
    char Name[TEXT_SIZE], Comt[TEXT_SIZE], Auth[TEXT_SIZE], Cpyr[TEXT_SIZE], File[TEXT_SIZE];
    int Dsiz;
} HeaderInfo;
typedef struct { int quality; int reserved[15]; } EncSpecificInfo;
typedef struct { int frameBits; unsigned char bits[16384]; } Index;
typedef struct { int frameSize, channels, samplingRate, bitRate; } ConfInfo;

static int g_frameSize, g_channels, g_kHz, g_kbps;
static long g_bitsOwed; /* the remainder carried so the stream keeps its bit rate exactly */

static long RateHz(void) { return g_kHz == 11 ? 11025 : g_kHz == 22 ? 22050 : g_kHz == 44 ? 44100 : g_kHz * 1000L; }

int TvqGetVersionID(int versionNum, char* versionString) {
    (void)versionNum;
    strcpy(versionString, "TWIN97012000");
    return 0;
}

int TvqEncInitialize(HeaderInfo* setup, EncSpecificInfo* enc, Index* index, int dispErrorMessageBox) {
    (void)dispErrorMessageBox;
    if (strcmp(setup->ID, "TWIN97012000") != 0 || enc->quality < 0 || setup->channelMode < 0 || setup->channelMode > 1)
        return 3;
    g_channels = setup->channelMode + 1, g_kHz = setup->samplingRate, g_kbps = setup->bitRate, g_bitsOwed = 0;
    /* The frame length per channel follows the rate and the bit rate per channel. */
    const int perChannel = g_kbps / g_channels;
    if (g_kHz == 44) g_frameSize = 2048;
    else if ((g_kHz == 16 && perChannel == 16) || (g_kHz == 22 && perChannel < 32)) g_frameSize = 1024;
    else if (g_kHz == 8 || g_kHz == 11 || g_kHz == 16 || g_kHz == 22) g_frameSize = 512;
    else return 2;
    memset(index, 0, sizeof *index);
    return 0;
}

int TvqEncGetFrameSize(void) { return g_frameSize; }
int TvqEncGetNumChannels(void) { return g_channels; }
void TvqEncGetConfInfo(ConfInfo* info) {
    info->frameSize = g_frameSize, info->channels = g_channels, info->samplingRate = g_kHz, info->bitRate = g_kbps;
}
void TvqEncGetVectorInfo(int* bits0[], int* bits1[]) { (void)bits0, (void)bits1; }
void TvqEncUpdateVectorInfo(int varbits, int* ndiv, int bits0[], int bits1[]) {
    (void)varbits, (void)ndiv, (void)bits0, (void)bits1;
}

void TvqEncodeFrame(float* samples, Index* index) {
    (void)samples;
    const long total = (long)g_kbps * 1000L * g_frameSize + g_bitsOwed;
    index->frameBits = (int)(total / RateHz());
    g_bitsOwed = total % RateHz();
    memset(index->bits, 0, sizeof index->bits);
}

void TvqEncTerminate(Index* index) {
    (void)index;
    g_frameSize = 0;
}
